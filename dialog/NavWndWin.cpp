// The navigator: the overview from the host, drawn scaled with the preview's region framed.
#include "dialog/NavWndWin.h"

#include "dialog/PreviewMath.h"
#include "plugin/MFCPlugInApp.h"
#include "plugin/PluginFailure.h"
#include "plugin/TraceLog.h"

BEGIN_MESSAGE_MAP(CNavWnd, CStatic)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

bool CNavWnd::BuildOverview() {
    if (!m_hWnd) {
        return false;
    }
    CMFCPlugInApp& app = CMFCPlugInApp::Get();
    CRect client;
    GetClientRect(&client);
    int top = 0, bottom = 0, left = 0, right = 0;
    app.getFilterRect(top, bottom, left, right);
    const int64_t iw = int64_t(right) - left;
    const int64_t ih = int64_t(bottom) - top;
    m_navScale = preview::NavigatorScale(client.Width(), client.Height(), iw, ih);
    const int32_t step = preview::OverviewDecimation(client.Width(), client.Height(), iw, ih);
    app.setAllRect(0, bottom, 0, right, step);
    const int w = app.getInWidth();
    const int h = app.getInHeight();
    m_overview.Release();
    if (w < 1 || h < 1) {
        WriteTrace("PX:BuildOverview", "empty");
        return true;
    }
    if (!m_overview.Create(w, h, 24)) {
        FailMessage("nav dib memory alloc error");
    }
    app.copyOutRect(m_overview.Bits(), m_overview.Stride(), w, h, false);
    return true;
}

BOOL CNavWnd::OnEraseBkgnd(CDC*) {
    return TRUE;  // the paint covers every pixel
}

void CNavWnd::OnPaint() {
    CPaintDC paint(this);
    CRect client;
    GetClientRect(&client);
    CMemDC dc(paint, client);
    dc.FillSolidRect(client, ::GetSysColor(COLOR_BTNFACE));
    if (m_overview.IsEmpty()) {
        return;
    }
    const preview::Box box = preview::OverviewBox(client.Width(), client.Height(),
                                                  m_overview.Width(), m_overview.Height());
    if (box.width < 1 || box.height < 1) {
        return;
    }
    m_overview.Draw(dc.m_hDC, CRect(box.left, box.top, box.left + box.width, box.top + box.height),
                    COLORONCOLOR);

    CMFCPlugInApp& app = CMFCPlugInApp::Get();
    Rect32 filter{};
    Rect32 in{};
    app.getFilterRect(filter.top, filter.bottom, filter.left, filter.right);
    app.getInRect(in.top, in.bottom, in.left, in.right);
    const preview::Frame f =
        preview::NavigatorFrame(filter, in, app.getInDec(), m_navScale, box.width, box.height);
    CPen pen;
    if (!pen.CreatePen(PS_SOLID, 3, RGB(255, 0, 0))) {
        return;
    }
    CSelectObject select(dc, pen);
    const POINT frame[5] = {{box.left + f.left + 1, box.top + f.top + 1},
                            {box.left + f.right - 1, box.top + f.top + 1},
                            {box.left + f.right - 1, box.top + f.bottom - 1},
                            {box.left + f.left + 1, box.top + f.bottom - 1},
                            {box.left + f.left + 1, box.top + f.top + 1}};
    dc.Polyline(frame, 5);
}
