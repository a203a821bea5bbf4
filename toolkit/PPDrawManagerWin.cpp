// Background effects: solid fills, banded gradients and the textured bitmaps.
#include "PPDrawManagerWin.h"

#include <cstdlib>

#include "BackgroundEffect.h"

namespace {

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    if (brush) {
        ::FillRect(dc, &rect, brush);
        ::DeleteObject(brush);
    }
}

}  // namespace

void CPPDrawManager::FillGradient(HDC dc, const RECT& rect, COLORREF from, COLORREF to,
                                  bool horizontal) {
    const LONG extent = horizontal ? rect.right - rect.left : rect.bottom - rect.top;
    for (int i = 0; i < effects::kGradientBands; ++i) {
        const effects::Band band = effects::GradientBand(from, to, i, extent);
        if (band.to <= band.from) {
            continue;
        }
        RECT r = rect;
        if (horizontal) {
            r.left = rect.left + band.from;
            r.right = rect.left + band.to;
        } else {
            r.top = rect.top + band.from;
            r.bottom = rect.top + band.to;
        }
        FillSolid(dc, r, band.colour);
    }
}

void CPPDrawManager::PaintBackgroundEffect(HDC dc, int effect, const RECT& rect, COLORREF begin,
                                           COLORREF middle, COLORREF end, DWORD granularity,
                                           DWORD tint) {
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    if (!dc || width <= 0 || height <= 0) {
        return;
    }
    RECT first = rect;
    RECT second = rect;
    const LONG midX = rect.left + width / 2;
    const LONG midY = rect.top + height / 2;
    switch (effect) {
        case effects::kHGradient:
            FillGradient(dc, rect, begin, end, true);
            return;
        case effects::kVGradient:
            FillGradient(dc, rect, begin, end, false);
            return;
        case effects::kHCGradient:
            first.right = second.left = midX;
            FillGradient(dc, first, begin, end, true);
            FillGradient(dc, second, end, begin, true);
            return;
        case effects::kVCGradient:
            first.bottom = second.top = midY;
            FillGradient(dc, first, begin, end, false);
            FillGradient(dc, second, end, begin, false);
            return;
        case effects::k3HGradient:
            first.right = second.left = midX;
            FillGradient(dc, first, begin, middle, true);
            FillGradient(dc, second, middle, end, true);
            return;
        case effects::k3VGradient:
            first.bottom = second.top = midY;
            FillGradient(dc, first, begin, middle, false);
            FillGradient(dc, second, middle, end, false);
            return;
        default:
            break;
    }
    // The bitmap is rendered anew; releasing it first drops the old size's screen copy. A
    // texture that cannot be made falls back to the solid fill.
    if (effects::IsBitmapEffect(effect)) {
        m_dib.Release();
    }
    if (effects::IsBitmapEffect(effect) &&
        effects::RenderEffect(m_dib.Packed(), effect, width, height, begin, middle, end,
                              granularity, tint, [] { return std::rand(); })) {
        m_dib.PaintAt(dc, rect.left, rect.top);
        return;
    }
    FillSolid(dc, rect, begin);
}
