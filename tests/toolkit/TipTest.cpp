// The tooltip's placement near every screen edge, its picture math, and its show/hide
// sequence on a simulated clock with the dialog's delays.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TipController.h"
#include "TipGeometry.h"
#include "TipPicture.h"

using namespace tooltip;

TEST(TipGeometry, BalloonOutlineHasItsPointerOnTheChosenEdge) {
    const Outline top = MakeOutline(100, 40, kBalloonShape, kTopLeft);
    EXPECT_EQ(top.width, 124);
    EXPECT_EQ(top.height, 80);
    EXPECT_EQ(top.body, (Rect{0, 16, 124, 80}));
    EXPECT_EQ(top.pointer[0], (Point{16, 0}));
    EXPECT_EQ(top.pointer[2], (Point{28, 17}));

    const Outline bottomRight = MakeOutline(100, 40, kBalloonShape, kBottomRight);
    EXPECT_EQ(bottomRight.body, (Rect{0, 0, 124, 64}));
    EXPECT_EQ(bottomRight.pointer[0], (Point{108, 79}));

    const Outline left = MakeOutline(100, 40, kBalloonShape, kLeftCenter);
    EXPECT_EQ(left.width, 140);
    EXPECT_EQ(left.body, (Rect{16, 0, 140, 64}));
    EXPECT_EQ(left.pointer[0], (Point{0, 32}));

    const Outline plain = MakeOutline(100, 40, kRectangleShape, kTopLeft);
    EXPECT_EQ(plain.width, 106);
    EXPECT_EQ(plain.height, 42);
}

TEST(TipGeometry, PlacementMovesThePointerAwayFromScreenEdges) {
    const Rect screen{0, 0, 1000, 800};
    struct Case {
        Point anchor;
        int32_t direction;
        int32_t contentWidth;
        Rect expectedScreen;  // the virtual screen used, when not `screen`
        int32_t placed;
    };
    const Case cases[] = {
        {{500, 400}, kTopLeft, 200, screen, kTopLeft},
        {{500, 790}, kTopLeft, 200, screen, kBottomLeft},   // near the bottom: above
        {{900, 400}, kTopLeft, 200, screen, kTopRight},     // near the right end
        {{900, 790}, kTopLeft, 200, screen, kBottomRight},  // the corner
        {{500, 400}, kTopLeft, 1900, screen, kTopCenter},   // crosses at both ends
        {{5, 5}, kTopLeft, 200, screen, kTopLeft},
        {{50, 10}, kBottomLeft, 200, screen, kTopLeft},    // bottom pointer at the top
        {{50, 400}, kTopRight, 200, screen, kTopLeft},     // far pointer at the left
        {{950, 400}, kLeftTop, 200, screen, kRightTop},    // extends right past the edge
        {{500, 770}, kLeftTop, 200, screen, kLeftBottom},  // ... and down past the bottom
        // A monitor left of the primary one: the virtual screen starts below zero.
        {{-1900, 500}, kTopLeft, 200, Rect{-1920, 0, 1920, 1080}, kTopLeft},
        {{1900, 1070}, kTopLeft, 200, Rect{-1920, 0, 1920, 1080}, kBottomRight},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.anchor.x << "," << c.anchor.y << " dir " << c.direction);
        const Placement p = PlaceTip(c.contentWidth, 40, kBalloonShape, c.anchor, 20, c.direction,
                                     c.expectedScreen);
        EXPECT_EQ(p.direction, c.placed);
        // The pointer tip rests on the anchor (below it by the gap on the top edge).
        const int32_t gap = (p.direction & kEdgeMask) == kTopLeft ? 20 : 0;
        EXPECT_EQ(p.window.left + p.outline.pointer[0].x, c.anchor.x);
        EXPECT_EQ(p.window.top + p.outline.pointer[0].y, c.anchor.y + gap);
        EXPECT_EQ(p.window.Width(), p.outline.width);
        if (c.contentWidth < 900) {
            EXPECT_GE(p.window.top, c.expectedScreen.top);
            EXPECT_LE(p.window.bottom, c.expectedScreen.bottom);
        }
    }
    // Near the bottom the balloon opens above the anchor with its pointer at the bottom.
    const Placement above = PlaceTip(200, 40, kBalloonShape, {500, 790}, 20, kTopLeft, screen);
    EXPECT_LE(above.window.bottom, 791);
    EXPECT_EQ(above.outline.pointer[0].y, above.outline.height - 1);
}

