// Where the preset files live below the installation folder, which file names a preset name
// may give there, and which names the save dialog lets through.
#pragma once

#include <string>
#include <string_view>

// The installation folder, a backslash unless it ends with one, "Presets" and a final
// backslash: 'D:\Prog' and 'D:\Prog\' both give 'D:\Prog\Presets\'. Empty for an empty path.
std::string PresetFolderFromInstallPath(std::string_view installPath);

// The bare file name a new preset of this name is saved to (the name and ".vpp"), or empty
// when the name could lead anywhere but a plain file in the preset folder: an empty name or
// one longer than kMaxPresetFileStem bytes, a path separator of either kind, a drive or
// stream colon, "..", a wildcard or quote character, a control character, or a reserved
// device name (CON, NUL, COM1, LPT1 and the like, whatever follows their first dot).
std::string PresetFileNameFor(std::string_view presetName);

constexpr size_t kMaxPresetFileStem = 200;

// The name typed in the save dialog as it is stored: each space becomes "_", ASCII letters,
// digits, "_" and "-" stay, every other character is dropped. Empty when nothing is left.
std::string FilterTypedPresetName(std::string_view typed);
