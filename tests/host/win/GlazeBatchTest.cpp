// glazehost batches end to end under Wine: mixed formats with hostile files among them, name
// patterns and collisions, presets by name and by file through the real plug-in, metadata
// and profiles carried through every container, message boxes nobody can answer, and a
// cancel half-way through.
#include "TestFiles.h"

#include "host/CommandLine.h"
#include "host/ImageFile.h"
#include "host/ImageMetadata.h"
#include "presets/PresetFile.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vg::host::test {
namespace {

const std::string kInvert = Z(HOST_TEST_INVERT);
const std::string kGlaze = Z(HOST_TEST_GLAZE);
const std::string kPresets = Z(HOST_TEST_PRESETS);

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(char(v));
    return s;
}

std::string Le16(uint32_t v) {
    return Bytes({int(v & 255), int(v >> 8)});
}
std::string Le32(uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// An uncompressed little-endian TIFF of width x height with `samples` 8-bit samples per pixel
// (photometric 2 for RGB, 5 for CMYK) whose strip holds `dataBytes` bytes.
std::string Tiff(uint32_t width, uint32_t height, uint32_t samples, uint32_t photometric,
                 uint32_t dataBytes) {
    const uint32_t entries = 9, bitsAt = 8 + 2 + entries * 12 + 4, dataAt = bitsAt + samples * 2;
    std::string t = std::string("II*\0", 4) + Le32(8) + Le16(entries);
    auto field = [&](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
        t += Le16(tag) + Le16(type) + Le32(count) +
             (type == 3 && count == 1 ? Le16(value) + Le16(0) : Le32(value));
    };
    field(256, 4, 1, width);
    field(257, 4, 1, height);
    field(258, 3, samples, bitsAt);
    field(259, 3, 1, 1);
    field(262, 3, 1, photometric);
    field(273, 4, 1, dataAt);
    field(277, 3, 1, samples);
    field(278, 4, 1, height);
    field(279, 4, 1, width * height * samples);
    t += Le32(0);
    for (uint32_t i = 0; i < samples; ++i) t += Le16(8);
    return t + std::string(dataBytes, '\x40');
}

// A big-endian EXIF block with Orientation 6 and the camera's make.
std::string CameraExif() {
    std::string s = std::string("MM\0*", 4) + Bytes({0, 0, 0, 8, 0, 2});
    s += Bytes({0x01, 0x0F, 0, 2, 0, 0, 0, 4}) + "Cam" + '\0';
    s += Bytes({0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0});
    return s;
}

ImageMetadata CameraMetadata() {
    ImageMetadata m;
    m.exif = CameraExif();
    m.xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF/></x:xmpmeta>";
    m.photoshop =
        std::string("8BIM") + Bytes({4, 4, 0, 0, 0, 0, 0, 8, 0x1C, 2, 0x78, 0, 3}) + "Day";
    for (int i = 0; i < 3000; ++i) m.icc.push_back(char(i * 13));
    return m;
}

ImageMetadata ReadMetadata(const std::string& path) {
    CHostImage image;
    ImageMetadata m;
    std::string error;
    EXPECT_TRUE(ReadImageFile(path, &image, &error, &m)) << error;
    return m;
}

// A path as glazehost prints it (full paths come back from Windows with backslashes).
std::string Backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(HostGlazehostBatch, FiltersMixedFormatsAndReportsEachBadFile) {
    const std::string dir = ScratchDir("batch-mixed"), in = dir + "/in", out = dir + "/out";
    ScratchDir("batch-mixed/in");
    std::string error, output;
    const CHostImage rgb8 = Pattern(21, 13, 3, 8, false), rgb16 = Pattern(13, 21, 3, 16, false);
    ASSERT_TRUE(WriteImageFile(in + "/a.png", rgb8, &error)) << error;
    ASSERT_TRUE(WriteImageFile(in + "/b.tif", rgb16, &error)) << error;
    ASSERT_TRUE(WriteImageFile(in + "/c.jpg", rgb8, &error)) << error;
    WriteBytes(in + "/d-damaged.jpg", "\xFF\xD8\xFF\xE0 not really a JPEG");
    WriteBytes(in + "/e-huge.tif", Tiff(40000, 40000, 3, 2, 440 - 128));
    WriteBytes(in + "/f-claims.tif", Tiff(15000, 15000, 3, 2, 440 - 128));
    WriteBytes(in + "/g-cmyk.tif", Tiff(4, 4, 4, 5, 64));
    WriteBytes(in + "/notes.txt", "not an image, not taken from a folder");
    ASSERT_EQ(ReadBytes(in + "/e-huge.tif").size(), 440u);

    EXPECT_EQ(
        RunGlazehost({"--plugin", kInvert, "--record", dir + "/rec.txt", in, "-o", out}, &output),
        4)
        << output;
    // One load for the batch: the plug-in counts its runs in the data word the host keeps.
    EXPECT_NE(ReadBytes(dir + "/rec.txt").find("runs long 3\n"), std::string::npos);
    EXPECT_NE(output.find("d-damaged.jpg: Cannot read image"), std::string::npos) << output;
    EXPECT_NE(output.find("40000 x 40000 pixels need more than the 1024 MB"), std::string::npos)
        << output;
    EXPECT_NE(output.find("claims 15000 x 15000 pixels but holds only 440 bytes"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("g-cmyk.tif: Cannot read image"), std::string::npos);
    EXPECT_NE(output.find("it is a CMYK image"), std::string::npos) << output;
    EXPECT_NE(output.find("7 images: 3 written, 4 failed"), std::string::npos) << output;
    EXPECT_EQ(ListFiles(out),
              (std::vector<std::string>{"a-glazed.png", "b-glazed.tif", "c-glazed.jpg"}));

    CHostImage back;
    ASSERT_TRUE(ReadImageFile(out + "/a-glazed.png", &back, &error)) << error;
    EXPECT_TRUE(back == Inverted(rgb8));
    ASSERT_TRUE(ReadImageFile(out + "/b-glazed.tif", &back, &error)) << error;
    EXPECT_TRUE(back == Inverted(rgb16));
    ASSERT_TRUE(ReadImageFile(out + "/c-glazed.jpg", &back, &error)) << error;
    EXPECT_EQ(back.Width(), 21);

    // Wildcards take matching images; a second run writes nothing over the first.
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--quiet", in + "/a*", in + "/B.*", in + "/?.jpg",
                            in + "/a.png", "-o", out},
                           &output),
              3)
        << output;
    EXPECT_EQ(Count(output, "exists (--overwrite replaces it)"), 3u) << output;
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--quiet", in + "/z*.jpg", "-o", out}, &output),
              1);
    EXPECT_NE(output.find("matches no PNG, TIFF or JPEG file"), std::string::npos) << output;
}

