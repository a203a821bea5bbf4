// Loading a key into the cache: the handled types, case-insensitive lookup, skipped values,
// reloading, and that loading never writes back.
#include <gtest/gtest.h>

#include <string>

#include "RegistryTestKey.h"
#include "RegistryWin.h"

using RegistryLoad = RegistryTestKey;

TEST_F(RegistryLoad, LoadsEachHandledTypeAndFindsItInAnyCase) {
    PutText("Name", "hello");
    PutText("", "default");
    PutNumber("Seven", 7);
    Put("Blob", REG_BINARY, "42\0\x09", 4);
    Put("List", REG_MULTI_SZ, "a\0b\0", 5);
    Put("Short", REG_MULTI_SZ, "\0\0", 2);

    CRegistry reg(0);
    ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE | KEY_SET_VALUE));
    ASSERT_EQ(reg.EntryCount(), 6u);
    EXPECT_STREQ(reg.LookupEntry("NAME").GetText(), "hello");
    EXPECT_STREQ(reg.LookupEntry("").GetText(), "default");
    CRegEntry& seven = reg.LookupEntry("sEVEN");
    EXPECT_STREQ(seven.GetText(), "7");
    EXPECT_TRUE(seven.GetBool());
    EXPECT_EQ(reg.LookupEntry("blob").GetInt(), 42);
    EXPECT_EQ(reg.LookupEntry("list").TextList(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(reg.LookupEntry("SHORT").Type(), RegType::TextList);
    EXPECT_TRUE(reg.LookupEntry("short").TextList().empty());
    EXPECT_EQ(reg.EntryCount(), 6u);  // every lookup found its loaded entry
}

TEST_F(RegistryLoad, SkipsOversizedOddTypedAndMalformedValues) {
    PutText("Huge", std::string(3000, 'h'));
    PutText(std::string(300, 'n').c_str(), "long name");
    const std::string longestName(259, 'm');
    PutText(longestName.c_str(), "kept");
    Put("Expand", REG_EXPAND_SZ, "%TEMP%", 7);
    Put("Qword", REG_QWORD, "\x05\0\0\0\0\0\0\0", 8);
    Put("ShortNumber", REG_DWORD, "\x07\0", 2);
    Put("EmptyBlob", REG_BINARY, nullptr, 0);
    const std::string full(2047, 'f');  // with its terminator, fills the buffer exactly
    PutText("Full", full);
    Put("Raw", REG_SZ, "abc", 3);

    CRegistry reg(0);
    ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    EXPECT_EQ(reg.EntryCount(), 3u);  // skipped values add no entry
    EXPECT_STREQ(reg.LookupEntry(longestName.c_str()).GetText(), "kept");
    EXPECT_TRUE(reg.LookupEntry("full").GetText() == full);
    EXPECT_STREQ(reg.LookupEntry("raw").GetText(), "abc");
    for (const char* skipped : {"Huge", "Expand", "Qword", "ShortNumber", "EmptyBlob"}) {
        CRegEntry& e = reg.LookupEntry(skipped);
        EXPECT_EQ(e.Type(), RegType::None) << skipped;
        EXPECT_STREQ(e.GetText(), "") << skipped;
        EXPECT_FALSE(e.GetBool()) << skipped;
    }
}

TEST_F(RegistryLoad, LoadingWritesNothingBack) {
    // Values that a write-back would change: no terminator, padding after the list.
    Put("Raw", REG_SZ, "abc", 3);
    Put("Padded", REG_MULTI_SZ, "a\0\0zz\0", 7);
    const std::string raw = Get("Raw").data;
    const std::string padded = Get("Padded").data;
    for (DWORD flags : {DWORD{0}, CRegistry::CreateIfMissing | CRegistry::OpenOnDemand,
                        CRegistry::RefreshOnRead}) {
        CRegistry reg(flags);
        ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE | KEY_SET_VALUE));
        EXPECT_STREQ(reg.LookupEntry("raw").GetText(), "abc");
        EXPECT_EQ(Get("Raw").data, raw) << flags;
        EXPECT_EQ(Get("Padded").data, padded) << flags;
    }
}

TEST_F(RegistryLoad, RefreshOnReadSeesChangesMadeElsewhere) {
    PutText("v", "1");
    CRegistry plain(0);
    CRegistry refresh(CRegistry::RefreshOnRead);
    CRegistry onDemand(CRegistry::RefreshOnRead | CRegistry::OpenOnDemand);
    for (CRegistry* reg : {&plain, &refresh, &onDemand}) {
        ASSERT_TRUE(reg->Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    }
    PutNumber("V", 2);
    EXPECT_EQ(plain.LookupEntry("v").GetInt(), 1);
    EXPECT_EQ(refresh.LookupEntry("v").GetInt(), 2);
    EXPECT_STREQ(onDemand.LookupEntry("v").GetText(), "2");
    EXPECT_FALSE(onDemand.IsOpen());
}
