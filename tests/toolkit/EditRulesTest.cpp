// Character classes, the real-value mapping and the slider's scroll codes.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>

#include "EditRules.h"

using namespace editrules;

namespace {

uint16_t Mask(char c) {
    auto u = static_cast<unsigned char>(c);
    return CharClassMask(u, std::isalpha(u) != 0, std::isalnum(u) != 0);
}

}  // namespace

TEST(ControlsRules, FloatClassTakesDigitsSignPointAndExponentOnly) {
    for (char c : std::string("0123456789eE-.\b")) {
        EXPECT_TRUE(Accepts(kFloat, Mask(c))) << c;
    }
    for (char c : std::string("aAxX_ +,/")) {
        EXPECT_FALSE(Accepts(kFloat, Mask(c))) << c;
    }
    EXPECT_EQ(Mask('7'), 0x55);
    EXPECT_EQ(Mask('e'), 0x46);
    EXPECT_EQ(Mask('x'), 0x42);
    EXPECT_EQ(Mask('g'), kLetters);
    EXPECT_EQ(Mask('_'), 0x28);
    EXPECT_EQ(Mask('\x01'), 0xFF);
    EXPECT_TRUE(Accepts(kHex, Mask('F')));
    EXPECT_FALSE(Accepts(kHex, Mask('G')));
}

TEST(ControlsRules, SliderMaximumFollowsTheShownDigits) {
    EXPECT_EQ(SliderMaxForFormat(1.5, "%5.2f"), 1500);
    EXPECT_EQ(SliderMaxForFormat(8, "%5.0f"), 80);
    EXPECT_EQ(SliderMaxForFormat(21, "%5.0f"), 210);
    EXPECT_EQ(SliderMaxForFormat(3.3, "%5.2f"), 3300);  // 3299.99.. + 0.49
    EXPECT_EQ(SliderMaxForFormat(5.2, "%5.2f"), 5200);
    EXPECT_EQ(SliderMaxForFormat(1, "%5.3f"), 10000);
    EXPECT_EQ(SliderMaxForFormat(2, "%g"), 1000);
    EXPECT_EQ(SliderMaxForFormat(2, ""), 1000);  // too short to have a digit count
    EXPECT_EQ(SliderMaxForFormat(1e12, "%5.3f"), 2147483647);
    EXPECT_EQ(PageSizeFor(1500, 10), 150);
    EXPECT_EQ(PageSizeFor(80, 10), 20);
}

TEST(ControlsRules, PositionsMapToValuesAndBack) {
    double v = PositionToValue(750, 0, 1.5, 1500);
    EXPECT_NEAR(v, 0.7505, 1e-12);
    EXPECT_EQ(FormatReal("%5.2f", v), " 0.75");
    EXPECT_EQ(FormatReal("%5.0f", PositionToValue(80, 0, 8, 80)), "    8");
    EXPECT_DOUBLE_EQ(PositionToValue(3, 2, 1, 0), 2);  // empty slider range: no division

    Conversion c = RealToPosition(9, 0, 8, 80);
    EXPECT_EQ(c.position, 80);
    EXPECT_TRUE(c.clamped);
    c = RealToPosition(0.75, 0, 1.5, 1500);
    EXPECT_EQ(c.position, 750);
    EXPECT_FALSE(c.clamped);
    c = RealToPosition(-3, 0.7, 4, 3300);
    EXPECT_EQ(c.position, 0);
    EXPECT_TRUE(c.clamped);
    // Text that is not a number: converted to NaN by strtod ("nan"), held at the minimum.
    c = RealToPosition(ParseReal("nan"), 0, 1, 1000);
    EXPECT_EQ(c.position, 0);
    EXPECT_TRUE(c.clamped);
    c = RealToPosition(ParseReal("inf"), 0, 1, 1000);
    EXPECT_EQ(c.position, 1000);
    EXPECT_DOUBLE_EQ(ParseReal("garbage"), 0);
    EXPECT_EQ(ParseInteger("12abc"), 12);
    EXPECT_EQ(IntegerToPosition(120, 0, 100).position, 100);
    EXPECT_FALSE(IntegerToPosition(40, 0, 100).clamped);
}

