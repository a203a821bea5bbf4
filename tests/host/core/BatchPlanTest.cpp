// Batch rules: wildcards, plain file names, output names and formats, and the outputs a
// batch refuses to write.
#include "host/BatchPlan.h"

#include <gtest/gtest.h>

namespace vg::host {
namespace {

TEST(HostBatchPlan, WildcardsMatchLikeAShell) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.jpg", "IMG_0001.JPG", true},
        {"*.jpg", "my.photo.jpg", true},
        {"*.jpg", "a.jpeg", false},
        {"*.jpg", "a.jpg.bak", false},
        {"IMG_????.jpg", "IMG_0001.jpg", true},
        {"IMG_????.jpg", "IMG_001.jpg", false},
        {"*", "", true},
        {"*a*b*", "xxaxxbxx", true},
        {"*a*b", "ab_ab_a", false},
        {"a*b*c", "abcbc", true},
        {"", "", true},
        {"", "a", false},
        {"**.png", ".png", true},
        {"?", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GlobMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
    // No exponential backtracking on a long name.
    EXPECT_FALSE(GlobMatch("*a*a*a*a*a*a*a*a*b", std::string(5000, 'a')));
}

TEST(HostBatchPlan, PlainFileNamesAndPathParts) {
    for (const char* ok : {"a.jpg", "IMG 1.tif", "CONSOLE.png", "com10.jpg", "x..y"})
        EXPECT_TRUE(IsPlainFileName(ok)) << ok;
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "c:x", "a*", "a?", "a\"", "a<", "a|",
                            "tab\t", "dot.", "space ", "CON", "nul.jpg", "COM1.png", "lpt9"})
        EXPECT_FALSE(IsPlainFileName(bad)) << bad;
    EXPECT_EQ(FileNameOf("C:\\a\\b.c.JPG"), "b.c.JPG");
    EXPECT_EQ(FileNameOf("C:x.png"), "x.png");
    EXPECT_EQ(StemOf("dir/b.c.JPG"), "b.c");
    EXPECT_EQ(ExtensionOf("dir/b.c.JPG"), "JPG");
    EXPECT_EQ(ExtensionOf("dir.x/noext"), "");
    EXPECT_EQ(StemOf(".hidden"), ".hidden");
    EXPECT_EQ(JoinPath("C:\\out\\", "a.jpg"), "C:\\out\\a.jpg");
    EXPECT_EQ(JoinPath("C:\\out", "a.jpg"), "C:\\out\\a.jpg");
    EXPECT_TRUE(SamePath("C:\\Out/A.JPG", "c:/out\\a.jpg"));
    EXPECT_FALSE(SamePath("C:\\out\\a.jpg", "C:\\out\\a.jpeg"));
}

TEST(HostBatchPlan, NamesOutputsAndRefusesClashes) {
    auto item = [](const char* input, const char* sub = "") {
        BatchItem b;
        b.input = input;
        b.subfolder = sub;
        return b;
    };
    std::vector<BatchItem> items = {
        item("C:\\in\\IMG_1.JPG"), item("C:\\in\\scan.tiff"),    item("C:\\in\\a\\x.png", "a"),
        item("C:\\in\\notes.txt"), item("C:\\in\\b\\IMG_1.jpg"),
    };
    PlanOutputs(items, "C:\\out", "{stem}-glazed.{ext}", ImageFormat::Unknown);
    EXPECT_EQ(items[0].output, "C:\\out\\IMG_1-glazed.JPG");
    EXPECT_EQ(items[0].format, ImageFormat::Jpeg);
    EXPECT_EQ(items[1].output, "C:\\out\\scan-glazed.tiff");
    EXPECT_EQ(items[1].format, ImageFormat::Tiff);
    EXPECT_EQ(items[2].output, "C:\\out\\a\\x-glazed.png");
    EXPECT_NE(items[3].problem.find("unknown extension"), std::string::npos);
    EXPECT_EQ(items[4].output, "");  // item 0's name: case does not count
    EXPECT_NE(items[4].problem.find("already written for C:\\in\\IMG_1.JPG"), std::string::npos)
        << items[4].problem;

    // Never an input, its own or another's, even when the folder is the input folder.
    items = {item("C:\\in\\a.jpg"), item("C:\\in\\a-glazed.jpg")};
    PlanOutputs(items, "C:\\in", "{stem}-glazed.{ext}", ImageFormat::Unknown);
    EXPECT_NE(items[0].problem.find("is another input"), std::string::npos) << items[0].problem;
    EXPECT_EQ(items[1].output, "C:\\in\\a-glazed-glazed.jpg");
    PlanOutputs(items, "C:/IN/", "{stem}.{ext}", ImageFormat::Unknown);
    EXPECT_NE(items[0].problem.find("would replace it"), std::string::npos) << items[0].problem;

    // --format decides the extension {ext} gives; two inputs of one stem then clash.
    items = {item("C:\\in\\a.png"), item("C:\\in\\a.jpg"), item("C:\\in\\b.tif")};
    PlanOutputs(items, "C:\\out", "{stem}.{ext}", ImageFormat::Jpeg);
    EXPECT_EQ(items[0].output, "C:\\out\\a.jpg");
    EXPECT_EQ(items[0].format, ImageFormat::Jpeg);
    EXPECT_NE(items[1].problem.find("already written for C:\\in\\a.png"), std::string::npos)
        << items[1].problem;
    EXPECT_EQ(items[2].output, "C:\\out\\b.jpg");

    // A literal extension names the format; {n} numbers in the order given.
    items = {item("C:\\in\\a.jpg"), item("C:\\in\\b.tif")};
    PlanOutputs(items, "C:\\out", "{n}_{stem}.png", ImageFormat::Unknown);
    EXPECT_EQ(items[0].output, "C:\\out\\1_a.png");
    EXPECT_EQ(items[0].format, ImageFormat::Png);
    EXPECT_EQ(items[1].output, "C:\\out\\2_b.png");
    PlanOutputs(items, "C:\\out", "{stem}.png", ImageFormat::Tiff);
    EXPECT_NE(items[0].problem.find("does not suit --format tif"), std::string::npos);
    PlanOutputs(items, "C:\\out", "{stem}.bmp", ImageFormat::Unknown);
    EXPECT_NE(items[0].problem.find("no .png, .tif or .jpg"), std::string::npos);
    PlanOutputs(items, "C:\\out", "{stem}.{ext}", ImageFormat::Unknown);
    EXPECT_EQ(items[0].output, "C:\\out\\a.jpg");
    items = {item("C:\\in\\CON.jpg")};
    PlanOutputs(items, "C:\\out", "{stem}.{ext}", ImageFormat::Unknown);
    EXPECT_NE(items[0].problem.find("not a plain file name"), std::string::npos);
}

}  // namespace
}  // namespace vg::host
