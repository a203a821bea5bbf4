// The size grip: creation, its triangular region and its hit test.
#include "ResizableGripWin.h"

#include "Handle.h"
#include "LayoutMath.h"

namespace {

const char kGripProp[] = "ResizableGrip";

LRESULT CALLBACK GripProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(::GetPropA(hWnd, kGripProp));
    if (!previous) {
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
    if (message == WM_NCHITTEST) {
        LONG_PTR ex = ::GetWindowLongPtrA(hWnd, GWL_EXSTYLE);
        return (ex & WS_EX_LAYOUTRTL) ? HTBOTTOMLEFT : HTBOTTOMRIGHT;
    }
    if (message == WM_DESTROY) {
        ::RemovePropA(hWnd, kGripProp);
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    }
    return ::CallWindowProcA(previous, hWnd, message, wParam, lParam);
}

}  // namespace

CResizableGrip::CResizableGrip() {
    m_sizeGrip.cx = ::GetSystemMetrics(SM_CXVSCROLL);
    m_sizeGrip.cy = ::GetSystemMetrics(SM_CYHSCROLL);
}

CResizableGrip::~CResizableGrip() = default;

BOOL CResizableGrip::CreateSizeGrip() {
    CWnd* host = HostWindow();
    if (!host || !host->m_hWnd) {
        return FALSE;
    }
    m_grip = ::CreateWindowExA(0, "SCROLLBAR", "",
                               WS_CHILD | WS_CLIPSIBLINGS | SBS_SIZEGRIP,  // 0x44000010
                               0, 0, m_sizeGrip.cx, m_sizeGrip.cy, host->m_hWnd, nullptr,
                               reinterpret_cast<HINSTANCE>(
                                   ::GetWindowLongPtrA(host->m_hWnd, GWLP_HINSTANCE)),
                               nullptr);
    if (!m_grip) {
        return FALSE;
    }
    CRgnHandle region(::CreateRectRgn(0, 0, m_sizeGrip.cx, m_sizeGrip.cy));
    for (int row = 0; region && row < m_sizeGrip.cy; ++row) {
        CRgnHandle span(
            ::CreateRectRgn(0, row, layout::GripRowStart(m_sizeGrip.cx, row), row + 1));
        ::CombineRgn(region.Get(), region.Get(), span.Get(), RGN_DIFF);
    }
    // The window owns the region once it is set.
    if (region && ::SetWindowRgn(m_grip, region.Get(), FALSE)) {
        region.Release();
    }
    auto previous = ::GetWindowLongPtrA(m_grip, GWLP_WNDPROC);
    ::SetPropA(m_grip, kGripProp, reinterpret_cast<HANDLE>(previous));
    ::SetWindowLongPtrA(m_grip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GripProc));
    UpdateSizeGrip();
    ::ShowWindow(m_grip, SW_SHOW);
    return TRUE;
}

void CResizableGrip::UpdateSizeGrip() {
    CWnd* host = HostWindow();
    if (!m_grip || !::IsWindow(m_grip) || !host || !host->m_hWnd) {
        return;
    }
    RECT client;
    ::GetClientRect(host->m_hWnd, &client);
    ::SetWindowPos(m_grip, HWND_BOTTOM, client.right - m_sizeGrip.cx,
                   client.bottom - m_sizeGrip.cy, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    ::EnableWindow(m_grip, !::IsZoomed(host->m_hWnd));
}