TEST(ControlsRules, WholeValueRowsSettleOnTheShownValue) {
    // Dragging between two whole values: the text shows the rounded value, and parsing it
    // lands the slider on that value's position.
    for (int pos = 0; pos <= 80; ++pos) {
        std::string text = FormatReal("%5.0f", PositionToValue(pos, 0, 8, 80));
        int back = RealToPosition(ParseReal(text), 0, 8, 80).position;
        EXPECT_EQ(back % 10, 0) << pos;
        EXPECT_EQ(FormatReal("%5.0f", PositionToValue(back, 0, 8, 80)), text) << pos;
    }
}

TEST(ControlsRules, ScrollCodesPickTheReportedOrTheCurrentPosition) {
    EXPECT_EQ(ScrollPosition(5, 33, 10, 0, 100, false), 33);  // thumb track
    EXPECT_EQ(ScrollPosition(4, 34, 10, 0, 100, false), 34);
    EXPECT_EQ(ScrollPosition(1, 99, 10, 0, 100, false), 10);  // line: read from the slider
    EXPECT_EQ(ScrollPosition(7, 99, 100, 0, 100, false), 100);
    EXPECT_FALSE(ScrollPosition(8, 0, 10, 0, 100, false));  // end of scroll
    EXPECT_EQ(ScrollPosition(5, 30, 0, 0, 100, true), 70);  // vertical: mirrored
    EXPECT_EQ(ScrollPosition(2, 0, 25, 0, 100, true), 75);
    EXPECT_FALSE(ScrollPosition(0, 0, 25, 0, 100, true));
}

TEST(ControlsRules, VerticalMirrorDoesNotOverflowNearTheIntegerLimits) {
    // min + max alone would overflow 32 bits.
    EXPECT_EQ(ScrollPosition(5, 0, 1600000000, 1500000000, 2000000000, true), 1900000000);
    EXPECT_EQ(MirrorPosition(2000000000, 1500000000, 2000000000), 1500000000);
    EXPECT_EQ(MirrorPosition(10, 0, 80), 70);
}

TEST(ControlsRules, FormatsWithoutOneFloatingConversionFallBackToGeneralForm) {
    // Anything but a single double conversion would read arguments that are not there.
    EXPECT_EQ(FormatReal("%s", 0.5), "0.5");
    EXPECT_EQ(FormatReal("%d", 0.5), "0.5");
    EXPECT_EQ(FormatReal("%5.2f %5.2f", 0.5), "0.5");
    EXPECT_EQ(FormatReal("%n", 0.5), "0.5");
    EXPECT_EQ(FormatReal("%*.2f", 0.5), "0.5");
    EXPECT_EQ(FormatReal("%Lf", 0.5), "0.5");
    EXPECT_EQ(FormatReal("%5.2", 0.5), "0.5");
    // Usable formats are kept, with their flags, width, precision and literal text.
    EXPECT_EQ(FormatReal("%-6.1f|", 0.5), "0.5   |");
    EXPECT_EQ(FormatReal("%+.3e", 0.5), "+5.000e-01");
    EXPECT_EQ(FormatReal("%.0f%%", 50), "50%");
    EXPECT_EQ(FormatReal("fixed", 50), "fixed");
}

TEST(ControlsRules, PositionsBeyondSixteenBitsAreReadFromTheSlider) {
    // The notification carries only 16 bits of the thumb position.
    EXPECT_EQ(ScrollPosition(5, 0xFFF6, -10, -50, 50, false), -10);
    EXPECT_EQ(ScrollPosition(4, 0x86A0 & 0xFFFF, 100000, 0, 1000000, false), 100000);
    EXPECT_EQ(ScrollPosition(5, 0x10, 70000, 0, 100000, true), 30000);
    EXPECT_EQ(ScrollPosition(5, 65535, 3, 0, 65535, false), 65535);  // still fits: as reported
}
