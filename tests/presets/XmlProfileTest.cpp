// Profile access to single attributes of XML files by element path.
#include <gtest/gtest.h>

#include <cstring>

#include "TempFiles.h"
#include "presets/XmlProfile.h"

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>";

}  // namespace

TEST(XmlProfile, MissingFileReadsDefaultsAndFirstWriteCreatesIt) {
    CTempDir dir;
    const std::string file = dir.File("new.xml");
    EXPECT_EQ(XmlGetString(XmlSplitPath("A\\B"), "x", "dflt", file), "dflt");
    EXPECT_EQ(XmlGetInt("A\\B", "x", -1, file), -1);
    EXPECT_FLOAT_EQ(XmlGetFloat("A\\B", "x", 0.25f, file), 0.25f);
    EXPECT_FALSE(std::filesystem::exists(file));  // reading creates nothing

    EXPECT_TRUE(XmlSetString("A\\B", "x", "1", file));
    EXPECT_EQ(ReadBytes(file),
              CrLf({kDecl.c_str(), "<root>", "\t<A>", "\t\t<B x=\"1\"/>", "\t</A>", "</root>"}));
    EXPECT_EQ(XmlGetInt("A\\B", "x", -1, file), 1);
}

TEST(XmlProfile, ValuesAreEscapedInTheFileAndReadBackUnchanged) {
    CTempDir dir;
    const std::string file = dir.File("esc.xml");
    ASSERT_TRUE(XmlSetString("P", "v", "a & b < c", file));
    EXPECT_NE(ReadBytes(file).find("v=\"a &amp; b &lt; c\""), std::string::npos);
    EXPECT_EQ(XmlGetString(XmlPath{"P"}, "v", "", file), "a & b < c");
    ASSERT_TRUE(XmlSetString("P", "w", "&#65;", file));
    EXPECT_EQ(XmlGetString(XmlPath{"P"}, "w", "", file), "A");
}

TEST(XmlProfile, EmptyValueReadsAsMissing) {
    CTempDir dir;
    const std::string file = dir.File("empty.xml");
    WriteBytes(file, "<?xml?><root><P a=\"\" n=\"x\"/></root>");
    EXPECT_EQ(XmlGetString(XmlPath{"P"}, "a", "dflt", file), "dflt");
    EXPECT_EQ(XmlGetInt("P", "a", -1, file), -1);
    EXPECT_EQ(XmlGetInt("P", "n", -1, file), 0);  // text that is not a number reads as 0
    EXPECT_EQ(XmlGetString(XmlPath{}, "a", "root", file), "root");  // the empty path is the root
}

TEST(XmlProfile, PathsReachTheFirstChildOfEachName) {
    CTempDir dir;
    const std::string file = dir.File("twins.xml");
    WriteBytes(file, "<?xml?><root><A><B v=\"first\"/></A><A><B v=\"second\"/></A></root>");
    EXPECT_EQ(XmlGetString(XmlPath{"A", "B"}, "v", "", file), "first");
    ASSERT_TRUE(XmlSetString("A\\B", "v", "changed", file));
    EXPECT_EQ(ReadBytes(file),
              CrLf({kDecl.c_str(), "<root>", "\t<A>", "\t\t<B v=\"changed\"/>", "\t</A>", "\t<A>",
                    "\t\t<B v=\"second\"/>", "\t</A>", "</root>"}));
}

TEST(XmlProfile, BufferFormNeverWritesPastTheBuffer) {
    CTempDir dir;
    const std::string file = dir.File("buf.xml");
    ASSERT_TRUE(XmlSetString("P", "v", "12345", file));
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(XmlGetString("P", "v", "", buffer, 6, file), 5);
    EXPECT_STREQ(buffer, "12345");

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(XmlGetString("P", "v", "", buffer, 5, file), 5);  // no room for the terminator
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[5], '#');

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(XmlGetString("P", "missing", "a long default", buffer, 4, file), 14);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[4], '#');
    EXPECT_EQ(XmlGetString("P", "v", "", nullptr, 0, file), 5);
}

