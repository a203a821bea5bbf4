// The portable part of image files: which format a file name asks for, and which sizes a
// file may claim.
#include "host/ImageFile.h"

#include "host/BatchPlan.h"

namespace vg::host {

ImageFormat FormatFromPath(const std::string& path) {
    return FormatFromName(ExtensionOf(path));
}

bool CheckImageSize(uint64_t width, uint64_t height, uint32_t channels, uint32_t bytesPerSample,
                    uint64_t fileBytes, std::string* error) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0) {
        *error = "it claims an empty image (" + size + ")";
        return false;
    }
    // Both sides are below 2^32, so the products below cannot overflow.
    if (width > UINT32_MAX || height > UINT32_MAX ||
        width * height > kMaxImageBytes / (uint64_t(channels) * bytesPerSample)) {
        *error = "it is too large: " + size + " pixels need more than the " +
                 std::to_string(kMaxImageBytes >> 20) + " MB of samples this host takes";
        return false;
    }
    if (width * height > fileBytes * kMaxPixelsPerFileByte) {
        *error = "it claims " + size + " pixels but holds only " + std::to_string(fileBytes) +
                 " bytes; it is damaged";
        return false;
    }
    return true;
}

}  // namespace vg::host
