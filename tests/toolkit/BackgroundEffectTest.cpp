// The packed bitmap (row layout, bounds, palette tint) and the background effects' pixel math,
// checked against values worked out by hand from the formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "BackgroundEffect.h"
#include "PackedDib.h"

using dib::PackedDib;
using dib::Rgb;

TEST(PackedDib, RowsArePaddedToFourBytesAndStoredBottomUp) {
    struct Case {
        int32_t width;
        uint16_t bits;
        uint32_t stride;
        uint16_t palette;
    };
    const Case cases[] = {{1, 8, 4, 256}, {5, 24, 16, 0}, {33, 1, 8, 2},
                          {3, 4, 4, 16},  {4, 8, 4, 256}, {7, 32, 28, 0}};
    for (const Case& c : cases) {
        PackedDib bitmap;
        ASSERT_NE(bitmap.Allocate(c.width, 3, c.bits), nullptr);
        EXPECT_EQ(bitmap.RowStride(), c.stride) << c.width << "x" << c.bits;
        EXPECT_EQ(bitmap.PaletteCount(), c.palette);
        EXPECT_EQ(bitmap.ImageSize(), c.stride * 3);
        EXPECT_EQ(bitmap.TotalSize(), 40u + 4u * c.palette + c.stride * 3);
        EXPECT_EQ(bitmap.BitsPointer(), bitmap.Block() + 40 + 4 * c.palette);
        EXPECT_EQ(bitmap.Header().height, 3);  // positive: bottom-up
    }

    PackedDib bitmap;
    ASSERT_TRUE(bitmap.Allocate(3, 2, 8));
    bitmap.FillBits(9);
    bitmap.SetPixelValue(0, 0, 1);  // top row on screen: the last stored row
    bitmap.SetPixelValue(2, 1, 2);  // bottom row: the first stored row
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 2}}) {
        bitmap.SetPixelValue(x, y, 7);  // outside: ignored
    }
    const uint8_t* rows = bitmap.BitsPointer();
    const uint8_t expected[8] = {9, 9, 2, 9, 1, 9, 9, 9};  // stride 4: last byte is padding
    EXPECT_EQ(std::vector<uint8_t>(rows, rows + 8), std::vector<uint8_t>(expected, expected + 8));
}

TEST(PackedDib, RefusedSizesLeaveItEmptyAndEveryOperationHarmless) {
    const int32_t sizes[][3] = {{0, 5, 8},          {5, 0, 8},         {-1, 5, 8}, {5, -3, 8},
                                {INT32_MAX, 1, 32}, {70000, 70000, 8}, {5, 5, 0}};
    for (const auto& s : sizes) {
        PackedDib bitmap;
        EXPECT_EQ(bitmap.Allocate(s[0], s[1], static_cast<uint16_t>(s[2])), nullptr)
            << s[0] << "x" << s[1];
        EXPECT_EQ(bitmap.BitsPointer(), nullptr);
        bitmap.SetPixelValue(0, 0, 1);
        bitmap.SetPaletteEntry(0, 1, 2, 3);
        bitmap.FillBits(1);
        bitmap.TintPalette(0xFFFFFF, 50);
        EXPECT_EQ(bitmap.PaletteEntry(0), 0u);
    }
    // A true-colour image has no byte per pixel to set and no palette.
    PackedDib rgb;
    ASSERT_TRUE(rgb.Allocate(2, 2, 24));
    rgb.FillBits(0);
    rgb.SetPixelValue(1, 1, 5);
    rgb.SetPaletteEntry(0, 1, 2, 3);
    EXPECT_EQ(rgb.BitsPointer()[0], 0);
}

TEST(PackedDib, TintMixesTowardsTheColourAndCapsAtAHundred) {
    PackedDib bitmap;
    ASSERT_TRUE(bitmap.Allocate(1, 1, 8));
    for (int i = 0; i < 256; ++i) {
        bitmap.SetPaletteEntry(static_cast<uint8_t>(i), 10, 100, 200);
    }
    bitmap.TintPalette(Rgb(110, 0, 255), 50);
    EXPECT_EQ(bitmap.PaletteEntry(17), Rgb(60, 50, 227));
    bitmap.TintPalette(Rgb(1, 2, 3), 250);  // above 100 acts as 100
    EXPECT_EQ(bitmap.PaletteEntry(255), Rgb(1, 2, 3));
    EXPECT_EQ(bitmap.Block()[40 + 3], 0);  // the reserved byte
}

