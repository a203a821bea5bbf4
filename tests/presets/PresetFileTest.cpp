// The preset file format: the written layout, the value encodings and the reading rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <vector>

#ifdef _WIN32
#include <cstdio>
#else
#include <csignal>
#include <sys/resource.h>
#endif

#include "TempFiles.h"
#include "presets/PresetFile.h"
#include "presets/PresetFolder.h"
#include "presets/XmlDocument.h"
#include "presets/XmlProfile.h"

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>";
const PresetValues kDefaults = {0, 8, 0.5, 1.0, 1.5, 0, 0, 1.0, 2.0};

std::string PresetFileText(const std::string& version, const std::string& attributes) {
    return "<?xml version=\"1.0\"?><root><VarenWorks><VarenGlaze" + version + "><P " + attributes +
           "/></VarenGlaze></VarenWorks></root>";
}

std::vector<std::string> FolderEntries(const CTempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Makes every write to a file beyond a few bytes fail while it lives, as a full disk does:
// a file size limit natively, and the file held open by another program under Windows
// (which a replacement cannot take away).
class CWriteBlocker {
public:
    explicit CWriteBlocker(const std::string& heldFile) {
#ifdef _WIN32
        m_held = std::fopen(heldFile.c_str(), "rb");
#else
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit low = m_old;
        low.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &low);
#endif
    }
    ~CWriteBlocker() {
#ifdef _WIN32
        if (m_held != nullptr)
            std::fclose(m_held);
#else
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
#endif
    }

private:
#ifdef _WIN32
    FILE* m_held = nullptr;
#else
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
#endif
};

}  // namespace

TEST(PresetFile, WritesTheEightLineLayout) {
    CTempDir dir;
    const std::string file = dir.File("Portrait.vpp");
    const PresetValues values = {2, 12, 0.7, 1.5, 2.6666, 3, 0.25, 1.25, 2.5};
    EXPECT_EQ(writePreset(file, "Portrait", "Soft", "User", values), PresetWriteResult::Written);
    EXPECT_EQ(ReadBytes(file),
              CrLf({kDecl.c_str(), "<root>", "\t<VarenWorks>", "\t\t<VarenGlaze Version=\"2.1.0\">",
                    "\t\t\t<Portrait Mod=\"1\" Disp=\"1\" DESCRIPTION=\"Soft\" AUTHOR=\"User\" "
                    "CIT=\"2000\" CRD=\"12000\" CTH=\"700\" ESP=\"1500\" ERD=\"2667\" ELA=\"3000\" "
                    "TKT=\"250\" TBT=\"1250\" TRN=\"2500\"/>",
                    "\t\t</VarenGlaze>", "\t</VarenWorks>", "</root>"}));
}

TEST(PresetFile, EncodesThousandthsOfTheFloatValue) {
    EXPECT_EQ(EncodePresetValue(1.5f), 1500);
    EXPECT_EQ(EncodePresetValue(0.7f), 700);
    EXPECT_EQ(EncodePresetValue(2.6666f), 2667);
    EXPECT_EQ(EncodePresetValue(0.0f), 0);
    EXPECT_EQ(EncodePresetValue(0.0004f), 0);
    EXPECT_EQ(EncodePresetValue(1e20f), 2147483647);  // saturates instead of overflowing
}

TEST(PresetFile, RewritingKeepsTheFileLayoutAndOtherPresets) {
    CTempDir dir;
    const std::string file = dir.File("two.vpp");
    ASSERT_EQ(writePreset(file, "A", "first", "User", kDefaults), PresetWriteResult::Written);
    ASSERT_EQ(writePreset(file, "B", "second", "User", kDefaults), PresetWriteResult::Written);
    const std::string before = ReadBytes(file);
    ASSERT_EQ(writePreset(file, "A", "first", "User", kDefaults), PresetWriteResult::Written);
    EXPECT_EQ(ReadBytes(file), before);  // the same write twice gives the same file

    PresetValues changed = kDefaults;
    changed[0] = 5;
    ASSERT_EQ(writePreset(file, "A", "first", "User", changed), PresetWriteResult::Written);
    std::string after = ReadBytes(file);
    EXPECT_EQ(after.size(), before.size() + 3);  // CIT="0" became CIT="5000", nothing else
    EXPECT_LT(after.find("<A "), after.find("<B "));
}

