// CDibSection: an owned device-independent bitmap section whose pixels the program writes
// directly, drawn with stretching (the navigator, thumbnails, tooltips).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "Handle.h"

// Owns the HBITMAP; the pixel memory belongs to the section and lives as long as it. Empty
// after construction, after Release and after a failed Create. Move-only.
class CDibSection {
public:
    CDibSection() = default;
    CDibSection(CDibSection&& other) noexcept;
    CDibSection& operator=(CDibSection&& other) noexcept;
    CDibSection(const CDibSection&) = delete;
    CDibSection& operator=(const CDibSection&) = delete;

    // A section of width x height pixels at 24 or 32 bits, rows stored bottom-up unless
    // topDown (then row 0 is the top row). Pixels start black. False, leaving the section
    // empty, for other depths, sizes below 1, sizes whose bytes do not fit in 31 bits, or
    // when the system refuses.
    bool Create(int width, int height, int bitsPerPixel, bool topDown = false);
    void Release();

    bool IsEmpty() const { return !m_bitmap; }
    HBITMAP GetHandle() const { return m_bitmap.Get(); }
    int Width() const { return m_header.biWidth; }
    int Height() const { return m_header.biHeight < 0 ? -m_header.biHeight : m_header.biHeight; }
    int BitsPerPixel() const { return m_header.biBitCount; }
    bool IsTopDown() const { return m_header.biHeight < 0; }
    // Bytes from one stored row to the next (a multiple of 4).
    int Stride() const { return m_stride; }
    uint8_t* Bits() const { return static_cast<uint8_t*>(m_bits); }
    // The stored row `row` (0 = first in memory: the bottom row unless top-down).
    uint8_t* StoredRow(int row) const { return Bits() + static_cast<ptrdiff_t>(row) * m_stride; }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(&m_header); }

    // Stretches the source rectangle (top-down pixel coordinates) onto `destination` of the
    // DC with the given stretch mode, which is restored afterwards. False when empty.
    bool Draw(HDC dc, const RECT& destination, const RECT& source,
              int stretchMode = COLORONCOLOR) const;
    bool Draw(HDC dc, const RECT& destination, int stretchMode = COLORONCOLOR) const;

    // Bytes per stored row for width pixels at bitsPerPixel, a multiple of 4; false when it
    // does not fit in 31 bits.
    static bool StrideFor(int width, int bitsPerPixel, int& stride);

private:
    CBitmapHandle m_bitmap;
    BITMAPINFOHEADER m_header = {};
    void* m_bits = nullptr;
    int m_stride = 0;
};
