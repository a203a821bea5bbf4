// The scoped device contexts of a window.
#include "DC.h"

#include "Wnd.h"

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() {
    ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) {
    m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC() {
    if (m_hDC) {
        ::ReleaseDC(m_hWnd, m_hDC);
    }
    m_hDC = nullptr;
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) {
    m_hDC = ::GetWindowDC(m_hWnd);
}

CWindowDC::~CWindowDC() {
    if (m_hDC) {
        ::ReleaseDC(m_hWnd, m_hDC);
    }
    m_hDC = nullptr;
}
