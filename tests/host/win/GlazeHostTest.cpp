// glazehost.exe end to end: the test plug-in on PNG and TIFF files, options and bad input.
#include "TestFiles.h"

#include "host/CommandLine.h"
#include "host/ImageFile.h"

#include <gtest/gtest.h>

namespace vg::host::test {
namespace {

const std::string kInvert = Z(HOST_TEST_INVERT);

struct Case {
    const char* file;
    int32_t planes, depth;
    bool alpha;
};

TEST(HostGlazehost, InvertsPngAndTiffAt8And16BitsPixelByPixel) {
    const std::string dir = ScratchDir("formats");
    const Case cases[] = {{"rgb8.png", 3, 8, false},  {"rgb16.png", 3, 16, false},
                          {"rgb8.tif", 3, 8, false},  {"rgb16.tiff", 3, 16, false},
                          {"gray8.png", 1, 8, false}, {"gray16.tif", 1, 16, false},
                          {"rgba16.png", 3, 16, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CHostImage in = Pattern(37, 23, c.planes, c.depth, c.alpha);
        std::string error, output;
        const std::string src = dir + "/in-" + c.file, dst = dir + "/out-" + c.file;
        ASSERT_TRUE(WriteImageFile(src, in, &error)) << error;
        ASSERT_EQ(RunGlazehost({"--plugin", kInvert, "--quiet", src, dst}, &output), 0) << output;
        CHostImage out;
        ASSERT_TRUE(ReadImageFile(dst, &out, &error)) << error;
        EXPECT_EQ(out.Depth(), c.depth);
        EXPECT_EQ(out.Planes(), c.planes);
        EXPECT_EQ(out.HasAlpha(), c.alpha);
        CHostImage want = Inverted(in);
        ASSERT_EQ(out.Width(), want.Width());
        int bad = 0;
        for (int32_t y = 0; y < want.Height(); ++y)
            for (int32_t x = 0; x < want.Width(); ++x)
                for (int32_t ch = 0; ch < want.Channels(); ++ch)
                    if (out.Sample(x, y, ch) != want.Sample(x, y, ch) && bad++ < 5)
                        ADD_FAILURE() << "pixel " << x << "," << y << " channel " << ch << ": "
                                      << out.Sample(x, y, ch) << " != " << want.Sample(x, y, ch);
        EXPECT_EQ(bad, 0);
    }
}

TEST(HostGlazehost, RepeatedRunsReplayTheRecordedDescriptorAndKeepTheDataWord) {
    const std::string dir = ScratchDir("runs");
    CHostImage in = Pattern(20, 31, 3, 8, false);
    std::string error, output;
    ASSERT_TRUE(WriteImageFile(dir + "/in.png", in, &error)) << error;
    ASSERT_EQ(RunGlazehost({"--plugin", kInvert, "--quiet", "--runs", "3", "--set", "tile=7",
                            "--record", dir + "/rec.txt", dir + "/in.png", dir + "/out.png"},
                           &output),
              0)
        << output;
    CHostImage out;
    ASSERT_TRUE(ReadImageFile(dir + "/out.png", &out, &error)) << error;
    EXPECT_TRUE(out == Inverted(in));  // three inversions
    std::string rec = ReadBytes(dir + "/rec.txt");
    EXPECT_NE(rec.find("tile long 7\n"), std::string::npos) << rec;  // replayed into runs 2 and 3
    EXPECT_NE(rec.find("runs long 3\n"), std::string::npos) << rec;
}

TEST(HostGlazehost, ReportsThePluginsErrorTextAndWritesNothing) {
    const std::string dir = ScratchDir("errortext");
    std::string error, output;
    ASSERT_TRUE(WriteImageFile(dir + "/in.png", Pattern(8, 8, 3, 8, false), &error)) << error;
    WriteBytes(dir + "/desc.txt", "# test\nfail TEXT \"the test says no\"\n");
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--descriptor", dir + "/desc.txt", dir + "/in.png",
                            dir + "/out.png"},
                           &output),
              1);
    EXPECT_NE(output.find("because the test says no"), std::string::npos) << output;
    EXPECT_FALSE(FileExists(dir + "/out.png"));

