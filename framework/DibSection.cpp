// The DIB section owner.
#include "DibSection.h"

#include <climits>
#include <cstring>
#include <utility>

CDibSection::CDibSection(CDibSection&& other) noexcept
    : m_bitmap(std::move(other.m_bitmap)),
      m_header(other.m_header),
      m_bits(std::exchange(other.m_bits, nullptr)),
      m_stride(std::exchange(other.m_stride, 0)) {
    other.m_header = {};
}

CDibSection& CDibSection::operator=(CDibSection&& other) noexcept {
    if (this != &other) {
        m_bitmap = std::move(other.m_bitmap);
        m_header = std::exchange(other.m_header, BITMAPINFOHEADER{});
        m_bits = std::exchange(other.m_bits, nullptr);
        m_stride = std::exchange(other.m_stride, 0);
    }
    return *this;
}

bool CDibSection::StrideFor(int width, int bitsPerPixel, int& stride) {
    if (width < 1 || bitsPerPixel < 1) {
        return false;
    }
    const int64_t bits = int64_t(width) * bitsPerPixel;
    const int64_t bytes = ((bits + 31) / 32) * 4;
    if (bytes > INT_MAX) {
        return false;
    }
    stride = int(bytes);
    return true;
}

bool CDibSection::Create(int width, int height, int bitsPerPixel, bool topDown) {
    Release();
    int stride = 0;
    if ((bitsPerPixel != 24 && bitsPerPixel != 32) || height < 1 ||
        !StrideFor(width, bitsPerPixel, stride) || int64_t(stride) * height > INT_MAX) {
        return false;
    }
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = topDown ? -height : height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitsPerPixel);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(height);
    header.biXPelsPerMeter = 3780;  // 96 dots per inch
    header.biYPelsPerMeter = 3780;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&header),
                                        DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) {
            ::DeleteObject(bitmap);
        }
        return false;
    }
    m_bitmap.Reset(bitmap);
    m_header = header;
    m_bits = bits;
    m_stride = stride;
    std::memset(m_bits, 0, header.biSizeImage);
    return true;
}

void CDibSection::Release() {
    m_bitmap.Reset();
    m_header = {};
    m_bits = nullptr;
    m_stride = 0;
}

bool CDibSection::Draw(HDC dc, const RECT& destination, const RECT& source, int stretchMode) const {
    if (IsEmpty() || !dc) {
        return false;
    }
    ::GdiFlush();  // GDI drawing into the section is complete before its bits are read
    const int oldMode = ::SetStretchBltMode(dc, stretchMode);
    // StretchDIBits counts source rows from the bottom for a bottom-up bitmap.
    const int sh = source.bottom - source.top;
    const int sy = IsTopDown() ? source.top : Height() - source.bottom;
    const int lines =
        ::StretchDIBits(dc, destination.left, destination.top, destination.right - destination.left,
                        destination.bottom - destination.top, source.left, sy,
                        source.right - source.left, sh, m_bits, Info(), DIB_RGB_COLORS, SRCCOPY);
    if (oldMode) {
        ::SetStretchBltMode(dc, oldMode);
    }
    return lines > 0;
}

bool CDibSection::Draw(HDC dc, const RECT& destination, int stretchMode) const {
    const RECT all = {0, 0, Width(), Height()};
    return Draw(dc, destination, all, stretchMode);
}
