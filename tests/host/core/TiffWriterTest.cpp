// The TIFF writer's byte layout: header, directory, samples.
#include "host/TiffWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <sstream>

namespace vg::host {
namespace {

uint32_t U16(const std::string& s, size_t at) {
    return uint8_t(s[at]) | (uint8_t(s[at + 1]) << 8);
}
uint32_t U32(const std::string& s, size_t at) {
    return U16(s, at) | (U16(s, at + 2) << 16);
}

// Tag -> (type, count, value or offset) of the first directory.
std::map<uint32_t, std::array<uint32_t, 3>> Directory(const std::string& s) {
    std::map<uint32_t, std::array<uint32_t, 3>> d;
    uint32_t ifd = U32(s, 4), n = U16(s, ifd);
    for (uint32_t i = 0; i < n; ++i) {
        size_t e = ifd + 2 + i * 12;
        uint32_t type = U16(s, e + 2), count = U32(s, e + 4);
        d[U16(s, e)] = {type, count, (type == 3 && count == 1) ? U16(s, e + 8) : U32(s, e + 8)};
    }
    return d;
}

TEST(HostTiffWriter, WritesABaselineDirectoryAndRawSamples) {
    CHostImage img;
    std::string error;
    ASSERT_TRUE(img.Create(3, 2, 3, 16, true, &error)) << error;
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            for (int32_t c = 0; c < 4; ++c)
                img.SetSample(x, y, c, uint32_t(x * 1000 + y * 10000 + c));
    img.SetSample(2, 1, 0, 32768);
    std::ostringstream out;
    ASSERT_TRUE(WriteTiff(out, img, &error)) << error;
    const std::string s = out.str();
    ASSERT_EQ(s.substr(0, 4), std::string("II*\0", 4));
    auto d = Directory(s);
    EXPECT_EQ(d[256][2], 3u);
    EXPECT_EQ(d[257][2], 2u);
    EXPECT_EQ(d[259][2], 1u);  // uncompressed
    EXPECT_EQ(d[262][2], 2u);  // RGB
    EXPECT_EQ(d[277][2], 4u);
    EXPECT_EQ(d[338][2], 2u);  // unassociated alpha
    ASSERT_EQ(d[258][1], 4u);
    for (uint32_t c = 0; c < 4; ++c) EXPECT_EQ(U16(s, d[258][2] + 2 * c), 16u);
    uint32_t last = 0;
    for (const auto& [tag, v] : d) {
        EXPECT_GT(tag, last);  // tags ascend
        last = tag;
    }
    const uint32_t data = d[273][2];
    ASSERT_EQ(d[279][2], 3u * 2u * 4u * 2u);
    ASSERT_EQ(s.size(), data + d[279][2]);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            for (int32_t c = 0; c < 4; ++c)
                EXPECT_EQ(U16(s, data + size_t(((y * 3 + x) * 4 + c) * 2)),
                          To65535(img.Sample(x, y, c)));
    EXPECT_EQ(U16(s, data + size_t(((1 * 3 + 2) * 4) * 2)), 65535u);
}

TEST(HostTiffWriter, GrayEightBitKeepsOneSamplePerPixel) {
    CHostImage img;
    std::string error;
    ASSERT_TRUE(img.Create(5, 1, 1, 8, false, &error));
    for (int32_t x = 0; x < 5; ++x) img.SetSample(x, 0, 0, uint32_t(x * 60));
    std::ostringstream out;
    ASSERT_TRUE(WriteTiff(out, img, &error));
    const std::string s = out.str();
    auto d = Directory(s);
    EXPECT_EQ(d[262][2], 1u);  // black is zero
    EXPECT_EQ(d[258][2], 8u);  // inline
    EXPECT_EQ(d.count(338), 0u);
    EXPECT_EQ(s.substr(d[273][2]), std::string("\x00\x3c\x78\xb4\xf0", 5));
    CHostImage empty;
    EXPECT_FALSE(WriteTiff(out, empty, &error));
}

}  // namespace
}  // namespace vg::host
