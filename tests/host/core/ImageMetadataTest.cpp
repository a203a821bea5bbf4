// Metadata carried between containers: what each container keeps byte for byte, what is
// converted (EXIF between TIFF and the others, byte order included), what a container cannot
// hold, and damaged or truncated files.
#include "host/ImageMetadata.h"

#include "host/TiffWriter.h"
#include "host/ZlibData.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vg::host {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(char(v));
    return s;
}

// A big-endian EXIF block: Orientation 6, Make "Cam", and an EXIF directory holding
// ExposureTime 1/250.
std::string BigEndianExif() {
    std::string s = std::string("MM\0*", 4) + Bytes({0, 0, 0, 8});
    s += Bytes({0, 3});                                         // three fields
    s += Bytes({0x01, 0x0F, 0, 2, 0, 0, 0, 4}) + "Cam" + '\0';  // Make, ASCII, inline
    s += Bytes({0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0});     // Orientation 6
    s += Bytes({0x87, 0x69, 0, 4, 0, 0, 0, 1, 0, 0, 0, 50});    // EXIF directory at 50
    s += Bytes({0, 0, 0, 0});                                   // no next directory
    s += Bytes({0, 1, 0x82, 0x9A, 0, 5, 0, 0, 0, 1, 0, 0, 0, 68, 0, 0, 0, 0});
    s += Bytes({0, 0, 0, 1, 0, 0, 0, 250});  // 1/250 at 68
    return s;
}

ImageMetadata Sample() {
    ImageMetadata m;
    m.exif = BigEndianExif();
    m.xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF/></x:xmpmeta>";
    std::string iptc = Bytes({0x1C, 2, 0x78, 0, 5}) + "Title";
    m.photoshop = std::string("8BIM") + Bytes({4, 4, 0, 0, 0, 0, 0, 10}) + iptc;
    for (int i = 0; i < 150000; ++i) m.icc.push_back(char(i * 7));  // three JPEG segments
    return m;
}

std::string TinyJpeg() {
    return Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 6}) + "JFIF" + Bytes({0xFF, 0xDB, 0, 4, 1, 2}) +
           Bytes({0xFF, 0xDA, 0, 4, 9, 9, 0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD9});
}

std::string Chunk(const std::string& type, const std::string& data) {
    std::string c = Bytes({int(data.size() >> 24), int((data.size() >> 16) & 255),
                           int((data.size() >> 8) & 255), int(data.size() & 255)}) +
                    type + data;
    const uint32_t crc = Crc32(data, Crc32(type));
    return c +
           Bytes({int(crc >> 24), int((crc >> 16) & 255), int((crc >> 8) & 255), int(crc & 255)});
}

std::string TinyPng() {
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           Chunk("IHDR", Bytes({0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0})) + Chunk("sRGB", "\0") +
           Chunk("IDAT", "pixels") + Chunk("IEND", "");
}

ImageMetadata ReadBack(ImageFormat format, const std::string& file,
                       std::vector<std::string>* notes) {
    CMemorySource source(file);
    ImageMetadata m;
    ReadImageMetadata(format, source, &m, notes);
    return m;
}

uint32_t Orientation(const std::string& exif) {
    CMemorySource source(exif);
    TiffDirectory d;
    if (!ReadTiffDirectory(source, 0, &d, nullptr) || d.Find(kTagOrientation) == nullptr)
        return 0;
    return uint8_t(d.Find(kTagOrientation)->value[0]);
}

TEST(HostImageMetadata, JpegAndPngKeepEveryBlockByteForByte) {
    const ImageMetadata m = Sample();
    std::vector<std::string> notes;
    std::string jpeg = TinyJpeg();
    ASSERT_TRUE(AddJpegMetadata(jpeg, m, &notes));
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(jpeg.substr(2, 8), TinyJpeg().substr(2, 8));  // JFIF stays first
    EXPECT_EQ(jpeg.substr(jpeg.size() - 13), TinyJpeg().substr(TinyJpeg().size() - 13));
    ImageMetadata back = ReadBack(ImageFormat::Jpeg, jpeg, &notes);
    EXPECT_EQ(back.exif, m.exif);
    EXPECT_EQ(back.xmp, m.xmp);
    EXPECT_EQ(back.photoshop, m.photoshop);
    EXPECT_EQ(back.icc, m.icc);
    EXPECT_TRUE(notes.empty());
    // Adding again replaces rather than doubles.
    const size_t once = jpeg.size();
    ASSERT_TRUE(AddJpegMetadata(jpeg, m, &notes));
    EXPECT_EQ(jpeg.size(), once);

    std::string png = TinyPng();
    ASSERT_TRUE(AddPngMetadata(png, m, &notes));
    ASSERT_EQ(notes, std::vector<std::string>{"PNG holds no IPTC data; left out"});
    EXPECT_EQ(png.find("sRGB"), std::string::npos);  // the profile replaces it
    notes.clear();
    back = ReadBack(ImageFormat::Png, png, &notes);
    EXPECT_EQ(back.exif, m.exif);
    EXPECT_EQ(back.xmp, m.xmp);
    EXPECT_EQ(back.icc, m.icc);
    EXPECT_EQ(back.photoshop, "");
    EXPECT_TRUE(notes.empty());
}

