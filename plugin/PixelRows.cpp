// Row copies and size checks.
#include "plugin/PixelRows.h"

#include <algorithm>
#include <cstring>
#include <limits>

int BytesPerPixel(int imageMode) {
    switch (imageMode) {
        case 3:
            return 3;
        case 11:
            return 6;
        default:
            return 0;
    }
}

bool RowLength(int64_t columns, int bytesPerPixel, size_t& length) {
    if (columns < 0 || bytesPerPixel <= 0)
        return false;
    const int64_t limit = std::numeric_limits<int32_t>::max();
    if (columns > limit / bytesPerPixel)
        return false;
    length = size_t(columns * bytesPerPixel);
    return true;
}

bool BufferHoldsRows(const void* base, int64_t rows, int64_t stride, size_t length) {
    if (rows <= 0 || length == 0)
        return true;  // nothing will be touched
    if (!base || stride < 0 || uint64_t(stride) < length)
        return false;
    const int64_t limit = std::numeric_limits<ptrdiff_t>::max();
    return rows - 1 <= (limit - int64_t(length)) / std::max<int64_t>(stride, 1);
}

void CopyRows(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
              size_t length, int rows) {
    for (int y = 0; y < rows; ++y) std::memmove(dst + y * dstStride, src + y * srcStride, length);
}

void RowsToBottomUpBgr(const uint8_t* src, ptrdiff_t srcStride, bool sixteenBit, uint8_t* dst,
                       ptrdiff_t dstStride, int columns, int rows) {
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = src + ptrdiff_t(rows - 1 - y) * srcStride;
        uint8_t* d = dst + ptrdiff_t(y) * dstStride;
        if (!sixteenBit) {
            for (int x = 0; x < columns; ++x, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        } else {
            for (int x = 0; x < columns; ++x, s += 6, d += 3) {
                uint16_t rgb[3];
                std::memcpy(rgb, s, sizeof rgb);
                for (int c = 0; c < 3; ++c) d[2 - c] = uint8_t(std::min(rgb[c] >> 7, 255));
            }
        }
    }
}
