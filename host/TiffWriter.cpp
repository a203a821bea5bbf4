// Uncompressed baseline TIFF writer.
#include "host/TiffWriter.h"

#include <vector>

namespace vg::host {
namespace {

enum : uint16_t { kShort = 3, kLong = 4, kRational = 5 };

struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
};

void Put16(std::string& s, uint32_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}

void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

}  // namespace

bool WriteTiff(std::ostream& out, const CHostImage& image, std::string* error) {
    if (image.Empty()) {
        *error = "empty image";
        return false;
    }
    const uint32_t channels = uint32_t(image.Channels());
    const uint64_t dataBytes = uint64_t(image.RowBytes()) * uint64_t(image.Height());
    const bool alpha = image.HasAlpha();
    const uint32_t entries = alpha ? 14 : 13;
    // Layout: header, IFD, bits-per-sample array, two resolution rationals, pixels.
    const uint32_t ifd = 8;
    const uint32_t bitsOffset = ifd + 2 + entries * 12 + 4;
    const uint32_t bitsBytes = channels > 2 ? channels * 2 : 0;
    const uint32_t resOffset = bitsOffset + bitsBytes;
    const uint32_t dataOffset = resOffset + 16;
    if (dataBytes > 0xFFFFFFFFull - dataOffset) {
        *error = "the image is too large for a TIFF file";
        return false;
    }
    const uint32_t bits = uint32_t(image.Depth());
    uint32_t bitsValue = bits;
    if (channels == 2)
        bitsValue = bits | (bits << 16);
    else if (channels > 2)
        bitsValue = bitsOffset;
    std::vector<Entry> dir = {
        {256, kLong, 1, uint32_t(image.Width())},
        {257, kLong, 1, uint32_t(image.Height())},
        {258, kShort, channels, bitsValue},
        {259, kShort, 1, 1},                              // no compression
        {262, kShort, 1, image.Planes() == 1 ? 1u : 2u},  // black is zero / RGB
        {273, kLong, 1, dataOffset},
        {277, kShort, 1, channels},
        {278, kLong, 1, uint32_t(image.Height())},
        {279, kLong, 1, uint32_t(dataBytes)},
        {282, kRational, 1, resOffset},
        {283, kRational, 1, resOffset + 8},
        {284, kShort, 1, 1},  // interleaved
        {296, kShort, 1, 2},  // inches
    };
    if (alpha)
        dir.push_back({338, kShort, 1, 2});  // unassociated alpha
    std::string head = "II";
    Put16(head, 42);
    Put32(head, ifd);
    Put16(head, entries);
    for (const Entry& e : dir) {
        Put16(head, e.tag);
        Put16(head, e.type);
        Put32(head, e.count);
        if (e.type == kShort && e.count == 1) {
            Put16(head, e.value);
            Put16(head, 0);
        } else {
            Put32(head, e.value);
        }
    }
    Put32(head, 0);  // no further IFD
    for (uint32_t c = 0; c < bitsBytes / 2; ++c) Put16(head, bits);
    for (int i = 0; i < 2; ++i) {  // 72 dpi
        Put32(head, 72);
        Put32(head, 1);
    }
    out.write(head.data(), std::streamsize(head.size()));
    std::string row;
    for (int32_t y = 0; y < image.Height() && out; ++y) {
        row.clear();
        for (int32_t x = 0; x < image.Width(); ++x)
            for (int32_t c = 0; c < image.Channels(); ++c) {
                uint32_t v = image.Sample(x, y, c);
                if (bits == 8)
                    row.push_back(char(v));
                else
                    Put16(row, To65535(v));
            }
        out.write(row.data(), std::streamsize(row.size()));
    }
    out.flush();
    if (!out) {
        *error = "writing failed";
        return false;
    }
    return true;
}

}  // namespace vg::host
