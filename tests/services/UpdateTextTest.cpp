// The update check's text rules: what each version file means for the running 2.1.0, which
// page addresses may be opened, and the browser command line staying within its buffer.
#include <gtest/gtest.h>

#include <string>

#include "UpdateText.h"

using update::Verdict;

TEST(UpdateText, EachVersionFileGivesItsVerdictFor210) {
    struct Case {
        const char* file;
        Verdict verdict;
        int major, minor, patch;
        const char* page;
    };
    const Case cases[] = {
        {"2|1|0|https://example.test/get", Verdict::UpToDate, 2, 1, 0, ""},
        {"2|1|1|https://example.test/get", Verdict::Newer, 2, 1, 1, "https://example.test/get"},
        {"3", Verdict::Newer, 3, 0, 0, ""},
        {"abc|def|ghi|jkl", Verdict::Failure, 0, 0, 0, ""},
        {"0|0|0|https://example.test/", Verdict::Failure, 0, 0, 0, ""},
        {"", Verdict::Failure, 0, 0, 0, ""},
        // A minor of 100 carries into the major place: 2.100.0 compares as 30000.
        {"2|100|0|p", Verdict::Newer, 2, 100, 0, "p"},
        {"1|200|0|p", Verdict::Newer, 1, 200, 0, "p"},  // 30000 as well
        {"2|0|99|p", Verdict::UpToDate, 2, 0, 99, ""},
        {" 2|+1|1x|p|extra", Verdict::Newer, 2, 1, 1, "p"},
        {"2|1|1|https://example.test/get\r\n", Verdict::Newer, 2, 1, 1, "https://example.test/get"},
        // Negative numbers wrap as unsigned 32-bit values and compare as huge.
        {"-1|0|0|p", Verdict::Newer, -1, 0, 0, "p"},
        {"99999999999|0|0|p", Verdict::Newer, INT32_MAX, 0, 0, "p"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const update::VersionAnswer a = update::JudgeVersionFile(c.file, 2, 1, 0);
        EXPECT_EQ(a.verdict, c.verdict);
        EXPECT_EQ(a.major, c.major);
        EXPECT_EQ(a.minor, c.minor);
        EXPECT_EQ(a.patch, c.patch);
        EXPECT_EQ(a.page, c.page);
    }
    EXPECT_EQ(update::ComparisonValue(2, 100, 0), 30000u);
    EXPECT_EQ(update::Field("a|b", 2), "");
    EXPECT_EQ(update::Field("a||c", 1), "");
}

TEST(UpdateText, FileVersionFormUsesTwoFieldsAndTheThirdAsPage) {
    const uint32_t running = (2u << 16) | 1u;
    EXPECT_EQ(update::JudgeFileVersionFile("2|1|https://x.test/", running).verdict,
              Verdict::UpToDate);
    const auto newer = update::JudgeFileVersionFile("2|2|https://x.test/\n", running);
    EXPECT_EQ(newer.verdict, Verdict::Newer);
    EXPECT_EQ(newer.version, (2u << 16) | 2u);
    EXPECT_EQ(newer.page, "https://x.test/");
    // Only the low 16 bits of the minor count.
    EXPECT_EQ(update::JudgeFileVersionFile("2|65537|p", running).version, (2u << 16) | 1u);
    EXPECT_EQ(update::JudgeFileVersionFile("x", running).verdict, Verdict::Failure);
}

TEST(UpdateText, OnlyPlainHttpAddressesMayBeOpened) {
    const char* good[] = {"http://example.test", "https://example.test/a?b=c&d=%22",
                          "HTTPS://Example.Test/Path"};
    const char* bad[] = {"",
                         "file:///c:/windows/system32/calc.exe",
                         "calc.exe",
                         "https://",
                         "https:///path",
                         "javascript:alert(1)",
                         "https://example.test/\" & calc",
                         "https://example.test/a b",
                         "https://example.test/\r\nx",
                         "https://example.test/\x7f",
                         "\"https://example.test/\"",
                         " https://example.test/"};
    for (const char* a : good) {
        EXPECT_TRUE(update::IsSafePageAddress(a)) << a;
    }
    for (const char* a : bad) {
        EXPECT_FALSE(update::IsSafePageAddress(a)) << a;
    }
}

TEST(UpdateText, BrowserCommandIsCutAtItsPlaceholderAndNeverOutgrowsTheBuffer) {
    const std::string url = "https://example.test/get";
    struct Case {
        const char* command;
        const char* expected;
    };
    const Case cases[] = {
        {"\"C:\\b\\browser.exe\" -url \"%1\"", "\"C:\\b\\browser.exe\" -url  \"%s\""},
        {"C:\\b\\browser.exe %1 -new", "C:\\b\\browser.exe  \"%s\""},
        {"C:\\b\\browser.exe", "C:\\b\\browser.exe \"%s\""},
        {"", " \"%s\""},
    };
    for (const Case& c : cases) {
        std::string expected = c.expected;
        expected.replace(expected.find("%s"), 2, url);
        EXPECT_EQ(update::BrowserCommandLine(c.command, url).value_or("refused"), expected);
    }
    // A 259-byte command (the registry buffer's most) leaves 269 bytes for blank, quotes,
    // address and terminator: 265 address bytes fit, 266 do not.
    const std::string command(259, 'c');
    EXPECT_EQ(update::BrowserCommandLine(command, std::string(265, 'u'))->size(), 527u);
    EXPECT_FALSE(update::BrowserCommandLine(command, std::string(266, 'u')));
    EXPECT_FALSE(update::BrowserCommandLine("b", std::string(100000, 'u')));
}
