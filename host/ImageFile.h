// Reading and writing the images glazehost filters: PNG and TIFF, 8 or 16 bits per channel,
// gray or RGB, with or without alpha. 16-bit samples are converted to the host's 0..32768
// scale on reading and back on writing; the file written has the depth of the image.
#pragma once

#include "host/HostImage.h"

#include <string>

namespace vg::host {

enum class ImageFormat { Unknown, Png, Tiff };

// From the file name's extension: .png, .tif, .tiff (any case).
ImageFormat FormatFromPath(const std::string& path);

// false with a message for the user on a missing, unreadable or unsupported file.
bool ReadImageFile(const std::string& path, CHostImage* image, std::string* error);
bool WriteImageFile(const std::string& path, const CHostImage& image, std::string* error);

}  // namespace vg::host
