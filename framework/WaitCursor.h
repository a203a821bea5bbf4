// CWaitCursor: shows the hourglass for the lifetime of the object.
#pragma once

#include <windows.h>

class CWaitCursor {
public:
    CWaitCursor() : m_previous(::SetCursor(::LoadCursorA(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_previous); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    // Shows the hourglass again, after something (a message box) changed the cursor.
    void Restore() { ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT)); }

private:
    HCURSOR m_previous;
};
