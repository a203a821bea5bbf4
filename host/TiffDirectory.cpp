// Reading and writing TIFF directories.
#include "host/TiffDirectory.h"

#include <algorithm>

namespace vg::host {
namespace {

constexpr int kMaxDepth = 3;  // IFD0 -> EXIF -> interoperability
// Fields read in all directories together: sub-directory tags repeated in every directory
// would otherwise multiply the work at each level.
constexpr uint32_t kMaxFieldsRead = 4 * kMaxTiffFields;

// Blocks stored as a field whose bytes keep their own layout whatever the field's type says
// (Photoshop writes its IPTC record as LONGs, for instance).
bool IsOpaqueTag(uint16_t tag) {
    return tag == kTagXmp || tag == kTagIptc || tag == kTagPhotoshop || tag == kTagIccProfile;
}

bool IsSubDirectoryTag(uint16_t tag) {
    return tag == kTagExifIfd || tag == kTagGpsIfd || tag == kTagInteropIfd;
}

void Put16(std::string& s, uint32_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}

void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

void Set32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = char((v >> (8 * i)) & 0xFF);
}

// The size of the pieces to byte-swap in a value of this type.
uint32_t SwapUnit(uint16_t type) {
    switch (type) {
        case 3:
        case 8:
            return 2;
        case 4:
        case 5:
        case 9:
        case 10:
        case 11:
        case 13:
            return 4;
        case 12:
            return 8;
        default:
            return 1;
    }
}

class CTiffReader {
public:
    CTiffReader(CByteSource& source, uint64_t base) : m_source(source), m_base(base) {}

    bool Header(uint32_t* first) {
        std::string head;
        if (!m_source.ReadText(m_base, 8, &head))
            return false;
        if (head.compare(0, 4, "II*\0", 4) == 0)
            m_bigEndian = false;
        else if (head.compare(0, 4, "MM\0*", 4) == 0)
            m_bigEndian = true;
        else
            return false;
        *first = U32(head, 4);
        return true;
    }

    bool Directory(uint32_t offset, int depth, TiffDirectory* out) {
        std::string count;
        if (offset < 8 || !m_source.ReadText(m_base + offset, 2, &count))
            return false;
        const uint32_t n = U16(count, 0);
        if (n == 0 || n > kMaxTiffFields || n > kMaxFieldsRead - m_fieldsRead)
            return false;
        m_fieldsRead += n;
        std::string entries;
        if (!m_source.ReadText(m_base + offset + 2, size_t(n) * 12, &entries))
            return false;
        for (uint32_t i = 0; i < n; ++i) {
            TiffField field;
            const size_t e = size_t(i) * 12;
            field.tag = uint16_t(U16(entries, e));
            field.type = uint16_t(U16(entries, e + 2));
            field.count = U32(entries, e + 4);
            const uint32_t size = TiffTypeSize(field.type);
            const uint64_t bytes = uint64_t(size) * field.count;
            if (size == 0 ||
                bytes > kMaxTiffValueBytes - std::min(m_valueBytes, kMaxTiffValueBytes)) {
                ++m_dropped;
                continue;
            }
            bool ok = true;
            if (bytes <= 4)
                field.value = entries.substr(e + 8, size_t(bytes));
            else
                ok = m_source.ReadText(m_base + U32(entries, e + 8), size_t(bytes), &field.value);
            if (!ok) {
                ++m_dropped;
                continue;
            }
            m_valueBytes += bytes;
            ToLittleEndian(field);
            if (IsSubDirectoryTag(field.tag)) {
                auto sub = std::make_shared<TiffDirectory>();
                // A directory left without fields would not be a directory when written.
                if (depth >= kMaxDepth || field.count != 1 ||
                    (field.type != 4 && field.type != 13) ||
                    !Directory(LittleU32(field.value), depth + 1, sub.get()) ||
                    sub->fields.empty()) {
                    ++m_dropped;
                    continue;
                }
                field.sub = std::move(sub);
                field.value.clear();
            }
            out->fields.push_back(std::move(field));
        }
        return true;
    }

    int Dropped() const { return m_dropped; }

private:
    uint32_t U16(const std::string& s, size_t at) const {
        const uint32_t a = uint8_t(s[at]), b = uint8_t(s[at + 1]);
        return m_bigEndian ? (a << 8) | b : a | (b << 8);
    }
    uint32_t U32(const std::string& s, size_t at) const {
        const uint32_t lo = U16(s, at), hi = U16(s, at + 2);
        return m_bigEndian ? (lo << 16) | hi : lo | (hi << 16);
    }
    static uint32_t LittleU32(const std::string& s) {
        return s.size() < 4 ? 0
                            : uint32_t(uint8_t(s[0])) | (uint32_t(uint8_t(s[1])) << 8) |
                                  (uint32_t(uint8_t(s[2])) << 16) | (uint32_t(uint8_t(s[3])) << 24);
    }
    void ToLittleEndian(TiffField& field) const {
        const uint32_t unit = SwapUnit(field.type);
        if (!m_bigEndian || unit == 1 || IsOpaqueTag(field.tag))
            return;
        for (size_t i = 0; i + unit <= field.value.size(); i += unit)
            std::reverse(field.value.begin() + long(i), field.value.begin() + long(i + unit));
    }

