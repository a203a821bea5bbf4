// Value conversions of the registry cache: text to number, string lists, name matching, and
// staying inside the 2048-byte text buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "RegText.h"
#include "RegValue.h"

using Strings = std::vector<std::string>;

TEST(RegistryText, ParseLongFollowsA32BitStrtol) {
    EXPECT_EQ(regtext::ParseLong("12abc"), 12);
    EXPECT_EQ(regtext::ParseLong("abc"), 0);
    EXPECT_EQ(regtext::ParseLong(nullptr), 0);
    EXPECT_EQ(regtext::ParseLong(" \t\n-42"), -42);
    EXPECT_EQ(regtext::ParseLong("- 7"), 0);
    EXPECT_EQ(regtext::ParseLong("0x1F"), 0);
    EXPECT_EQ(regtext::ParseLong("2147483648"), INT32_MAX);
    EXPECT_EQ(regtext::ParseLong("-2147483648"), INT32_MIN);
    EXPECT_EQ(regtext::ParseLong(std::string(5000, '9').c_str()), INT32_MAX);
}

TEST(RegistryText, MultiSzSplitsUpToTheClosingEmptyStringAndJoinsWithin) {
    EXPECT_EQ(regtext::SplitMultiSz("a\0b\0", 5), (Strings{"a", "b"}));
    EXPECT_TRUE(regtext::SplitMultiSz("a\0", 2).empty());
    EXPECT_EQ(regtext::SplitMultiSz("one\0\0junk\0", 11), Strings{"one"});
    const char raw[] = {'a', 'b', '\0', 'c', 'd'};  // unterminated: nothing past it is read
    EXPECT_EQ(regtext::SplitMultiSz(raw, sizeof raw), (Strings{"ab", "cd"}));

    // "defgh" is cut to leave room for its own terminator and the final one.
    char buf[8];
    EXPECT_EQ(regtext::JoinMultiSz({"abc", "defgh", "ij"}, buf, sizeof buf), 8u);
    EXPECT_EQ(std::memcmp(buf, "abc\0de\0\0", 8), 0);
    EXPECT_EQ(regtext::JoinMultiSz({"abc"}, buf, 1), 1u);
    EXPECT_EQ(buf[0], '\0');
}

TEST(RegistryText, MultiSzRoundTripsAndStaysInBoundsOnRandomInput) {
    std::mt19937 rng(1234);
    std::vector<char> buffer(64);
    for (int round = 0; round < 2000; ++round) {
        Strings list(rng() % 6);
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
        const Strings back = regtext::SplitMultiSz(buffer.data(), used);
        if (need <= buffer.size()) {
            EXPECT_EQ(back, used > 2 ? list : Strings{});
        } else {
            ASSERT_LT(back.size(), list.size() + 1);
            for (size_t i = 0; i < back.size(); ++i) {
                EXPECT_EQ(list[i].rfind(back[i], 0), 0u);
            }
        }
        // Arbitrary bytes, NULs included (ASan watches the reads).
        std::vector<char> raw(rng() % 12);
        for (char& c : raw) {
            c = static_cast<char>(rng() % 3 == 0 ? 0 : 'a');
        }
        for (const std::string& s : regtext::SplitMultiSz(raw.data(), raw.size())) {
            EXPECT_FALSE(s.empty());
        }
    }
}

TEST(RegistryText, NamesMatchIgnoringCaseButNotTrailBytes) {
    const regtext::CodePageCase ascii = regtext::CodePageCase::Ascii();
    EXPECT_TRUE(regtext::NamesEqualNoCase("WindowPlacement", "WINDOWplacement", ascii));
    EXPECT_FALSE(regtext::NamesEqualNoCase("vwskin", "vwskin2", ascii));
    EXPECT_FALSE(regtext::NamesEqualNoCase("vw[", "vw{", ascii));

    // 0x83 leads a double-byte character whose trail byte may be 'A' or 'a': two characters.
    regtext::CodePageCase dbcs = ascii;
    dbcs.lead[0x83] = true;
    const std::string upperTrail = std::string("x\x83") + "A";
    const std::string lowerTrail = std::string("x\x83") + "a";
    EXPECT_FALSE(regtext::NamesEqualNoCase(upperTrail, lowerTrail, dbcs));
    EXPECT_TRUE(
        regtext::NamesEqualNoCase(upperTrail + "b", "X" + upperTrail.substr(1) + "B", dbcs));
    EXPECT_FALSE(regtext::NamesEqualNoCase("\x83", upperTrail.substr(1), dbcs));
}

TEST(RegistryText, ValueTextStaysInsideItsBuffer) {
    CRegValue v;
    const std::string longText(5000, '5');
    v.AssignText(longText.c_str());
    EXPECT_EQ(std::strlen(v.Text()), CRegValue::kTextSize - 1);
    v.AssignTextData("abcdef", 3);  // registry data without a terminator
    EXPECT_STREQ(v.Text(), "abc");
    v.AssignBytes(longText.data(), longText.size());
    EXPECT_EQ(std::strlen(v.Text()), CRegValue::kTextSize - 1);
    EXPECT_EQ(v.Int(), INT32_MAX);

    std::string block;
    for (int i = 0; i < 300; ++i) {
        block += "string" + std::to_string(i) + '\0';
    }
    v.AssignTextList(block.data(), block.size() + 1);
    ASSERT_EQ(v.TextList().size(), 300u);
    const char* text = v.Text();
    const Strings shown = regtext::SplitMultiSz(text, CRegValue::kTextSize);
    ASSERT_GT(shown.size(), 100u);
    ASSERT_LT(shown.size(), 300u);  // cut, and closed by an empty string inside the buffer
    EXPECT_EQ(shown[shown.size() - 2], v.TextList()[shown.size() - 2]);
    EXPECT_EQ(v.TextList()[shown.size() - 1].rfind(shown.back(), 0), 0u);
}

TEST(RegistryText, ValueTakesTextFromItsOwnBuffer) {
    // A caller may assign an entry part of its own text, or the text form of its number.
    CRegValue v;
    v.AssignText("pre:value");
    v.AssignText(v.Text() + 4);
    EXPECT_STREQ(v.Text(), "value");
    v.AssignNumber(12345);
    v.AssignText(v.Text() + 1);
    EXPECT_STREQ(v.Text(), "2345");
    EXPECT_EQ(v.Type(), RegType::Text);
}
