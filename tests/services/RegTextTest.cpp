// Value conversions of the registry cache: text to number, lists, bytes and name matching.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "RegText.h"
#include "RegValue.h"

using regtext::CodePageCase;

TEST(RegistryText, ParseLongFollowsStrtol) {
    EXPECT_EQ(regtext::ParseLong("12abc"), 12);
    EXPECT_EQ(regtext::ParseLong("abc"), 0);
    EXPECT_EQ(regtext::ParseLong(""), 0);
    EXPECT_EQ(regtext::ParseLong(nullptr), 0);
    EXPECT_EQ(regtext::ParseLong(" \t\n-42"), -42);
    EXPECT_EQ(regtext::ParseLong("+7"), 7);
    EXPECT_EQ(regtext::ParseLong("- 7"), 0);
    EXPECT_EQ(regtext::ParseLong("0x1F"), 0);
    EXPECT_EQ(regtext::ParseLong("3.9"), 3);
}

TEST(RegistryText, ParseLongSaturatesLikeA32BitLong) {
    EXPECT_EQ(regtext::ParseLong("2147483647"), INT32_MAX);
    EXPECT_EQ(regtext::ParseLong("2147483648"), INT32_MAX);
    EXPECT_EQ(regtext::ParseLong("-2147483648"), INT32_MIN);
    EXPECT_EQ(regtext::ParseLong("-99999999999999999999999999"), INT32_MIN);
    EXPECT_EQ(regtext::ParseLong(std::string(5000, '9').c_str()), INT32_MAX);
}

