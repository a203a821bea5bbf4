// PNG encoding: row filters and zlib compression.
#include "host/PngWriter.h"

#include "host/ZlibData.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace vg::host {
namespace {

void PutBe32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(char((v >> shift) & 0xFF));
}

void AppendChunk(std::string& out, const char* type, std::string_view data) {
    PutBe32(out, uint32_t(data.size()));
    out.append(type, 4);
    out.append(data.data(), data.size());
    PutBe32(out, Crc32(data, Crc32(std::string_view(type, 4))));
}

// The neighbour closest to a + b - c, ties to a, then b. Written as selects rather than
// branches, since the choice changes unpredictably from byte to byte.
inline int Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const int bOrC = pb <= pc ? b : c;
    return ((pa <= pb) & (pa <= pc)) ? a : bOrC;
}

template <int kType>
inline int Predict(int a, int b, int c) {
    if (kType == 1)
        return a;
    if (kType == 2)
        return b;
    if (kType == 3)
        return (a + b) / 2;
    if (kType == 4)
        return Paeth(a, b, c);
    return 0;
}

// The residuals of one filter type for a row into out. The first pixel has no left
// neighbours; the loops are split so that the rest run without tests.
template <int kType>
void Residuals(const uint8_t* row, const uint8_t* above, size_t n, size_t bpp, uint8_t* out) {
    const size_t first = std::min(n, bpp);
    for (size_t i = 0; i < first; ++i) out[i] = uint8_t(row[i] - Predict<kType>(0, above[i], 0));
    for (size_t i = first; i < n; ++i)
        out[i] = uint8_t(row[i] - Predict<kType>(row[i - bpp], above[i], above[i - bpp]));
}

// A residual read as a signed byte, as a cost.
inline uint32_t Cost(int residual) {
    const int r = residual & 0xFF;
    return uint32_t(r < 128 ? r : 256 - r);
}

// Filters one row (bytes as the file stores them) against the one above into out (type byte
// first) with the filter whose residuals are smallest, summed at every fourth byte past the
// first pixel: enough to rank the filters at a quarter of the cost. The five sums are taken in
// one pass over the row.
void FilterRow(const uint8_t* row, const uint8_t* above, size_t n, size_t bpp, uint8_t* out) {
    uint64_t costs[5] = {};
    for (size_t i = bpp; i < n; i += 4) {
        const int x = row[i], a = row[i - bpp], b = above[i], c = above[i - bpp];
        costs[0] += Cost(x);
        costs[1] += Cost(x - a);
        costs[2] += Cost(x - b);
        costs[3] += Cost(x - (a + b) / 2);
        costs[4] += Cost(x - Paeth(a, b, c));
    }
    int type = 0;
    for (int t = 1; t < 5; ++t)
        if (costs[t] < costs[type])
            type = t;
    out[0] = uint8_t(type);
    switch (type) {
        case 1:
            Residuals<1>(row, above, n, bpp, out + 1);
            break;
        case 2:
            Residuals<2>(row, above, n, bpp, out + 1);
            break;
        case 3:
            Residuals<3>(row, above, n, bpp, out + 1);
            break;
        case 4:
            Residuals<4>(row, above, n, bpp, out + 1);
            break;
        default:
            Residuals<0>(row, above, n, bpp, out + 1);
            break;
    }
}

}  // namespace

bool EncodePng(const CHostImage& image, int threads, std::string* png, std::string* error) {
    if (image.Empty()) {
        *error = "empty image";
        return false;
    }
    try {
        const size_t bps = size_t(image.BytesPerSample()), channels = size_t(image.Channels());
        const size_t rowBytes = size_t(image.Width()) * channels * bps;
        std::vector<uint8_t> filtered((rowBytes + 1) * size_t(image.Height()));
        std::vector<uint8_t> row(rowBytes), above(rowBytes, 0);
        for (int32_t y = 0; y < image.Height(); ++y) {
            const uint8_t* src = image.Row(y);
            if (bps == 1) {
                std::memcpy(row.data(), src, rowBytes);
            } else {
                for (size_t i = 0; i < rowBytes / 2; ++i) {
                    uint16_t v;
                    std::memcpy(&v, src + 2 * i, 2);  // native 16-bit samples
                    v = To65535(v);
                    row[2 * i] = uint8_t(v >> 8);  // PNG stores them big-endian
                    row[2 * i + 1] = uint8_t(v & 0xFF);
                }
            }
            FilterRow(row.data(), above.data(), rowBytes, channels * bps,
                      filtered.data() + size_t(y) * (rowBytes + 1));
            row.swap(above);
        }
        const std::string idat = ZlibCompress(
            std::string_view(reinterpret_cast<const char*>(filtered.data()), filtered.size()),
            threads);
        filtered = std::vector<uint8_t>();

        std::string header;
        PutBe32(header, uint32_t(image.Width()));
        PutBe32(header, uint32_t(image.Height()));
        header.push_back(char(image.Depth()));
        // Colour type: 0 gray, 2 RGB, 4 gray and alpha, 6 RGB and alpha.
        header.push_back(char((image.Planes() == 3 ? 2 : 0) | (image.HasAlpha() ? 4 : 0)));
        header.append(3, '\0');  // deflate, adaptive filters, no interlace
        png->clear();
        png->reserve(idat.size() + 1024);
        png->append("\x89PNG\r\n\x1a\n", 8);
        AppendChunk(*png, "IHDR", header);
        // Chunks of up to 1 MB, as most writers make them.
        for (size_t at = 0; at < idat.size() || at == 0; at += size_t(1) << 20) {
            AppendChunk(*png, "IDAT", std::string_view(idat).substr(at, size_t(1) << 20));
            if (idat.empty())
                break;
        }
        AppendChunk(*png, "IEND", std::string_view());
        return true;
    } catch (const std::bad_alloc&) {
        *error = "not enough memory to encode it";
        return false;
    }
}

}  // namespace vg::host
