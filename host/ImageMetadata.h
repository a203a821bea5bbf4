// The camera metadata and colour profile of an image file, read from its container (JPEG,
// PNG, TIFF) and put into another: EXIF, XMP, IPTC (as Photoshop image resources) and the ICC
// profile, each kept as the bytes its standard defines. Portable.
#pragma once

#include "host/ByteSource.h"
#include "host/ImageFile.h"
#include "host/TiffDirectory.h"

#include <string>
#include <vector>

namespace vg::host {

struct ImageMetadata {
    std::string exif;       // a TIFF-structured EXIF block, as JPEG's APP1 and PNG's eXIf hold it
    std::string xmp;        // the XMP packet
    std::string photoshop;  // Photoshop image resources ("8BIM" blocks), which hold the IPTC data
    std::string icc;        // the ICC colour profile

    bool Empty() const { return exif.empty() && xmp.empty() && photoshop.empty() && icc.empty(); }
};

// Limits on what is read from hostile files.
constexpr size_t kMaxMetadataBlock = 16u << 20;  // bytes of any one block
constexpr int kMaxJpegSegments = 10000;          // segments before the image data
constexpr int kMaxPngChunks = 1000000;

// Reads what a file of this format holds. Blocks that are damaged, too large or stored in a
// way this reader does not take are left out and described in notes; nothing here fails.
void ReadImageMetadata(ImageFormat format, CByteSource& file, ImageMetadata* out,
                       std::vector<std::string>* notes);

// Puts the metadata into the bytes of a JPEG or PNG file as an encoder wrote it, replacing
// blocks of the same kinds. What the format cannot hold is left out and described in notes.
// false (bytes unchanged) when the bytes do not start like a JPEG or PNG file.
bool AddJpegMetadata(std::string& jpeg, const ImageMetadata& metadata,
                     std::vector<std::string>* notes);
bool AddPngMetadata(std::string& png, const ImageMetadata& metadata,
                    std::vector<std::string>* notes);

// The fields a TIFF file's first directory gets for the metadata: the EXIF block's fields
// that describe the photograph (not the pixel layout) with its EXIF and GPS directories, the
// XMP packet, the IPTC record and Photoshop resources, and the profile.
std::vector<TiffField> TiffMetadataFields(const ImageMetadata& metadata,
                                          std::vector<std::string>* notes);

// Whether a first-directory tag describes how the pixels are stored (and so belongs to the
// file that stores them, never to the metadata carried from one file to another).
bool IsTiffLayoutTag(uint16_t tag);

}  // namespace vg::host
