// The linked slider: scroll codes to positions, shown in the linked edit box.
#include "LinkSliderWin.h"

#include "EditRules.h"
#include "SmartEditWin.h"

BEGIN_MESSAGE_MAP(CLinkSlider, CSliderCtrl)
    ON_WM_HSCROLL_REFLECT()
    ON_WM_VSCROLL_REFLECT()
END_MESSAGE_MAP()

void CLinkSlider::PreSubclassWindow() { m_bReversed = (GetStyle() & TBS_VERT) != 0; }

void CLinkSlider::SetRange(int min, int max, BOOL redraw) {
    m_iMin = min;
    m_iMax = max;
    CSliderCtrl::SetRange(min, max, redraw);
}

CLinkSlider::~CLinkSlider() { SetEdit(nullptr); }

void CLinkSlider::SetEdit(CSmartEdit* edit) {
    if (m_pEdit && m_pEdit != edit) {
        m_pEdit->ForgetSlider(this);
    }
    m_pEdit = edit;
}

void CLinkSlider::SetPos(int pos) {
    m_iPos = pos;
    int shown = m_bReversed ? editrules::MirrorPosition(pos, m_iMin, m_iMax) : pos;
    SendMessage(TBM_SETPOS, TRUE, shown);
}

void CLinkSlider::HScroll(UINT code, UINT pos) { Scrolled(code, pos); }

void CLinkSlider::VScroll(UINT code, UINT pos) { Scrolled(code, pos); }

void CLinkSlider::Scrolled(UINT code, UINT pos) {
    auto position = editrules::ScrollPosition(code, static_cast<int32_t>(pos), GetPos(), m_iMin,
                                              m_iMax, m_bReversed);
    if (!position) {
        return;
    }
    m_iPos = *position;
    if (m_pEdit) {
        m_pEdit->ShowPosition(*position);
    }
}
