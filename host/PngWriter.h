// PNG output of the host's own: 8 or 16 bits per sample, gray or RGB, with or without alpha.
// Each row gets the filter that leaves the smallest residuals, and the rows are compressed
// on several threads. Wine's PNG encoder is slower than the filter itself and stores 16-bit
// samples in the wrong byte order. Portable.
#pragma once

#include "host/HostImage.h"

#include <string>

namespace vg::host {

// The PNG file of the image; 16-bit samples go from the host's 0..32768 scale to 0..65535.
// false with a message when the image is empty or too large for memory.
bool EncodePng(const CHostImage& image, int threads, std::string* png, std::string* error);

}  // namespace vg::host
