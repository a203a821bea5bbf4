// Fuzz target for image metadata: any bytes read as a JPEG, PNG and TIFF file's metadata and
// as zlib data; whatever is read is written into each container and must read back the same
// (EXIF through TIFF after one round, since TIFF carries it as fields).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "host/ImageMetadata.h"
#include "host/TiffWriter.h"
#include "host/ZlibData.h"

namespace {

using namespace vg::host;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

ImageMetadata ReadBack(ImageFormat format, const std::string& file) {
    CMemorySource source(file);
    ImageMetadata m;
    std::vector<std::string> notes;
    ReadImageMetadata(format, source, &m, &notes);
    return m;
}

const std::string kJpeg("\xFF\xD8\xFF\xDB\x00\x04\x01\x02\xFF\xDA\x00\x02\x12\xFF\xD9", 15);
const std::string kPng(
    "\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00\x00"
    "\x90\x77\x53\xde\x00\x00\x00\x00IEND\xae\x42\x60\x82",
    45);

void RoundTrip(const ImageMetadata& m) {
    std::vector<std::string> notes;
    std::string jpeg = kJpeg;
    if (!AddJpegMetadata(jpeg, m, &notes))
        Fail("jpeg refused");
    if (notes.empty()) {
        const ImageMetadata back = ReadBack(ImageFormat::Jpeg, jpeg);
        if (back.exif != m.exif || back.xmp != m.xmp || back.icc != m.icc ||
            back.photoshop != m.photoshop)
            Fail("jpeg round trip");
    }
    notes.clear();
    std::string png = kPng;
    if (!AddPngMetadata(png, m, &notes))
        Fail("png refused");
    const ImageMetadata fromPng = ReadBack(ImageFormat::Png, png);
    if (fromPng.exif != m.exif || fromPng.xmp != m.xmp || fromPng.icc != m.icc)
        Fail("png round trip");

    notes.clear();
    CHostImage image;
    std::string error;
    image.Create(1, 1, 3, 8, false, &error);
    std::ostringstream out;
    if (!WriteTiff(out, image, &error, TiffMetadataFields(m, &notes)))
        return;  // too large for a TIFF file
    const ImageMetadata once = ReadBack(ImageFormat::Tiff, out.str());
    if (once.xmp != m.xmp || once.icc != m.icc)
        Fail("tiff round trip");
    std::ostringstream again;
    if (WriteTiff(again, image, &error, TiffMetadataFields(once, &notes))) {
        const ImageMetadata twice = ReadBack(ImageFormat::Tiff, again.str());
        if (twice.exif != once.exif || twice.photoshop != once.photoshop)
            Fail("tiff is not stable after one round");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (ImageFormat format : {ImageFormat::Jpeg, ImageFormat::Png, ImageFormat::Tiff}) {
        const ImageMetadata m = ReadBack(format, bytes);
        if (!m.Empty())
            RoundTrip(m);
    }
    std::string inflated;
    if (ZlibInflate(bytes, 1 << 20, &inflated) && inflated.size() > (1u << 20))
        Fail("inflate past its limit");
    return 0;
}