TEST(HostImageMetadata, TiffCarriesExifAsFieldsInEitherByteOrder) {
    const ImageMetadata m = Sample();
    std::vector<std::string> notes;
    CHostImage image;
    std::string error;
    ASSERT_TRUE(image.Create(2, 2, 3, 8, false, &error));
    std::ostringstream out;
    ASSERT_TRUE(WriteTiff(out, image, &error, TiffMetadataFields(m, &notes))) << error;
    EXPECT_TRUE(notes.empty());
    const std::string tiff = out.str();

    ImageMetadata back = ReadBack(ImageFormat::Tiff, tiff, &notes);
    EXPECT_EQ(back.xmp, m.xmp);
    EXPECT_EQ(back.photoshop, m.photoshop);
    EXPECT_EQ(back.icc, m.icc);
    EXPECT_EQ(Orientation(back.exif), 6u);
    CMemorySource source(back.exif);
    TiffDirectory exif;
    ASSERT_TRUE(ReadTiffDirectory(source, 0, &exif, nullptr));
    EXPECT_EQ(exif.Find(271)->value, std::string("Cam\0", 4));
    EXPECT_EQ(exif.Find(256), nullptr);  // the pixel layout stays with the TIFF file
    ASSERT_NE(exif.Find(kTagExifIfd), nullptr);
    EXPECT_EQ(exif.Find(kTagExifIfd)->sub->Find(0x829A)->value, Bytes({1, 0, 0, 0, 250, 0, 0, 0}));

    // Into a JPEG and back: the same fields.
    std::string jpeg = TinyJpeg();
    ASSERT_TRUE(AddJpegMetadata(jpeg, back, &notes));
    EXPECT_EQ(ReadBack(ImageFormat::Jpeg, jpeg, &notes).exif, back.exif);

    // Only the IPTC record (as Photoshop's LONG field in a big-endian file) becomes a resource.
    const std::string iptc = Bytes({0x1C, 2, 0x78, 0, 2}) + "Hi" + '\0';
    std::string mm = std::string("MM\0*", 4) + Bytes({0, 0, 0, 8, 0, 1});
    mm += Bytes({0x83, 0xBB, 0, 4, 0, 0, 0, 2, 0, 0, 0, 26, 0, 0, 0, 0}) + iptc;
    back = ReadBack(ImageFormat::Tiff, mm, &notes);
    EXPECT_EQ(back.photoshop, std::string("8BIM") + Bytes({4, 4, 0, 0, 0, 0, 0, 8}) + iptc);
}

TEST(HostImageMetadata, WhatDoesNotFitOrIsDamagedIsLeftOutWithANote) {
    ImageMetadata m;
    m.xmp = std::string(70000, 'x');
    std::vector<std::string> notes;
    std::string jpeg = TinyJpeg();
    ASSERT_TRUE(AddJpegMetadata(jpeg, m, &notes));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("XMP packet of 69 KB"), std::string::npos) << notes[0];
    EXPECT_EQ(jpeg, TinyJpeg());

    // A profile chunk missing.
    m = Sample();
    jpeg = TinyJpeg();
    ASSERT_TRUE(AddJpegMetadata(jpeg, m, &notes));
    const size_t second = jpeg.find("ICC_PROFILE", jpeg.find("ICC_PROFILE") + 1) - 4;
    const size_t length = (uint8_t(jpeg[second + 2]) << 8 | uint8_t(jpeg[second + 3])) + 2u;
    std::string gap = jpeg;
    gap.erase(second, length);
    notes.clear();
    ImageMetadata back = ReadBack(ImageFormat::Jpeg, gap, &notes);
    EXPECT_EQ(back.icc, "");
    EXPECT_EQ(back.xmp, m.xmp);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("colour profile"), std::string::npos);

    // A PNG chunk whose checksum is wrong.
    std::string png = TinyPng();
    ASSERT_TRUE(AddPngMetadata(png, m, &notes));
    png[png.find("eXIf") + 6] ^= 1;
    notes.clear();
    back = ReadBack(ImageFormat::Png, png, &notes);
    EXPECT_EQ(back.exif, "");
    EXPECT_EQ(back.icc, m.icc);

    // Every truncation of every container reads safely.
    CHostImage image;
    std::string error;
    ASSERT_TRUE(image.Create(1, 1, 3, 8, false, &error));
    std::ostringstream out;
    ASSERT_TRUE(WriteTiff(out, image, &error, TiffMetadataFields(m, &notes)));
    const std::string files[] = {jpeg, png, out.str()};
    const ImageFormat formats[] = {ImageFormat::Jpeg, ImageFormat::Png, ImageFormat::Tiff};
    for (int f = 0; f < 3; ++f)
        for (size_t n = 0; n < files[f].size(); n += 1 + n / 64)
            ReadBack(formats[f], files[f].substr(0, n), &notes);

    // Bytes that are not the container are refused for writing.
    std::string notJpeg = "GIF89a";
    EXPECT_FALSE(AddJpegMetadata(notJpeg, m, &notes));
    EXPECT_FALSE(AddPngMetadata(notJpeg, m, &notes));
    EXPECT_EQ(notJpeg, "GIF89a");
}

}  // namespace
}  // namespace vg::host
