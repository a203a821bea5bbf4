// Row copies over host image buffers and the size checks that guard them.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes per interleaved RGB pixel for a host image mode: 3 for RGB (3), 6 for RGB48 (11),
// 0 for any other mode.
int BytesPerPixel(int imageMode);

// Row length of `columns` pixels; false when negative or too large to address.
bool RowLength(int64_t columns, int bytesPerPixel, size_t& length);

// Whether a buffer of `rows` rows at `stride` bytes can hold rows of `length` bytes:
// a non-null base, a stride at least the row length, and no overflow in rows x stride.
bool BufferHoldsRows(const void* base, int64_t rows, int64_t stride, size_t length);

// Copies `rows` rows of `length` bytes between two strided buffers.
void CopyRows(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
              size_t length, int rows);

// Turns interleaved RGB rows (8 bits, or 16 bits on the host's 0..32768 scale) into the rows
// of a bottom-up 24-bit bitmap: the last source row lands in the first destination row and
// each pixel is written blue, green, red. A 16-bit sample v shows as min(v >> 7, 255).
void RowsToBottomUpBgr(const uint8_t* src, ptrdiff_t srcStride, bool sixteenBit, uint8_t* dst,
                       ptrdiff_t dstStride, int columns, int rows);
