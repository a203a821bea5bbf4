// When a tooltip shows, fades and hides.
#include "TipController.h"

namespace tooltip {

void TipController::SetDelay(int kind, uint32_t milliseconds) {
    switch (kind) {
        case kShowTime:
            m_showTime = milliseconds;
            break;
        case kRestTime:
            m_restTime = milliseconds;
            break;
        case kFadeInStep:
            m_fadeInStep = milliseconds;
            break;
        case kFadeOutStep:
            m_fadeOutStep = milliseconds;
            break;
        case kAnimationStep:
            m_animationStep = milliseconds;
            break;
        default:
            break;
    }
}

uint32_t TipController::Delay(int kind) const {
    switch (kind) {
        case kShowTime:
            return m_showTime;
        case kRestTime:
            return m_restTime;
        case kFadeInStep:
            return m_fadeInStep;
        case kFadeOutStep:
            return m_fadeOutStep;
        case kAnimationStep:
            return m_animationStep;
        default:
            return 0;
    }
}

void TipController::Start() {
    m_host.StartTimer(kAnimationTimer, m_animationStep);
}

void TipController::Arm(Point point) {
    m_restPoint = point;
    m_phase = Phase::Waiting;
    m_host.StartTimer(kShowTimer, m_restTime);
}

void TipController::OnMouseMove(Point point, int tool) {
    if (m_hasPoint && point == m_lastPoint) {
        return;
    }
    m_hasPoint = true;
    m_lastPoint = point;
    if (tool < 0) {
        m_tool = -1;
        m_painted = false;
        m_pending = false;
        Hide();
        return;
    }
    if (tool != m_tool) {
        m_tool = tool;
        m_painted = false;
        if (m_phase == Phase::Hidden || m_phase == Phase::Waiting) {
            Arm(point);
        } else {
            // The other tool's tip goes first; this one follows after the rest delay.
            m_pending = true;
            Hide();
        }
        return;
    }
    if (!m_painted) {
        // Not shown yet: the rest delay starts again with every move.
        if (m_phase == Phase::FadingOut) {
            m_pending = true;
        } else {
            Arm(point);
        }
        return;
    }
    // Moving over the tool whose tip is up hides it until the cursor leaves and comes back.
    if (m_phase == Phase::Shown || m_phase == Phase::FadingIn) {
        Hide();
    }
}

void TipController::ShowPrepared() {
    m_painted = true;
    m_shownTool = m_tool;
    if (m_fadeIn && m_fadeInStep > 0) {
        m_transparency = 100;
        m_phase = Phase::FadingIn;
        m_host.ShowTip(m_transparency);
        m_host.StartTimer(kFadeInTimer, m_fadeInStep);
        return;
    }
    m_transparency = 0;
    m_phase = Phase::Shown;
    m_host.ShowTip(m_transparency);
    if (m_showTime > 0) {
        m_host.StartTimer(kHideTimer, m_showTime);
    }
}

void TipController::Hidden() {
    m_transparency = 100;
    m_phase = Phase::Hidden;
    m_host.HideTip();
    if (m_pending) {
        m_pending = false;
        if (m_tool >= 0) {
            Arm(m_lastPoint);
        }
    }
}

void TipController::Hide() {
    m_host.StopTimer(kShowTimer);
    m_host.StopTimer(kHideTimer);
    m_host.StopTimer(kFadeInTimer);
    switch (m_phase) {
        case Phase::Hidden:
        case Phase::Waiting:
            m_phase = Phase::Hidden;
            if (m_pending) {
                m_pending = false;
                if (m_tool >= 0) {
                    Arm(m_lastPoint);
                }
            }
            return;
        case Phase::FadingOut:
            return;
        case Phase::FadingIn:
        case Phase::Shown:
            break;
    }
    if (m_fadeOut && m_fadeOutStep > 0) {
        m_phase = Phase::FadingOut;
        m_host.StartTimer(kFadeOutTimer, m_fadeOutStep);
    } else {
        Hidden();
    }
}

void TipController::HideNow() {
    m_host.StopTimer(kShowTimer);
    m_host.StopTimer(kHideTimer);
    m_host.StopTimer(kFadeInTimer);
    m_host.StopTimer(kFadeOutTimer);
    const bool visible = Visible();
    m_pending = false;
    m_phase = Phase::Hidden;
    m_transparency = 100;
    // The tool under the cursor shows again only after the cursor has left it.
    if (m_tool >= 0) {
        m_painted = true;
    }
    if (visible) {
        m_host.HideTip();
    }
}

void TipController::Reset() {
    HideNow();
    m_tool = -1;
    m_shownTool = -1;
    m_painted = false;
    m_hasPoint = false;
}

void TipController::OnTimer(unsigned id) {
    switch (id) {
        case kShowTimer:
            m_host.StopTimer(kShowTimer);
            if (m_phase != Phase::Waiting) {
                return;
            }
            if (m_tool < 0 || m_host.CursorPosition() != m_restPoint) {
                m_phase = Phase::Hidden;
                return;
            }
            if (!m_host.PrepareTip(m_tool)) {
                m_painted = true;  // nothing to show for this tool
                m_phase = Phase::Hidden;
                return;
            }
            ShowPrepared();
            return;
        case kFadeInTimer:
            if (m_phase != Phase::FadingIn) {
                m_host.StopTimer(kFadeInTimer);
                return;
            }
            m_transparency =
                m_transparency > kTransparencyStep ? m_transparency - kTransparencyStep : 0;
            m_host.SetTransparency(m_transparency);
            if (m_transparency == 0) {
                m_host.StopTimer(kFadeInTimer);
                m_phase = Phase::Shown;
                if (m_showTime > 0) {
                    m_host.StartTimer(kHideTimer, m_showTime);
                }
            }
            return;
        case kHideTimer:
            Hide();
            return;
        case kFadeOutTimer:
            if (m_phase != Phase::FadingOut) {
                m_host.StopTimer(kFadeOutTimer);
                return;
            }
            m_transparency += kTransparencyStep;
            if (m_transparency >= 100 - kTransparencyStep) {
                m_transparency = 100;
            }
            if (m_transparency < 100) {
                m_host.SetTransparency(m_transparency);
                return;
            }
            m_host.StopTimer(kFadeOutTimer);
            Hidden();
            return;
        case kAnimationTimer:
            if (Visible() && m_host.Animated()) {
                m_host.RedrawTip();
            }
            return;
        default:
            return;
    }
}

}  // namespace tooltip
