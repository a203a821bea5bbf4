// Rectangle and step arithmetic; every product is formed in 64 bits so that host values at
// the ends of their range cannot overflow.
#include "plugin/HostRect.h"

#include <algorithm>
#include <cstdint>

namespace {

int32_t Clamp32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// One axis of the thumbnail window: starts at centre - size/2, moved back inside
// [lo, hi) where it fits, raised to lo where it does not.
void PlaceSpan(int64_t centre, int64_t size, int64_t lo, int64_t hi, int32_t& first,
               int32_t& last) {
    int64_t a = centre - size / 2;
    if (a < lo)
        a = lo;
    int64_t b = a + size;
    if (b > hi) {
        b = hi;
        a = hi - size;
        if (a < lo)
            a = lo;
    }
    first = Clamp32(a);
    last = Clamp32(b);
}

}  // namespace

int InDecFromRate(bool samplingSupported, int32_t inputRate) {
    if (!samplingSupported)
        return 1;
    int64_t step = (int64_t(inputRate) + 1) >> 16;
    return int(std::clamp<int64_t>(step, 1, 64));
}

int32_t StepToFixed(int step) {
    return Clamp32(int64_t(step) * 65536);
}

Rect32 LimitToScaledFilter(const Rect32& request, const Rect32& filter, int step) {
    if (step < 1)
        step = 1;
    Rect32 r = request;
    r.top = std::max(r.top, filter.top / step);
    r.bottom = std::min(r.bottom, filter.bottom / step);
    r.left = std::max(r.left, filter.left / step);
    r.right = std::min(r.right, filter.right / step);
    r.left = std::min(r.left, r.right);
    r.top = std::min(r.top, r.bottom);
    return r;
}

int ThumbMaxDec(bool samplingSupported, int width, int height, int scale, const Rect32& filter) {
    if (!samplingSupported)
        return 1;
    double fw = double(int64_t(filter.right) - filter.left);
    double fh = double(int64_t(filter.bottom) - filter.top);
    if (fw <= 0 || fh <= 0)
        return 1;
    double rx = double(width) * double(scale) / fw;
    double ry = double(height) * double(scale) / fh;
    double m = std::max(rx, ry);
    // A window of no size fits at any step; keep the conversion defined.
    if (!(m > 0))
        return 1;
    double dec = 1.0 / m;
    if (dec >= double(1 << 30))
        return 1 << 30;
    return std::max(1, int(dec));
}

ThumbRequest ThumbWindow(int width, int height, int scale, int step, int centreX, int centreY,
                         const Rect32& filter) {
    step = std::clamp(step, 1, 32);
    int64_t top = filter.top, bottom = filter.bottom, left = filter.left, right = filter.right;
    int64_t cx = centreX, cy = centreY;
    if (step >= 2) {
        top /= step;
        bottom /= step;
        left /= step;
        right /= step;
        cx /= step;
        cy /= step;
    }
    int64_t w = int64_t(width) * scale;
    int64_t h = int64_t(height) * scale;
    ThumbRequest out{};
    PlaceSpan(cy, h, top, bottom, out.rect.top, out.rect.bottom);
    PlaceSpan(cx, w, left, right, out.rect.left, out.rect.right);
    out.step = step;
    return out;
}
