// A bounded inflater, a stored-block deflater and the two checksums.
#include "host/ZlibData.h"

#include <array>

namespace vg::host {
namespace {

constexpr int kMaxBits = 15;

uint32_t Adler32(std::string_view data) {
    uint32_t a = 1, b = 0;
    for (unsigned char c : data) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// Reads the deflate bit stream least significant bit first.
class CBitReader {
public:
    explicit CBitReader(std::string_view in) : m_in(in) {}

    // false once the input is used up (the value is then 0).
    bool Bits(int n, uint32_t* value) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            if (m_pos >= m_in.size())
                return false;
            v |= uint32_t((uint8_t(m_in[m_pos]) >> m_bit) & 1) << i;
            if (++m_bit == 8) {
                m_bit = 0;
                ++m_pos;
            }
        }
        *value = v;
        return true;
    }
    void AlignToByte() {
        if (m_bit != 0) {
            m_bit = 0;
            ++m_pos;
        }
    }
    size_t BytePos() const { return m_pos; }
    void SkipBytes(size_t n) { m_pos += n; }
    std::string_view Input() const { return m_in; }

private:
    std::string_view m_in;
    size_t m_pos = 0;
    int m_bit = 0;
};

// A canonical Huffman code: the number of codes of each length and the symbols in order.
struct CHuffman {
    std::array<uint16_t, kMaxBits + 1> count{};
    std::array<uint16_t, 320> symbol{};

    // false for an over-subscribed set of lengths (an incomplete one is allowed, as zlib
    // allows it for a single distance code).
    bool Build(const uint8_t* lengths, int n) {
        count.fill(0);
        for (int i = 0; i < n; ++i) ++count[lengths[i]];
        count[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = left * 2 - count[len];
            if (left < 0)
                return false;
        }
        std::array<uint16_t, kMaxBits + 2> offset{};
        for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + count[len];
        for (int i = 0; i < n; ++i)
            if (lengths[i] != 0)
                symbol[offset[lengths[i]]++] = uint16_t(i);
        return true;
    }

    // The next symbol, or -1 on a code that is not in the table or the end of the input.
    int Decode(CBitReader& bits) const {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            uint32_t bit = 0;
            if (!bits.Bits(1, &bit))
                return -1;
            code |= int(bit);
            const int n = count[len];
            if (code - n < first)
                return symbol[index + (code - first)];
            index += n;
            first = (first + n) << 1;
            code <<= 1;
        }
        return -1;
    }
};

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

bool InflateCodes(CBitReader& bits, const CHuffman& lengths, const CHuffman& distances,
                  size_t maxOut, std::string* out) {
    for (;;) {
        const int sym = lengths.Decode(bits);
        if (sym < 0)
            return false;
        if (sym < 256) {
            if (out->size() >= maxOut)
                return false;
            out->push_back(char(sym));
            continue;
        }
        if (sym == 256)
            return true;
        const int li = sym - 257;
        if (li >= 29)
            return false;
        uint32_t extra = 0;
        if (!bits.Bits(kLengthExtra[li], &extra))
            return false;
        const size_t length = kLengthBase[li] + extra;
        const int di = distances.Decode(bits);
        if (di < 0 || di >= 30 || !bits.Bits(kDistExtra[di], &extra))
            return false;
        const size_t distance = kDistBase[di] + extra;
        if (distance > out->size() || length > maxOut - out->size())
            return false;
        const size_t from = out->size() - distance;
        for (size_t i = 0; i < length; ++i) out->push_back((*out)[from + i]);
    }
}

bool FixedTables(CHuffman* lengths, CHuffman* distances) {
    uint8_t l[288];
    for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    uint8_t d[30];
    for (uint8_t& x : d) x = 5;
    return lengths->Build(l, 288) && distances->Build(d, 30);
}

