// CCeXDib: a device-independent bitmap in plain memory with a screen copy made when it is
// first painted.
#pragma once

#include <windows.h>

#include "Handle.h"
#include "PackedDib.h"

// Owns the packed bitmap (header, colour table and rows in one block), and after the first
// paint a DIB section and a memory DC compatible with the first target; both live until
// Release or the next Allocate, so a new size always gets a new section.
class CCeXDib {
public:
    CCeXDib() = default;
    virtual ~CCeXDib();
    CCeXDib(const CCeXDib&) = delete;
    CCeXDib& operator=(const CCeXDib&) = delete;

    // Releases, then makes a width x height bitmap of `bitCount` bits; the colour table and
    // pixels are left as they are. Null when the size is refused or memory is short.
    void* Allocate(int width, int height, WORD bitCount);
    void Release();

    BYTE* BitsPointer() const { return m_dib.BitsPointer(); }
    DWORD RowStride() const { return m_dib.RowStride(); }
    DWORD TotalSize() const { return m_dib.TotalSize(); }
    void SetPaletteEntry(BYTE index, BYTE red, BYTE green, BYTE blue) {
        m_dib.SetPaletteEntry(index, red, green, blue);
    }
    // y counts from the top row on screen.
    void SetPixelValue(int x, int y, BYTE value) { m_dib.SetPixelValue(x, y, value); }
    void FillBits(BYTE value) { m_dib.FillBits(value); }
    void TintPalette(COLORREF colour, DWORD percent) { m_dib.TintPalette(colour, percent); }
    // Paints the image one pixel per pixel with its top-left corner at (x, y) of `dc`, with the
    // pixels and colours as they are now. 0 when nothing could be painted.
    BOOL PaintAt(HDC dc, int x, int y);

    // The packed bitmap itself, for code that fills it as a whole; Release first when that
    // code allocates it anew, so that no screen copy of the old size remains.
    dib::PackedDib& Packed() { return m_dib; }
    const dib::PackedDib& Packed() const { return m_dib; }

private:
    dib::PackedDib m_dib;
    CBitmapHandle m_section;
    CMemoryDcHandle m_memoryDc;
    void* m_sectionBits = nullptr;  // belongs to m_section
};
