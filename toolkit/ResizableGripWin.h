// CResizableGrip: the size grip in the bottom-right corner of a resizable window.
#pragma once

#include <windows.h>

#include "Wnd.h"

// Owns the grip: a size-grip scroll bar child of the host, shaped to its lower-right
// triangle, whose hit test turns it into the window's sizing corner.
class CResizableGrip {
public:
    CResizableGrip();
    virtual CWnd* HostWindow() = 0;
    virtual ~CResizableGrip();

    BOOL CreateSizeGrip();
    // Moves the grip into the corner; disabled while the host is maximised.
    void UpdateSizeGrip();
    HWND GetGripWindow() const { return m_grip; }
    SIZE GetGripSize() const { return m_sizeGrip; }

protected:
    SIZE m_sizeGrip;
    HWND m_grip = nullptr;
};