TEST(BackgroundEffect, NamesGiveNumbersAndAnythingElseIsReadAsOne) {
    const char* names[] = {"solid",      "hgradient",  "vgradient",  "hcgradient",
                           "vcgradient", "3hgradient", "3vgradient", "noise",
                           "diagshade",  "hshade",     "vshade",     "hbump",
                           "vbump",      "softbump",   "hardbump",   "metal"};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(effects::EffectFromName(names[i]), i);
    }
    EXPECT_EQ(effects::EffectFromName("transparent"), -1);
    EXPECT_EQ(effects::EffectFromName("13"), 13);
    EXPECT_EQ(effects::EffectFromName("bogus"), 0);
    EXPECT_EQ(effects::EffectFromName("99999999999999"), INT32_MAX);
}

TEST(BackgroundEffect, GradientBandsCoverTheExtentOnceAndNeverReachTheEndColour) {
    for (int32_t extent : {0, 1, 10, 63, 64, 65, 1000}) {
        std::vector<int> covered(static_cast<size_t>(extent), 0);
        int painted = 0;
        int lastPainted = -1;
        for (int i = 0; i < effects::kGradientBands; ++i) {
            const effects::Band b = effects::GradientBand(0, Rgb(255, 255, 255), i, extent);
            if (b.to <= b.from) {
                continue;
            }
            ++painted;
            lastPainted = i;
            for (int32_t p = b.from; p < b.to; ++p) {
                ++covered[static_cast<size_t>(p)];
            }
        }
        EXPECT_EQ(painted, std::min(extent, 64)) << extent;
        EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), extent) << extent;
        if (extent > 0) {
            EXPECT_EQ(lastPainted, 63);
        }
    }
    EXPECT_EQ(effects::GradientBand(0, Rgb(255, 255, 255), 63, 10).colour, Rgb(251, 251, 251));
    EXPECT_EQ(effects::GradientBand(Rgb(200, 0, 64), Rgb(0, 100, 0), 0, 10).colour,
              Rgb(200, 0, 64));
    EXPECT_EQ(effects::SplitHalves(7).first, 3);
    EXPECT_EQ(effects::SplitHalves(7).second, 4);
}

TEST(BackgroundEffect, PaletteRunsFromEndThroughMiddleToBeginAndIsTinted) {
    const uint32_t begin = Rgb(170, 213, 255);
    const uint32_t middle = Rgb(140, 198, 255);
    const uint32_t end = Rgb(34, 146, 255);
    PackedDib bitmap;
    ASSERT_TRUE(effects::RenderEffect(bitmap, effects::kNoise, 4, 4, begin, middle, end, 0, 0,
                                      [] { return 0; }));
    EXPECT_EQ(bitmap.PaletteEntry(0), end);
    EXPECT_EQ(bitmap.PaletteEntry(64), Rgb(87, 172, 255));
    EXPECT_EQ(bitmap.PaletteEntry(128), Rgb(140, 198, 255));  // (begin + 127 middle) / 128
    EXPECT_EQ(bitmap.PaletteEntry(200), Rgb(157, 206, 255));
    EXPECT_EQ(bitmap.PaletteEntry(255), begin);

    // The tint's low byte: 0x105 is 5 percent.
    ASSERT_TRUE(effects::RenderEffect(bitmap, effects::kNoise, 4, 4, begin, middle, end, 0, 0x105,
                                      [] { return 0; }));
    EXPECT_EQ(bitmap.PaletteEntry(0), Rgb(40, 149, 255));
    EXPECT_EQ(bitmap.PaletteEntry(255), begin);
}

TEST(BackgroundEffect, PixelsFollowEachFormula) {
    // 12 x 8, granularity 5 (A 5, B 245), and a generator of zeros: no noise term.
    struct Probe {
        int32_t effect;
        int32_t row;  // stored row, 0 at the bottom
        int32_t x;
        uint8_t value;
    };
    const Probe probes[] = {
        {effects::kNoise, 0, 0, 123},     {effects::kNoise, 7, 11, 123},
        {effects::kDiagShade, 0, 0, 122}, {effects::kDiagShade, 7, 11, 116},
        {effects::kHShade, 0, 5, 0},      {effects::kHShade, 7, 5, 214},
        {effects::kVShade, 3, 0, 245},    {effects::kVShade, 3, 11, 20},
        {effects::kHBump, 0, 4, 3},       {effects::kHBump, 7, 4, 174},
        {effects::kVBump, 2, 0, 246},     {effects::kSoftBump, 0, 0, 125},
        {effects::kHardBump, 0, 0, 3},    {effects::kHardBump, 4, 11, 64},
        {effects::kHardBump, 4, 0, 245},  {effects::kHardBump, 4, 5, 118},
    };
    PackedDib bitmap;
    for (const Probe& p : probes) {
        ASSERT_TRUE(effects::RenderEffect(bitmap, p.effect, 12, 8, 0xFFFFFF, 0x808080, 0, 5, 0,
                                          [] { return 0; }));
        const uint8_t* row =
            bitmap.BitsPointer() + bitmap.RowStride() * static_cast<uint32_t>(p.row);
        EXPECT_EQ(row[p.x], p.value) << "effect " << p.effect << " row " << p.row << " x " << p.x;
    }
}

