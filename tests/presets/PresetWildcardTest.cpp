// Wildcard matching of file names, and the preset folder below the installation folder.
#include <gtest/gtest.h>

#include <string>

#include "presets/PresetFolder.h"
#include "presets/WildcardMatch.h"

TEST(PresetWildcard, StarBacktracksOverEarlierMatches) {
    EXPECT_TRUE(WildcardMatch("*.vpp", "Portrait.vpp", true));
    EXPECT_TRUE(WildcardMatch("*.vpp", "My.Portrait.vpp", true));
    EXPECT_TRUE(WildcardMatch("*.vpp", ".vpp", true));
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXbYbZc", false));
    EXPECT_TRUE(WildcardMatch("*", "", false));
    EXPECT_TRUE(WildcardMatch("**x**", "yyx", false));
    EXPECT_FALSE(WildcardMatch("*.vpp", "a.vpp.bak", true));
    EXPECT_FALSE(WildcardMatch("*.vpp", "vpp", true));
    EXPECT_FALSE(WildcardMatch("a*b", "a", false));
    EXPECT_FALSE(WildcardMatch("", "a", false));
}

TEST(PresetWildcard, QuestionMarkTakesExactlyOneCharacter) {
    EXPECT_TRUE(WildcardMatch("?.vpp", "a.vpp", false));
    EXPECT_FALSE(WildcardMatch("?.vpp", ".vpp", false));
    EXPECT_FALSE(WildcardMatch("?.vpp", "ab.vpp", false));
    EXPECT_TRUE(WildcardMatch("*?", "a", false));
}

TEST(PresetWildcard, CaseRuleFollowsTheOption) {
    EXPECT_TRUE(WildcardMatch("*.vpp", "PORTRAIT.VPP", true));
    EXPECT_FALSE(WildcardMatch("*.vpp", "PORTRAIT.VPP", false));
    EXPECT_TRUE(WildcardMatch("*.VPP", "x.vpp", true));
}

TEST(PresetWildcard, ListsMatchAnyOfTheirPatterns) {
    EXPECT_TRUE(WildcardMatchList("*.txt;*.vpp", "a.vpp", true));
    EXPECT_TRUE(WildcardMatchList(";;*.vpp;", "a.vpp", true));
    EXPECT_FALSE(WildcardMatchList("*.txt;*.doc", "a.vpp", true));
    EXPECT_FALSE(WildcardMatchList("", "a.vpp", true));
}

TEST(PresetWildcard, LongNamesDoNotBlowUp) {
    // A pattern of many stars against a long name that almost matches: bounded work.
    std::string name(5000, 'a');
    EXPECT_FALSE(WildcardMatch("*a*a*a*a*a*a*a*a*b", name, false));
}

TEST(PresetFolder, AddsPresetsBelowTheInstallationFolder) {
    EXPECT_EQ(PresetFolderFromInstallPath("D:\\Prog"), "D:\\Prog\\Presets\\");
    EXPECT_EQ(PresetFolderFromInstallPath("D:\\Prog\\"), "D:\\Prog\\Presets\\");
    EXPECT_EQ(PresetFolderFromInstallPath(""), "");
}