bool DynamicTables(CBitReader& bits, CHuffman* lengths, CHuffman* distances) {
    uint32_t nlen = 0, ndist = 0, ncode = 0;
    if (!bits.Bits(5, &nlen) || !bits.Bits(5, &ndist) || !bits.Bits(4, &ncode))
        return false;
    nlen += 257;
    ndist += 1;
    ncode += 4;
    if (nlen > 286 || ndist > 30)
        return false;
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
    uint8_t codeLengths[19] = {};
    for (uint32_t i = 0; i < ncode; ++i) {
        uint32_t v = 0;
        if (!bits.Bits(3, &v))
            return false;
        codeLengths[kOrder[i]] = uint8_t(v);
    }
    CHuffman codes;
    if (!codes.Build(codeLengths, 19))
        return false;
    uint8_t all[286 + 30] = {};
    uint32_t i = 0;
    while (i < nlen + ndist) {
        const int sym = codes.Decode(bits);
        if (sym < 0)
            return false;
        if (sym < 16) {
            all[i++] = uint8_t(sym);
            continue;
        }
        uint8_t repeat = 0;
        uint32_t times = 0;
        if (sym == 16) {
            if (i == 0 || !bits.Bits(2, &times))
                return false;
            repeat = all[i - 1];
            times += 3;
        } else if (sym == 17) {
            if (!bits.Bits(3, &times))
                return false;
            times += 3;
        } else {
            if (!bits.Bits(7, &times))
                return false;
            times += 11;
        }
        if (i + times > nlen + ndist)
            return false;
        while (times-- > 0) all[i++] = repeat;
    }
    if (all[256] == 0)  // no end-of-block code
        return false;
    return lengths->Build(all, int(nlen)) && distances->Build(all + nlen, int(ndist));
}

}  // namespace

bool ZlibInflate(std::string_view in, size_t maxOut, std::string* out) {
    out->clear();
    if (in.size() < 6)
        return false;
    const uint8_t cmf = uint8_t(in[0]), flg = uint8_t(in[1]);
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || ((cmf << 8) | flg) % 31 != 0 || (flg & 0x20))
        return false;  // not deflate, a window over 32 KB, a bad check, or a preset dictionary
    CBitReader bits(in.substr(2));
    uint32_t last = 0;
    do {
        uint32_t type = 0;
        if (!bits.Bits(1, &last) || !bits.Bits(2, &type))
            return false;
        if (type == 0) {
            bits.AlignToByte();
            const size_t p = bits.BytePos();
            const std::string_view data = bits.Input();
            if (data.size() < 4 || p > data.size() - 4)
                return false;
            const uint32_t len = uint8_t(data[p]) | (uint8_t(data[p + 1]) << 8);
            const uint32_t nlen = uint8_t(data[p + 2]) | (uint8_t(data[p + 3]) << 8);
            if ((len ^ 0xFFFF) != nlen || len > data.size() - p - 4 || len > maxOut - out->size())
                return false;
            out->append(data.substr(p + 4, len));
            bits.SkipBytes(4 + len);
        } else if (type == 1 || type == 2) {
            CHuffman lengths, distances;
            const bool ok = type == 1 ? FixedTables(&lengths, &distances)
                                      : DynamicTables(bits, &lengths, &distances);
            if (!ok || !InflateCodes(bits, lengths, distances, maxOut, out))
                return false;
        } else {
            return false;
        }
    } while (!last);
    bits.AlignToByte();
    const size_t p = bits.BytePos();
    const std::string_view data = bits.Input();
    if (p > data.size() || data.size() - p < 4)
        return false;
    const uint32_t stored = (uint32_t(uint8_t(data[p])) << 24) |
                            (uint32_t(uint8_t(data[p + 1])) << 16) |
                            (uint32_t(uint8_t(data[p + 2])) << 8) | uint32_t(uint8_t(data[p + 3]));
    return stored == Adler32(*out);
}

std::string ZlibStore(std::string_view data) {
    std::string out = "\x78\x01";
    size_t pos = 0;
    do {
        const size_t n = std::min<size_t>(data.size() - pos, 65535);
        const bool last = pos + n == data.size();
        out.push_back(last ? 1 : 0);
        out.push_back(char(n & 0xFF));
        out.push_back(char(n >> 8));
        out.push_back(char(~n & 0xFF));
        out.push_back(char((~n >> 8) & 0xFF));
        out.append(data.substr(pos, n));
        pos += n;
    } while (pos < data.size());
    const uint32_t adler = Adler32(data);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char((adler >> shift) & 0xFF));
    return out;
}

uint32_t Crc32(std::string_view data, uint32_t crc) {
    static const std::array<uint32_t, 256> kTable = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (unsigned char b : data) crc = kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace vg::host
