// CNavWnd: the navigator (control 1110), an overview of the whole filter area with a red
// frame round the region the preview shows. Drags inside it are the dialog's.
#pragma once

#include "DibSection.h"
#include "Static.h"

// Owns the overview: a 24-bit bottom-up bitmap of the decimated filter rectangle, built once
// when the dialog becomes ready, empty before (nothing is drawn then but the background).
class CNavWnd : public CStatic {
public:
    // Requests the whole filter rectangle from the host, decimated to the navigator's size,
    // and keeps a copy of it. False when the window does not exist.
    bool BuildOverview();
    bool HasOverview() const { return !m_overview.IsEmpty(); }
    int OverviewWidth() const { return m_overview.Width(); }
    int OverviewHeight() const { return m_overview.Height(); }

    // Navigator pixels per image pixel; converts drag distances into image pixels.
    double m_navScale = 1.0;

protected:
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* pDC);
    DECLARE_MESSAGE_MAP()

private:
    CDibSection m_overview;
};
