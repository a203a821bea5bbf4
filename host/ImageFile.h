// Reading and writing the images glazehost filters: PNG and TIFF (8 or 16 bits per channel)
// and JPEG (8 bits), gray or RGB, with or without alpha, with their metadata. 16-bit samples
// are converted to the host's 0..32768 scale on reading and back on writing; the file written
// has the depth of the image (JPEG: 8 bits).
#pragma once

#include "host/HostImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vg::host {

enum class ImageFormat { Unknown, Png, Tiff, Jpeg };

struct ImageMetadata;

// From the file name's extension: .png, .tif, .tiff, .jpg, .jpeg (any case).
ImageFormat FormatFromPath(const std::string& path);

// The most sample bytes an image may have, and the most pixels a file may claim per byte it
// holds: even the best compression of a flat image stays far below that, while a damaged or
// hostile header that claims a huge image from a few bytes is refused before anything is
// allocated for it.
constexpr uint64_t kMaxImageBytes = uint64_t(1) << 30;
constexpr uint64_t kMaxPixelsPerFileByte = 4096;

// Whether an image of this size may be read from a file of fileBytes bytes; a sentence for
// the user when not.
bool CheckImageSize(uint64_t width, uint64_t height, uint32_t channels, uint32_t bytesPerSample,
                    uint64_t fileBytes, std::string* error);

// What a file held besides its pixels.
struct ImageFileInfo {
    ImageFormat format = ImageFormat::Unknown;  // of the content, whatever the extension says
    std::vector<std::string> notes;             // metadata left out, and why
};

// false with a message for the user on a missing, unreadable, damaged, too large or
// unsupported file (CMYK among them). With metadata, the file's metadata is read too.
bool ReadImageFile(const std::string& path, CHostImage* image, std::string* error,
                   ImageMetadata* metadata = nullptr, ImageFileInfo* info = nullptr);

struct ImageWriteOptions {
    ImageFormat format = ImageFormat::Unknown;  // Unknown: from the path's extension
    int quality = 92;                           // JPEG, 1..100
    bool replace = true;                        // false: an existing file is an error
    const ImageMetadata* metadata = nullptr;    // put into the file where the format holds it
    std::vector<std::string>* notes = nullptr;  // metadata the format could not hold
};

// Writes to a temporary file in the same folder that is renamed to path once complete, so
// that a failure (or a cancel between the two) never leaves a partial file under path.
bool WriteImageFile(const std::string& path, const CHostImage& image, std::string* error,
                    const ImageWriteOptions& options = {});

}  // namespace vg::host
