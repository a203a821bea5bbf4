// Baseline TIFF output: uncompressed, one strip, little-endian, 8 or 16 bits per sample,
// gray or RGB with optional unassociated alpha, and any metadata fields given. Used for every
// TIFF glazehost writes, so the file has exactly the depth and layout of the image.
#pragma once

#include "host/HostImage.h"
#include "host/TiffDirectory.h"

#include <ostream>
#include <string>
#include <vector>

namespace vg::host {

// 16-bit samples go from the host's 0..32768 scale to 0..65535. Fields in `metadata` join the
// directory (a resolution among them replaces the default 72 dpi; fields that describe the
// pixel layout are ignored). false with a message when the image does not fit a classic TIFF
// file (4 GiB) or the stream fails.
bool WriteTiff(std::ostream& out, const CHostImage& image, std::string* error,
               const std::vector<TiffField>& metadata = {});

}  // namespace vg::host
