// The arithmetic of the preset thumbnails: which part of the image they show, how coarsely it
// is sampled and where each thumbnail sits in the list. Portable.
#pragma once

#include <cstdint>

constexpr int kThumbWidth = 224;
constexpr int kThumbHeight = 144;
// The thumbnails are rendered from a window of this many times their size.
constexpr int kThumbScale = 2;

struct ThumbPoint {
    int32_t x;
    int32_t y;
};

// The full-resolution point the thumbnails are centred on: the middle of the part of the
// image the preview shows. The preview's client size, the host's current input size (sampled
// pixels), the preview's zoom (above 0) and origin (image pixels).
ThumbPoint ThumbCentre(int previewWidth, int previewHeight, int inWidth, int inHeight, double zoom,
                       int32_t originX, int32_t originY);

// The sampling step at which the current input (inWidth x inHeight at step inDec) fits a
// window of twice the thumbnail size; at least 1 and at most maxDec.
int ThumbDecimation(int inDec, int inWidth, int inHeight, int maxDec);

// The vertical position of thumbnail `index` in the list: one column, top to bottom.
inline int ThumbItemTop(int index) {
    return 20 + 164 * index;
}