TEST(RegistryText, MultiSzSplitsAtNulsAndEndsAtTheEmptyString) {
    const char ab[] = "a\0b\0";  // 5 bytes with the array's own NUL
    EXPECT_EQ(regtext::SplitMultiSz(ab, 5), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(regtext::SplitMultiSz("\0\0", 2).empty());
    EXPECT_TRUE(regtext::SplitMultiSz("a\0", 2).empty());
    EXPECT_TRUE(regtext::SplitMultiSz(nullptr, 10).empty());
    // Padding after the closing empty string is not part of the list.
    EXPECT_EQ(regtext::SplitMultiSz("one\0\0junk\0", 11), (std::vector<std::string>{"one"}));
    // An unterminated block keeps its last string, and nothing past the length is read.
    const char raw[] = {'a', 'b', '\0', 'c', 'd'};
    EXPECT_EQ(regtext::SplitMultiSz(raw, sizeof raw), (std::vector<std::string>{"ab", "cd"}));
}

TEST(RegistryText, MultiSzJoinAlwaysEndsInsideTheBuffer) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(regtext::JoinMultiSz({"a", "b"}, buf, sizeof buf), 5u);
    EXPECT_EQ(std::memcmp(buf, "a\0b\0\0", 5), 0);

    // "abc" fits, "defgh" is cut to what leaves room for its terminator and the final one.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(regtext::JoinMultiSz({"abc", "defgh", "ij"}, buf, sizeof buf), 8u);
    EXPECT_EQ(std::memcmp(buf, "abc\0de\0\0", 8), 0);

    EXPECT_EQ(regtext::JoinMultiSz({}, buf, sizeof buf), 1u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(regtext::JoinMultiSz({"abc"}, buf, 1), 1u);
    EXPECT_EQ(regtext::JoinMultiSz({"abc"}, buf, 0), 0u);
}

TEST(RegistryText, NamesMatchIgnoringCaseButNotTrailBytes) {
    const CodePageCase ascii = CodePageCase::Ascii();
    EXPECT_TRUE(regtext::NamesEqualNoCase("WindowPlacement", "WINDOWplacement", ascii));
    EXPECT_TRUE(regtext::NamesEqualNoCase("", "", ascii));
    EXPECT_FALSE(regtext::NamesEqualNoCase("vwskin", "vwskin2", ascii));
    EXPECT_FALSE(regtext::NamesEqualNoCase("vw[", "vw{", ascii));

    // In a double-byte code page 0x83 leads a character whose trail byte may be 'A' or 'a':
    // those are two different characters.
    CodePageCase dbcs = CodePageCase::Ascii();
    dbcs.lead[0x83] = true;
    const std::string upperTrail = std::string("x\x83") + "A";
    const std::string lowerTrail = std::string("x\x83") + "a";
    EXPECT_FALSE(regtext::NamesEqualNoCase(upperTrail, lowerTrail, dbcs));
    EXPECT_TRUE(
        regtext::NamesEqualNoCase(upperTrail + "b", "X" + upperTrail.substr(1) + "B", dbcs));
    EXPECT_TRUE(regtext::NamesEqualNoCase(upperTrail, lowerTrail, ascii));
    EXPECT_FALSE(regtext::NamesEqualNoCase("\x83", upperTrail.substr(1), dbcs));
}

TEST(RegistryText, ValueTextFormsByType) {
    CRegValue v;
    EXPECT_STREQ(v.Text(), "");
    EXPECT_EQ(v.Int(), 0);

    v.AssignNumber(7);
    EXPECT_STREQ(v.Text(), "7");
    EXPECT_TRUE(v.Bool());
    v.AssignNumber(0xFFFFFFFFu);
    EXPECT_STREQ(v.Text(), "4294967295");
    EXPECT_EQ(v.Int(), -1);

    v.AssignText("12abc");
    EXPECT_EQ(v.Int(), 12);
    v.AssignText("off");
    EXPECT_FALSE(v.Bool());

    const char digits[] = {'3', '4', '\0', '9'};
    EXPECT_TRUE(v.AssignBytes(digits, sizeof digits));
    EXPECT_EQ(v.Type(), RegType::Bytes);
    EXPECT_STREQ(v.Text(), "34");
    EXPECT_EQ(v.Int(), 34);
    EXPECT_FALSE(v.AssignBytes(digits, 0));
    EXPECT_EQ(v.Bytes().size(), 4u);

    v.AssignTextList("1\0b\0", 5);
    EXPECT_EQ(v.Type(), RegType::TextList);
    EXPECT_STREQ(v.Text(), "1");
    EXPECT_EQ(v.Int(), 0);  // lists do not convert to numbers
    EXPECT_FALSE(v.Bool());
}

TEST(RegistryText, ValueTextIsCutToItsBuffer) {
    CRegValue v;
    const std::string longText(5000, 'q');
    v.AssignText(longText.c_str());
    EXPECT_EQ(std::strlen(v.Text()), CRegValue::kTextSize - 1);

    // Registry data without a terminator stops at its length.
    v.AssignTextData("abcdef", 3);
    EXPECT_STREQ(v.Text(), "abc");
    v.AssignTextData(longText.data(), longText.size());
    EXPECT_EQ(std::strlen(v.Text()), CRegValue::kTextSize - 1);

    const std::vector<uint8_t> bytes(4000, '5');
    v.AssignBytes(bytes.data(), bytes.size());
    EXPECT_EQ(std::strlen(v.Text()), CRegValue::kTextSize - 1);
    EXPECT_EQ(v.Int(), INT32_MAX);

    // A list longer than the buffer still ends in two terminators inside it.
    std::string block;
    for (int i = 0; i < 300; ++i) {
        block += "string" + std::to_string(i) + '\0';
    }
    block += '\0';
    v.AssignTextList(block.data(), block.size());
    EXPECT_EQ(v.TextList().size(), 300u);
    const char* text = v.Text();
    size_t end = 0;
    while (end + 1 < CRegValue::kTextSize && !(text[end] == '\0' && text[end + 1] == '\0')) {
        ++end;
    }
    ASSERT_LT(end + 1, CRegValue::kTextSize);
    const auto shown = regtext::SplitMultiSz(text, end + 2);
    ASSERT_GT(shown.size(), 100u);
    ASSERT_LT(shown.size(), 300u);
    for (size_t i = 0; i + 1 < shown.size(); ++i) {
        EXPECT_EQ(shown[i], v.TextList()[i]);
    }
    EXPECT_EQ(v.TextList()[shown.size() - 1].rfind(shown.back(), 0), 0u);
}

TEST(RegistryText, MultiSzRoundTripsAndStaysInBoundsOnRandomInput) {
    std::mt19937 rng(1234);
    std::vector<char> buffer(64);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> list(rng() % 6);
        size_t need = 1;
        for (std::string& s : list) {
            s.resize(1 + rng() % 20);
            for (char& c : s) {
                c = static_cast<char>(1 + rng() % 255);
            }
            need += s.size() + 1;
        }
        const size_t used = regtext::JoinMultiSz(list, buffer.data(), buffer.size());
        ASSERT_LE(used, buffer.size());
        const auto back = regtext::SplitMultiSz(buffer.data(), used);
        if (need <= buffer.size()) {
            EXPECT_EQ(used, need);
            if (used > 2) {
                EXPECT_EQ(back, list);
            }
        } else {
            ASSERT_LE(back.size(), list.size());
            for (size_t i = 0; i < back.size(); ++i) {
                EXPECT_EQ(list[i].rfind(back[i], 0), 0u);
            }
        }
        // Arbitrary bytes, NULs included, split without reading past their length.
        std::vector<char> raw(rng() % 12);
        for (char& c : raw) {
            c = static_cast<char>(rng() % 3 == 0 ? 0 : 'a' + rng() % 3);
        }
        for (const std::string& s : regtext::SplitMultiSz(raw.data(), raw.size())) {
            EXPECT_FALSE(s.empty());
            EXPECT_LE(s.size(), raw.size());
        }
    }
}
