// CPreviewWnd: the preview area (control 1002), a static whose painting is the dialog's.
#pragma once

#include "Wnd.h"

class MyMFCDialog;

// Mouse messages pass through it to the dialog (a static is transparent to hit tests); its
// background and picture are painted in one go by the dialog, off screen, so nothing flickers.
class CPreviewWnd : public CWnd {
public:
    MyMFCDialog* m_pDialog = nullptr;  // borrowed

protected:
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* pDC);
    DECLARE_MESSAGE_MAP()
};
