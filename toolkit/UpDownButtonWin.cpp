// The up/down button: the preview is repainted on press and on release.
#include "UpDownButtonWin.h"

BEGIN_MESSAGE_MAP(CUpDownButton, CButton)
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_LBUTTONDBLCLK()
END_MESSAGE_MAP()

void CUpDownButton::OnLButtonDown(UINT flags, CPoint point) {
    m_showOriginal = TRUE;
    if (m_pDialog) {
        m_pDialog->displayProxy(false);
    }
    CButton::OnLButtonDown(flags, point);
}

void CUpDownButton::OnLButtonUp(UINT flags, CPoint point) {
    m_showOriginal = FALSE;
    if (m_pDialog) {
        m_pDialog->displayProxy(false);
    }
    CButton::OnLButtonUp(flags, point);
}

void CUpDownButton::OnLButtonDblClk(UINT flags, CPoint point) {
    m_showOriginal = TRUE;
    if (m_pDialog) {
        m_pDialog->displayProxy(false);
    }
    CButton::OnLButtonDblClk(flags, point);
}