TEST(BackgroundEffect, NoiseTermComesFromTheGeneratorOverTheGranularity) {
    PackedDib bitmap;
    // Granularity 0: G = 32767, so only the generator's largest value adds one.
    int calls = 0;
    ASSERT_TRUE(effects::RenderEffect(bitmap, effects::kNoise, 2, 1, 0, 0, 0, 0, 0,
                                      [&calls] { return calls++ == 0 ? 32767 : 32766; }));
    EXPECT_EQ(bitmap.BitsPointer()[0], 129);
    EXPECT_EQ(bitmap.BitsPointer()[1], 128);
    EXPECT_EQ(calls, 2);
    // Granularity 5: G = 3276, so 32767 adds 10 and the result is 10 - 5 + 128.
    ASSERT_TRUE(
        effects::RenderEffect(bitmap, effects::kNoise, 3, 3, 0, 0, 0, 5, 0, [] { return 32767; }));
    EXPECT_EQ(bitmap.BitsPointer()[0], 133);
}

TEST(BackgroundEffect, EveryEffectHandlesTinyAndOddSizesAndGranularities) {
    // Sizes that make the hard bump's and the metal's divisors zero, and granularities whose
    // constants go negative; the sanitizers watch for division by zero and overflow.
    unsigned seed = 1;
    auto lcg = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) & 0x7FFF);
    };
    const int32_t sizes[][2] = {{1, 1}, {1, 40}, {40, 1}, {5, 5}, {6, 2}, {37, 23}, {300, 90}};
    for (int effect = effects::kNoise; effect <= effects::kMetal; ++effect) {
        for (const auto& s : sizes) {
            for (uint32_t granularity : {0u, 5u, 127u, 200u, 0x1234u}) {
                PackedDib bitmap;
                ASSERT_TRUE(effects::RenderEffect(bitmap, effect, s[0], s[1], 0xFFFFFF, 0x808080, 0,
                                                  granularity, 5, lcg));
                ASSERT_EQ(bitmap.Header().width, s[0]);
            }
        }
    }
    PackedDib bitmap;
    EXPECT_FALSE(effects::RenderEffect(bitmap, effects::kSolid, 5, 5, 0, 0, 0, 0, 0, lcg));
    EXPECT_FALSE(effects::RenderEffect(bitmap, effects::kNoise, 0, 5, 0, 0, 0, 0, 0, lcg));
}

TEST(BackgroundEffect, MetalDrawsStrokesOverTheShade) {
    PackedDib bitmap;
    unsigned seed = 7;
    auto lcg = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) & 0x7FFF);
    };
    int calls = 0;
    ASSERT_TRUE(
        effects::RenderEffect(bitmap, effects::kMetal, 64, 32, 0xFFFFFF, 0x808080, 0, 5, 0, [&] {
            ++calls;
            return lcg();
        }));
    // 200 strokes of four draws, then one draw per pixel.
    EXPECT_EQ(calls, 800 + 64 * 32);
    // The shade alone ((B - 40) / 2 = 102) spans 102 * r / h + 102 * (w - x) / w + noise; the
    // strokes add up to 40 on some pixels.
    int above = 0;
    for (int32_t r = 0; r < 32; ++r) {
        for (int32_t x = 0; x < 64; ++x) {
            const int shade = 102 * r / 32 + 102 * (64 - x) / 64;
            const int v = bitmap.BitsPointer()[bitmap.RowStride() * static_cast<uint32_t>(r) +
                                               static_cast<uint32_t>(x)];
            ASSERT_GE(v, shade);
            ASSERT_LE(v, shade + 10 + 40);
            above += v > shade + 10;
        }
    }
    EXPECT_GT(above, 0);
}
