// CLinkSlider: a trackbar that shows its position in a linked CSmartEdit.
#pragma once

#include <climits>

#include "SliderCtrl.h"

class CSmartEdit;

// The edit box is borrowed. The current position starts at INT_MAX (nothing shown yet).
// A vertical slider is reversed: its top end is the maximum.
class CLinkSlider : public CSliderCtrl {
public:
    CLinkSlider() = default;
    // An edit box still linked is told, so that it never reaches a slider that is gone.
    ~CLinkSlider() override;
    // Links `edit` (or nobody); an edit box linked before forgets this slider.
    void SetEdit(CSmartEdit* edit);
    CSmartEdit* GetEdit() const { return m_pEdit; }
    // Sets the range on the control and remembers it.
    void SetRange(int min, int max, BOOL redraw = FALSE);
    // Moves the thumb, redrawing it, and remembers the position. A reversed slider shows
    // position p at min + max - p, so that its top end is the maximum.
    void SetPos(int pos);
    int GetCurrentPos() const { return m_iPos; }
    bool IsReversed() const { return m_bReversed; }

protected:
    void PreSubclassWindow() override;
    void HScroll(UINT code, UINT pos);
    void VScroll(UINT code, UINT pos);
    DECLARE_MESSAGE_MAP()

private:
    void Scrolled(UINT code, UINT pos);

    CSmartEdit* m_pEdit = nullptr;
    int m_iMin = 0;
    int m_iMax = 100;
    int m_iPos = INT_MAX;
    bool m_bReversed = false;
};
