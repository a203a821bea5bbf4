// Where the preset files live below the installation folder.
#include "presets/PresetFolder.h"

#include <cctype>

namespace {

// Windows opens these names as devices in any folder and with any extension.
bool IsReservedDeviceName(std::string_view name) {
    // What counts is the part before the first dot, without trailing spaces.
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string upper;
    for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (upper == device)
            return true;
    }
    if (upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0)) {
        // COM0 to COM9 and the superscript digits 1 to 3 of the Latin-1 code page.
        const unsigned char digit = static_cast<unsigned char>(upper[3]);
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

}  // namespace

std::string PresetFolderFromInstallPath(std::string_view installPath) {
    if (installPath.empty())
        return std::string();
    std::string folder(installPath);
    if (folder.back() != '\\')
        folder += '\\';
    folder += "Presets\\";
    return folder;
}

std::string PresetFileNameFor(std::string_view presetName) {
    if (presetName.empty() || presetName.size() > kMaxPresetFileStem ||
        presetName.find("..") != std::string_view::npos || IsReservedDeviceName(presetName)) {
        return std::string();
    }
    for (char c : presetName) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return std::string();
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return std::string();
    }
    return std::string(presetName) + ".vpp";
}

std::string FilterTypedPresetName(std::string_view typed) {
    std::string name;
    for (char c : typed) {
        const bool ascii = static_cast<unsigned char>(c) < 0x80;
        if (c == ' ')
            name += '_';
        else if (ascii && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'))
            name += c;
    }
    return name;
}
