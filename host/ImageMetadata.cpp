// Metadata blocks read from and written into JPEG, PNG and TIFF containers.
#include "host/ImageMetadata.h"

#include "host/ZlibData.h"

#include <algorithm>
#include <map>

namespace vg::host {
namespace {

constexpr std::string_view kExifId("Exif\0\0", 6);
constexpr std::string_view kXmpId("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr std::string_view kIccId("ICC_PROFILE\0", 12);
constexpr std::string_view kPhotoshopId("Photoshop 3.0\0", 14);
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
constexpr size_t kMaxSegmentPayload = 65533;  // a JPEG segment's length field counts itself
constexpr uint16_t kIptcResource = 0x0404;

uint32_t Be16(std::string_view s, size_t at) {
    return (uint32_t(uint8_t(s[at])) << 8) | uint8_t(s[at + 1]);
}

uint32_t Be32(std::string_view s, size_t at) {
    return (Be16(s, at) << 16) | Be16(s, at + 2);
}

void PutBe16(std::string& s, uint32_t v) {
    s.push_back(char((v >> 8) & 0xFF));
    s.push_back(char(v & 0xFF));
}

void PutBe32(std::string& s, uint32_t v) {
    PutBe16(s, v >> 16);
    PutBe16(s, v & 0xFFFF);
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool IsExifBlock(std::string_view s) {
    return s.size() >= 8 && (StartsWith(s, std::string_view("II*\0", 4)) ||
                             StartsWith(s, std::string_view("MM\0*", 4)));
}

std::string Kilobytes(size_t bytes) {
    return std::to_string((bytes + 1023) / 1024) + " KB";
}

// ---- Photoshop image resources ------------------------------------------------------------

// The data of the first resource of this id, or empty. Stops at the first damaged block.
std::string FindResource(std::string_view irb, uint16_t id) {
    size_t p = 0;
    while (irb.size() - p >= 12 && irb.substr(p, 4) == "8BIM") {
        const uint32_t rid = Be16(irb, p + 4);
        size_t q = p + 6;
        const size_t nameLength = uint8_t(irb[q]);
        q += (nameLength + 2) & ~size_t(1);  // Pascal name padded to an even length
        if (q > irb.size() || irb.size() - q < 4)
            break;
        const uint32_t size = Be32(irb, q);
        q += 4;
        if (size > irb.size() - q)
            break;
        if (rid == id)
            return std::string(irb.substr(q, size));
        p = q + size + (size & 1);
        if (p > irb.size())
            break;
    }
    return std::string();
}

std::string IptcResource(std::string_view iptc) {
    std::string irb = "8BIM";
    PutBe16(irb, kIptcResource);
    irb.append(2, '\0');  // empty name, padded
    PutBe32(irb, uint32_t(iptc.size()));
    irb += iptc;
    if (iptc.size() & 1)
        irb.push_back('\0');
    return irb;
}

// ---- JPEG ------------------------------------------------------------------------------------

struct JpegSegment {
    uint8_t marker;
    size_t begin;  // at its 0xFF
    size_t end;    // after its payload
};

bool HasNoLength(uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

void ReadJpeg(CByteSource& file, ImageMetadata* out, std::vector<std::string>* notes) {
    std::string head;
    if (!file.ReadText(0, 2, &head) || head != "\xFF\xD8")
        return;
    uint64_t pos = 2;
    std::map<int, std::string> iccChunks;
    int iccCount = -1;
    bool iccBad = false;
    for (int n = 0;; ++n) {
        if (n >= kMaxJpegSegments) {
            notes->push_back("too many JPEG segments; metadata after them not read");
            break;
        }
        std::string marker;
        if (!file.ReadText(pos, 2, &marker) || uint8_t(marker[0]) != 0xFF)
            break;
        uint8_t m = uint8_t(marker[1]);
        if (m == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (HasNoLength(m)) {
            pos += 2;
            continue;
        }
        if (m == 0xDA || m == 0xD9)
            break;
        std::string length;
        if (!file.ReadText(pos + 2, 2, &length) || Be16(length, 0) < 2)
            break;
        const size_t payloadSize = Be16(length, 0) - 2;
        const uint64_t payloadAt = pos + 4;
        pos = payloadAt + payloadSize;
        if (m != 0xE1 && m != 0xE2 && m != 0xED)
            continue;
        std::string payload;
        if (!file.ReadText(payloadAt, payloadSize, &payload))
            break;
        if (m == 0xE1 && StartsWith(payload, kExifId) && out->exif.empty()) {
            out->exif = payload.substr(kExifId.size());
            if (!IsExifBlock(out->exif)) {
                out->exif.clear();
                notes->push_back("damaged EXIF block left out");
            }
        } else if (m == 0xE1 && StartsWith(payload, kXmpId) && out->xmp.empty()) {
            out->xmp = payload.substr(kXmpId.size());
        } else if (m == 0xE2 && StartsWith(payload, kIccId) && payload.size() > kIccId.size() + 2) {
            const int seq = uint8_t(payload[kIccId.size()]);
            const int count = uint8_t(payload[kIccId.size() + 1]);
            if (seq < 1 || seq > count || (iccCount >= 0 && count != iccCount) ||
                iccChunks.count(seq) != 0)
                iccBad = true;
            iccCount = count;
            iccChunks[seq] = payload.substr(kIccId.size() + 2);
        } else if (m == 0xED && StartsWith(payload, kPhotoshopId)) {
            // Photoshop splits long resource lists over several segments.
            if (out->photoshop.size() + payload.size() <= kMaxMetadataBlock)
                out->photoshop += payload.substr(kPhotoshopId.size());
        }
    }
    if (iccCount > 0) {
        if (iccBad || int(iccChunks.size()) != iccCount) {
            notes->push_back("damaged colour profile (chunks missing or repeated) left out");
        } else {
            for (const auto& chunk : iccChunks) out->icc += chunk.second;
        }
    }
}

// Segments up to the image data; false when the bytes do not start like a JPEG file.
bool SplitJpeg(std::string_view jpeg, std::vector<JpegSegment>* segments, size_t* dataAt) {
    if (!StartsWith(jpeg, "\xFF\xD8"))
        return false;
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && uint8_t(jpeg[pos]) == 0xFF) {
        const uint8_t m = uint8_t(jpeg[pos + 1]);
        if (m == 0xDA || HasNoLength(m) || m == 0xFF)
            break;
        const size_t end = pos + 2 + Be16(jpeg, pos + 2);
        if (end > jpeg.size())
            return false;
        segments->push_back({m, pos, end});
        pos = end;
    }
    *dataAt = pos;
    return true;
}

void AppendSegment(std::string& out, uint8_t marker, std::string_view id, std::string_view a,
                   std::string_view b = {}) {
    out.push_back(char(0xFF));
    out.push_back(char(marker));
    PutBe16(out, uint32_t(2 + id.size() + a.size() + b.size()));
    out += id;
    out += a;
    out += b;
}

// ---- PNG -------------------------------------------------------------------------------------

void ReadPng(CByteSource& file, ImageMetadata* out, std::vector<std::string>* notes) {
    std::string head;
    if (!file.ReadText(0, 8, &head) || head != kPngSignature)
        return;
    uint64_t pos = 8;
    for (int n = 0; n < kMaxPngChunks; ++n) {
        std::string chunk;
        if (!file.ReadText(pos, 8, &chunk))
            break;
        const uint32_t length = Be32(chunk, 0);
        const std::string type = chunk.substr(4, 4);
        if (length > 0x7FFFFFFFu || type == "IEND")
            break;
        const uint64_t dataAt = pos + 8;
        pos = dataAt + length + 4;
        if (type != "eXIf" && type != "iTXt" && type != "iCCP")
            continue;
        if (length > kMaxMetadataBlock) {
            notes->push_back("a " + type + " chunk of " + Kilobytes(length) + " left out");
            continue;
        }
        std::string data, crc;
        if (!file.ReadText(dataAt, length, &data) || !file.ReadText(dataAt + length, 4, &crc))
            break;
        if (Crc32(data, Crc32(type)) != Be32(crc, 0)) {
            notes->push_back("damaged " + type + " chunk (checksum) left out");
            continue;
        }
        if (type == "eXIf" && out->exif.empty()) {
            if (IsExifBlock(data))
                out->exif = std::move(data);
            else
                notes->push_back("damaged EXIF block left out");
        } else if (type == "iTXt" && out->xmp.empty() && StartsWith(data, kXmpKeyword) &&
                   data.size() > kXmpKeyword.size() + 2 && data[kXmpKeyword.size()] == '\0') {
            // keyword \0 compression-flag method language \0 translated-keyword \0 text
            size_t p = kXmpKeyword.size() + 1;
            const bool compressed = data[p] != 0;
            p += 2;
            for (int field = 0; field < 2 && p != std::string::npos; ++field) {
                p = data.find('\0', p);
                if (p != std::string::npos)
                    ++p;
            }
            if (p == std::string::npos) {
                notes->push_back("damaged XMP chunk left out");
            } else if (!compressed) {
                out->xmp = data.substr(p);
            } else if (!ZlibInflate(std::string_view(data).substr(p), kMaxMetadataBlock,
                                    &out->xmp)) {
                out->xmp.clear();
                notes->push_back("damaged compressed XMP chunk left out");
            }
        } else if (type == "iCCP" && out->icc.empty()) {
            const size_t zero = data.find('\0');
            if (zero == std::string::npos || zero == 0 || zero > 79 || zero + 2 > data.size() ||
                data[zero + 1] != 0 ||
                !ZlibInflate(std::string_view(data).substr(zero + 2), kMaxMetadataBlock,
                             &out->icc)) {
                out->icc.clear();
                notes->push_back("damaged colour profile (iCCP) left out");
            }
        }
    }
}

void AppendChunk(std::string& out, std::string_view type, std::string_view data) {
    PutBe32(out, uint32_t(data.size()));
    out += type;
    out += data;
    PutBe32(out, Crc32(data, Crc32(type)));
}

// ---- TIFF ------------------------------------------------------------------------------------

void ReadTiff(CByteSource& file, ImageMetadata* out, std::vector<std::string>* notes) {
    TiffDirectory ifd0;
    int dropped = 0;
    if (!ReadTiffDirectory(file, 0, &ifd0, &dropped))
        return;
    if (dropped > 0)
        notes->push_back(std::to_string(dropped) + " damaged TIFF fields left out");
    TiffDirectory exif;
    for (TiffField& f : ifd0.fields) {
        if (f.value.size() > kMaxMetadataBlock)
            continue;
        if (f.tag == kTagXmp) {
            out->xmp = f.value;
        } else if (f.tag == kTagPhotoshop) {
            out->photoshop = f.value;
        } else if (f.tag == kTagIccProfile) {
            out->icc = f.value;
        } else if (f.tag != kTagIptc && !IsTiffLayoutTag(f.tag)) {
            exif.fields.push_back(f);
        }
    }
    // The IPTC record alone, when there are no Photoshop resources that already hold it.
    if (const TiffField* iptc = ifd0.Find(kTagIptc)) {
        if (out->photoshop.empty() && !iptc->value.empty() &&
            iptc->value.size() <= kMaxMetadataBlock)
            out->photoshop = IptcResource(iptc->value);
    }
    if (!exif.fields.empty())
        out->exif = WriteTiffBlock(exif);
}

}  // namespace

bool IsTiffLayoutTag(uint16_t tag) {
    static constexpr uint16_t kLayout[] = {
        254, 255, 256, 257, 258, 259, 262, 263, 264, 265, 266, 273, 277,   278,  279,
        280, 281, 284, 286, 287, 290, 291, 292, 293, 297, 301, 317, 320,   321,  322,
        323, 324, 325, 330, 332, 333, 334, 336, 337, 338, 339, 340, 341,   342,  347,
        512, 513, 514, 515, 517, 518, 519, 520, 521, 529, 530, 532, 37724, 34732};
    return std::find(std::begin(kLayout), std::end(kLayout), tag) != std::end(kLayout);
}

void ReadImageMetadata(ImageFormat format, CByteSource& file, ImageMetadata* out,
                       std::vector<std::string>* notes) {
    *out = ImageMetadata{};
    try {
        switch (format) {
            case ImageFormat::Jpeg:
                ReadJpeg(file, out, notes);
                break;
            case ImageFormat::Png:
                ReadPng(file, out, notes);
                break;
            case ImageFormat::Tiff:
                ReadTiff(file, out, notes);
                break;
            default:
                break;
        }
    } catch (const std::bad_alloc&) {
        *out = ImageMetadata{};
        notes->push_back("not enough memory for the metadata; left out");
    }
}

bool AddJpegMetadata(std::string& jpeg, const ImageMetadata& m, std::vector<std::string>* notes) {
    std::vector<JpegSegment> segments;
    size_t dataAt = 0;
    if (!SplitJpeg(jpeg, &segments, &dataAt))
        return false;
    std::string blocks;
    if (!m.exif.empty()) {
        if (kExifId.size() + m.exif.size() <= kMaxSegmentPayload)
            AppendSegment(blocks, 0xE1, kExifId, m.exif);
        else
            notes->push_back("EXIF block of " + Kilobytes(m.exif.size()) +
                             " is larger than a JPEG segment holds; left out");
    }
    if (!m.xmp.empty()) {
        if (kXmpId.size() + m.xmp.size() <= kMaxSegmentPayload)
            AppendSegment(blocks, 0xE1, kXmpId, m.xmp);
        else
            notes->push_back("XMP packet of " + Kilobytes(m.xmp.size()) +
                             " is larger than a JPEG segment holds; left out");
    }
    if (!m.icc.empty()) {
        const size_t chunk = kMaxSegmentPayload - kIccId.size() - 2;
        const size_t count = (m.icc.size() + chunk - 1) / chunk;
        if (count > 255) {
            notes->push_back("colour profile of " + Kilobytes(m.icc.size()) +
                             " is larger than a JPEG file holds; left out");
        } else {
            for (size_t i = 0; i < count; ++i) {
                const char numbers[2] = {char(i + 1), char(count)};
                AppendSegment(blocks, 0xE2, kIccId, std::string_view(numbers, 2),
                              std::string_view(m.icc).substr(i * chunk, chunk));
            }
        }
    }
    if (!m.photoshop.empty()) {
        const size_t chunk = kMaxSegmentPayload - kPhotoshopId.size();
        for (size_t at = 0; at < m.photoshop.size(); at += chunk)
            AppendSegment(blocks, 0xED, kPhotoshopId,
                          std::string_view(m.photoshop).substr(at, chunk));
    }
    // JFIF's APP0 stays first; the encoder's own blocks of the kinds we bring are dropped.
    std::string out = "\xFF\xD8";
    size_t i = 0;
    if (!segments.empty() && segments[0].marker == 0xE0) {
        out.append(jpeg, segments[0].begin, segments[0].end - segments[0].begin);
        i = 1;
    }
    out += blocks;
    for (; i < segments.size(); ++i) {
        const JpegSegment& s = segments[i];
        const std::string_view payload =
            std::string_view(jpeg).substr(s.begin + 4, s.end - s.begin - 4);
        const bool replaced =
            (s.marker == 0xE1 && !m.exif.empty() && StartsWith(payload, kExifId)) ||
            (s.marker == 0xE1 && !m.xmp.empty() && StartsWith(payload, kXmpId)) ||
            (s.marker == 0xE2 && !m.icc.empty() && StartsWith(payload, kIccId)) ||
            (s.marker == 0xED && !m.photoshop.empty());
        if (!replaced)
            out.append(jpeg, s.begin, s.end - s.begin);
    }
    out.append(jpeg, dataAt, std::string::npos);
    jpeg = std::move(out);
    return true;
}

bool AddPngMetadata(std::string& png, const ImageMetadata& m, std::vector<std::string>* notes) {
    if (!StartsWith(png, kPngSignature) || png.size() < 8 + 25 || png.compare(12, 4, "IHDR") != 0)
        return false;
    const size_t ihdrEnd = 8 + 12 + Be32(png, 8);
    if (ihdrEnd > png.size())
        return false;
    std::string blocks;
    if (!m.icc.empty()) {
        std::string data = "ICC profile";
        data.push_back('\0');
        data.push_back('\0');  // deflate
        data += ZlibStore(m.icc);
        AppendChunk(blocks, "iCCP", data);
    }
    if (!m.exif.empty())
        AppendChunk(blocks, "eXIf", m.exif);
    if (!m.xmp.empty()) {
        std::string data(kXmpKeyword);
        data.append(std::string(
            "\0\0\0\0\0", 5));  // keyword end, not compressed, method, no language, no translation
        data += m.xmp;
        AppendChunk(blocks, "iTXt", data);
    }
    if (!m.photoshop.empty())
        notes->push_back("PNG holds no IPTC data; left out");
    std::string out = png.substr(0, ihdrEnd) + blocks;
    size_t pos = ihdrEnd;
    while (pos + 12 <= png.size()) {
        const size_t end = pos + 12 + Be32(png, pos);
        if (end > png.size() || end < pos)
            return false;
        const std::string_view type = std::string_view(png).substr(pos + 4, 4);
        const std::string_view data = std::string_view(png).substr(pos + 8, end - pos - 12);
        // A profile takes the place of the encoder's colour chunks.
        const bool replaced = (!m.icc.empty() && (type == "iCCP" || type == "sRGB")) ||
                              (!m.exif.empty() && type == "eXIf") ||
                              (!m.xmp.empty() && type == "iTXt" && StartsWith(data, kXmpKeyword));
        if (!replaced)
            out.append(png, pos, end - pos);
        pos = end;
    }
    png = std::move(out);
    return true;
}

std::vector<TiffField> TiffMetadataFields(const ImageMetadata& m, std::vector<std::string>* notes) {
    std::vector<TiffField> fields;
    if (!m.exif.empty()) {
        CMemorySource source(m.exif);
        TiffDirectory exif;
        int dropped = 0;
        if (ReadTiffDirectory(source, 0, &exif, &dropped)) {
            for (TiffField& f : exif.fields)
                if (!IsTiffLayoutTag(f.tag) && f.tag != kTagXmp && f.tag != kTagIptc &&
                    f.tag != kTagPhotoshop && f.tag != kTagIccProfile)
                    fields.push_back(std::move(f));
            if (dropped > 0)
                notes->push_back(std::to_string(dropped) + " damaged EXIF fields left out");
        } else {
            notes->push_back("damaged EXIF block left out");
        }
    }
    if (!m.xmp.empty())
        fields.push_back(TiffBytes(kTagXmp, 1, m.xmp));
    if (!m.photoshop.empty()) {
        const std::string iptc = FindResource(m.photoshop, kIptcResource);
        if (!iptc.empty())
            fields.push_back(TiffBytes(kTagIptc, 7, iptc));
        fields.push_back(TiffBytes(kTagPhotoshop, 7, m.photoshop));
    }
    if (!m.icc.empty())
        fields.push_back(TiffBytes(kTagIccProfile, 7, m.icc));
    return fields;
}

}  // namespace vg::host