TEST(PresetFile, ExistingElementKeepsItsAttributeOrder) {
    CTempDir dir;
    const std::string file = dir.File("order.vpp");
    WriteBytes(file,
               "<?xml?><presets><VarenWorks><VarenGlaze><P TRN=\"1\" X=\"keep\" Mod=\"1\"/>"
               "</VarenGlaze></VarenWorks></presets>");
    ASSERT_EQ(writePreset(file, "P", "d", "User", kDefaults), PresetWriteResult::Written);
    EXPECT_EQ(
        ReadBytes(file),
        CrLf({kDecl.c_str(), "<presets>", "\t<VarenWorks>", "\t\t<VarenGlaze Version=\"2.1.0\">",
              "\t\t\t<P TRN=\"2000\" X=\"keep\" Mod=\"1\" Disp=\"1\" DESCRIPTION=\"d\" "
              "AUTHOR=\"User\" CIT=\"0\" CRD=\"8000\" CTH=\"500\" ESP=\"1000\" ERD=\"1500\" "
              "ELA=\"0\" TKT=\"0\" TBT=\"1000\"/>",
              "\t\t</VarenGlaze>", "\t</VarenWorks>", "</presets>"}));
}

TEST(PresetFile, PredefinedPresetIsRefusedAndTheFileUntouched) {
    CTempDir dir;
    const std::string file = dir.File("pre.vpp");
    const std::string content = PresetFileText("", "Mod=\"0\" Disp=\"1\" CIT=\"1000\"");
    WriteBytes(file, content);
    EXPECT_EQ(writePreset(file, "P", "d", "User", kDefaults), PresetWriteResult::Refused);
    EXPECT_EQ(ReadBytes(file), content);
    EXPECT_FALSE(isPresetModifiable(file, "VarenGlaze", "P"));
}

TEST(PresetFile, WriteThatCannotHappenIsReportedAsFailed) {
    CTempDir dir;
    const std::string text = dir.File("text.vpp");
    WriteBytes(text, "this is not a preset file");
    EXPECT_EQ(writePreset(text, "P", "d", "User", kDefaults), PresetWriteResult::Failed);
    EXPECT_EQ(ReadBytes(text), "this is not a preset file");
    EXPECT_EQ(writePreset(dir.File("missing/P.vpp"), "P", "d", "User", kDefaults),
              PresetWriteResult::WriteFailed);
    EXPECT_EQ(writePreset(dir.File("bad.vpp"), "a b", "d", "User", kDefaults),
              PresetWriteResult::Failed);  // would not read back as one element name
}

TEST(PresetFile, FailedSaveLeavesTheOldFileWholeAndSaysSo) {
    CTempDir dir;
    const std::string file = dir.File("many.vpp");
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(writePreset(file, "P" + std::to_string(i), "d", "User", kDefaults),
                  PresetWriteResult::Written);
    }
    const std::string before = ReadBytes(file);
    {
        CWriteBlocker blocker(file);
        EXPECT_EQ(writePreset(file, "P40", "d", "User", kDefaults), PresetWriteResult::WriteFailed);
        EXPECT_FALSE(hidePreset(file, "VarenGlaze", "P1"));
    }
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"many.vpp"});  // no temporary left
    EXPECT_EQ(writePreset(file, "P40", "d", "User", kDefaults), PresetWriteResult::Written);
}

