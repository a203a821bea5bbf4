// Where the preset files live below the installation folder.
#include "presets/PresetFolder.h"

std::string PresetFolderFromInstallPath(std::string_view installPath) {
    if (installPath.empty())
        return std::string();
    std::string folder(installPath);
    if (folder.back() != '\\')
        folder += '\\';
    folder += "Presets\\";
    return folder;
}
