// The bitmap's screen copy and painting.
#include "CeXDibWin.h"

#include <cstring>

CCeXDib::~CCeXDib() {
    Release();
}

void* CCeXDib::Allocate(int width, int height, WORD bitCount) {
    Release();
    return m_dib.Allocate(width, height, bitCount);
}

void CCeXDib::Release() {
    m_memoryDc.Reset();
    m_section.Reset();
    m_sectionBits = nullptr;
    m_dib.Release();
}

BOOL CCeXDib::PaintAt(HDC dc, int x, int y) {
    if (!m_dib.Block() || !dc) {
        return FALSE;
    }
    const auto* info = static_cast<const BITMAPINFO*>(m_dib.BitmapInfo());
    if (!m_section) {
        void* bits = nullptr;
        m_section.Reset(::CreateDIBSection(dc, info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!m_section) {
            return FALSE;
        }
        if (!bits) {
            m_section.Reset();
            return FALSE;
        }
        m_sectionBits = bits;
    }
    ::GdiFlush();
    std::memcpy(m_sectionBits, m_dib.BitsPointer(), m_dib.ImageSize());
    if (!m_memoryDc) {
        m_memoryDc.Reset(::CreateCompatibleDC(dc));
        if (!m_memoryDc) {
            return FALSE;
        }
    }
    HGDIOBJ old = ::SelectObject(m_memoryDc.Get(), m_section.Get());
    // The colour table too, so that palette changes since the last paint show as well.
    if (m_dib.PaletteCount() > 0) {
        ::SetDIBColorTable(m_memoryDc.Get(), 0, m_dib.PaletteCount(),
                           reinterpret_cast<const RGBQUAD*>(info->bmiColors));
    }
    const BOOL painted = ::BitBlt(dc, x, y, m_dib.Header().width, m_dib.Header().height,
                                  m_memoryDc.Get(), 0, 0, SRCCOPY);
    ::SelectObject(m_memoryDc.Get(), old);
    return painted;
}