TEST(XmlProfile, AbsentValueRemovesTheAttributeAndAbsentNameTheElement) {
    CTempDir dir;
    const std::string file = dir.File("rm.xml");
    ASSERT_TRUE(XmlSetString("A\\B", "x", "1", file));
    ASSERT_TRUE(XmlSetString("A\\B", "y", "2", file));
    EXPECT_TRUE(XmlSetString("A\\B", "x", nullptr, file));
    EXPECT_EQ(XmlGetString(XmlPath{"A", "B"}, "x", "gone", file), "gone");
    EXPECT_EQ(XmlGetInt("A\\B", "y", 0, file), 2);
    EXPECT_TRUE(XmlSetString("A\\B", nullptr, nullptr, file));
    EXPECT_EQ(ReadBytes(file), CrLf({kDecl.c_str(), "<root>", "\t<A/>", "</root>"}));

    // Removing what is not there creates nothing, not even the file.
    const std::string none = dir.File("none.xml");
    EXPECT_FALSE(XmlSetString("A\\B", "x", nullptr, none));
    EXPECT_FALSE(XmlSetString("A\\B", nullptr, nullptr, none));
    EXPECT_FALSE(XmlSetString("", nullptr, nullptr, file));  // the root stays
    EXPECT_FALSE(std::filesystem::exists(none));
}

TEST(XmlProfile, NeverOverwritesAFileThatIsNotXml) {
    CTempDir dir;
    for (const std::string& content :
         {std::string("plain text, no markup"), std::string(""), std::string("<a><b></a>"),
          std::string("<?xml?><root><unclosed>")}) {
        const std::string file = dir.File("notxml.txt");
        WriteBytes(file, content);
        EXPECT_FALSE(XmlSetString("A", "x", "1", file)) << content;
        EXPECT_FALSE(XmlSetInt("A", "x", 1, file)) << content;
        EXPECT_EQ(ReadBytes(file), content);
    }
}

TEST(XmlProfile, IntegersAndFloatsUseTheirTextForms) {
    CTempDir dir;
    const std::string file = dir.File("num.xml");
    ASSERT_TRUE(XmlSetInt("N", "i", -42, file));
    EXPECT_EQ(XmlGetString(XmlPath{"N"}, "i", "", file), "-42");
    EXPECT_EQ(XmlGetInt("N", "i", 0, file), -42);
    ASSERT_TRUE(XmlSetString("N", "f", "2.500000", file));
    EXPECT_FLOAT_EQ(XmlGetFloat("N", "f", 0.0f, file), 2.5f);
}

TEST(XmlProfile, RefusesToCreateElementsThatWouldNotReadBack) {
    CTempDir dir;
    const std::string file = dir.File("names.xml");
    ASSERT_TRUE(XmlSetString("A", "x", "1", file));
    const std::string before = ReadBytes(file);
    // Numeric references are decoded on reading, so they would smuggle in what the rule
    // refuses: "a&#47;b" would be stored as is and read back as "a/b".
    for (const char* path :
         {"A\\", "A\\a b", "A\\x/y", "A\\!x", "A\\?x", "A\\a&#47;b", "A\\c&#32;d", "A\\&#x2F;",
          "A\\&#65;", "A\\&#33;x", "A\\t\x01", "A\\n\x7Fo"}) {
        EXPECT_FALSE(XmlSetString(path, "x", "1", file)) << path;
    }
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_TRUE(XmlSetString("A\\x&y", "v", "1", file));  // escaped in the file, read back
    EXPECT_EQ(XmlGetInt("A\\x&y", "v", 0, file), 1);
    EXPECT_TRUE(XmlSetString("A\\x&#y", "v", "2", file));  // "&#" without a number stays
    EXPECT_EQ(XmlGetInt("A\\x&#y", "v", 0, file), 2);
}