TEST(HostGlazehostBatch, NamePatternsCollisionsAndOverwriting) {
    const std::string dir = ScratchDir("batch-names"), out = dir + "/out";
    ScratchDir("batch-names/sub/deeper");
    std::string error, output;
    const CHostImage image = Pattern(8, 6, 3, 8, false), alpha = Pattern(8, 6, 3, 8, true);
    ASSERT_TRUE(WriteImageFile(dir + "/a.png", image, &error)) << error;
    ASSERT_TRUE(WriteImageFile(dir + "/a.tif", image, &error)) << error;
    ASSERT_TRUE(WriteImageFile(dir + "/sub/b.png", image, &error)) << error;
    ASSERT_TRUE(WriteImageFile(dir + "/sub/deeper/c.png", alpha, &error)) << error;

    // Two stems alike: the second output would be the first's. Sub-folders keep their place;
    // an image with transparency cannot become a JPEG.
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--recursive", "--format", "jpeg", "--name",
                            "{stem}.{ext}", dir, "-o", out},
                           &output),
              2)
        << output;
    EXPECT_NE(
        output.find("a.tif: its output " + Backslashed(out) + "\\a.jpg is already written for"),
        std::string::npos)
        << output;
    EXPECT_NE(output.find("transparency, which JPEG cannot hold"), std::string::npos) << output;
    EXPECT_EQ(ListFiles(out), (std::vector<std::string>{"a.jpg", "sub/b.jpg"}));

    // --overwrite replaces outputs; never an input, even when the folder is the inputs' own.
    const std::string before = ReadBytes(out + "/a.jpg");
    const CHostImage changed = Pattern(8, 7, 3, 8, false);
    ASSERT_TRUE(WriteImageFile(dir + "/a.png", changed, &error)) << error;
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--quiet", "--overwrite", "--quality", "50",
                            dir + "/a.png", "-o", out, "--name", "{stem}.jpg"},
                           &output),
              0)
        << output;
    EXPECT_NE(ReadBytes(out + "/a.jpg"), before);
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--quiet", "--overwrite", dir + "/a.png", "-o",
                            dir, "--name", "{stem}.{ext}"},
                           &output),
              1);
    EXPECT_NE(output.find("would replace it"), std::string::npos) << output;
    CHostImage back;
    ASSERT_TRUE(ReadImageFile(dir + "/a.png", &back, &error));
    EXPECT_TRUE(back == changed);
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--quiet", dir + "/a.png", "-o", out, "--name",
                            "{n}_{stem}-{ext}.tif"},
                           &output),
              0)
        << output;
    EXPECT_TRUE(FileExists(out + "/1_a-png.tif"));
}

