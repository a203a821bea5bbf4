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

CMemDC::CMemDC(CDC& target, const RECT& rect) { Init(target.m_hDC, rect); }

CMemDC::CMemDC(CPaintDC& paint) { Init(paint.m_hDC, paint.m_ps.rcPaint); }

void CMemDC::Init(HDC target, const RECT& rect) {
    m_target = target;
    m_rect = rect;
    const int w = m_rect.Width();
    const int h = m_rect.Height();
    HDC memory = w > 0 && h > 0 ? ::CreateCompatibleDC(target) : nullptr;
    HBITMAP bitmap = memory ? ::CreateCompatibleBitmap(target, w, h) : nullptr;
    if (!bitmap) {
        if (memory) {
            ::DeleteDC(memory);
        }
        m_hDC = target;  // borrowed: drawing goes straight to the target
        m_owned = false;
        return;
    }
    m_hDC = memory;
    m_owned = true;
    m_bitmap = bitmap;
    m_oldBitmap = ::SelectObject(memory, bitmap);
    m_oldFont = ::SelectObject(memory, ::GetCurrentObject(target, OBJ_FONT));
    ::SetTextColor(memory, ::GetTextColor(target));
    ::SetBkColor(memory, ::GetBkColor(target));
    ::SetBkMode(memory, ::GetBkMode(target));
    // The bitmap's top-left shows the target's point (rect.left, rect.top).
    ::SetWindowOrgEx(memory, m_rect.left, m_rect.top, nullptr);
}

CMemDC::~CMemDC() {
    if (!m_bitmap) {
        m_hDC = nullptr;  // the target's, not ours
        return;
    }
    if (m_copy) {
        ::BitBlt(m_target, m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), m_hDC,
                 m_rect.left, m_rect.top, SRCCOPY);
    }
    ::SelectObject(m_hDC, m_oldFont);
    ::SelectObject(m_hDC, m_oldBitmap);
    ::DeleteObject(m_bitmap);
    m_bitmap = nullptr;
    DeleteDC();
}
