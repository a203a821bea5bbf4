// Fuzz target for the XML module and the preset reading: parse any bytes, walk the tree,
// save, reopen, and run the profile operations on the same bytes as a file. Checks that
// saving is stable after one round, that a written attribute reads back unchanged, and that
// a preset written under a name read from the input is found under that name.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "presets/PresetFile.h"
#include "presets/XmlDocument.h"
#include "presets/XmlEscape.h"
#include "presets/XmlProfile.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Touches everything a caller can reach and returns the path of the first element chain.
size_t Walk(CXmlElement* element, int depth, XmlPath& firstChain) {
    if (element == nullptr)
        return 0;
    size_t seen = element->GetName().size();
    for (int a = 0; a < element->GetAttributeCount(); ++a) {
        CXmlAttribute* attribute = element->GetAttribute(a);
        seen += attribute->GetName().size() + attribute->GetValue().size();
        seen += static_cast<size_t>(attribute->GetIntValue() & 1);
        seen += XmlToDouble(attribute->GetValue()) > 0 ? 1 : 0;
        if (element->FindAttribute(attribute->GetName()) == nullptr)
            Fail("attribute lookup");
    }
    for (const auto* items :
         {&element->GetComments(), &element->GetTexts(), &element->GetCData()}) {
        for (const auto& item : *items) {
            if (item->GetPosition() < 0 || item->GetPosition() > element->GetChildCount()) {
                Fail("item position");
            }
            seen += XmlUnescape(item->GetText()).size();
        }
    }
    if (element->GetChild(element->GetChildCount()) != nullptr)
        Fail("child bound");
    for (int c = 0; c < element->GetChildCount(); ++c) {
        CXmlElement* child = element->GetChild(c);
        if (child->GetParent() != element || element->IndexOfChild(child) != c)
            Fail("links");
        if (c == 0 && static_cast<int>(firstChain.size()) == depth) {
            firstChain.push_back(child->GetName());
        }
        seen += Walk(child, depth + 1, firstChain);
    }
    return seen;
}

std::string Resave(const std::string& text) {
    CXmlDocument document;
    document.LoadText(text);
    return document.ToText();
}

std::string ScratchFile() {
    static const std::string path = "/tmp/vg-xmlfuzz-" + std::to_string(getpid()) + ".xml";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    CXmlDocument document;
    document.LoadText(bytes);
    XmlPath chain;
    Walk(document.GetRoot(), 0, chain);
    const std::string once = document.ToText();
    const std::string twice = Resave(once);
    if (Resave(twice) != twice)
        Fail("saving is not stable");

    // The profile operations and the preset reader on the same bytes as a file.
    const std::string file = ScratchFile();
    if (FILE* out = std::fopen(file.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }
    char buffer[16];
    XmlGetString("VarenWorks\\VarenGlaze", "Version", "", buffer, sizeof buffer, file);
    XmlGetInt(chain, "Mod", -1, file);
    XmlGetFloat(chain, "CIT", 0.5f, file);
    PresetValues current = {0, 8, 0.5, 1, 1.5, 0, 0, 1, 2};
    PresetValues read =
        readPresetValues(file, "VarenGlaze", chain.empty() ? "" : chain.back(), current);
    for (int i = 0; i < kPresetParamCount; ++i) {
        if (!(read[i] >= PresetParamTable()[i].minimum &&
              read[i] <= PresetParamTable()[i].maximum)) {
            Fail("preset value out of range");
        }
    }
    const std::string value = "v&<\"'>\r\n&#65;";
    if (XmlSetString(chain, "fz", value.c_str(), file)) {
        CXmlDocument reopened(file);
        if (reopened.GetStatus() != XML_STATUS_OK)
            Fail("written file does not reopen");
        if (XmlGetString(chain, "fz", "", file) != XmlUnescape(XmlEscape(value))) {
            Fail("written value does not read back");
        }
        XmlSetString(chain, "fz", nullptr, file);
        if (!chain.empty())
            XmlSetString(chain, nullptr, nullptr, file);
    } else if (document.GetStatus() == XML_STATUS_OK && chain.size() < 200 &&
               std::all_of(chain.begin(), chain.end(), XmlIsElementName)) {
        // Names read from the file may be ones that cannot be created; the others can.
        Fail("write to a well-formed document failed");
    }

    // A preset written under a name is found again under that name, whatever the name.
    const std::string name = chain.empty() ? std::string() : chain.back();
    std::remove(file.c_str());
    if (writePreset(file, name, "d", "User", current) == PresetWriteResult::Written) {
        if (XmlGetInt(XmlPath{"VarenWorks", "VarenGlaze", name}, "Disp", 0, file) != 1)
            Fail("written preset does not read back under its name");
    } else if (IsStorablePresetName(name)) {
        Fail("preset with a storable name not written");
    }
    std::remove(file.c_str());
    return 0;
}
