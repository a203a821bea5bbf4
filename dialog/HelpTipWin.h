// Creating the popup help of the filter dialog and of its pages.
#pragma once

#include "PPToolTipWin.h"
#include "dialog/HelpTools.h"

// Creates `tip` as a balloon owned by `owner`, with the dialog's background, colours and
// delays (show time, fade-out step, rest time, set in that order).
inline void CreateHelpTip(CPPToolTip& tip, CWnd* owner) {
    tip.Create(owner, TRUE);
    tip.SetEffect(help::kLook.effect, help::kLook.granularity);
    tip.SetColours(help::kLook.begin, help::kLook.middle, help::kLook.end);
    tip.SetDelay(tooltip::kShowTime, help::kLook.showTime);
    tip.SetDelay(tooltip::kFadeOutStep, help::kLook.fadeOutStep);
    tip.SetDelay(tooltip::kRestTime, help::kLook.restTime);
}
