// A bounded inflater, a stored-block deflater and the two checksums.
#include "host/ZlibData.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <queue>
#include <thread>
#include <vector>

namespace vg::host {
namespace {

constexpr int kMaxBits = 15;

uint32_t Adler32(std::string_view data) {
    // 5552 bytes is the most that can be summed before b could overflow 32 bits. Inside a run,
    // b gains 8 a's per group of eight bytes plus the group's bytes weighted 8..1, so the
    // bytes are summed without a dependency from one to the next.
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    uint32_t a = 1, b = 0;
    for (size_t at = 0; at < data.size(); at += 5552) {
        const size_t end = std::min(data.size(), at + 5552);
        size_t i = at;
        for (; i + 8 <= end; i += 8) {
            b += 8 * a + 8 * p[i] + 7 * p[i + 1] + 6 * p[i + 2] + 5 * p[i + 3] + 4 * p[i + 4] +
                 3 * p[i + 5] + 2 * p[i + 6] + p[i + 7];
            a += uint32_t(p[i]) + p[i + 1] + p[i + 2] + p[i + 3] + p[i + 4] + p[i + 5] + p[i + 6] +
                 p[i + 7];
        }
        for (; i < end; ++i) {
            a += p[i];
            b += a;
        }
        a %= 65521;
        b %= 65521;
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

// ---- compression ------------------------------------------------------------------------------

// Writes the deflate bit stream least significant bit first, into out from its end on. Bits
// gather in a 64-bit word that is stored four bytes at a time, into room made ahead, rather
// than appended byte by byte.
class CBitWriter {
public:
    explicit CBitWriter(std::string& out) : m_out(out), m_used(out.size()) {}
    ~CBitWriter() { m_out.resize(m_used); }
    CBitWriter(const CBitWriter&) = delete;
    CBitWriter& operator=(const CBitWriter&) = delete;

    // n <= 32 bits.
    void Bits(uint32_t value, int n) {
        m_acc |= uint64_t(value) << m_count;
        m_count += n;
        if (m_count >= 32) {
            if (m_out.size() < m_used + 8)
                m_out.resize(std::max<size_t>(2 * m_out.size(), m_used + 4096));
            const uint64_t acc = m_acc;
            for (int i = 0; i < 4; ++i) m_out[m_used + size_t(i)] = char((acc >> (8 * i)) & 0xFF);
            m_used += 4;
            m_acc >>= 32;
            m_count -= 32;
        }
    }
    // Writes the bits still held, up to the next byte boundary.
    void Flush() {
        if (m_out.size() < m_used + 8)
            m_out.resize(m_used + 8);
        for (; m_count > 0; m_count -= 8) {
            m_out[m_used++] = char(m_acc & 0xFF);
            m_acc >>= 8;
        }
        m_acc = 0;
        m_count = 0;
    }
    // Whole bytes after a Flush.
    void Bytes(const char* data, size_t n) {
        m_out.resize(m_used);
        m_out.append(data, n);
        m_used = m_out.size();
    }

private:
    std::string& m_out;
    size_t m_used;  // bytes of out written; the rest is room
    uint64_t m_acc = 0;
    int m_count = 0;  // bits in m_acc, fewer than 32 between calls
};

// Code lengths of at most maxBits for the frequencies: a Huffman code built from them, with
// the frequencies halved until no code is longer than allowed. Symbols of frequency 0 get 0.
std::vector<uint8_t> CodeLengths(std::vector<uint32_t> freq, int maxBits) {
    const size_t n = freq.size();
    std::vector<uint8_t> lengths(n, 0);
    for (;;) {
        struct Node {
            uint64_t weight;
            int index;  // < n: a symbol; else an inner node
        };
        auto heavier = [](const Node& a, const Node& b) { return a.weight > b.weight; };
        std::priority_queue<Node, std::vector<Node>, decltype(heavier)> heap(heavier);
        std::vector<int> parent;
        for (size_t i = 0; i < n; ++i)
            if (freq[i] > 0)
                heap.push({freq[i], int(i)});
        if (heap.empty())
            return lengths;
        if (heap.size() == 1) {  // one symbol still needs a one-bit code
            lengths[size_t(heap.top().index)] = 1;
            return lengths;
        }
        parent.assign(n, -1);
        while (heap.size() > 1) {
            const Node a = heap.top();
            heap.pop();
            const Node b = heap.top();
            heap.pop();
            const int inner = int(parent.size());
            parent.push_back(-1);
            parent[size_t(a.index)] = inner;
            parent[size_t(b.index)] = inner;
            heap.push({a.weight + b.weight, inner});
        }
        int longest = 0;
        for (size_t i = 0; i < n; ++i) {
            int depth = 0;
            if (freq[i] > 0)
                for (int p = parent[i]; p >= 0; p = parent[size_t(p)]) ++depth;
            lengths[i] = uint8_t(std::min(depth, 255));
            longest = std::max(longest, depth);
        }
        if (longest <= maxBits)
            return lengths;
        for (uint32_t& f : freq)
            if (f > 0)
                f = (f + 1) / 2;
    }
}

// Canonical codes for the lengths, bit-reversed for writing least significant bit first.
std::vector<uint16_t> Codes(const std::vector<uint8_t>& lengths) {
    std::array<uint16_t, 16> count{}, next{};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    uint16_t code = 0;
    for (int bits = 1; bits <= 15; ++bits) {
        code = uint16_t((code + count[size_t(bits) - 1]) << 1);
        next[size_t(bits)] = code;
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i) {
        const int l = lengths[i];
        if (l == 0)
            continue;
        uint16_t c = next[size_t(l)]++, reversed = 0;
        for (int b = 0; b < l; ++b) reversed = uint16_t((reversed << 1) | ((c >> b) & 1));
        codes[i] = reversed;
    }
    return codes;
}

// One LZ77 symbol: a literal, or a match of length 3..258 at distance 1..32768.
struct Symbol {
    uint16_t length;  // 0 for a literal
    uint16_t value;   // the literal, or the distance
};

// Length (3..258) and distance (1..32768) to their codes, through tables made once.
int LengthCode(int length) {
    static const std::array<uint8_t, 259> kTable = [] {
        std::array<uint8_t, 259> t{};
        for (int l = 3, i = 0; l <= 258; ++l) {
            while (i < 28 && kLengthBase[i + 1] <= l) ++i;
            t[size_t(l)] = uint8_t(i);
        }
        return t;
    }();
    return kTable[size_t(length)];
}

int DistanceCode(int distance) {
    // Codes of distances 1..256 directly, and of longer ones by (distance - 1) / 128.
    static const std::array<uint8_t, 512> kTable = [] {
        std::array<uint8_t, 512> t{};
        auto slow = [](int d) {
            int i = 29;
            while (kDistBase[i] > d) --i;
            return uint8_t(i);
        };
        for (int d = 1; d <= 256; ++d) t[size_t(d - 1)] = slow(d);
        for (int k = 2; k < 256; ++k) t[size_t(256 + k)] = slow(k * 128 + 1);
        return t;
    }();
    return distance <= 256 ? kTable[size_t(distance - 1)]
                           : kTable[size_t(256 + ((distance - 1) >> 7))];
}

void WriteBlock(CBitWriter& bits, const std::vector<Symbol>& symbols, bool last) {
    std::vector<uint32_t> litFreq(286, 0), distFreq(30, 0);
    for (const Symbol& s : symbols) {
        if (s.length == 0) {
            ++litFreq[s.value];
        } else {
            ++litFreq[size_t(257 + LengthCode(s.length))];
            ++distFreq[size_t(DistanceCode(s.value))];
        }
    }
    litFreq[256] = 1;
    // Readers want at least one distance code, even in a block without matches.
    if (std::all_of(distFreq.begin(), distFreq.end(), [](uint32_t f) { return f == 0; }))
        distFreq[0] = 1;
    const std::vector<uint8_t> litLen = CodeLengths(litFreq, 15),
                               distLen = CodeLengths(distFreq, 15);
    int nlit = 286, ndist = 30;
    while (nlit > 257 && litLen[size_t(nlit) - 1] == 0) --nlit;
    while (ndist > 1 && distLen[size_t(ndist) - 1] == 0) --ndist;

    // The two length lists, run-length coded with symbols 16 (repeat the last), 17 and 18 (zeros).
    std::vector<uint8_t> all(litLen.begin(), litLen.begin() + nlit);
    all.insert(all.end(), distLen.begin(), distLen.begin() + ndist);
    struct Run {
        uint8_t symbol, extra;
    };
    std::vector<Run> runs;
    for (size_t i = 0; i < all.size();) {
        size_t j = i;
        while (j < all.size() && all[j] == all[i]) ++j;
        size_t n = j - i;
        if (all[i] == 0) {
            while (n >= 11) {
                const size_t k = std::min<size_t>(n, 138);
                runs.push_back({18, uint8_t(k - 11)});
                n -= k;
            }
            if (n >= 3) {
                runs.push_back({17, uint8_t(n - 3)});
                n = 0;
            }
        } else {
            runs.push_back({all[i], 0});
            --n;
            while (n >= 3) {
                const size_t k = std::min<size_t>(n, 6);
                runs.push_back({16, uint8_t(k - 3)});
                n -= k;
            }
        }
        for (; n > 0; --n) runs.push_back({all[i], 0});
        i = j;
    }
    std::vector<uint32_t> codeFreq(19, 0);
    for (const Run& r : runs) ++codeFreq[r.symbol];
    const std::vector<uint8_t> codeLen = CodeLengths(codeFreq, 7);
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
    int ncode = 19;
    while (ncode > 4 && codeLen[kOrder[ncode - 1]] == 0) --ncode;

    const std::vector<uint16_t> litCodes = Codes(litLen), distCodes = Codes(distLen),
                                codeCodes = Codes(codeLen);
    bits.Bits(last ? 1 : 0, 1);
    bits.Bits(2, 2);  // dynamic Huffman
    bits.Bits(uint32_t(nlit - 257), 5);
    bits.Bits(uint32_t(ndist - 1), 5);
    bits.Bits(uint32_t(ncode - 4), 4);
    for (int i = 0; i < ncode; ++i) bits.Bits(codeLen[kOrder[i]], 3);
    for (const Run& r : runs) {
        bits.Bits(codeCodes[r.symbol], codeLen[r.symbol]);
        if (r.symbol == 16)
            bits.Bits(r.extra, 2);
        else if (r.symbol == 17)
            bits.Bits(r.extra, 3);
        else if (r.symbol == 18)
            bits.Bits(r.extra, 7);
    }
    for (const Symbol& s : symbols) {
        if (s.length == 0) {
            bits.Bits(litCodes[s.value], litLen[s.value]);
            continue;
        }
        const int lc = LengthCode(s.length);
        bits.Bits(litCodes[size_t(257 + lc)], litLen[size_t(257 + lc)]);
        bits.Bits(uint32_t(s.length - kLengthBase[lc]), kLengthExtra[lc]);
        const int dc = DistanceCode(s.value);
        bits.Bits(distCodes[size_t(dc)], distLen[size_t(dc)]);
        bits.Bits(uint32_t(s.value - kDistBase[dc]), kDistExtra[dc]);
    }
    bits.Bits(litCodes[256], litLen[256]);
}

}  // namespace

namespace {

// How many of the first `most` bytes of a and b agree, compared eight at a time.
size_t MatchLength(const char* a, const char* b, size_t most) {
    size_t n = 0;
    for (; n + 8 <= most; n += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + size_t(__builtin_ctzll(x ^ y) / 8);  // bytes are little-endian
    }
    while (n < most && a[n] == b[n]) ++n;
    return n;
}

// Appends the deflate blocks of data to out (which must end on a byte boundary). A part that
// is not the last ends with an empty stored block, so that the next part starts on a byte
// boundary and parts compressed apart can be joined.
void DeflatePart(std::string_view data, bool last, std::string& out) {
    constexpr size_t kWindow = 32768, kHashBits = 15, kBlockSymbols = 1 << 16;
    CBitWriter bits(out);
    std::vector<int32_t> head(size_t(1) << kHashBits, -1);
    std::vector<Symbol> symbols;
    symbols.reserve(std::min<size_t>(kBlockSymbols, data.size() + 1));
    auto hash = [&](size_t i) {
        uint32_t v;
        std::memcpy(&v, data.data() + i, 4);
        return (v * 2654435761u) >> (32 - kHashBits);
    };
    // Positions are kept as 32-bit offsets: parts are far smaller than 2 GB.
    size_t i = 0;
    while (i < data.size()) {
        uint16_t length = 0, distance = 0;
        if (i + 4 <= data.size()) {
            const uint32_t h = hash(i);
            const int32_t candidate = head[h];
            head[h] = int32_t(i);
            if (candidate >= 0 && i - size_t(candidate) <= kWindow &&
                std::memcmp(data.data() + candidate, data.data() + i, 4) == 0) {
                size_t n = 4;
                const size_t most = std::min<size_t>(258, data.size() - i);
                n = 4 + MatchLength(data.data() + candidate + 4, data.data() + i + 4, most - 4);
                length = uint16_t(n);
                distance = uint16_t(i - size_t(candidate));
            }
        }
        if (length > 0) {
            symbols.push_back({length, distance});
            // Positions inside the match join the hash table too, so later data finds them.
            for (size_t k = i + 1; k < i + length && k + 4 <= data.size(); ++k)
                head[hash(k)] = int32_t(k);
            i += length;
        } else {
            symbols.push_back({0, uint8_t(data[i])});
            ++i;
        }
        if (symbols.size() == kBlockSymbols && i < data.size()) {
            WriteBlock(bits, symbols, false);
            symbols.clear();
        }
    }
    WriteBlock(bits, symbols, last);
    if (!last) {
        bits.Bits(0, 3);  // a stored block: its length starts on the next byte
        bits.Flush();
        bits.Bytes("\x00\x00\xFF\xFF", 4);
    }
    bits.Flush();
}

}  // namespace

std::string ZlibCompress(std::string_view data, int threads) {
    // Parts of at least a megabyte each, compressed side by side.
    const size_t parts = std::max<size_t>(
        1, std::min<size_t>(size_t(std::max(threads, 1)), data.size() / (size_t(1) << 20)));
    std::vector<std::string> compressed(parts);
    const size_t step = (data.size() + parts - 1) / std::max<size_t>(parts, 1);
    auto work = [&](size_t p) {
        const size_t from = std::min(data.size(), p * step);
        const size_t to = std::min(data.size(), from + step);
        DeflatePart(data.substr(from, to - from), p + 1 == parts, compressed[p]);
    };
    std::vector<std::thread> helpers;
    for (size_t p = 1; p < parts; ++p) helpers.emplace_back(work, p);
    work(0);
    for (std::thread& t : helpers) t.join();
    std::string out = "\x78\x01";
    for (const std::string& part : compressed) out += part;
    const uint32_t adler = Adler32(data);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char((adler >> shift) & 0xFF));
    return out;
}

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
    // Eight tables: table k gives the remainder of a byte followed by k zero bytes, so that
    // eight bytes are taken per step (an image's chunks are megabytes).
    static const std::array<std::array<uint32_t, 256>, 8> kTables = [] {
        std::array<std::array<uint32_t, 256>, 8> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n)
            for (size_t k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
        return t;
    }();
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    size_t n = data.size();
    crc = ~crc;
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t lo = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                   uint32_t(p[3]) << 24);
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^
              kTables[0][p[7]];
    }
    for (; n > 0; --n, ++p) crc = kTables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace vg::host
