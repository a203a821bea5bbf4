// Rectangle and sampling-step arithmetic of the host image requests, kept apart from the
// host record so that it can be tested natively.
#pragma once

#include <cstdint>

// A rectangle as the plug-in passes it around: top, bottom, left, right (half-open).
struct Rect32 {
    int32_t top;
    int32_t bottom;
    int32_t left;
    int32_t right;
};

inline bool operator==(const Rect32& a, const Rect32& b) {
    return a.top == b.top && a.bottom == b.bottom && a.left == b.left && a.right == b.right;
}

// The step the host delivers at, from its sampling support and 16.16 `inputRate`: 1 to 64.
int InDecFromRate(bool samplingSupported, int32_t inputRate);

// `step` in 16.16 fixed point, limited so that the result fits in 32 bits.
int32_t StepToFixed(int step);

// Limits a request in sampled coordinates to the filter rectangle scaled down by `step`
// (step >= 1). The result is never inverted: an area wholly outside collapses at the edge.
Rect32 LimitToScaledFilter(const Rect32& request, const Rect32& filter, int step);

// The largest step at which the sampled filter rectangle still covers a window of
// width x scale by height x scale; 1 without sampling or for an empty filter rectangle.
int ThumbMaxDec(bool samplingSupported, int width, int height, int scale, const Rect32& filter);

// A window of width x scale by height x scale sampled pixels centred on a full-resolution
// point, kept inside the sampled filter rectangle where it fits. `step` is limited to 1..32.
struct ThumbRequest {
    Rect32 rect;
    int step;
};
ThumbRequest ThumbWindow(int width, int height, int scale, int step, int centreX, int centreY,
                         const Rect32& filter);
