// The pixel math of the background effects.
#include "BackgroundEffect.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace effects {

namespace {

constexpr const char* kNames[] = {"solid",      "hgradient",  "vgradient",  "hcgradient",
                                  "vcgradient", "3hgradient", "3vgradient", "noise",
                                  "diagshade",  "hshade",     "vshade",     "hbump",
                                  "vbump",      "softbump",   "hardbump",   "metal"};

// The pixel formulas are written for 32-bit integers; 64-bit intermediates give the same
// values for every size a bitmap can have while no product can overflow.
using Int = int64_t;

Int Cube(Int t) {
    return t * t * t / 16384;
}

uint32_t Mix(uint32_t a, uint32_t b, uint32_t weightA, uint32_t weightB, uint32_t shift) {
    const uint32_t red = (dib::RedOf(a) * weightA + dib::RedOf(b) * weightB) >> shift;
    const uint32_t green = (dib::GreenOf(a) * weightA + dib::GreenOf(b) * weightB) >> shift;
    const uint32_t blue = (dib::BlueOf(a) * weightA + dib::BlueOf(b) * weightB) >> shift;
    return dib::Rgb(red, green, blue);
}

// The effect's constants from the granularity and the bitmap size.
struct Constants {
    Int a;  // granularity's low byte
    Int b;  // 255 - 2a
    Int g;  // divisor of the generator's values
    Int w;
    Int h;
};

}  // namespace

int32_t EffectFromName(std::string_view value) {
    if (value == "transparent") {
        return kTransparent;
    }
    for (int32_t i = 0; i < static_cast<int32_t>(std::size(kNames)); ++i) {
        if (value == kNames[i]) {
            return i;
        }
    }
    const std::string text(value);
    const long number = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long>(number, INT32_MIN, INT32_MAX));
}

bool IsBitmapEffect(int32_t effect) {
    return effect >= kNoise && effect <= kMetal;
}

Band GradientBand(uint32_t p, uint32_t q, int band, int32_t extent) {
    const Int e = extent;
    Band result;
    result.from = static_cast<int32_t>(band * e >> 6);
    result.to = static_cast<int32_t>((band + 1) * e >> 6);
    result.colour =
        Mix(p, q, static_cast<uint32_t>(kGradientBands - band), static_cast<uint32_t>(band), 6);
    return result;
}

void BuildPalette(dib::PackedDib& bitmap, uint32_t begin, uint32_t middle, uint32_t end) {
    auto set = [&bitmap](int index, uint32_t colour) {
        bitmap.SetPaletteEntry(
            static_cast<uint8_t>(index), static_cast<uint8_t>(dib::RedOf(colour)),
            static_cast<uint8_t>(dib::GreenOf(colour)), static_cast<uint8_t>(dib::BlueOf(colour)));
    };
    auto mix = [](uint32_t a, uint32_t b, uint32_t i) {
        const uint32_t red = (dib::RedOf(a) * i + dib::RedOf(b) * (128 - i)) / 128;
        const uint32_t green = (dib::GreenOf(a) * i + dib::GreenOf(b) * (128 - i)) / 128;
        const uint32_t blue = (dib::BlueOf(a) * i + dib::BlueOf(b) * (128 - i)) / 128;
        return dib::Rgb(red, green, blue);
    };
    for (uint32_t i = 0; i <= 128; ++i) {
        set(static_cast<int>(i), mix(middle, end, i));
    }
    for (uint32_t j = 1; j <= 128; ++j) {
        set(static_cast<int>(127 + j), mix(begin, middle, j));
    }
}

