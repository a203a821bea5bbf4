// CResizableMinMax: the tracking-size limits of a resizable window.
#pragma once

#include <windows.h>

// Holds the limits that are set; only those are written into a WM_GETMINMAXINFO request.
class CResizableMinMax {
public:
    virtual ~CResizableMinMax() = default;

    void SetMinTrackSize(SIZE size) {
        m_bMinTrackSize = TRUE;
        m_ptMinTrackSize = POINT{size.cx, size.cy};
    }
    void SetMaxTrackSize(SIZE size) {
        m_bMaxTrackSize = TRUE;
        m_ptMaxTrackSize = POINT{size.cx, size.cy};
    }
    void SetMaximizedRect(const RECT& r) {
        m_bMaximized = TRUE;
        m_ptMaxPos = POINT{r.left, r.top};
        m_ptMaxSize = POINT{r.right - r.left, r.bottom - r.top};
    }
    void MinMaxInfo(MINMAXINFO* info) const {
        if (m_bMinTrackSize) {
            info->ptMinTrackSize = m_ptMinTrackSize;
        }
        if (m_bMaxTrackSize) {
            info->ptMaxTrackSize = m_ptMaxTrackSize;
        }
        if (m_bMaximized) {
            info->ptMaxPosition = m_ptMaxPos;
            info->ptMaxSize = m_ptMaxSize;
        }
    }
    POINT GetMinTrackSize() const { return m_ptMinTrackSize; }

protected:
    BOOL m_bMinTrackSize = FALSE;
    BOOL m_bMaxTrackSize = FALSE;
    BOOL m_bMaximized = FALSE;
    POINT m_ptMinTrackSize = {0, 0};
    POINT m_ptMaxTrackSize = {0, 0};
    POINT m_ptMaxPos = {0, 0};
    POINT m_ptMaxSize = {0, 0};
};