TEST(PresetFile, NamesAreCheckedAsTheyReadBack) {
    CTempDir dir;
    const std::string file = dir.File("names.vpp");
    // A reference would be stored as is and decoded on reading: "&#47;etc" reads as "/etc".
    for (const char* name : {"&#47;etc", "&#92;x", "a&#x20;b", "&#65;", "a\\b", "a/b", ""}) {
        EXPECT_EQ(writePreset(file, name, "d", "User", kDefaults), PresetWriteResult::Failed)
            << name;
        EXPECT_FALSE(IsStorablePresetName(name)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    for (const char* name : {"my__preset", "Soft-2", "x&y", "caf\xC3\xA9"}) {
        ASSERT_EQ(writePreset(file, name, "d", "User", kDefaults), PresetWriteResult::Written)
            << name;
        EXPECT_EQ(XmlGetInt(XmlPath{"VarenWorks", "VarenGlaze", name}, "Disp", 0, file), 1) << name;
    }
}

TEST(PresetFile, FileNamesFromPresetNamesStayInTheFolder) {
    for (const char* name : {"..\\..\\Windows\\System32\\evil",
                             "..",
                             "a..b",
                             "a/b",
                             "a\\b",
                             "C:evil",
                             "x:stream",
                             "CON",
                             "con",
                             "Nul.txt",
                             "aux ",
                             "COM1",
                             "lpt9.x",
                             "COM\xB9",
                             "CONIN$",
                             "a*b",
                             "a?b",
                             "a\"b",
                             "a<b",
                             "a>b",
                             "a|b",
                             "tab\there",
                             "del\x7F",
                             ""}) {
        EXPECT_EQ(PresetFileNameFor(name), "") << name;
    }
    EXPECT_EQ(PresetFileNameFor(std::string(kMaxPresetFileStem + 1, 'a')), "");
    EXPECT_EQ(PresetFileNameFor(std::string(kMaxPresetFileStem, 'a')),
              std::string(kMaxPresetFileStem, 'a') + ".vpp");
    for (const char* name : {"my__preset", "Portrait-2", "CONSOLE", "COM10", "NULL", "LPT", "a.b",
                             "caf\xC3\xA9", "with space"}) {
        EXPECT_EQ(PresetFileNameFor(name), std::string(name) + ".vpp") << name;
    }
}

TEST(PresetFile, DescriptionKeepsLineBreaksAndMarkup) {
    CTempDir dir;
    const std::string file = dir.File("desc.vpp");
    const std::string description = "Line one\r\nLine \"two\" <b> & 'three'";
    ASSERT_EQ(writePreset(file, "P", description, "User", kDefaults), PresetWriteResult::Written);
    EXPECT_EQ(XmlGetString(XmlPath{"VarenWorks", "VarenGlaze", "P"}, "DESCRIPTION", "", file),
              description);
    EXPECT_EQ(readPresetValues(file, "VarenGlaze", "P", kDefaults), kDefaults);
}

TEST(PresetFile, ReadsLayoutTwoThousandthsWithClamping) {
    CTempDir dir;
    const std::string file = dir.File("v2.vpp");
    WriteBytes(file,
               PresetFileText(" Version=\"2.1.0\"",
                              "CIT=\"2500\" CRD=\"12000\" CTH=\"9000\" ESP=\"-5\" ERD=\"abc\""));
    PresetValues read = readPresetValues(file, "VarenGlaze", "P", kDefaults);
    EXPECT_DOUBLE_EQ(read[0], 2.5);
    EXPECT_DOUBLE_EQ(read[1], 12.0);
    EXPECT_DOUBLE_EQ(read[2], 1.5);  // clamped to the maximum
    EXPECT_DOUBLE_EQ(read[3], 0.0);  // clamped to the minimum
    EXPECT_DOUBLE_EQ(read[4], 0.7);  // not a number: 0, then clamped

    WriteBytes(file, PresetFileText(" Version=\"2.1.0\"", "CRD=\"1000\""));
    EXPECT_DOUBLE_EQ(readPresetValues(file, "VarenGlaze", "P", kDefaults)[1], 4.0);
}

TEST(PresetFile, LayoutVersionComesFromTheFirstCharacterOfVersion) {
    CTempDir dir;
    const std::string file = dir.File("v1.vpp");
    WriteBytes(file, PresetFileText(" Version=\"1.0\"", "CIT=\"2.500000\" CTH=\"0.250000\""));
    PresetValues read = readPresetValues(file, "VarenGlaze", "P", kDefaults);
    EXPECT_DOUBLE_EQ(read[0], 2.5);
    EXPECT_DOUBLE_EQ(read[2], 0.25);

    WriteBytes(file, PresetFileText(" Version=\"10.0.0\"", "CIT=\"2.5\""));
    EXPECT_DOUBLE_EQ(readPresetValues(file, "VarenGlaze", "P", kDefaults)[0], 2.5);

    WriteBytes(file, PresetFileText("", "CIT=\"2500\""));  // no Version: layout 2
    EXPECT_DOUBLE_EQ(readPresetValues(file, "VarenGlaze", "P", kDefaults)[0], 2.5);
}

TEST(PresetFile, MissingValuesLeaveTheCurrentOnes) {
    CTempDir dir;
    const std::string file = dir.File("partial.vpp");
    WriteBytes(file, PresetFileText(" Version=\"2.1.0\"", "CIT=\"3000\" TBT=\"\""));
    PresetValues current = {1, 9.87654, 0.123456, 2.5, 3.3333, 4.4, 0.5, 1.2345, 5.5};
    PresetValues read = readPresetValues(file, "VarenGlaze", "P", current);
    EXPECT_DOUBLE_EQ(read[0], 3.0);
    for (int i = 1; i < kPresetParamCount; ++i) EXPECT_EQ(read[i], current[i]) << i;

    // A file or preset that is gone leaves every value, clamped into its range.
    PresetValues outside = current;
    outside[1] = 100;
    PresetValues none = readPresetValues(dir.File("gone.vpp"), "VarenGlaze", "P", outside);
    EXPECT_DOUBLE_EQ(none[1], 25.0);
    EXPECT_EQ(readPresetValues(file, "VarenGlaze", "Other", current), current);

    // A current value that is not a number still comes back inside its range.
    PresetValues broken = current;
    broken[4] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_DOUBLE_EQ(readPresetValues(file, "VarenGlaze", "P", broken)[4], 0.7);
}

TEST(PresetFile, ModAndDispGoverningDeleteAndListing) {
    CTempDir dir;
    const std::string file = dir.File("mod.vpp");
    WriteBytes(file,
               "<?xml?><root><VarenWorks><VarenGlaze><A Mod=\"1\" Disp=\"1\"/><B Disp=\"1\"/>"
               "<C Mod=\"x\"/><D Mod=\"\"/></VarenGlaze></VarenWorks></root>");
    EXPECT_TRUE(isPresetModifiable(file, "VarenGlaze", "A"));
    EXPECT_TRUE(isPresetModifiable(file, "VarenGlaze", "B"));   // missing counts as modifiable
    EXPECT_FALSE(isPresetModifiable(file, "VarenGlaze", "C"));  // not a number reads as 0
    EXPECT_TRUE(isPresetModifiable(file, "VarenGlaze", "D"));   // empty reads as missing
    EXPECT_TRUE(isPresetModifiable(dir.File("none.vpp"), "VarenGlaze", "A"));

    EXPECT_TRUE(hidePreset(file, "VarenGlaze", "A"));
    EXPECT_EQ(XmlGetInt("VarenWorks\\VarenGlaze\\A", "Disp", -1, file), 0);
    EXPECT_EQ(XmlGetInt("VarenWorks\\VarenGlaze\\B", "Disp", -1, file), 1);
}

TEST(PresetFile, PredefinedFilesFollowTheFormat) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VG_PRESET_DATA_DIR)) {
        if (entry.path().extension() != ".vpp")
            continue;
        ++count;
        const std::string file = entry.path().string();
        const std::string name = entry.path().stem().string();
        const XmlPath path{"VarenWorks", "VarenGlaze", name};
        EXPECT_TRUE(IsStorablePresetName(name));
        EXPECT_LE(name.size(), 32u);
        EXPECT_EQ(XmlGetInt(path, "Mod", -1, file), 0) << name;
        EXPECT_EQ(XmlGetInt(path, "Disp", 0, file), 1) << name;
        std::string description = XmlGetString(path, "DESCRIPTION", "", file);
        EXPECT_FALSE(description.empty()) << name;

        // Every value is given (the current values make no difference) and, since the
        // writer's copy must match byte for byte, none was clamped.
        PresetValues low;
        PresetValues high;
        for (int i = 0; i < kPresetParamCount; ++i) {
            low[i] = PresetParamTable()[i].minimum;
            high[i] = PresetParamTable()[i].maximum;
        }
        PresetValues values = readPresetValues(file, "VarenGlaze", name, low);
        EXPECT_EQ(values, readPresetValues(file, "VarenGlaze", name, high)) << name;
        CTempDir dir;
        const std::string copy = dir.File(name + ".vpp");
        ASSERT_EQ(
            writePreset(copy, name, description, XmlGetString(path, "AUTHOR", "", file), values),
            PresetWriteResult::Written);
        ASSERT_TRUE(XmlSetInt(path, "Mod", 0, copy));
        EXPECT_EQ(ReadBytes(copy), ReadBytes(file)) << name;
    }
    EXPECT_GE(count, 10);
}