TEST(TipPicture, ShadowDarkensByCoverageAndBlendMixesWithTheScreen) {
    EXPECT_EQ(ShadowGrey(50), 127);
    EXPECT_EQ(ShadowGrey(0), 255);
    EXPECT_EQ(ShadowGrey(250), 0);  // capped at 100

    // A 9-wide row, covered in the middle five: a box of 3 softens both edges.
    std::vector<uint8_t> mask = {0, 0, 255, 255, 255, 255, 255, 0, 0};
    BlurMask(mask, 9, 1, 3, 1);
    EXPECT_EQ(mask, (std::vector<uint8_t>{0, 85, 170, 255, 255, 255, 170, 85, 0}));
    std::vector<uint8_t> column = {255, 255, 255, 255, 255};
    BlurMask(column, 1, 5, 1, 3);  // outside counts as 0
    EXPECT_EQ(column, (std::vector<uint8_t>{170, 255, 255, 255, 170}));

    std::vector<uint32_t> pixels(9, 0x00C8C8C8);
    ApplyShadow(pixels.data(), mask, 9, 1, ShadowGrey(50));
    EXPECT_EQ(pixels[0], 0x00C8C8C8u);
    EXPECT_EQ(pixels[4], 0x00636363u);  // 200 * 127 / 255
    EXPECT_GT(pixels[1], pixels[2]);

    const uint32_t picture[2] = {0x00FF0000, 0x00102030};
    const uint32_t behind[2] = {0x000000FF, 0x00102030};
    uint32_t out[2];
    Blend(picture, behind, out, 2, 0);
    EXPECT_EQ(out[0], 0x00FF0000u);
    Blend(picture, behind, out, 2, 40);
    EXPECT_EQ(out[0], 0x00990066u);
    EXPECT_EQ(out[1], 0x00102030u);
    Blend(picture, behind, out, 2, 140);
    EXPECT_EQ(out[0], 0x000000FFu);
}

namespace {

// A tooltip window and Windows timers on a simulated clock. Timers repeat until stopped.
class FakeTipWindow : public TipHost {
public:
    struct Timer {
        uint64_t due;
        uint32_t period;
    };
    TipController tip{*this};
    uint64_t now = 0;
    std::map<unsigned, Timer> timers;
    Point cursor;
    bool visible = false;
    bool animated = false;
    int transparency = 100;
    int prepares = 0;
    int redraws = 0;
    uint64_t shownAt = 0;
    uint64_t hiddenAt = 0;
    std::vector<int> fades;

    FakeTipWindow() {
        // The dialog's settings.
        tip.SetDelay(kShowTime, 10000);
        tip.SetDelay(kFadeOutStep, 30);
        tip.SetDelay(kRestTime, 750);
        tip.Start();
    }
    void StartTimer(unsigned id, uint32_t ms) override { timers[id] = {now + ms, ms}; }
    void StopTimer(unsigned id) override { timers.erase(id); }
    Point CursorPosition() override { return cursor; }
    bool PrepareTip(int tool) override {
        ++prepares;
        return tool != 99;  // tool 99 has no text
    }
    void ShowTip(int t) override {
        visible = true;
        transparency = t;
        shownAt = now;
    }
    void SetTransparency(int t) override {
        transparency = t;
        fades.push_back(t);
    }
    void HideTip() override {
        visible = false;
        hiddenAt = now;
    }
    bool Animated() override { return animated; }
    void RedrawTip() override { ++redraws; }

    void Move(int32_t x, int32_t y, int tool) {
        cursor = {x, y};
        tip.OnMouseMove(cursor, tool);
    }
    // Runs the clock forward, firing due timers in order.
    void Advance(uint64_t ms) {
        const uint64_t until = now + ms;
        for (;;) {
            auto next = timers.end();
            for (auto it = timers.begin(); it != timers.end(); ++it) {
                if (it->second.due <= until &&
                    (next == timers.end() || it->second.due < next->second.due)) {
                    next = it;
                }
            }
            if (next == timers.end()) {
                break;
            }
            now = next->second.due;
            next->second.due += std::max<uint32_t>(next->second.period, 1);
            tip.OnTimer(next->first);
        }
        now = until;
    }
};

}  // namespace

TEST(TipController, ShowsAfterTheRestDelayAndFadesOutAfterTheShowTime) {
    FakeTipWindow w;
    w.Move(10, 10, 0);
    w.Advance(749);
    EXPECT_FALSE(w.visible);
    w.Advance(1);
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.shownAt, 750u);
    EXPECT_EQ(w.transparency, 0);  // no fade-in interval: opaque at once
    w.Advance(9999);
    EXPECT_TRUE(w.visible);
    w.Advance(1 + 90);
    EXPECT_TRUE(w.visible);  // fading: 20, 40, 60
    EXPECT_EQ(w.fades, (std::vector<int>{20, 40, 60}));
    w.Advance(30);
    EXPECT_FALSE(w.visible);  // 80 and above is 100: hidden
    EXPECT_EQ(w.hiddenAt, 10750u + 120u);
    // Resting on: the tip does not come back.
    w.Advance(60000);
    EXPECT_FALSE(w.visible);
    EXPECT_EQ(w.prepares, 1);
}

