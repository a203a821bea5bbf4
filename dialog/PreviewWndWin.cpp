// The preview area hands its painting to the dialog.
#include "dialog/PreviewWndWin.h"

#include "dialog/MyMFCDialogWin.h"

BEGIN_MESSAGE_MAP(CPreviewWnd, CWnd)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

void CPreviewWnd::OnPaint() {
    CPaintDC dc(this);
    if (m_pDialog) {
        m_pDialog->PaintPreview(dc);
    }
}

BOOL CPreviewWnd::OnEraseBkgnd(CDC*) {
    return TRUE;  // the paint covers every pixel
}
