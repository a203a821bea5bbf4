// TIFF directories as data: read from a TIFF file or an EXIF block (either byte order) into
// fields whose values are little-endian bytes, and written back with new offsets. The EXIF,
// GPS and interoperability sub-directories are followed; nothing else is. Portable.
#pragma once

#include "host/ByteSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vg::host {

struct TiffDirectory;

enum TiffTag : uint16_t {
    kTagXmp = 700,
    kTagIptc = 33723,
    kTagPhotoshop = 34377,
    kTagExifIfd = 34665,
    kTagIccProfile = 34675,
    kTagGpsIfd = 34853,
    kTagInteropIfd = 40965,
    kTagOrientation = 274,
};

// One field. For the sub-directory tags, sub holds the directory and value is ignored.
struct TiffField {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    std::string value;  // count elements of the type's size, little-endian
    std::shared_ptr<TiffDirectory> sub;
};

struct TiffDirectory {
    std::vector<TiffField> fields;

    const TiffField* Find(uint16_t tag) const;
    TiffField* Find(uint16_t tag);
    // Replaces the field of that tag or adds it.
    void Set(TiffField field);
    void Remove(uint16_t tag);
};

// Bytes per element of a field type (1 to 12 of TIFF 6); 0 for any other type.
uint32_t TiffTypeSize(uint16_t type);

// Limits that keep hostile files small and finite.
constexpr uint32_t kMaxTiffFields = 1000;             // per directory
constexpr uint64_t kMaxTiffValueBytes = 64ull << 20;  // all values of a read together

// Reads the first directory of TIFF-structured bytes starting at base in the source, with its
// sub-directories. Fields of unknown types, or whose values lie outside the bytes, are
// dropped (and counted in dropped). false when there is no valid header or first directory.
bool ReadTiffDirectory(CByteSource& source, uint64_t base, TiffDirectory* out, int* dropped);

// The directory as a little-endian TIFF block ("II*\0", the directory at offset 8, then the
// values and the sub-directories), with no next directory.
std::string WriteTiffBlock(const TiffDirectory& directory);

// Appends the directory (fields sorted by tag), then its out-of-line values and its
// sub-directories, to out; offsets count from the start of out plus base. Returns the
// offset of the directory.
uint32_t AppendTiffDirectory(std::string& out, uint32_t base, const TiffDirectory& directory);

// A little-endian SHORT or LONG field of one value.
TiffField TiffShort(uint16_t tag, uint16_t value);
TiffField TiffLong(uint16_t tag, uint32_t value);
TiffField TiffBytes(uint16_t tag, uint16_t type, std::string bytes);

}  // namespace vg::host