    WriteBytes(dir + "/bad.txt", "tile long twelve\n");
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--descriptor", dir + "/bad.txt", dir + "/in.png",
                            dir + "/out.png"},
                           &output),
              kExitSetup);
    EXPECT_NE(output.find("line 1"), std::string::npos) << output;

    // A value of the wrong type is the file's fault, and the file line says where.
    WriteBytes(dir + "/type.txt", "# tiles\n\ntile TEXT \"seven\"\n");
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--descriptor", dir + "/type.txt", dir + "/in.png",
                            dir + "/out.png"},
                           &output),
              1);
    EXPECT_NE(output.find("descriptor file " + dir +
                          "/type.txt, line 3: tile is 'TEXT' where the "
                          "plug-in reads an integer"),
              std::string::npos)
        << output;
    EXPECT_FALSE(FileExists(dir + "/out.png"));
}

TEST(HostGlazehost, CancelLeavesNoOutput) {
    const std::string dir = ScratchDir("cancel");
    std::string error, output;
    ASSERT_TRUE(WriteImageFile(dir + "/in.png", Pattern(8, 40, 3, 8, false), &error)) << error;
    EXPECT_EQ(RunGlazehost({"--plugin", kInvert, "--set", "tile=4", "--cancel-after", "3",
                            dir + "/in.png", dir + "/out.png"},
                           &output),
              1);
    EXPECT_NE(output.find("cancelled"), std::string::npos) << output;
    EXPECT_FALSE(FileExists(dir + "/out.png"));
}

TEST(HostGlazehost, BadInputGetsAClearError) {
    const std::string dir = ScratchDir("badinput");
    std::string error, output;
    const std::string png = dir + "/in.png", out = dir + "/out.png";
    ASSERT_TRUE(WriteImageFile(png, Pattern(8, 8, 3, 8, false), &error)) << error;
    ASSERT_TRUE(WriteImageFile(dir + "/gray.png", Pattern(8, 8, 1, 8, false), &error)) << error;
    WriteBytes(dir + "/garbage.png", std::string("\x89PNG\r\n\x1a\n this is not an image", 30));
    // A 32-bit PE header: MZ, e_lfanew = 0x40, "PE\0\0", machine 0x14C.
    std::string pe32(0x200, '\0');
    pe32[0] = 'M';
    pe32[1] = 'Z';
    pe32[0x3C] = 0x40;
    pe32.replace(0x40, 6, std::string("PE\0\0\x4c\x01", 6));
    WriteBytes(dir + "/x86.8bf", pe32);
    WriteBytes(dir + "/text.8bf", "not a DLL at all");

    struct Bad {
        std::vector<std::string> args;
        int code;
        const char* says;
    };
    const Bad bad[] = {
        {{"--plugin", dir + "/missing.8bf", png, out}, kExitSetup, "not found"},
        {{"--plugin", dir + "/x86.8bf", png, out}, kExitSetup, "32-bit plug-in"},
        {{"--plugin", dir + "/text.8bf", png, out}, kExitSetup, "not a Windows DLL"},
        {{"--plugin", Z(HOST_TEST_NOPIPL), png, out}, kExitSetup, "no PiPL"},
        {{"--plugin", kInvert, dir + "/missing.png", out}, 1, "not found"},
        {{"--plugin", kInvert, dir + "/garbage.png", out}, 1, "Cannot read image"},
        {{"--plugin", Z(HOST_TEST_RGBONLY), dir + "/gray.png", out},
         1,
         "does not support GrayScaleMode"},
        {{"--plugin", kInvert, png, dir + "/out.bmp"}, 1, "use a .png, .tif, .tiff, .jpg or .jpeg"},
        {{"--plugin", kInvert, png, dir + "/no/such/dir/out.png"}, 1, "folder does not exist"},
        {{"--plugin", kInvert, png, png}, 1, "it is the input"},
        {{"--plugin", kInvert, "--record-size", "600", png, out},
         kExitSetup,
         "--record-size wants"},
        {{"--plugin", kInvert, "--set", "TOOLONG=1", png, out}, kExitSetup, "four-character key"},
        {{"--plugin", kInvert, png}, kExitSetup, "give an input and an output"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.says);
        EXPECT_EQ(RunGlazehost(b.args, &output), b.code) << output;
        EXPECT_NE(output.find(b.says), std::string::npos) << output;
        EXPECT_FALSE(FileExists(out));
    }
}

}  // namespace
}  // namespace vg::host::test
