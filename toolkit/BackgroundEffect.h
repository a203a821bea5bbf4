// The pixel math of the background effects: effect names, gradient bands, and the textured
// effects 7 to 15 rendered into an 8-bit palette bitmap.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "PackedDib.h"

namespace effects {

enum Effect : int32_t {
    kTransparent = -1,
    kSolid = 0,
    kHGradient,
    kVGradient,
    kHCGradient,
    kVCGradient,
    k3HGradient,
    k3VGradient,
    kNoise,
    kDiagShade,
    kHShade,
    kVShade,
    kHBump,
    kVBump,
    kSoftBump,
    kHardBump,
    kMetal,
};

// The effect number of a markup value: one of the names ("transparent" is -1), else the
// value read as a decimal number.
int32_t EffectFromName(std::string_view value);
bool IsBitmapEffect(int32_t effect);

// One of the 64 bands of a gradient from colour p to colour q over `extent` pixels: the offsets
// [from, to) along the gradient and the band's colour. A band with to <= from is empty.
struct Band {
    int32_t from;
    int32_t to;
    uint32_t colour;
};
constexpr int kGradientBands = 64;
Band GradientBand(uint32_t p, uint32_t q, int band, int32_t extent);

// A gradient's halves split at offset extent / 2.
struct Split {
    int32_t first;  // extent of the first half
    int32_t second;
};
inline Split SplitHalves(int32_t extent) {
    return {extent / 2, extent - extent / 2};
}

// The 256-entry table: 0 is the end colour, 128 the middle colour, 255 the begin colour.
void BuildPalette(dib::PackedDib& bitmap, uint32_t begin, uint32_t middle, uint32_t end);

// The standard library's generator, or a replacement in tests; values 0 to 32767.
using Random = std::function<int()>;

// Allocates a w x h 8-bit bitmap, builds and tints its palette towards `begin` (percent from
// the low byte of `tint`) and fills its pixels for a bitmap effect (7 to 15). The generator is
// drawn row by row from the bottom stored row, left to right. False when the bitmap cannot be
// allocated or the effect is not a bitmap effect.
bool RenderEffect(dib::PackedDib& bitmap, int32_t effect, int32_t width, int32_t height,
                  uint32_t begin, uint32_t middle, uint32_t end, uint32_t granularity,
                  uint32_t tint, const Random& random);

}  // namespace effects