TEST(TipController, EveryMoveBeforeTheTipRestartsTheDelayAndAStillCursorDoesNot) {
    FakeTipWindow w;
    w.Move(10, 10, 0);
    w.Advance(500);
    w.Move(11, 10, 0);
    w.Advance(500);
    w.tip.OnMouseMove({11, 10}, 0);  // the same point again: nothing changes
    w.Advance(249);
    EXPECT_FALSE(w.visible);
    w.Advance(1);
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.shownAt, 1250u);

    // The cursor left the rest point without a move reaching us (another window).
    FakeTipWindow away;
    away.Move(10, 10, 0);
    away.cursor = {400, 400};
    away.Advance(2000);
    EXPECT_FALSE(away.visible);
    EXPECT_EQ(away.prepares, 0);
}

TEST(TipController, AnotherToolFollowsOnceTheFirstHasFadedOut) {
    FakeTipWindow w;
    w.Move(10, 10, 0);
    w.Advance(750);
    ASSERT_TRUE(w.visible);
    w.Move(200, 10, 1);
    w.Advance(119);
    EXPECT_TRUE(w.visible);  // still fading out
    w.Advance(1);
    EXPECT_FALSE(w.visible);
    w.Advance(749);
    EXPECT_FALSE(w.visible);
    w.Advance(1);
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.tip.ShownTool(), 1);
    EXPECT_EQ(w.shownAt, 750u + 120u + 750u);
}

TEST(TipController, MovingOverAShownTipHidesItUntilTheCursorComesBack) {
    FakeTipWindow w;
    w.Move(10, 10, 0);
    w.Advance(750);
    w.Move(12, 10, 0);
    w.Advance(200);
    EXPECT_FALSE(w.visible);
    w.Move(14, 10, 0);
    w.Advance(5000);
    EXPECT_FALSE(w.visible);
    w.Move(500, 500, -1);  // leaves every tool
    w.Move(10, 10, 0);     // and comes back
    w.Advance(750);
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.prepares, 2);
}

TEST(TipController, KeysAndClicksHideAtOnceAndTheToolStaysQuiet) {
    FakeTipWindow w;
    w.Move(10, 10, 0);
    w.Advance(750);
    ASSERT_TRUE(w.visible);
    w.tip.HideNow();
    EXPECT_FALSE(w.visible);
    EXPECT_EQ(w.hiddenAt, 750u);
    EXPECT_EQ(w.timers.size(), 1u);  // only the animation tick runs on
    w.Move(11, 10, 0);
    w.Advance(5000);
    EXPECT_FALSE(w.visible);
    // A click while the delay runs cancels it.
    FakeTipWindow early;
    early.Move(10, 10, 0);
    early.Advance(300);
    early.tip.HideNow();
    early.Advance(5000);
    EXPECT_FALSE(early.visible);
}

TEST(TipController, ResetAndToolsWithoutTextShowNothing) {
    FakeTipWindow w;
    w.Move(10, 10, 0);
    w.Advance(750);
    w.tip.Reset();  // popup help switched off
    EXPECT_FALSE(w.visible);
    for (int i = 0; i < 20; ++i) {
        w.Move(10 + i, 10, -1);  // no tools any more
        w.Advance(800);
    }
    EXPECT_FALSE(w.visible);

    FakeTipWindow empty;
    empty.Move(10, 10, 99);
    empty.Advance(2000);
    empty.Move(11, 10, 99);
    empty.Advance(2000);
    EXPECT_FALSE(empty.visible);
    EXPECT_EQ(empty.prepares, 1);
}

TEST(TipController, FadeInStepsToOpaqueBeforeTheShowTimeStarts) {
    FakeTipWindow w;
    w.tip.SetDelay(kFadeInStep, 10);
    w.tip.SetDelay(kShowTime, 0);  // 0: never times out
    w.Move(10, 10, 0);
    w.Advance(750);
    EXPECT_EQ(w.transparency, 100);
    w.Advance(50);
    EXPECT_EQ(w.fades, (std::vector<int>{80, 60, 40, 20, 0}));
    EXPECT_EQ(w.tip.GetPhase(), TipController::Phase::Shown);
    w.Advance(100000);
    EXPECT_TRUE(w.visible);
    w.tip.SetFades(false, false);
    w.tip.Hide();
    EXPECT_FALSE(w.visible);  // without fade-out: at once
}

TEST(TipController, AnimationTickRedrawsOnlyAVisibleAnimatedTip) {
    FakeTipWindow w;
    w.animated = true;
    w.Advance(1000);
    EXPECT_EQ(w.redraws, 0);
    w.Move(10, 10, 0);
    w.Advance(750 + 1000);
    EXPECT_EQ(w.redraws, 10);
    w.animated = false;
    w.Advance(1000);
    EXPECT_EQ(w.redraws, 10);
}