TEST(HostGlazehostBatch, PresetsByNameAndByFileReachThePlugin) {
    const std::string dir = ScratchDir("batch-presets"), out = dir + "/out";
    std::string error, output;
    ASSERT_TRUE(WriteImageFile(dir + "/in.png", Pattern(24, 16, 3, 8, false), &error)) << error;
    const std::string presetFile = kPresets + "/Portrait_Soft.vpp";
    const PresetValues want = readPresetValues(presetFile, "VarenGlaze", "Portrait_Soft", {});
    auto recorded = [&](const std::string& file, int index) {
        const std::string keys[] = {"CIT_", "CRD_", "CTH_", "ESP_", "ERD_",
                                    "ELA_", "TKT_", "TBT_", "TRN_"};
        const std::string text = ReadBytes(file);
        const size_t at = text.find(keys[index] + " doub ");
        return at == std::string::npos ? -1.0 : std::stod(text.substr(at + 10));
    };
    for (const std::string& preset :
         {std::string("Portrait_Soft"), std::string("portrait_soft"), presetFile}) {
        SCOPED_TRACE(preset);
        EXPECT_EQ(RunGlazehost({"--plugin", kGlaze, "--quiet", "--overwrite", "--preset", preset,
                                "--preset-dir", kPresets, "--record", dir + "/rec.txt",
                                dir + "/in.png", "-o", out},
                               &output),
                  0)
            << output;
        for (int i = 0; i < kPresetParamCount; ++i)
            EXPECT_NEAR(recorded(dir + "/rec.txt", i), want[i], 1e-9) << i;
    }
    // --set goes on top of the preset.
    EXPECT_EQ(RunGlazehost({"--plugin", kGlaze, "--quiet", "--overwrite", "--preset",
                            "Portrait_Soft", "--preset-dir", kPresets, "--set", "CRD_=20",
                            "--record", dir + "/rec.txt", dir + "/in.png", "-o", out},
                           &output),
              0)
        << output;
    EXPECT_EQ(recorded(dir + "/rec.txt", 1), 20.0);
    EXPECT_NEAR(recorded(dir + "/rec.txt", 0), want[0], 1e-9);

    // Presets that cannot be used stop before any image is touched.
    WriteBytes(dir + "/text.vpp", "no XML here");
    WriteBytes(dir + "/evil.vpp",
               "<?xml?><root><VarenWorks><VarenGlaze><..&#92;..&#92;evil Disp=\"1\" CIT=\"999999\" "
               "CRD=\"-5\"/></VarenGlaze></VarenWorks></root>");
    WriteBytes(dir + "/deep.vpp", "<?xml?>" + std::string(100000, '<') + "x>");
    struct Bad {
        std::string preset;
        std::string says;
    };
    const Bad bad[] = {
        {"No_Such_Look", "no preset named 'No_Such_Look' in " + Backslashed(kPresets)},
        {dir + "/missing.vpp", "not found"},
        {dir + "/text.vpp", "holds no preset"},
        {dir + "/deep.vpp", "holds no preset"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.preset);
        EXPECT_EQ(RunGlazehost({"--plugin", kGlaze, "--quiet", "--preset", b.preset, "--preset-dir",
                                kPresets, dir + "/in.png", "-o", dir + "/none"},
                               &output),
                  kExitSetup);
        EXPECT_NE(output.find(b.says), std::string::npos) << output;
        EXPECT_NE(b.preset == "No_Such_Look" ? output.find("Portrait_Soft") : 0u,
                  std::string::npos);
    }
    EXPECT_FALSE(FileExists(dir + "/none"));
    // A hostile preset's values are taken only within their ranges.
    EXPECT_EQ(
        RunGlazehost({"--plugin", kGlaze, "--quiet", "--overwrite", "--preset", dir + "/evil.vpp",
                      "--record", dir + "/rec.txt", dir + "/in.png", "-o", out},
                     &output),
        0)
        << output;
    EXPECT_EQ(recorded(dir + "/rec.txt", 0), 8.0);
    EXPECT_EQ(recorded(dir + "/rec.txt", 1), 4.0);
}

