// Where the preset files live below the installation folder.
#pragma once

#include <string>
#include <string_view>

// The installation folder, a backslash unless it ends with one, "Presets" and a final
// backslash: 'D:\Prog' and 'D:\Prog\' both give 'D:\Prog\Presets\'. Empty for an empty path.
std::string PresetFolderFromInstallPath(std::string_view installPath);
