// The preset file format: a named set of the nine filter parameters stored as one element
// below VarenWorks\VarenGlaze in an XML file. Portable.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

constexpr int kPresetParamCount = 9;

// The nine parameters in the parameter record's order: cleanStrength, cleanRadius,
// cleanThreshold, edgeSharpness, edgeRadius, edgeAccent, textureStrength, textureBoost,
// textureSize. Same layout as the record (nine doubles), so the two convert element-wise.
using PresetValues = std::array<double, kPresetParamCount>;

// One parameter's attribute name and the range a preset read is clamped to.
struct PresetParamInfo {
    const char* attribute;
    double minimum;
    double maximum;
};

const std::array<PresetParamInfo, kPresetParamCount>& PresetParamTable();

constexpr std::string_view kPresetWorksElement = "VarenWorks";
constexpr std::string_view kPresetProductElement = "VarenGlaze";

// Result of writePreset. Refused keeps the value callers already test for.
enum class PresetWriteResult : int {
    Written = 1,
    Failed = 0,        // the file is not XML or is malformed, or the name cannot be stored
    Refused = -1,      // the name belongs to a predefined preset ("Mod" 0)
    WriteFailed = -2,  // the file could not be written (full disk, locked); it is unchanged
};

// A value as written to a layout-2 file: thousandths of the 32-bit row value.
int EncodePresetValue(float value);

// Whether a name can be stored as an element name and read back unchanged, and used as one
// step of a backslash-separated profile path.
bool IsStorablePresetName(std::string_view name);

// Writes the preset (creating the file and elements as needed) with "Mod" 1, "Disp" 1, the
// description, author and the nine values, each first narrowed to the 32-bit row value.
PresetWriteResult writePreset(const std::string& fileName, const std::string& presetName,
                              const std::string& description, const std::string& author,
                              const PresetValues& values);

// The preset's nine values, read by the file's layout version and clamped to their ranges.
// Values the file does not hold (or that are empty) stay as in current; a current value
// that is not a number becomes the minimum.
PresetValues readPresetValues(const std::string& fileName, std::string_view productName,
                              std::string_view presetName, const PresetValues& current);

// False only when the preset's "Mod" reads as 0.
bool isPresetModifiable(const std::string& fileName, std::string_view productName,
                        std::string_view presetName);

// Sets the preset's "Disp" to 0, so it is no longer listed. True when the file was written.
bool hidePreset(const std::string& fileName, std::string_view productName,
                std::string_view presetName);

// Whether the file reads as a preset file within the reader's limits: well-formed XML whose
// root holds VarenWorks\VarenGlaze with at least one preset element. Files from outside
// (imports, downloads) must pass before they are copied into the preset folder.
bool IsPresetFile(const std::string& fileName);

// The presets a file lists, in document order: the children of VarenWorks\<product> with a
// "Disp" that reads as a non-zero integer, by their unescaped names. Empty for a file that is
// not XML, is malformed or holds no such element.
std::vector<std::string> ListedPresetNames(const std::string& fileName,
                                           std::string_view productName);