TEST(HostGlazehostBatch, MetadataAndProfilesSurviveEveryContainer) {
    const std::string dir = ScratchDir("batch-metadata");
    std::string error, output;
    const ImageMetadata camera = CameraMetadata();
    ImageWriteOptions options;
    options.metadata = &camera;
    ASSERT_TRUE(
        WriteImageFile(dir + "/IMG_0001.jpg", Pattern(16, 12, 3, 8, false), &error, options))
        << error;
    const std::string source = ReadBytes(dir + "/IMG_0001.jpg");
    ASSERT_NE(source.find("Exif" + std::string(2, '\0') + CameraExif()), std::string::npos);

    for (const char* format : {"jpeg", "png", "tiff"}) {
        SCOPED_TRACE(format);
        const std::string out = dir + "/" + format;
        EXPECT_EQ(RunGlazehost(
                      {"--plugin", kInvert, "--format", format, dir + "/IMG_0001.jpg", "-o", out},
                      &output),
                  0)
            << output;
        const std::string file = ListFiles(out).empty() ? "" : out + "/" + ListFiles(out)[0];
        const ImageMetadata back = ReadMetadata(file);
        EXPECT_EQ(back.icc, camera.icc);
        EXPECT_EQ(back.xmp, camera.xmp);
        if (std::string(format) == "png") {
            EXPECT_NE(output.find("note: PNG holds no IPTC data"), std::string::npos) << output;
        } else {
            EXPECT_EQ(back.photoshop, camera.photoshop);
        }
        if (std::string(format) == "tiff") {
            CMemorySource exif(back.exif);
            TiffDirectory fields;
            ASSERT_TRUE(ReadTiffDirectory(exif, 0, &fields, nullptr));
            ASSERT_NE(fields.Find(kTagOrientation), nullptr);
            EXPECT_EQ(fields.Find(kTagOrientation)->value, Le16(6));  // orientation unchanged
        } else {
            EXPECT_EQ(back.exif, camera.exif);  // byte for byte
        }
    }
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--quiet", "--strip", dir + "/IMG_0001.jpg", "-o",
                            dir + "/stripped"},
                           &output),
              0);
    EXPECT_TRUE(ReadMetadata(dir + "/stripped/IMG_0001-glazed.jpg").Empty());
}

TEST(HostGlazehostBatch, MessageBoxesAreAnsweredAndTheFileCounted) {
    const std::string dir = ScratchDir("batch-boxes");
    std::string error, output;
    ASSERT_TRUE(WriteImageFile(dir + "/in.png", Pattern(16, 8, 3, 8, false), &error)) << error;
    // Values the engine refuses: the plug-in says so in a message box nobody could press.
    EXPECT_EQ(
        RunGlazehost({"--plugin", kGlaze, "--set", "TBT_=0", dir + "/in.png", "-o", dir + "/out"},
                     &output),
        1)
        << output;
    EXPECT_NE(output.find("in.png: the plug-in showed a message box, answered with its default "
                          "button: Varen Glaze 2: "),
              std::string::npos)
        << output;
    EXPECT_TRUE(ListFiles(dir + "/out").empty());
}

TEST(HostGlazehostBatch, CancelHalfWayLeavesNoPartialFile) {
    const std::string dir = ScratchDir("batch-cancel"), out = dir + "/out";
    std::string error, output;
    for (const char* name : {"1.png", "2.png", "3.png", "4.png"})
        ASSERT_TRUE(WriteImageFile(dir + "/" + name, Pattern(8, 40, 3, 8, false), &error)) << error;
    // Ten tiles of four rows per image, one abort check per tile: the cancel comes in image 2.
    EXPECT_EQ(RunGlazehost(
                  {"--plugin", kInvert, "--set", "tile=4", "--cancel-after", "15", dir, "-o", out},
                  &output),
              3)
        << output;
    EXPECT_NE(output.find("4 images: 1 written, 1 failed, 2 not filtered (cancelled)"),
              std::string::npos)
        << output;
    EXPECT_EQ(ListFiles(out), std::vector<std::string>{"1-glazed.png"});
}

}  // namespace
}  // namespace vg::host::test
