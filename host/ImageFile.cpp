// The portable part of image files: which format a file name asks for.
#include "host/ImageFile.h"

#include <cctype>

namespace vg::host {

ImageFormat FormatFromPath(const std::string& path) {
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return ImageFormat::Unknown;
    std::string ext;
    for (char c : path.substr(dot + 1)) ext += char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "png")
        return ImageFormat::Png;
    if (ext == "tif" || ext == "tiff")
        return ImageFormat::Tiff;
    return ImageFormat::Unknown;
}

}  // namespace vg::host