    CByteSource& m_source;
    uint64_t m_base;
    bool m_bigEndian = false;
    uint64_t m_valueBytes = 0;
    uint32_t m_fieldsRead = 0;
    int m_dropped = 0;
};

}  // namespace

const TiffField* TiffDirectory::Find(uint16_t tag) const {
    for (const TiffField& f : fields)
        if (f.tag == tag)
            return &f;
    return nullptr;
}

TiffField* TiffDirectory::Find(uint16_t tag) {
    for (TiffField& f : fields)
        if (f.tag == tag)
            return &f;
    return nullptr;
}

void TiffDirectory::Set(TiffField field) {
    if (TiffField* existing = Find(field.tag))
        *existing = std::move(field);
    else
        fields.push_back(std::move(field));
}

void TiffDirectory::Remove(uint16_t tag) {
    fields.erase(std::remove_if(fields.begin(), fields.end(),
                                [tag](const TiffField& f) { return f.tag == tag; }),
                 fields.end());
}

uint32_t TiffTypeSize(uint16_t type) {
    static constexpr uint32_t kSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type == 13 ? 4 : type < 13 ? kSizes[type] : 0;
}

bool ReadTiffDirectory(CByteSource& source, uint64_t base, TiffDirectory* out, int* dropped) {
    CTiffReader reader(source, base);
    uint32_t first = 0;
    TiffDirectory directory;
    if (!reader.Header(&first) || !reader.Directory(first, 0, &directory))
        return false;
    *out = std::move(directory);
    if (dropped)
        *dropped = reader.Dropped();
    return true;
}

uint32_t AppendTiffDirectory(std::string& out, uint32_t base, const TiffDirectory& directory) {
    std::vector<const TiffField*> fields;
    for (const TiffField& f : directory.fields)
        if (!f.sub || !f.sub->fields.empty())
            fields.push_back(&f);
    std::stable_sort(fields.begin(), fields.end(),
                     [](const TiffField* a, const TiffField* b) { return a->tag < b->tag; });
    if (out.size() % 2)
        out.push_back('\0');  // directories and values start on word boundaries
    const uint32_t at = base + uint32_t(out.size());
    const size_t start = out.size();
    Put16(out, uint32_t(fields.size()));
    out.append(fields.size() * 12, '\0');
    Put32(out, 0);  // no next directory
    for (size_t i = 0; i < fields.size(); ++i) {
        const TiffField& f = *fields[i];
        const size_t e = start + 2 + i * 12;
        std::string entry;
        Put16(entry, f.tag);
        if (f.sub) {
            Put16(entry, 4);
            Put32(entry, 1);
            out.replace(e, 8, entry);
            const uint32_t subAt = AppendTiffDirectory(out, base, *f.sub);
            Set32(out, e + 8, subAt);
            continue;
        }
        Put16(entry, f.type);
        Put32(entry, f.count);
        out.replace(e, 8, entry);
        if (f.value.size() <= 4) {
            out.replace(e + 8, f.value.size(), f.value);
        } else {
            if (out.size() % 2)
                out.push_back('\0');
            Set32(out, e + 8, base + uint32_t(out.size()));
            out += f.value;
        }
    }
    return at;
}

std::string WriteTiffBlock(const TiffDirectory& directory) {
    std::string out = std::string("II*\0", 4);
    Put32(out, 8);
    AppendTiffDirectory(out, 0, directory);
    return out;
}

TiffField TiffShort(uint16_t tag, uint16_t value) {
    TiffField f;
    f.tag = tag;
    f.type = 3;
    f.count = 1;
    Put16(f.value, value);
    return f;
}

TiffField TiffLong(uint16_t tag, uint32_t value) {
    TiffField f;
    f.tag = tag;
    f.type = 4;
    f.count = 1;
    Put32(f.value, value);
    return f;
}

TiffField TiffBytes(uint16_t tag, uint16_t type, std::string bytes) {
    TiffField f;
    f.tag = tag;
    f.type = type;
    f.count = uint32_t(bytes.size());
    f.value = std::move(bytes);
    return f;
}

}  // namespace vg::host
