// The entry cache across opens: which opens keep it, which discard it, and what a failed open
// leaves readable.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "RegistryTestKey.h"
#include "RegistryWin.h"

using RegistryCache = RegistryTestKey;

TEST_F(RegistryCache, ReopeningTheSamePathInAnyCaseKeepsEntries) {
    PutText("vwskin", "5");
    CRegistry reg(0);
    ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    CRegEntry& skin = reg.LookupEntry("VWSKIN");
    CRegEntry& added = reg.LookupEntry("notStored");

    PutText("vwskin", "6");
    std::string upper = Path();
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    ASSERT_TRUE(reg.Open(upper.c_str(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    EXPECT_EQ(reg.EntryCount(), 2u);
    EXPECT_EQ(&reg.LookupEntry("vwskin"), &skin);
    EXPECT_EQ(&reg.LookupEntry("notstored"), &added);
    EXPECT_EQ(skin.GetInt(), 6);  // a fresh open reloads into the kept entries
}

TEST_F(RegistryCache, OpeningAnotherKeyDiscardsEntries) {
    PutText("onlyHere", "1");
    const std::string other = Sibling("Other");
    Put(HKEY_CURRENT_USER, other, "elsewhere", REG_SZ, "2", 2);

    CRegistry reg(0);
    ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    ASSERT_TRUE(reg.Open(other.c_str(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    EXPECT_EQ(reg.EntryCount(), 1u);
    EXPECT_EQ(reg.LookupEntry("onlyHere").Type(), RegType::None);

    // The same path text below another root is another key too.
    ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    EXPECT_FALSE(reg.Open(Path(), HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE));
    EXPECT_EQ(reg.EntryCount(), 0u);
}

TEST_F(RegistryCache, OpensAKeyNamedByAnEntryItDiscards) {
    // The path text lives in an entry of the key being left, which the open deletes.
    const std::string other = Sibling("Other");
    PutText("next", other);
    Put(HKEY_CURRENT_USER, other, "there", REG_SZ, "1", 2);
    CRegistry reg(0);
    ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    CRegEntry& next = reg.LookupEntry("next");
    ASSERT_TRUE(reg.Open(next.GetText(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    EXPECT_EQ(reg.EntryCount(), 1u);
    EXPECT_EQ(reg.LookupEntry("there").GetInt(), 1);

    // So does a looked-up name used as the path.
    const std::string third = Sibling("Third");
    Put(HKEY_CURRENT_USER, third, "v", REG_SZ, "3", 2);
    ASSERT_TRUE(
        reg.Open(reg.LookupEntry(third.c_str()).Name(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    EXPECT_EQ(reg.LookupEntry("v").GetInt(), 3);
}

TEST_F(RegistryCache, FailedOpenLeavesEmptyReadableEntriesAndCreatesNothing) {
    EXPECT_FALSE(CRegistry::KeyExists(Path(), HKEY_CURRENT_USER));
    CRegistry reg(0);
    EXPECT_FALSE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE | KEY_SET_VALUE));
    CRegEntry& e = reg.LookupEntry("vwphelp");
    EXPECT_STREQ(e.GetText(), "");
    EXPECT_FALSE(e.GetBool());
    e.SetText("1");  // cached, with no key to write to
    EXPECT_STREQ(e.GetText(), "1");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, Path()));

    CRegistry onDemand(CRegistry::OpenOnDemand);
    EXPECT_FALSE(onDemand.EnsureOpen(KEY_QUERY_VALUE));  // nothing opened yet to reopen
    PutText("a", "1");
    EXPECT_TRUE(CRegistry::KeyExists(Path(), HKEY_CURRENT_USER));
}

TEST_F(RegistryCache, LookupCutsLongNamesAndFoldsAnsiLetters) {
    CRegistry reg(0);
    const std::string longName(3000, 'x');
    CRegEntry& e = reg.LookupEntry(longName.c_str());
    EXPECT_EQ(std::string(e.Name()).size(), CRegEntry::kNameSize - 1);
    EXPECT_EQ(&reg.LookupEntry(longName.c_str()), &e);
    if (GetACP() == 1252) {
        EXPECT_EQ(&reg.LookupEntry("caf\xe9"), &reg.LookupEntry("CAF\xc9"));
        EXPECT_EQ(reg.EntryCount(), 2u);
    }
}
