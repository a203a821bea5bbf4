// The packed device-independent bitmap.
#include "PackedDib.h"

#include <cstring>
#include <new>

namespace dib {

uint64_t StrideFor(int64_t width, uint32_t bitCount) {
    return ((static_cast<uint64_t>(width) * bitCount + 31) >> 5) << 2;
}

uint16_t PaletteCountFor(uint32_t bitCount) {
    switch (bitCount) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

uint8_t* PackedDib::Allocate(int32_t width, int32_t height, uint16_t bitCount) {
    Release();
    if (width <= 0 || height <= 0 || bitCount == 0) {
        return nullptr;
    }
    // Every size must fit the header's 32-bit fields, or a row index could reach past a block
    // that a wrapped size made too small.
    const uint64_t stride = StrideFor(width, bitCount);
    const uint64_t image = stride * static_cast<uint64_t>(height);
    const uint16_t palette = PaletteCountFor(bitCount);
    const uint64_t total = sizeof(InfoHeader) + 4ull * palette + image;
    if (total > UINT32_MAX) {
        return nullptr;
    }
    m_stride = static_cast<uint32_t>(stride);
    m_paletteCount = palette;
    m_header.size = sizeof(InfoHeader);
    m_header.width = width;
    m_header.height = height;
    m_header.planes = 1;
    m_header.bitCount = bitCount;
    m_header.compression = 0;
    m_header.sizeImage = static_cast<uint32_t>(image);
    m_block.reset(new (std::nothrow) uint8_t[static_cast<size_t>(total)]);
    if (!m_block) {
        return nullptr;
    }
    std::memcpy(m_block.get(), &m_header, sizeof(InfoHeader));
    return m_block.get();
}

void PackedDib::Release() {
    m_block.reset();
    m_header = InfoHeader{};
    m_stride = 0;
    m_paletteCount = 0;
}

uint8_t* PackedDib::BitsPointer() const {
    return m_block ? m_block.get() + sizeof(InfoHeader) + 4u * m_paletteCount : nullptr;
}

uint32_t PackedDib::TotalSize() const {
    return 4u * m_paletteCount + m_header.sizeImage + m_header.size;
}

void PackedDib::SetPaletteEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue) {
    if (!m_block || index >= m_paletteCount) {
        return;
    }
    uint8_t* entry = PaletteBytes() + 4u * index;
    entry[0] = blue;
    entry[1] = green;
    entry[2] = red;
    entry[3] = 0;
}

uint32_t PackedDib::PaletteEntry(uint8_t index) const {
    if (!m_block || index >= m_paletteCount) {
        return 0;
    }
    const uint8_t* entry = PaletteBytes() + 4u * index;
    return Rgb(entry[2], entry[1], entry[0]);
}

void PackedDib::SetPixelValue(int32_t x, int32_t y, uint8_t value) {
    if (!m_block || m_paletteCount == 0 || x < 0 || y < 0 || x >= m_header.width ||
        y >= m_header.height) {
        return;
    }
    // Stored rows run bottom-up; y counts from the top. Only the 8-bit form has a byte per
    // pixel, which is the one the background effects use.
    if (m_header.bitCount != 8) {
        return;
    }
    BitsPointer()[static_cast<size_t>(m_stride) * static_cast<size_t>(m_header.height - 1 - y) +
                  static_cast<size_t>(x)] = value;
}

uint8_t PackedDib::PixelValue(int32_t x, int32_t y) const {
    if (!m_block || m_header.bitCount != 8 || x < 0 || y < 0 || x >= m_header.width ||
        y >= m_header.height) {
        return 0;
    }
    return BitsPointer()[static_cast<size_t>(m_stride) *
                             static_cast<size_t>(m_header.height - 1 - y) +
                         static_cast<size_t>(x)];
}

void PackedDib::FillBits(uint8_t value) {
    if (m_block) {
        std::memset(BitsPointer(), value, m_header.sizeImage);
    }
}

void PackedDib::TintPalette(uint32_t colour, uint32_t percent) {
    if (!m_block || m_paletteCount == 0) {
        return;
    }
    const uint32_t p = percent > 100 ? 100 : percent;
    const uint32_t channel[3] = {BlueOf(colour), GreenOf(colour), RedOf(colour)};
    uint8_t* entry = PaletteBytes();
    for (uint32_t i = 0; i < m_paletteCount; ++i, entry += 4) {
        for (int c = 0; c < 3; ++c) {
            entry[c] = static_cast<uint8_t>((channel[c] * p + entry[c] * (100 - p)) / 100);
        }
    }
}

}  // namespace dib
