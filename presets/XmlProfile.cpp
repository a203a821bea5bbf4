// Profile operations over XML files.
#include "presets/XmlProfile.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "presets/XmlDocument.h"
#include "presets/XmlEscape.h"

namespace {

std::string FormatInt(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

// The element the path addresses, or nullptr; with create, missing elements are appended.
CXmlElement* Walk(CXmlElement* element, const XmlPath& path, bool create) {
    for (const std::string& name : path) {
        if (element == nullptr) {
            break;
        }
        CXmlElement* child = element->FindChild(name);
        // A new element must read back as itself: "" or "a b" would not.
        if (child == nullptr && create && XmlIsElementName(name)) {
            child = element->FindChild(name, true);
        }
        element = child;
    }
    return element;
}

// The attribute's unescaped value when it exists and is not empty.
std::optional<std::string> ReadValue(const XmlPath& path, std::string_view name,
                                     const std::string& fileName) {
    CXmlDocument document(fileName);
    CXmlElement* element = Walk(document.GetRoot(), path, false);
    if (element == nullptr)
        return std::nullopt;
    const CXmlAttribute* attribute = element->FindAttribute(name);
    if (attribute == nullptr)
        return std::nullopt;
    std::string value = attribute->GetValue();
    if (value.empty())
        return std::nullopt;
    return value;
}

}  // namespace

XmlPath XmlSplitPath(std::string_view path) {
    XmlPath parts;
    if (path.empty())
        return parts;
    size_t start = 0;
    for (;;) {
        size_t sep = path.find('\\', start);
        parts.emplace_back(path.substr(start, sep == std::string_view::npos ? sep : sep - start));
        if (sep == std::string_view::npos)
            break;
        start = sep + 1;
    }
    return parts;
}

std::string XmlGetString(const XmlPath& path, std::string_view name, std::string_view defaultText,
                         const std::string& fileName) {
    std::optional<std::string> value = ReadValue(path, name, fileName);
    return value ? *value : std::string(defaultText);
}

int XmlGetString(std::string_view path, std::string_view name, const char* defaultText,
                 char* buffer, size_t bufferSize, const std::string& fileName) {
    std::string text =
        XmlGetString(XmlSplitPath(path), name, defaultText != nullptr ? defaultText : "", fileName);
    if (buffer != nullptr && bufferSize > 0) {
        if (text.size() < bufferSize) {
            std::memcpy(buffer, text.c_str(), text.size() + 1);
        } else {
            buffer[0] = '\0';
        }
    }
    return static_cast<int>(text.size());
}

int XmlGetInt(const XmlPath& path, std::string_view name, int defaultValue,
              const std::string& fileName) {
    return XmlToInt(XmlGetString(path, name, FormatInt(defaultValue), fileName));
}

int XmlGetInt(std::string_view path, std::string_view name, int defaultValue,
              const std::string& fileName) {
    return XmlGetInt(XmlSplitPath(path), name, defaultValue, fileName);
}

float XmlGetFloat(const XmlPath& path, std::string_view name, float defaultValue,
                  const std::string& fileName) {
    std::optional<std::string> value = ReadValue(path, name, fileName);
    if (!value)
        return defaultValue;
    return static_cast<float>(XmlToDouble(*value));
}

float XmlGetFloat(std::string_view path, std::string_view name, float defaultValue,
                  const std::string& fileName) {
    return XmlGetFloat(XmlSplitPath(path), name, defaultValue, fileName);
}

bool XmlSetString(const XmlPath& path, const char* name, const char* value,
                  const std::string& fileName) {
    if (path.size() >= static_cast<size_t>(CXmlDocument::kMaxDepth)) {
        return false;
    }
    CXmlDocument document(fileName);
    if (!document.HasFileName() || document.GetStatus() == XML_STATUS_MALFORMED ||
        document.GetRoot() == nullptr) {
        return false;
    }
    bool removing = name == nullptr || value == nullptr;
    CXmlElement* element = Walk(document.GetRoot(), path, !removing);
    if (element == nullptr)
        return false;
    if (name == nullptr) {
        CXmlElement* parent = element->GetParent();
        if (parent == nullptr)
            return false;
        parent->RemoveChild(parent->IndexOfChild(element));
    } else if (value == nullptr) {
        bool found = false;
        for (int i = 0; i < element->GetAttributeCount(); ++i) {
            if (element->GetAttribute(i)->GetName() == name) {
                element->RemoveAttribute(i);
                found = true;
                break;
            }
        }
        if (!found)
            return false;
    } else {
        element->SetAttribute(name, value);
    }
    return document.Save();
}

bool XmlSetString(std::string_view path, const char* name, const char* value,
                  const std::string& fileName) {
    return XmlSetString(XmlSplitPath(path), name, value, fileName);
}

bool XmlSetInt(const XmlPath& path, const char* name, int value, const std::string& fileName) {
    return XmlSetString(path, name, FormatInt(value).c_str(), fileName);
}

bool XmlSetInt(std::string_view path, const char* name, int value, const std::string& fileName) {
    return XmlSetInt(XmlSplitPath(path), name, value, fileName);
}
