// The smart edit box: character filter, slider coupling and the value update.
#include "SmartEditWin.h"

#include "LinkSliderWin.h"

BEGIN_MESSAGE_MAP(CSmartEdit, CEdit)
ON_WM_CHAR()
// The parent still sees both after the box's own handling.
ON_CONTROL_REFLECT_EX(EN_UPDATE, &CSmartEdit::OnUpdate)
ON_CONTROL_REFLECT_EX(EN_KILLFOCUS, &CSmartEdit::OnKillFocus)
END_MESSAGE_MAP()

CSmartEdit::~CSmartEdit() {
    if (m_pSlider && m_pSlider->GetEdit() == this) {
        m_pSlider->SetEdit(nullptr);
    }
}

BOOL CSmartEdit::LinkSlider(CWnd* page, UINT sliderId) {
    HWND item = page ? ::GetDlgItem(page->m_hWnd, static_cast<int>(sliderId)) : nullptr;
    auto* slider = dynamic_cast<CLinkSlider*>(CWnd::FromHandlePermanent(item));
    if (!slider) {
        return FALSE;
    }
    if (m_pSlider && m_pSlider != slider && m_pSlider->GetEdit() == this) {
        m_pSlider->SetEdit(nullptr);
    }
    m_pSlider = slider;
    slider->SetEdit(this);
    return TRUE;
}

void CSmartEdit::SetUpSlider() {
    if (!m_pSlider) {
        return;
    }
    m_pSlider->SetEdit(this);
    m_pSlider->SetRange(m_iMin, m_iMax, TRUE);
    m_pSlider->SetTicFreq(10);
    m_pSlider->SetLineSize(m_iLineSize);
    m_pSlider->SetPageSize(editrules::PageSizeFor(m_iRange, m_iLineSize));
}

void CSmartEdit::SetRealRange(double min, double max, int digits, const char* format) {
    m_bUseReal = true;
    m_iLineSize = 10;
    m_iMin = 0;
    m_iMax = 1000;
    m_dMin = min;
    m_dMax = max;
    m_dRange = max - min;
    m_digits = digits;
    m_format = format ? format : "%g";
    m_iMax = editrules::SliderMaxForFormat(m_dRange, m_format);
    m_iRange = m_iMax - m_iMin;
    SetUpSlider();
    m_wParseType = editrules::kFloat;
}

void CSmartEdit::SetSlideRange(int min, int max) {
    m_bUseReal = false;
    m_iMin = min;
    m_iMax = max;
    m_iRange = max - min;
    SetUpSlider();
}

BOOL CSmartEdit::ShowPosition(int position) {
    if (position == m_iPos) {
        return FALSE;
    }
    m_iPos = position;
    std::string text;
    if (m_bUseReal) {
        m_dValue = editrules::PositionToValue(position, m_dMin, m_dRange, m_iRange);
        text = editrules::FormatReal(m_format, m_dValue);
    } else {
        text = std::to_string(position);
    }
    SetWindowText(text.c_str());
    return TRUE;
}

BOOL CSmartEdit::ShowValue(double value) {
    // The negated test also rejects not-a-number.
    if (!m_bUseReal || !(value >= m_dMin - 0.001 && value <= m_dMax + 0.001)) {
        return FALSE;
    }
    m_dValue = value;
    SetWindowText(editrules::FormatReal(m_format, value).c_str());
    return TRUE;
}

void CSmartEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
    auto c = static_cast<unsigned char>(ch & 0xFF);
    CHAR asChar = static_cast<CHAR>(c);
    uint16_t mask = editrules::CharClassMask(c, ::IsCharAlphaA(asChar) != FALSE,
                                             ::IsCharAlphaNumericA(asChar) != FALSE);
    if (!editrules::Accepts(m_wParseType, mask)) {
        return;  // dropped without a sound
    }
    CEdit::OnChar(ch, repeat, flags);
}

BOOL CSmartEdit::OnUpdate() {
    UpdateValue(::GetFocus() == m_hWnd);
    return FALSE;
}

BOOL CSmartEdit::OnKillFocus() {
    // A value left below the range while it was typed is brought into it now.
    UpdateValue(false);
    return FALSE;
}

void CSmartEdit::UpdateValue(bool typing) {
    if (!m_pSlider) {
        return;
    }
    char buffer[512] = {};
    ::GetWindowTextA(m_hWnd, buffer, static_cast<int>(sizeof(buffer)));
    editrules::Conversion conversion;
    bool below = false;
    if (m_bUseReal) {
        const double value = editrules::ParseReal(buffer);
        below = !(value >= m_dMin);
        conversion = editrules::RealToPosition(value, m_dMin, m_dMax, m_iRange);
    } else {
        const long value = editrules::ParseInteger(buffer);
        below = value < m_iMin;
        conversion = editrules::IntegerToPosition(value, m_iMin, m_iMax);
    }
    m_pSlider->SetPos(conversion.position);
    // While the user types, a value below the range is most often the start of a larger one
    // ("1" on the way to "12" in a box of 4 to 25): the slider shows the minimum, the text is
    // left alone until the box is left. Values above the range are rewritten at once.
    if (conversion.clamped && !(typing && below)) {
        m_iPos = INT_MIN;
        ShowPosition(conversion.position);
    } else {
        // The text now stands for this position: a later slider move back to the position
        // shown before must rewrite the text.
        m_iPos = INT_MIN;
    }
}
