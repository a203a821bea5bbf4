// Rectangle and step arithmetic of the host requests, and the display copy.
#include "plugin/HostRect.h"
#include "plugin/PixelRows.h"
#include "plugin/PluginFailure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(PluginHostMath, ThirtyTwoBitRectanglesPassWithoutLoss) {
    const Rect32 filter{0, 250000, 0, 1000000};
    EXPECT_EQ(LimitToScaledFilter({40000, 240000, 33000, 999999}, filter, 1),
              (Rect32{40000, 240000, 33000, 999999}));
}

TEST(PluginHostMath, StepsComeFromTheRateOnlyWithSampling) {
    EXPECT_EQ(InDecFromRate(false, 8 << 16), 1);
    EXPECT_EQ(InDecFromRate(true, 8 << 16), 8);
    EXPECT_EQ(InDecFromRate(true, (3 << 16) - 1), 3) << "rounded by the +1";
    EXPECT_EQ(InDecFromRate(true, 0), 1);
    EXPECT_EQ(InDecFromRate(true, 1000 << 16), 64);
    EXPECT_EQ(InDecFromRate(true, INT32_MAX), 64);
    EXPECT_EQ(StepToFixed(3), 3 << 16);
    EXPECT_EQ(StepToFixed(1 << 20), INT32_MAX);
}

TEST(PluginHostMath, ThumbMaxDecIsTheLargestCoveringStep) {
    const Rect32 filter{0, 2048, 0, 4096};
    EXPECT_EQ(ThumbMaxDec(false, 128, 128, 1, filter), 1);
    EXPECT_EQ(ThumbMaxDec(true, 128, 32, 1, filter), 32) << "the width decides";
    EXPECT_EQ(ThumbMaxDec(true, 128, 128, 1, filter), 16) << "the height decides";
    EXPECT_EQ(ThumbMaxDec(true, 128, 128, 2, filter), 8);
    EXPECT_EQ(ThumbMaxDec(true, 8000, 8000, 1, filter), 1);
    EXPECT_EQ(ThumbMaxDec(true, 100, 100, 1, Rect32{0, 0, 0, 0}), 1);
    EXPECT_EQ(ThumbMaxDec(true, 0, 0, 1, filter), 1) << "defined for an empty window";
}

TEST(PluginHostMath, ThumbWindowIsCentredAndKeptInside) {
    const Rect32 filter{0, 1000, 0, 2000};
    ThumbRequest r = ThumbWindow(100, 50, 1, 1, 1000, 500, filter);
    EXPECT_EQ(r.rect, (Rect32{475, 525, 950, 1050}));
    r = ThumbWindow(100, 50, 1, 1, 1990, 5, filter);
    EXPECT_EQ(r.rect, (Rect32{0, 50, 1900, 2000}));
    r = ThumbWindow(100, 50, 2, 4, 1000, 500, filter);
    EXPECT_EQ(r.step, 4);
    EXPECT_EQ(r.rect, (Rect32{75, 175, 150, 350}));
    // Larger than the sampled filter rectangle: the whole of it.
    r = ThumbWindow(5000, 5000, 1, 1, 1000, 500, filter);
    EXPECT_EQ(r.rect, filter);
    r = ThumbWindow(5000, 5000, 1, 100, 1000, 500, filter);
    EXPECT_EQ(r.step, 32);
    EXPECT_EQ(r.rect, (Rect32{0, 31, 0, 62}));
}

TEST(PluginHostMath, SixteenBitSamplesShowOnTheHostScale) {
    const uint16_t samples[6] = {32768, 32640, 32767, 128, 127, 256};
    uint8_t dst[6];
    RowsToBottomUpBgr(reinterpret_cast<const uint8_t*>(samples), 12, true, dst, 6, 2, 1);
    const uint8_t expected[6] = {255, 255, 255, 2, 0, 1};
    EXPECT_EQ(0, std::memcmp(dst, expected, sizeof dst));
}

TEST(PluginHostMath, BufferChecksRefuseShortStridesAndOverflow) {
    size_t length = 0;
    ASSERT_TRUE(RowLength(100, 6, length));
    EXPECT_EQ(length, 600u);
    EXPECT_FALSE(RowLength(-1, 3, length));
    EXPECT_FALSE(RowLength(int64_t(1) << 31, 3, length));
    EXPECT_FALSE(RowLength(10, 0, length));
    const uint8_t buffer[1] = {};
    EXPECT_TRUE(BufferHoldsRows(buffer, 10, 600, 600));
    EXPECT_FALSE(BufferHoldsRows(buffer, 10, 599, 600));
    EXPECT_FALSE(BufferHoldsRows(nullptr, 10, 600, 600));
    EXPECT_FALSE(BufferHoldsRows(buffer, 10, -600, 600));
    EXPECT_TRUE(BufferHoldsRows(nullptr, 0, 0, 600)) << "nothing to touch";
    EXPECT_FALSE(BufferHoldsRows(buffer, INT64_MAX / 2, INT32_MAX, 600));
    EXPECT_EQ(BytesPerPixel(3), 3);
    EXPECT_EQ(BytesPerPixel(11), 6);
    EXPECT_EQ(BytesPerPixel(1), 0);
}

TEST(PluginHostMath, ErrorTextsLongerThan255CharactersAreNotStored) {
    unsigned char buffer[256];
    std::memset(buffer, 0x77, sizeof buffer);
    const std::string fits(255, 'x');
    ASSERT_TRUE(StorePascalString(buffer, fits.c_str()));
    EXPECT_EQ(buffer[0], 255);
    EXPECT_EQ(buffer[255], 'x');
    std::memset(buffer, 0x77, sizeof buffer);
    const std::string tooLong(256, 'y');
    EXPECT_FALSE(StorePascalString(buffer, tooLong.c_str()));
    EXPECT_EQ(buffer[0], 0x77);
    EXPECT_EQ(buffer[1], 0x77);
}

}  // namespace
