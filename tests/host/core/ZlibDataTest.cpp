// The zlib data PNG chunks carry: inflating what zlib writes, refusing what is damaged, and
// the stored form this host writes.
#include "host/ZlibData.h"

#include <gtest/gtest.h>

namespace vg::host {
namespace {

// The text the dynamic-Huffman sample below holds (zlib level 9 of it).
std::string SampleText() {
    const char* words[] = {"glaze", "clean", "edge", "texture", "radius",
                           "photo", "a",     "the",  "of",      "preset"};
    std::string text;
    uint32_t x = 1;
    for (int i = 0; i < 400; ++i) {
        x = (x * 1103515245u + 12345u) & 0x7FFFFFFF;
        text += words[(x >> 16) % 10];
        text += (x >> 8) % 7 ? ' ' : '\n';
    }
    return text;
}

const std::string kDynamic(
    "\x78\xda\x75\x55\x5b\x6e\xc3\x30\x0c\xfb\xd7\x29\x7c\x35\x61\x75\x9b\x01\xc5\x32\xa4\x29\x30"
    "\xec"
    "\xf4\xb3\x25\xcb\x26\x1d\xef\x67\x9d\x5f\x14\x45\x51\xca\x7e\x4f\xfb\x3d\x9d\xf9\xe7\x7c\x1f"
    "\x39"
    "\x7d\x6f\xfb\xb9\xa7\x8f\x67\xd6\xaf\x74\x6e\x59\x1e\x4f\xfd\x2d\xbb\x47\x7e\xe5\x33\xe5\xdb"
    "\x23"
    "\x27\x6d\x2b\x29\xc7\xe9\xd0\xdb\xe7\xfb\x95\xda\x2d\x7b\xdb\x91\xfc\x4d\x2c\x2b\x98\x96\xc7"
    "\x25"
    "\xd6\x14\x23\x40\x6c\x43\xfc\xb0\x45\x6a\x27\xbe\xd7\x16\x76\x74\x79\x1c\x61\xfc\xa0\x86\x91"
    "\x88"
    "\x24\x40\xa1\xb2\x47\x96\x52\xd1\x84\x31\x5a\xce\x13\xb0\x85\x2d\x90\xf6\x5b\x93\xa9\x68\x8e"
    "\x35"
    "\x65\xea\x14\x58\x19\xbf\x51\x75\xde\xfa\xaa\xaa\x61\xc7\x95\xa9\x52\x7a\x4a\x1a\xad\x98\xc4"
    "\x42"
    "\x39\x82\x3f\x68\x22\x88\xff\x62\x71\xda\x35\xd2\x35\xa0\x62\xb3\x73\xf5\xe7\xa0\xb7\xdf\xb0"
    "\xcc"
    "\x6d\xd7\xdf\xeb\x20\x23\x58\x4a\xb4\xd5\x94\x82\x53\x2a\xe7\xfe\x0f\xa5\xa0\x86\x5d\xbc\x52"
    "\xc3"
    "\xd0\x83\x96\x4f\xbf\xd7\x52\xb2\x1a\x1b\x1f\xbf\xe5\x68\x40\x70\x11\x84\x04\xb8\xfe\xa5\x34"
    "\x98"
    "\x09\x14\x10\xb7\xdb\x96\x93\x51\x61\x2f\x84\xb1\xfe\x79\x6b\xe5\x8f\x58\x2a\x61\x5e\x25\xe3"
    "\x0e"
    "\xc7\x37\x27\x0a\x61\xfb\x6e\xe3\xdd\x7b\x6c\x62\xe7\x1d\x16\xc2\x5d\xba\x9e\x0c\x30\xa5\x10"
    "\xf4"
    "\xe6\x04\x41\x5b\x09\x0d\xfc\xc7\x4f\x6a\xa7\x0c\x3a\x9b\x37\x1c\xeb\x6b\x3b\xb8\xcd\xee\xb4"
    "\xa6"
    "\xed\x10\x55\x9e\xe1\xc8\x02\xbd\x96\x3a\xda\x88\x7c\x5b\x40\xd8\xe3\x44\x03\x2b\xc8\x82\x0c"
    "\x43"
    "\x09\x75\xd1\xf0\x5c\x08\x10\xba\x12\xa2\x33\xb5\xe7\x7e\x39\x68\xf9\x6a\xcc\x5a\x12\xae\x77"
    "\x95"
    "\x40\x9d\xb0\x16\xd1\x06\xc2\x65\x8b\xf9\xd4\x67\x15\xf6\x40\xbb\x43\x59\xf4\x5e\xa5\xb9\x72"
    "\x4d"
    "\x14\xe7\xd3\x75\xb6\xe3\x98\x58\xb8\x69\xe9\x10\x44\x6c\x25\xba\xd2\x94\xe5\xa4\xe9\x43\x6a"
    "\xee"
    "\xa9\x18\x34\x5b\xd4\x04\xf9\x06\x2e\xb3\xd7\x65\x4e\x7d\xca\xf4\xe6\xa3\x71\xba\xd2\x49\x86"
    "\xe5"
    "\xd9\xc9\x64\xca\x01\x0c\x5f\x46\xfe\x28\xa1\x30\x90\x3e\x96\x01\x87\xba\x8e\x0e\xeb\x23\x55"
    "\x2f"
    "\x92\x61\x0e\x45\xb7\xa1\x19\xe6\x25\x04\x0f\x03\x0a\x7a\x07\x1a\x24\x3e\x8a\xd4\x3b\xe6\xf4"
    "\x71"
    "\x3f\x9c\x45\xcd\xc6\xe6\x80\x39\x00\x21\xff\x00\x27\xe1\x21\xc5",
    496);
// "abcabcabcabcabcabc hello hello" with fixed Huffman codes.
const std::string kFixed(
    "\x78\x01\x4b\x4c\x4a\x4e\x44\x45\x0a\x19\xa9\x39\x39\xf9\x10\x12\x00\xaf\x3e\x0b\x4d", 21);

TEST(HostZlib, InflatesEveryBlockTypeAndRefusesEveryDamage) {
    std::string out;
    ASSERT_TRUE(ZlibInflate(kDynamic, 1 << 20, &out));
    EXPECT_EQ(out, SampleText());
    ASSERT_TRUE(ZlibInflate(kFixed, 1 << 20, &out));
    EXPECT_EQ(out, "abcabcabcabcabcabc hello hello");
    for (const std::string& data :
         {std::string(), std::string("x"), SampleText(), std::string(70000, '\xAB')}) {
        ASSERT_TRUE(ZlibInflate(ZlibStore(data), 1 << 20, &out)) << data.size();
        EXPECT_EQ(out, data);
    }

    // Every truncation and an output beyond the limit are refused; a flipped bit anywhere
    // never gives other text (the checksum catches what still decodes).
    for (size_t n = 0; n < kDynamic.size(); ++n)
        EXPECT_FALSE(ZlibInflate(kDynamic.substr(0, n), 1 << 20, &out)) << n;
    for (size_t i = 0; i < kDynamic.size() * 8; ++i) {
        std::string damaged = kDynamic;
        damaged[i / 8] = char(damaged[i / 8] ^ (1 << (i % 8)));
        if (ZlibInflate(damaged, 1 << 20, &out)) {
            EXPECT_EQ(out, SampleText()) << i;
        }
    }
    EXPECT_FALSE(ZlibInflate(kDynamic, SampleText().size() - 1, &out));
    EXPECT_TRUE(ZlibInflate(kDynamic, SampleText().size(), &out));
    EXPECT_FALSE(ZlibInflate(ZlibStore(std::string(100, 'a')), 99, &out));
}

TEST(HostZlib, CompressedStreamsInflateToTheirData) {
    std::string noise, rows;
    uint32_t x = 7;
    for (int i = 0; i < 300000; ++i) {
        x = x * 1664525u + 1013904223u;
        noise.push_back(char(x >> 24));
        rows.push_back(char((i % 3000) < 1500 ? (i / 3000) & 7 : (x >> 29)));  // image-like
    }
    const std::string cases[] = {std::string(), "a", "abc", SampleText(), std::string(100000, 'z'),
                                 noise,         rows};
    for (const std::string& data : cases) {
        const std::string z = ZlibCompress(data);
        std::string out;
        ASSERT_TRUE(ZlibInflate(z, data.size(), &out)) << data.size();
        EXPECT_EQ(out, data);
        if (data.size() > 1000 && data != noise) {
            EXPECT_LT(z.size(), data.size() / 2) << data.size();
        }
        if (data == noise) {
            EXPECT_LT(z.size(), data.size() + data.size() / 50);  // never much larger
        }
    }
    // Parts compressed on threads join into one stream.
    std::string big;
    for (int i = 0; i < 12; ++i) big += rows;
    std::string out;
    ASSERT_TRUE(ZlibInflate(ZlibCompress(big, 3), big.size(), &out));
    EXPECT_EQ(out, big);
}

TEST(HostZlib, ChecksumsAreThoseOfPngAndZlib) {
    EXPECT_EQ(Crc32("IEND"), 0xAE426082u);
    EXPECT_EQ(Crc32("6789", Crc32("12345")), 0xCBF43926u);
    std::string patterned(100003, '\0');  // past the Adler sums' 5552-byte runs, odd tail
    for (size_t i = 0; i < patterned.size(); ++i) patterned[i] = char(i * 7 % 251);
    const struct {
        std::string data;
        uint32_t crc, adler;
    } cases[] = {
        {"", 0x00000000u, 0x00000001u},
        {"123456789", 0xCBF43926u, 0x091E01DEu},
        {"Wikipedia", 0xADAAC02Eu, 0x11E60398u},
        {std::string(100003, '\xFF'), 0x4E275CB1u, 0xAB183329u},  // the largest sums
        {patterned, 0xF8A4718Au, 0x9537C6BFu},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Crc32(c.data), c.crc) << c.data.size();
        const std::string stored = ZlibStore(c.data);  // the stream ends with the Adler-32
        ASSERT_GE(stored.size(), 4u);
        uint32_t adler = 0;
        for (size_t i = stored.size() - 4; i < stored.size(); ++i)
            adler = adler << 8 | uint8_t(stored[i]);
        EXPECT_EQ(adler, c.adler) << c.data.size();
    }
}

}  // namespace
}  // namespace vg::host
