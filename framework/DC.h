// Device contexts: CDC (borrowed or owned), the paint/client/window DC scopes, and guards.
#pragma once

#include <windows.h>

#include <string>

#include "GdiObject.h"
#include "Geometry.h"

class CWnd;

// Wraps an HDC. A DC passed in (a message's HDC) is borrowed; one made by CreateCompatibleDC
// is owned and deleted with the object.
class CDC {
public:
    CDC() = default;
    explicit CDC(HDC hdc) : m_hDC(hdc) {}
    virtual ~CDC() { DeleteDC(); }
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC = nullptr;
    HDC GetSafeHdc() const { return m_hDC; }

    void Attach(HDC hdc) {
        DeleteDC();
        m_hDC = hdc;
    }
    HDC Detach() {
        HDC h = m_hDC;
        m_hDC = nullptr;
        m_owned = false;
        return h;
    }
    BOOL CreateCompatibleDC(CDC* other) {
        DeleteDC();
        m_hDC = ::CreateCompatibleDC(other ? other->m_hDC : nullptr);
        m_owned = m_hDC != nullptr;
        return m_owned;
    }
    void DeleteDC() {
        if (m_owned && m_hDC) {
            ::DeleteDC(m_hDC);
        }
        m_hDC = nullptr;
        m_owned = false;
    }

    HGDIOBJ SelectObject(HGDIOBJ obj) { return ::SelectObject(m_hDC, obj); }
    HGDIOBJ SelectObject(CGdiObject* obj) { return ::SelectObject(m_hDC, obj->GetSafeHandle()); }
    HGDIOBJ SelectStockObject(int index) { return ::SelectObject(m_hDC, ::GetStockObject(index)); }
    int SelectClipRgn(CRgn* rgn) {
        return ::SelectClipRgn(m_hDC, rgn ? static_cast<HRGN>(rgn->GetSafeHandle()) : nullptr);
    }
    int ExcludeClipRect(const RECT& r) {
        return ::ExcludeClipRect(m_hDC, r.left, r.top, r.right, r.bottom);
    }
    int IntersectClipRect(const RECT& r) {
        return ::IntersectClipRect(m_hDC, r.left, r.top, r.right, r.bottom);
    }
    int GetClipBox(LPRECT r) const { return ::GetClipBox(m_hDC, r); }
    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }
    BOOL DPtoLP(LPPOINT pts, int count = 1) const { return ::DPtoLP(m_hDC, pts, count); }
    BOOL LPtoDP(LPPOINT pts, int count = 1) const { return ::LPtoDP(m_hDC, pts, count); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }

    COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
    COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    int SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }

    void FillSolidRect(const RECT& r, COLORREF c) {
        COLORREF old = ::SetBkColor(m_hDC, c);
        ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
        ::SetBkColor(m_hDC, old);
    }
    void FillRect(const RECT& r, HBRUSH brush) { ::FillRect(m_hDC, &r, brush); }
    void FrameRect(const RECT& r, HBRUSH brush) { ::FrameRect(m_hDC, &r, brush); }
    BOOL Rectangle(int l, int t, int r, int b) { return ::Rectangle(m_hDC, l, t, r, b); }
    BOOL MoveTo(int x, int y) { return ::MoveToEx(m_hDC, x, y, nullptr); }
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    BOOL TextOut(int x, int y, const std::string& text) {
        return ::TextOutA(m_hDC, x, y, text.data(), static_cast<int>(text.size()));
    }
    int DrawText(const std::string& text, LPRECT r, UINT format) {
        return ::DrawTextA(m_hDC, text.data(), static_cast<int>(text.size()), r, format);
    }
    CSize GetTextExtent(const std::string& text) const {
        SIZE s = {0, 0};
        ::GetTextExtentPoint32A(m_hDC, text.data(), static_cast<int>(text.size()), &s);
        return CSize(s.cx, s.cy);
    }
    BOOL BitBlt(int x, int y, int w, int h, CDC* src, int sx, int sy, DWORD rop) {
        return ::BitBlt(m_hDC, x, y, w, h, src ? src->m_hDC : nullptr, sx, sy, rop);
    }
    BOOL StretchBlt(int x, int y, int w, int h, CDC* src, int sx, int sy, int sw, int sh,
                    DWORD rop) {
        return ::StretchBlt(m_hDC, x, y, w, h, src->m_hDC, sx, sy, sw, sh, rop);
    }
    // Stretches (sx, sy, sw, sh) of a packed DIB's pixels onto (x, y, w, h); the number of
    // scan lines copied, 0 on failure. Source y counts from the bottom for bottom-up bitmaps.
    int StretchDIBits(int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                      const void* bits, const BITMAPINFO* info, UINT usage = DIB_RGB_COLORS,
                      DWORD rop = SRCCOPY) {
        return ::StretchDIBits(m_hDC, x, y, w, h, sx, sy, sw, sh, bits, info, usage, rop);
    }
    BOOL Polyline(const POINT* points, int count) { return ::Polyline(m_hDC, points, count); }
    HGDIOBJ GetCurrentObject(UINT type) const { return ::GetCurrentObject(m_hDC, type); }

protected:
    bool m_owned = false;
};

// BeginPaint/EndPaint for the lifetime of the object.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps = {};

private:
    HWND m_hWnd;
};

// GetDC/ReleaseDC of a window's client area.
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

private:
    HWND m_hWnd;
};

// GetWindowDC/ReleaseDC: the whole window including its frame.
class CWindowDC : public CDC {
public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

private:
    HWND m_hWnd;
};

// Draws off screen over `rect` (logical coordinates of the target) and copies the picture to
// the target when it goes, so a window that paints in several steps does not flicker. Drawing
// uses the target's coordinates, font and colours. When no bitmap can be made it draws
// straight into the target instead, so a paint still happens.
class CMemDC : public CDC {
public:
    CMemDC(CDC& target, const RECT& rect);
    // Over the paint rectangle of a paint.
    explicit CMemDC(CPaintDC& paint);
    ~CMemDC() override;
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    bool IsOffScreen() const { return m_bitmap != nullptr; }
    const CRect& GetRect() const { return m_rect; }
    // Nothing is copied to the target.
    void Discard() { m_copy = false; }

private:
    void Init(HDC target, const RECT& rect);

    HDC m_target = nullptr;
    CRect m_rect;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_oldBitmap = nullptr;
    HGDIOBJ m_oldFont = nullptr;
    bool m_copy = true;
};

// Selects an object into a DC and restores the previous one when the scope ends.
class CSelectObject {
public:
    CSelectObject(HDC hdc, HGDIOBJ obj) : m_hDC(hdc), m_old(::SelectObject(hdc, obj)) {}
    CSelectObject(CDC& dc, CGdiObject& obj) : CSelectObject(dc.m_hDC, obj.GetSafeHandle()) {}
    ~CSelectObject() {
        if (m_old && m_old != HGDI_ERROR) {
            ::SelectObject(m_hDC, m_old);
        }
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_old;
};

// SaveDC/RestoreDC for the lifetime of the object.
class CSaveDC {
public:
    explicit CSaveDC(HDC hdc) : m_hDC(hdc), m_saved(::SaveDC(hdc)) {}
    ~CSaveDC() {
        if (m_saved) {
            ::RestoreDC(m_hDC, m_saved);
        }
    }
    CSaveDC(const CSaveDC&) = delete;
    CSaveDC& operator=(const CSaveDC&) = delete;

private:
    HDC m_hDC;
    int m_saved;
};
