// When a tooltip shows, fades and hides: the relayed mouse and keyboard events and the timers
// 256 to 260, independent of the window that draws it.
#pragma once

#include <cstdint>

#include "TipGeometry.h"

namespace tooltip {

enum TimerId : unsigned {
    kShowTimer = 256,      // the rest delay has passed
    kHideTimer = 257,      // the show time has passed, or a hide was asked for
    kFadeInTimer = 258,    // one fade-in step
    kFadeOutTimer = 259,   // one fade-out step
    kAnimationTimer = 260  // redraw of animated content
};

// The kinds of SetDelay.
enum DelayKind : int {
    kShowTime = 2,
    kRestTime = 3,
    kFadeInStep = 4,
    kFadeOutStep = 5,
    kAnimationStep = 6
};

// Transparency is a percentage: 0 opaque, 100 invisible; fades move it in steps of 20.
constexpr int kTransparencyStep = 20;

// What the controller asks of the tooltip window.
class TipHost {
public:
    virtual ~TipHost() = default;
    virtual void StartTimer(unsigned id, uint32_t milliseconds) = 0;
    virtual void StopTimer(unsigned id) = 0;
    virtual Point CursorPosition() = 0;
    // Lays out and draws the tip of `tool` and places the window; false when there is
    // nothing to show.
    virtual bool PrepareTip(int tool) = 0;
    // Shows the prepared tip without activation at a transparency.
    virtual void ShowTip(int transparency) = 0;
    virtual void SetTransparency(int transparency) = 0;
    virtual void HideTip() = 0;
    virtual bool Animated() = 0;
    virtual void RedrawTip() = 0;
};

// Owns no resources; every call runs in a bounded number of steps and allocates nothing.
class TipController {
public:
    enum class Phase { Hidden, Waiting, FadingIn, Shown, FadingOut };

    explicit TipController(TipHost& host) : m_host(host) {}

    // Kinds 2 to 6 (DelayKind); other kinds are ignored.
    void SetDelay(int kind, uint32_t milliseconds);
    uint32_t Delay(int kind) const;
    void SetFades(bool fadeIn, bool fadeOut) {
        m_fadeIn = fadeIn;
        m_fadeOut = fadeOut;
    }

    // Starts the animation tick; called once the window exists.
    void Start();
    // The cursor at `point` (screen) is over `tool` (-1: none).
    void OnMouseMove(Point point, int tool);
    // A key, a click or the wheel: all timers stop and the window hides at once.
    void HideNow();
    // Hides the way the show time's end does (fading out when fades are on).
    void Hide();
    // The tools are gone: hide at once and forget the tool under the cursor.
    void Reset();
    void OnTimer(unsigned id);

    Phase GetPhase() const { return m_phase; }
    bool Visible() const {
        return m_phase == Phase::FadingIn || m_phase == Phase::Shown || m_phase == Phase::FadingOut;
    }
    int Transparency() const { return m_transparency; }
    int CurrentTool() const { return m_tool; }
    int ShownTool() const { return m_shownTool; }

private:
    void Arm(Point point);
    void ShowPrepared();
    void Hidden();

    TipHost& m_host;
    uint32_t m_showTime = 5000;
    uint32_t m_restTime = 500;
    uint32_t m_fadeInStep = 0;
    uint32_t m_fadeOutStep = 0;
    uint32_t m_animationStep = 100;
    bool m_fadeIn = true;
    bool m_fadeOut = true;

    Phase m_phase = Phase::Hidden;
    int m_tool = -1;         // the tool under the cursor
    int m_shownTool = -1;    // the tool whose tip was prepared last
    bool m_painted = false;  // the current tool's tip has been shown since the cursor came
    bool m_pending = false;  // show the current tool once the fade-out ends
    bool m_hasPoint = false;
    Point m_lastPoint;
    Point m_restPoint;
    int m_transparency = 100;
};

}  // namespace tooltip
