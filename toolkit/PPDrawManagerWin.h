// CPPDrawManager: paints the tooltips' background effects.
#pragma once

#include <windows.h>

#include "CeXDibWin.h"

// Owns the bitmap the textured effects are rendered into; it is reallocated for every
// textured paint and kept for the manager's lifetime.
class CPPDrawManager {
public:
    // Fills `rect` of `dc` with an effect (the numbering of effects::Effect): a solid fill for
    // 0 and any number outside 1 to 15, gradients of 64 bands for 1 to 6, and the textured
    // bitmaps for 7 to 15, whose palette runs from `end` through `middle` to `begin` and is
    // tinted towards `begin` by `tint` percent (its low byte). Textures draw from the standard
    // library's generator as the program leaves it seeded.
    void PaintBackgroundEffect(HDC dc, int effect, const RECT& rect, COLORREF begin,
                               COLORREF middle, COLORREF end, DWORD granularity, DWORD tint);

    // Fills `rect` with 64 bands from `from` to `to`, left to right or top to bottom.
    static void FillGradient(HDC dc, const RECT& rect, COLORREF from, COLORREF to, bool horizontal);

private:
    CCeXDib m_dib;
};