bool RenderEffect(dib::PackedDib& bitmap, int32_t effect, int32_t width, int32_t height,
                  uint32_t begin, uint32_t middle, uint32_t end, uint32_t granularity,
                  uint32_t tint, const Random& random) {
    if (!IsBitmapEffect(effect) || !bitmap.Allocate(width, height, 8)) {
        return false;
    }
    BuildPalette(bitmap, begin, middle, end);
    bitmap.TintPalette(begin, tint & 0xFF);

    Constants k;
    k.a = granularity & 0xFF;
    k.b = 255 - 2 * k.a;
    k.g = 32767 / std::max<Int>(2 * k.a, 1);
    k.w = width;
    k.h = height;
    const Int a = k.a;
    const Int w = k.w;
    const Int h = k.h;
    auto r = [&random, &k]() -> Int { return random() / k.g; };

    uint8_t* bits = bitmap.BitsPointer();
    const size_t stride = bitmap.RowStride();
    // Calls value(row, x) for every pixel, bottom stored row first, and stores it modulo 256.
    auto each = [&](auto value) {
        for (Int row = 0; row < h; ++row) {
            uint8_t* line = bits + static_cast<size_t>(row) * stride;
            for (Int x = 0; x < w; ++x) {
                line[x] = static_cast<uint8_t>(value(row, x, line[x]));
            }
        }
    };

    const Int q = k.b / 2;
    const Int hh = 128 - a;
    switch (effect) {
        case kNoise:
            each([&](Int, Int, uint8_t) { return r() - a + 128; });
            break;
        case kDiagShade:
            each([&](Int row, Int x, uint8_t) { return row * q / h + q * (w - x) / w + r(); });
            break;
        case kHShade:
            each([&](Int row, Int, uint8_t) { return row * k.b / h + r(); });
            break;
        case kVShade:
            each([&](Int, Int x, uint8_t) { return k.b * (w - x) / w + r(); });
            break;
        case kHBump:
            each([&](Int row, Int, uint8_t) {
                return Cube(255 * row / h - 127) * hh / 128 + 128 + r() - a;
            });
            break;
        case kVBump:
            each([&](Int, Int x, uint8_t) {
                return Cube(255 * (w - x) / w - 127) * hh / 128 + 128 + r() - a;
            });
            break;
        case kSoftBump:
            each([&](Int row, Int x, uint8_t) {
                const Int s = Cube(255 * row / h - 127);
                const Int t = 255 * (w - x) / w - 127;
                Int m = (s + Cube(t)) * hh / 128 + 128;
                if (m < a) {
                    m = a;
                }
                if (m > 255 - a) {
                    m = 255 - a;
                }
                return m + r() - a;
            });
            break;
        case kHardBump: {
            const Int e64 = 64 - a;
            each([&](Int row, Int, uint8_t) {
                return e64 * Cube(255 * row / h - 127) * 2 / 128 + 128 + r() - a;
            });
            // The divisors are at least 1: a bitmap under 6 pixels wide or 2 high would
            // otherwise divide by zero.
            const Int f = std::min<Int>(w / 6, 16);
            const Int fDiv = std::max<Int>(f, 1);
            const Int span = std::max<Int>(h * h / 4, 1);
            const Int k0 = -(h / 2) * f;
            each([&](Int row, Int x, uint8_t pixel) {
                const Int kk = k0 + row * f;
                const Int e = kk * (row - h / 2) / span + w / 2 - f;
                const Int c = x - w / 2;
                Int value = pixel;
                if (e < c) {
                    value = a + (w - x) * 128 / fDiv;
                }
                if (e + c < 0) {
                    value = (255 - a) - x * 128 / fDiv;
                }
                return value + r() - a;
            });
            break;
        }
        case kMetal: {
            bitmap.FillBits(0);
            const Int dx = std::max<Int>(32767 / w, 1);
            const Int dy = std::max<Int>(32767 / h, 1);
            const Int dl = std::max<Int>(32767 / std::min(w, h), 1);
            for (int stroke = 0; stroke < 200; ++stroke) {
                const Int x0 = random() / dx;
                const Int y0 = random() / dy;
                const Int length = random() / dl / 2;
                const auto value = static_cast<uint8_t>(random() / 819);
                for (Int j = 0; j < length; ++j) {
                    if (x0 - j > 0 && y0 + j < h) {
                        bitmap.SetPixelValue(static_cast<int32_t>(x0 - j),
                                             static_cast<int32_t>(y0 + j), value);
                    }
                    if (x0 + j < w && y0 - j > 0) {
                        bitmap.SetPixelValue(static_cast<int32_t>(w - x0 + j),
                                             static_cast<int32_t>(y0 - j), value);
                    }
                }
            }
            const Int i = (k.b - 40) / 2;
            each([&](Int row, Int x, uint8_t pixel) {
                return pixel + row * i / h + i * (w - x) / w + r();
            });
            break;
        }
        default:
            return false;
    }
    return true;
}

}  // namespace effects
