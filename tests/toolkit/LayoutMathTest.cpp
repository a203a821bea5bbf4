// Anchor arithmetic, clip and repaint rules, the grip shape and the stored placement text.
#include <gtest/gtest.h>

#include "LayoutMath.h"

using namespace layout;

TEST(ResizableMath, StretchedControlGrowsByExactlyTheClientChange) {
    Box control{10, 20, 110, 80};
    Offset tl;
    Offset br;
    ComputeMargins(300, 200, control, kTopLeft, kBottomRight, tl, br);
    Box grown = ArrangeBox(377, 251, kTopLeft, tl, kBottomRight, br);
    EXPECT_EQ(grown, (Box{10, 20, 187, 131}));
    EXPECT_EQ(ArrangeBox(300, 200, kTopLeft, tl, kBottomRight, br), control);
}

TEST(ResizableMath, BottomRightAnchorAloneKeepsSizeAndDistanceToTheCorner) {
    Box control{250, 170, 290, 190};
    Offset tl;
    Offset br;
    ComputeMargins(300, 200, control, kBottomRight, kNoAnchor, tl, br);
    Box moved = ArrangeBox(420, 260, kBottomRight, tl, kNoAnchor, br);
    EXPECT_EQ(moved.Width(), 40);
    EXPECT_EQ(moved.Height(), 20);
    EXPECT_EQ(420 - moved.right, 10);
    EXPECT_EQ(260 - moved.bottom, 10);
}

TEST(ResizableMath, CentreAnchorsUseIntegerDivisionOfOddSizes) {
    Box control{40, 0, 60, 10};
    Offset tl;
    Offset br;
    ComputeMargins(101, 51, control, kTopCenter, kTopCenter, tl, br);
    EXPECT_EQ(tl.x, 40 - 50);  // 101 * 50 / 100 = 50
    Box moved = ArrangeBox(203, 51, kTopCenter, tl, kTopCenter, br);
    EXPECT_EQ(moved.left, 101 - 10);
    EXPECT_EQ(moved.Width(), 20);
    // Huge client areas do not overflow the percentage.
    EXPECT_EQ(AnchorPoint(2000000000, 0, kBottomRight).x, 2000000000);
}

TEST(ResizableMath, ListBoxRepaintsOnlyWhenScrolledPastTheNewWidth) {
    EXPECT_FALSE(ListBoxNeedsRepaint(0, 50, 100, 200));  // no horizontal scrolling at all
    EXPECT_TRUE(ListBoxNeedsRepaint(100, 60, 100, 150));   // 60 > 100 + 100 - 150
    EXPECT_FALSE(ListBoxNeedsRepaint(100, 50, 100, 150));  // 50 is not greater than 50
}

TEST(ResizableMath, ClipAndRepaintRulesFollowClassAndStyle) {
    EXPECT_TRUE(CanClipControl("Edit", 0));
    EXPECT_FALSE(CanClipControl("Button", 7));     // group box
    EXPECT_FALSE(CanClipControl("button", 0x5007));  // class names ignore case
    EXPECT_TRUE(CanClipControl("Button", 0));
    EXPECT_FALSE(CanClipControl("ToolbarWindow32", 0x8000));
    EXPECT_TRUE(CanClipControl("Static", 3));           // icon
    EXPECT_FALSE(CanClipControl("Static", 3 | 0x200));  // centred icon
    EXPECT_TRUE(CanClipControl("Static", 14));
    EXPECT_FALSE(CanClipControl("Static", 0));  // text is drawn on the background

    EXPECT_FALSE(ControlNeedsRepaint("Edit", 0));
    EXPECT_TRUE(ControlNeedsRepaint("Static", 1));
    EXPECT_FALSE(ControlNeedsRepaint("Static", 11));
    EXPECT_FALSE(ControlNeedsRepaint("Static", 16));
    EXPECT_FALSE(ControlNeedsRepaint("Static", 7));
    EXPECT_TRUE(ControlNeedsRepaint("Static", 7 | 0x200));
}

TEST(ResizableMath, GripKeepsTheLowerRightTriangle) {
    EXPECT_EQ(GripRowStart(16, 0), 16);  // top row: nothing visible
    EXPECT_EQ(GripRowStart(16, 15), 1);
    EXPECT_EQ(GripRowStart(4, 9), 0);  // taller than wide: whole rows
}

TEST(ResizablePlacement, TextRoundTripsAndNeedsAllSixNumbers) {
    Placement p{-10, 20, 630, 480, 3, 2};
    EXPECT_EQ(FormatPlacement(p), "-10,20,630,480,3,2");
    auto back = ParsePlacement(FormatPlacement(p));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->left, -10);
    EXPECT_EQ(back->bottom, 480);
    EXPECT_EQ(back->showCmd, 3);
    EXPECT_EQ(back->flags, 2);

    EXPECT_FALSE(ParsePlacement(""));
    EXPECT_FALSE(ParsePlacement("1,2,3,4,5"));
    EXPECT_FALSE(ParsePlacement("1;2;3;4;5;6"));
    EXPECT_FALSE(ParsePlacement("1,2,3,4,5,x"));
    EXPECT_FALSE(ParsePlacement("1,2,99999999999,4,5,6"));  // out of range, not wrapped
    EXPECT_TRUE(ParsePlacement(" 1, 2, 3, 4, 5, 6 trailing"));
}

TEST(ResizablePlacement, KeyIsCreatedOneLevelAtATime) {
    auto levels = KeyPathLevels("SOFTWARE\\Varen Works\\Varen Glaze 2");
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(levels[0], "SOFTWARE");
    EXPECT_EQ(levels[1], "SOFTWARE\\Varen Works");
    EXPECT_EQ(levels[2], "SOFTWARE\\Varen Works\\Varen Glaze 2");
    auto flat = KeyPathLevels("Single");
    EXPECT_EQ(flat[0], "Single");
    EXPECT_EQ(flat[1], "Single");
    auto trailing = KeyPathLevels("A\\");  // a search start past the end finds nothing
    EXPECT_EQ(trailing[0], "A");
    EXPECT_EQ(trailing[1], "A\\");
}

TEST(ResizablePlacement, OnlyRectanglesWithAPositiveSizeThatFitsAreRestored) {
    EXPECT_TRUE(HasUsableRect(Placement{20, 30, 720, 530, 1, 0}));
    EXPECT_TRUE(HasUsableRect(Placement{-1700, -20, -900, 500, 1, 0}));  // a monitor to the left
    EXPECT_FALSE(HasUsableRect(Placement{500, 500, 100, 100, 1, 0}));
    EXPECT_FALSE(HasUsableRect(Placement{10, 10, 10, 300, 1, 0}));  // empty
    // Widths that do not fit in 32 bits would wrap to a negative size.
    EXPECT_FALSE(HasUsableRect(Placement{INT32_MIN, 0, INT32_MAX, 100, 1, 0}));
    EXPECT_FALSE(HasUsableRect(Placement{0, -2000000000, 100, 2000000000, 1, 0}));
}
