// The host's PNG files: chunks and checksums, and rows that a plain reader (inflate, then undo
// each row's filter) turns back into the image's samples for every layout.
#include "host/PngWriter.h"

#include "host/ZlibData.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vg::host {
namespace {

uint32_t Be32(const std::string& s, size_t at) {
    return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
           (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

TEST(HostPngWriter, RowsReadBackAsTheImageInEveryLayout) {
    struct Layout {
        int32_t planes, depth;
        bool alpha;
    };
    for (const Layout& l : {Layout{3, 8, false}, Layout{3, 16, true}, Layout{1, 8, false},
                            Layout{1, 16, false}, Layout{3, 8, true}}) {
        SCOPED_TRACE(std::to_string(l.planes) + " planes, " + std::to_string(l.depth) + " bits");
        CHostImage image;
        std::string error, png;
        ASSERT_TRUE(image.Create(37, 23, l.planes, l.depth, l.alpha, &error));
        uint32_t seed = 1;
        for (int32_t y = 0; y < image.Height(); ++y)
            for (int32_t x = 0; x < image.Width(); ++x)
                for (int32_t c = 0; c < image.Channels(); ++c) {
                    seed = seed * 1103515245u + 12345u;
                    // Smooth areas (where filters matter) and noise, with the extremes.
                    const uint32_t v = x < 12 ? uint32_t(x * 9 + y * 3 + c) : (seed >> 8);
                    image.SetSample(
                        x, y, c,
                        x == 36 ? (y % 2) * image.MaxSample() : v % (image.MaxSample() + 1));
                }
        ASSERT_TRUE(EncodePng(image, 2, &png, &error)) << error;

        ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        std::string idat, ihdr;
        for (size_t at = 8; at < png.size();) {
            const uint32_t length = Be32(png, at);
            const std::string type = png.substr(at + 4, 4), data = png.substr(at + 8, length);
            EXPECT_EQ(Be32(png, at + 8 + length), Crc32(data, Crc32(type))) << type;
            if (type == "IHDR")
                ihdr = data;
            if (type == "IDAT")
                idat += data;
            at += 12 + length;
        }
        ASSERT_EQ(ihdr.size(), 13u);
        EXPECT_EQ(Be32(ihdr, 0), 37u);
        EXPECT_EQ(Be32(ihdr, 4), 23u);
        EXPECT_EQ(int(ihdr[8]), l.depth);
        EXPECT_EQ(int(ihdr[9]), (l.planes == 3 ? 2 : 0) | (l.alpha ? 4 : 0));

        const size_t bpp = size_t(image.Channels() * image.BytesPerSample());
        const size_t rowBytes = 37 * bpp;
        std::string rows;
        ASSERT_TRUE(ZlibInflate(idat, (rowBytes + 1) * 23, &rows));
        ASSERT_EQ(rows.size(), (rowBytes + 1) * 23);
        std::vector<uint8_t> prior(rowBytes, 0), row(rowBytes);
        for (int32_t y = 0; y < 23; ++y) {
            const uint8_t* f =
                reinterpret_cast<const uint8_t*>(rows.data()) + size_t(y) * (rowBytes + 1);
            ASSERT_LE(f[0], 4);
            for (size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, b = prior[i],
                          c = i >= bpp ? prior[i - bpp] : 0;
                const int predicted = f[0] == 1   ? a
                                      : f[0] == 2 ? b
                                      : f[0] == 3 ? (a + b) / 2
                                      : f[0] == 4 ? Paeth(a, b, c)
                                                  : 0;
                row[i] = uint8_t(f[1 + i] + predicted);
            }
            for (int32_t x = 0; x < 37; ++x)
                for (int32_t c = 0; c < image.Channels(); ++c) {
                    const size_t i = (size_t(x) * size_t(image.Channels()) + size_t(c)) *
                                     size_t(image.BytesPerSample());
                    const uint32_t stored =
                        l.depth == 8 ? row[i] : (uint32_t(row[i]) << 8) | row[i + 1];
                    const uint32_t want =
                        l.depth == 8 ? image.Sample(x, y, c) : To65535(image.Sample(x, y, c));
                    ASSERT_EQ(stored, want) << x << "," << y << "," << c;
                }
            prior = row;
        }
    }
    CHostImage empty;
    std::string error, png;
    EXPECT_FALSE(EncodePng(empty, 1, &png, &error));
}

}  // namespace
}  // namespace vg::host
