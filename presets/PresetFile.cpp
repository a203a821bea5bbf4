// Writing and reading preset elements.
#include "presets/PresetFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "presets/XmlDocument.h"
#include "presets/XmlEscape.h"
#include "presets/XmlProfile.h"

namespace {

constexpr int kLayoutMajor = 2;
constexpr int kLayoutMinor = 1;
constexpr int kLayoutPatch = 0;

XmlPath PresetPath(std::string_view productName, std::string_view presetName) {
    return {std::string(kPresetWorksElement), std::string(productName), std::string(presetName)};
}

std::string FormatInt(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

// The attribute's unescaped value when present and not empty.
const CXmlAttribute* FindValue(CXmlElement* element, std::string_view name) {
    if (element == nullptr)
        return nullptr;
    const CXmlAttribute* attribute = element->FindAttribute(name);
    if (attribute == nullptr || attribute->GetRawValue().empty())
        return nullptr;
    return attribute;
}

CXmlElement* FindPath(CXmlElement* element, const XmlPath& path) {
    for (const std::string& name : path) {
        if (element == nullptr)
            break;
        element = element->FindChild(name);
    }
    return element;
}

}  // namespace

const std::array<PresetParamInfo, kPresetParamCount>& PresetParamTable() {
    static const std::array<PresetParamInfo, kPresetParamCount> kTable = {{
        {"CIT", 0.0, 8.0},
        {"CRD", 4.0, 25.0},
        {"CTH", 0.0, 1.5},
        {"ESP", 0.0, 3.0},
        {"ERD", 0.7, 4.0},
        {"ELA", 0.0, 5.0},
        {"TKT", 0.0, 1.0},
        {"TBT", 0.25, 4.0},
        {"TRN", 0.8, 6.0},
    }};
    return kTable;
}

int EncodePresetValue(float value) {
    double scaled = static_cast<double>(value * 1000.0f) + 0.49;
    // Out-of-range values (never produced by the sliders) saturate instead of overflowing.
    if (!(scaled > -2147483648.0))
        return scaled != scaled ? 0 : -2147483647 - 1;
    if (scaled >= 2147483647.0)
        return 2147483647;
    return static_cast<int>(scaled);
}

bool IsStorablePresetName(std::string_view name) {
    // The backslash separates the elements of a profile path.
    return XmlIsElementName(name) && name.find('\\') == std::string_view::npos;
}

PresetWriteResult writePreset(const std::string& fileName, const std::string& presetName,
                              const std::string& description, const std::string& author,
                              const PresetValues& values) {
    // One read and one write for all the attributes; the result is the same file the
    // attribute-by-attribute writes would leave.
    CXmlDocument document(fileName);
    CXmlElement* existing =
        FindPath(document.GetRoot(), PresetPath(kPresetProductElement, presetName));
    if (const CXmlAttribute* mod = FindValue(existing, "Mod")) {
        if (mod->GetIntValue() == 0)
            return PresetWriteResult::Refused;
    }
    if (existing == nullptr && !IsStorablePresetName(presetName)) {
        return PresetWriteResult::Failed;
    }
    if (!document.HasFileName() || document.GetStatus() == XML_STATUS_MALFORMED ||
        document.GetRoot() == nullptr) {
        return PresetWriteResult::Failed;
    }
    CXmlElement* product = document.GetRoot()
                               ->FindChild(kPresetWorksElement, true)
                               ->FindChild(kPresetProductElement, true);
    char version[40];
    std::snprintf(version, sizeof version, "%d.%d.%d", kLayoutMajor, kLayoutMinor, kLayoutPatch);
    product->SetAttribute("Version", version);

    CXmlElement* preset = product->FindChild(presetName, true);
    preset->SetAttribute("Mod", "1");
    preset->SetAttribute("Disp", "1");
    preset->SetAttribute("DESCRIPTION", description);
    preset->SetAttribute("AUTHOR", author);
    const auto& table = PresetParamTable();
    for (int i = 0; i < kPresetParamCount; ++i) {
        preset->SetAttribute(table[i].attribute,
                             FormatInt(EncodePresetValue(static_cast<float>(values[i]))));
    }
    return document.Save() ? PresetWriteResult::Written : PresetWriteResult::WriteFailed;
}

PresetValues readPresetValues(const std::string& fileName, std::string_view productName,
                              std::string_view presetName, const PresetValues& current) {
    CXmlDocument document(fileName);
    CXmlElement* product =
        FindPath(document.GetRoot(), {std::string(kPresetWorksElement), std::string(productName)});
    CXmlElement* preset = product != nullptr ? product->FindChild(presetName) : nullptr;

    // Only the first character of "Version" counts; no version means layout 2.
    int layout = 2;
    if (const CXmlAttribute* version = FindValue(product, "Version")) {
        layout = XmlToInt(version->GetValue().substr(0, 1));
    }

    PresetValues result = current;
    const auto& table = PresetParamTable();
    for (int i = 0; i < kPresetParamCount; ++i) {
        double value = current[i];
        if (const CXmlAttribute* attribute = FindValue(preset, table[i].attribute)) {
            if (layout <= 1) {
                value = static_cast<float>(XmlToDouble(attribute->GetValue()));
            } else {
                value = attribute->GetIntValue() / 1000.0;
            }
        }
        // A current value that is not a number would pass the clamp unchanged.
        if (std::isnan(value))
            value = table[i].minimum;
        result[i] = std::clamp(value, table[i].minimum, table[i].maximum);
    }
    return result;
}

bool isPresetModifiable(const std::string& fileName, std::string_view productName,
                        std::string_view presetName) {
    return XmlGetInt(PresetPath(productName, presetName), "Mod", -1, fileName) != 0;
}

bool hidePreset(const std::string& fileName, std::string_view productName,
                std::string_view presetName) {
    return XmlSetInt(PresetPath(productName, presetName), "Disp", 0, fileName);
}

bool IsPresetFile(const std::string& fileName) {
    CXmlDocument document(fileName);
    if (!document.HasFileName() || document.GetStatus() != XML_STATUS_OK)
        return false;
    CXmlElement* product = FindPath(
        document.GetRoot(), {std::string(kPresetWorksElement), std::string(kPresetProductElement)});
    return product != nullptr && product->GetChildCount() > 0;
}

std::vector<std::string> ListedPresetNames(const std::string& fileName,
                                           std::string_view productName) {
    std::vector<std::string> names;
    CXmlDocument document(fileName);
    CXmlElement* root = document.GetRoot();
    if (document.GetStatus() == XML_STATUS_MALFORMED || root == nullptr)
        return names;
    CXmlElement* product =
        FindPath(root, {std::string(kPresetWorksElement), std::string(productName)});
    for (int c = 0; product != nullptr && c < product->GetChildCount(); ++c) {
        CXmlElement* preset = product->GetChild(c);
        const CXmlAttribute* disp = preset->FindAttribute("Disp");
        if (disp != nullptr && disp->GetIntValue() != 0)
            names.push_back(preset->GetName());
    }
    return names;
}