TEST(PresetFile, OnlyWellFormedFilesWithPresetsCountAsPresetFiles) {
    CTempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
        bool preset;
    };
    const std::string works = "<?xml version=\"1.0\"?><root><VarenWorks><VarenGlaze>";
    const Case cases[] = {
        {"ok.vpp", works + "<A Disp=\"1\"/></VarenGlaze></VarenWorks></root>", true},
        {"hidden.vpp", works + "<A Disp=\"0\"/></VarenGlaze></VarenWorks></root>", true},
        {"empty.vpp", works + "</VarenGlaze></VarenWorks></root>", false},
        {"cut.vpp", works + "<A Disp=\"1\"/></VarenGlaze>", false},
        {"other.vpp",
         "<?xml version=\"1.0\"?><root><Other><VarenGlaze><A/></VarenGlaze></Other></root>", false},
        {"text.vpp", "just some text", false},
        {"html.vpp", "<html><body>404 Not Found</body></html>", false},
        {"binary.vpp", std::string("\x89PNG\r\n\x1a\n\0\0", 10), false},
        {"huge.vpp",
         works + "<A Disp=\"1\"/>" + std::string(CXmlDocument::kMaxFileSize, ' ') +
             "</VarenGlaze></VarenWorks></root>",
         false},
    };
    for (const Case& c : cases) {
        WriteBytes(dir.File(c.name), c.bytes);
        EXPECT_EQ(IsPresetFile(dir.File(c.name)), c.preset) << c.name;
    }
    EXPECT_FALSE(IsPresetFile(dir.File("missing.vpp")));
    EXPECT_FALSE(IsPresetFile(dir.Path()));  // a folder
    for (const auto& entry : std::filesystem::directory_iterator(VG_PRESET_DATA_DIR))
        EXPECT_TRUE(IsPresetFile(entry.path().string())) << entry.path();
}
