// Pixel math of the tooltip's picture.
#include "TipPicture.h"

#include <algorithm>

namespace tooltip {

namespace {

// One pass of a box filter of `size` along rows (or columns, with the strides swapped).
void BoxPass(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, int32_t lines,
             int32_t length, size_t lineStride, size_t step, int32_t size) {
    const int32_t before = (size - 1) / 2;
    const int32_t after = size - 1 - before;
    for (int32_t line = 0; line < lines; ++line) {
        const size_t base = static_cast<size_t>(line) * lineStride;
        uint32_t sum = 0;
        // The window [i - before, i + after], with positions outside the mask counting 0.
        for (int32_t i = 0; i < std::min(after, length); ++i) {
            sum += in[base + static_cast<size_t>(i) * step];
        }
        for (int32_t i = 0; i < length; ++i) {
            const int32_t add = i + after;
            const int32_t drop = i - before - 1;
            if (add < length) {
                sum += in[base + static_cast<size_t>(add) * step];
            }
            if (drop >= 0) {
                sum -= in[base + static_cast<size_t>(drop) * step];
            }
            out[base + static_cast<size_t>(i) * step] =
                static_cast<uint8_t>(sum / static_cast<uint32_t>(size));
        }
    }
}

}  // namespace

uint8_t ShadowGrey(uint32_t darkness) {
    const uint32_t d = std::min<uint32_t>(darkness, 100);
    return static_cast<uint8_t>(255 * (100 - d) / 100);
}

void BlurMask(std::vector<uint8_t>& mask, int32_t width, int32_t height, int32_t blurX,
              int32_t blurY) {
    if (width <= 0 || height <= 0 ||
        mask.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return;
    }
    std::vector<uint8_t> tmp(mask.size());
    if (blurX >= 2) {
        BoxPass(mask, tmp, height, width, static_cast<size_t>(width), 1, blurX);
        mask.swap(tmp);
    }
    if (blurY >= 2) {
        BoxPass(mask, tmp, width, height, 1, static_cast<size_t>(width), blurY);
        mask.swap(tmp);
    }
}

void ApplyShadow(uint32_t* pixels, const std::vector<uint8_t>& mask, int32_t width, int32_t height,
                 uint8_t grey) {
    if (width <= 0 || height <= 0) {
        return;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count && i < mask.size(); ++i) {
        const uint32_t m = mask[i];
        if (m == 0) {
            continue;
        }
        const uint32_t factor = 255 - (255 - grey) * m / 255;
        const uint32_t p = pixels[i];
        const uint32_t r = ((p >> 16) & 0xFF) * factor / 255;
        const uint32_t g = ((p >> 8) & 0xFF) * factor / 255;
        const uint32_t b = (p & 0xFF) * factor / 255;
        pixels[i] = (r << 16) | (g << 8) | b;
    }
}

void Blend(const uint32_t* picture, const uint32_t* behind, uint32_t* out, size_t count,
           int transparency) {
    const uint32_t t = static_cast<uint32_t>(std::clamp(transparency, 0, 100));
    const uint32_t o = 100 - t;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = picture[i];
        const uint32_t q = behind[i];
        uint32_t result = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const uint32_t channel = (((p >> shift) & 0xFF) * o + ((q >> shift) & 0xFF) * t) / 100;
            result |= channel << shift;
        }
        out[i] = result;
    }
}

}  // namespace tooltip
