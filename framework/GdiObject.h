// GDI object owners: CGdiObject and the pen, brush, font, bitmap and region kinds.
#pragma once

#include <windows.h>

#include "Handle.h"

// Owns one GDI object and deletes it with the owner. Stock objects must not be attached.
class CGdiObject {
public:
    CGdiObject() = default;
    virtual ~CGdiObject() = default;
    CGdiObject(CGdiObject&&) = default;
    CGdiObject& operator=(CGdiObject&&) = default;

    HGDIOBJ GetSafeHandle() const { return m_handle.Get(); }
    BOOL Attach(HGDIOBJ obj) {
        m_handle.Reset(obj);
        return obj != nullptr;
    }
    HGDIOBJ Detach() { return m_handle.Release(); }
    BOOL DeleteObject() {
        bool had = static_cast<bool>(m_handle);
        m_handle.Reset();
        return had;
    }

private:
    CGdiHandle m_handle;
};

class CPen : public CGdiObject {
public:
    BOOL CreatePen(int style, int width, COLORREF color) {
        return Attach(::CreatePen(style, width, color));
    }
    HPEN GetHandle() const { return static_cast<HPEN>(GetSafeHandle()); }
};

class CBrush : public CGdiObject {
public:
    BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
    HBRUSH GetHandle() const { return static_cast<HBRUSH>(GetSafeHandle()); }
};

class CFont : public CGdiObject {
public:
    BOOL CreateFontIndirect(const LOGFONTA* lf) { return Attach(::CreateFontIndirectA(lf)); }
    HFONT GetHandle() const { return static_cast<HFONT>(GetSafeHandle()); }
};

class CBitmap : public CGdiObject {
public:
    BOOL CreateCompatibleBitmap(HDC hdc, int w, int h) {
        return Attach(::CreateCompatibleBitmap(hdc, w, h));
    }
    BOOL LoadBitmap(HINSTANCE module, UINT id) {
        return Attach(::LoadBitmapA(module, MAKEINTRESOURCEA(id)));
    }
    HBITMAP GetHandle() const { return static_cast<HBITMAP>(GetSafeHandle()); }
};

class CRgn : public CGdiObject {
public:
    BOOL CreateRectRgn(int l, int t, int r, int b) { return Attach(::CreateRectRgn(l, t, r, b)); }
    BOOL CreateRectRgnIndirect(const RECT& r) { return Attach(::CreateRectRgnIndirect(&r)); }
    BOOL CreateRoundRectRgn(int l, int t, int r, int b, int w, int h) {
        return Attach(::CreateRoundRectRgn(l, t, r, b, w, h));
    }
    BOOL CreatePolygonRgn(const POINT* pts, int count, int mode) {
        return Attach(::CreatePolygonRgn(pts, count, mode));
    }
    int CombineRgn(const CRgn* a, const CRgn* b, int mode) {
        return ::CombineRgn(GetHandle(), a->GetHandle(), b ? b->GetHandle() : nullptr, mode);
    }
    int OffsetRgn(int dx, int dy) { return ::OffsetRgn(GetHandle(), dx, dy); }
    HRGN GetHandle() const { return static_cast<HRGN>(GetSafeHandle()); }
};
