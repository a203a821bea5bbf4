// A device-independent bitmap in one block of plain memory, laid out as a Windows packed DIB:
// the 40-byte information header, the colour table, then bottom-up pixel rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace dib {

// The Windows bitmap information header, field for field.
struct InfoHeader {
    uint32_t size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t clrUsed;
    uint32_t clrImportant;
};
static_assert(sizeof(InfoHeader) == 40, "the packed layout needs the 40-byte header");

// Colours are Windows colour values, 0x00BBGGRR.
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r | (g << 8) | (b << 16);
}
constexpr uint32_t RedOf(uint32_t c) {
    return c & 0xFF;
}
constexpr uint32_t GreenOf(uint32_t c) {
    return (c >> 8) & 0xFF;
}
constexpr uint32_t BlueOf(uint32_t c) {
    return (c >> 16) & 0xFF;
}

// Owns the block (null when empty). Every pixel and palette operation is bounds-checked and
// does nothing without a block. Sizes whose rows, image or block do not fit in 32 bits, and
// non-positive dimensions, are refused by Allocate.
class PackedDib {
public:
    PackedDib() = default;
    PackedDib(const PackedDib&) = delete;
    PackedDib& operator=(const PackedDib&) = delete;

    // Releases, then builds a new header and block; colour table and pixels are uninitialised.
    // Returns the block; null when the size is refused (the bitmap stays empty) or the memory
    // is not there (the header stays filled in).
    uint8_t* Allocate(int32_t width, int32_t height, uint16_t bitCount);
    void Release();

    uint8_t* Block() const { return m_block.get(); }
    const InfoHeader& Header() const { return m_header; }
    // The header followed by the colour table, as CreateDIBSection takes it; null when empty.
    const void* BitmapInfo() const { return m_block.get(); }
    uint8_t* BitsPointer() const;
    uint32_t RowStride() const { return m_stride; }
    uint16_t PaletteCount() const { return m_paletteCount; }
    uint32_t ImageSize() const { return m_header.sizeImage; }
    uint32_t TotalSize() const;

    void SetPaletteEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue);
    // The palette entry `index` as a colour value; 0 outside the table.
    uint32_t PaletteEntry(uint8_t index) const;
    // Palette images only; y counts from the top row on screen.
    void SetPixelValue(int32_t x, int32_t y, uint8_t value);
    // Palette images only; 0 outside the image.
    uint8_t PixelValue(int32_t x, int32_t y) const;
    // Sets every byte of the pixel rows.
    void FillBits(uint8_t value);
    // Mixes every palette entry towards `colour` by `percent` (above 100 acts as 100).
    void TintPalette(uint32_t colour, uint32_t percent);

private:
    uint8_t* PaletteBytes() const { return m_block ? m_block.get() + sizeof(InfoHeader) : nullptr; }

    std::unique_ptr<uint8_t[]> m_block;
    InfoHeader m_header{};
    uint32_t m_stride = 0;
    uint16_t m_paletteCount = 0;
};

// Bytes per stored row: width * bitCount bits, padded to four bytes.
uint64_t StrideFor(int64_t width, uint32_t bitCount);
// Colour table entries for a bit count: 2, 16, 256 or 0.
uint16_t PaletteCountFor(uint32_t bitCount);

}  // namespace dib
