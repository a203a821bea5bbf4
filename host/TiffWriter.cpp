// Uncompressed baseline TIFF writer.
#include "host/TiffWriter.h"

#include "host/ImageMetadata.h"

#include <cstring>
#include <vector>

namespace vg::host {
namespace {

enum : uint16_t { kShort = 3, kRational = 5 };

TiffField Shorts(uint16_t tag, uint32_t count, uint16_t value) {
    TiffField f;
    f.tag = tag;
    f.type = kShort;
    f.count = count;
    for (uint32_t i = 0; i < count; ++i) {
        f.value.push_back(char(value & 0xFF));
        f.value.push_back(char(value >> 8));
    }
    return f;
}

TiffField Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
    TiffField f;
    f.tag = tag;
    f.type = kRational;
    f.count = 1;
    for (uint32_t v : {numerator, denominator})
        for (int i = 0; i < 4; ++i) f.value.push_back(char((v >> (8 * i)) & 0xFF));
    return f;
}

// Header and directory for pixel data at dataOffset.
std::string Header(const TiffDirectory& directory) {
    std::string head = std::string("II*\0\x08\0\0\0", 8);
    AppendTiffDirectory(head, 0, directory);
    if (head.size() % 2)
        head.push_back('\0');
    return head;
}

}  // namespace

bool WriteTiff(std::ostream& out, const CHostImage& image, std::string* error,
               const std::vector<TiffField>& metadata) {
    if (image.Empty()) {
        *error = "empty image";
        return false;
    }
    const uint32_t channels = uint32_t(image.Channels());
    const uint64_t dataBytes = uint64_t(image.RowBytes()) * uint64_t(image.Height());
    TiffDirectory dir;
    dir.Set(TiffLong(256, uint32_t(image.Width())));
    dir.Set(TiffLong(257, uint32_t(image.Height())));
    dir.Set(Shorts(258, channels, uint16_t(image.Depth())));
    dir.Set(TiffShort(259, 1));                            // no compression
    dir.Set(TiffShort(262, image.Planes() == 1 ? 1 : 2));  // black is zero / RGB
    dir.Set(TiffLong(273, 0));                             // set below
    dir.Set(TiffShort(277, uint16_t(channels)));
    dir.Set(TiffLong(278, uint32_t(image.Height())));
    dir.Set(TiffLong(279, uint32_t(dataBytes)));
    dir.Set(Rational(282, 72, 1));
    dir.Set(Rational(283, 72, 1));
    dir.Set(TiffShort(284, 1));  // interleaved
    dir.Set(TiffShort(296, 2));  // inches
    if (image.HasAlpha())
        dir.Set(TiffShort(338, 2));  // unassociated alpha
    for (const TiffField& f : metadata)
        if (!IsTiffLayoutTag(f.tag))
            dir.Set(f);
    // The directory's size does not depend on the strip offset's value.
    const uint32_t dataOffset = uint32_t(Header(dir).size());
    if (dataBytes > 0xFFFFFFFFull - dataOffset) {
        *error = "the image is too large for a TIFF file";
        return false;
    }
    dir.Set(TiffLong(273, dataOffset));
    const std::string head = Header(dir);
    out.write(head.data(), std::streamsize(head.size()));
    std::vector<char> row(image.RowBytes());
    for (int32_t y = 0; y < image.Height() && out; ++y) {
        const uint8_t* src = image.Row(y);
        if (image.Depth() == 8) {
            out.write(reinterpret_cast<const char*>(src), std::streamsize(image.RowBytes()));
            continue;
        }
        const size_t samples = image.RowBytes() / 2;
        for (size_t i = 0; i < samples; ++i) {
            uint16_t sample;
            std::memcpy(&sample, src + 2 * i, 2);  // the image holds native 16-bit samples
            const uint16_t v = To65535(sample);
            row[2 * i] = char(v & 0xFF);
            row[2 * i + 1] = char(v >> 8);
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
