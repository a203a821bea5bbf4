// CUpDownButton: a button that reports being held down, for a "show the original" preview.
#pragma once

#include "Button.h"

// What the button asks to repaint: the owning dialog's preview.
class CPreviewHost {
public:
    virtual ~CPreviewHost() = default;
    virtual void displayProxy(bool erase) = 0;
};

// m_showOriginal is true while the left button is held on it. The dialog is borrowed.
class CUpDownButton : public CButton {
public:
    BOOL m_showOriginal = FALSE;
    CPreviewHost* m_pDialog = nullptr;

protected:
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    // A press that completes a double click holds the button down as well.
    void OnLButtonDblClk(UINT flags, CPoint point);
    DECLARE_MESSAGE_MAP()
};
