// The preset thumbnails' request and placement.
#include "presets/ThumbnailMath.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t ToInt32(double value) {
    if (!(value > -2147483648.0))
        return value != value ? 0 : INT32_MIN;
    return value >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(value);
}

}  // namespace

ThumbPoint ThumbCentre(int previewWidth, int previewHeight, int inWidth, int inHeight, double zoom,
                       int32_t originX, int32_t originY) {
    if (!(zoom > 0))
        zoom = 1;
    const double x = std::min(previewWidth / 2, inWidth / 2) / zoom + originX;
    const double y = std::min(previewHeight / 2, inHeight / 2) / zoom + originY;
    return {ToInt32(x), ToInt32(y)};
}

int ThumbDecimation(int inDec, int inWidth, int inHeight, int maxDec) {
    const double fit = std::max(double(inHeight) / (kThumbHeight * kThumbScale),
                                double(inWidth) / (kThumbWidth * kThumbScale));
    const int step = ToInt32(std::max(1, inDec) * fit);
    return std::clamp(step, 1, std::max(1, maxDec));
}
