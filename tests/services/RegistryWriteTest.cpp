// Write-through: each assignment stores its value with its type at once, when the key allows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "RegistryTestKey.h"
#include "RegistryWin.h"

using RegistryWrite = RegistryTestKey;

namespace {
const std::vector<BYTE> Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const BYTE*>(p);
    return std::vector<BYTE>(b, b + n);
}
}  // namespace

TEST_F(RegistryWrite, AssignmentsStoreTheirTypeAndExactBytes) {
    for (DWORD flags :
         {CRegistry::CreateIfMissing, CRegistry::CreateIfMissing | CRegistry::OpenOnDemand}) {
        RegDeleteTreeA(HKEY_CURRENT_USER, Path());
        CRegistry reg(flags);
        ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE | KEY_SET_VALUE));
        EXPECT_EQ(reg.IsOpen(), !(flags & CRegistry::OpenOnDemand));

        reg.LookupEntry("Text").SetText("hello");
        reg.LookupEntry("Number").SetNumber(7);
        const BYTE blob[] = {1, 0, 2};
        reg.LookupEntry("Blob").SetBytes(blob, sizeof blob);
        reg.LookupEntry("List").SetTextList("a\0b\0", 5);
        CRegEntry& nothing = reg.LookupEntry("Nothing");
        nothing.SetBytes(blob, 0);
        reg.LookupEntry("Long").SetText(std::string(5000, 'l').c_str());
        EXPECT_EQ(reg.IsOpen(), !(flags & CRegistry::OpenOnDemand));

        Stored s = Get("Text");
        EXPECT_EQ(s.type, DWORD{REG_SZ});
        EXPECT_EQ(s.data, Bytes("hello", 6));
        s = Get("Number");
        EXPECT_EQ(s.type, DWORD{REG_DWORD});
        EXPECT_EQ(s.data, Bytes("\x07\0\0\0", 4));
        s = Get("Blob");
        EXPECT_EQ(s.type, DWORD{REG_BINARY});
        EXPECT_EQ(s.data, Bytes(blob, 3));
        s = Get("List");
        EXPECT_EQ(s.type, DWORD{REG_MULTI_SZ});
        EXPECT_EQ(s.data, Bytes("a\0b\0", 5));
        EXPECT_FALSE(Get("Nothing").present);
        EXPECT_FALSE(nothing.Written());
        EXPECT_EQ(Get("Long").data.size(), 2048u);

        // A new registry object reads back what was written.
        CRegistry again(0);
        ASSERT_TRUE(again.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
        EXPECT_STREQ(again.LookupEntry("text").GetText(), "hello");
        EXPECT_EQ(again.LookupEntry("number").GetInt(), 7);
        EXPECT_EQ(again.LookupEntry("list").TextList(), (std::vector<std::string>{"a", "b"}));
    }
}

TEST_F(RegistryWrite, KeyOpenedForQueryOnlyKeepsTheValueInTheCacheOnly) {
    PutText("v", "old");
    CRegistry reg(0);
    ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE));
    CRegEntry& v = reg.LookupEntry("v");
    v.SetText("new");
    EXPECT_TRUE(v.Written());
    EXPECT_STREQ(v.GetText(), "new");
    EXPECT_EQ(AsText(Get("v")), std::string("old", 4));
}

TEST_F(RegistryWrite, OnlyCreateIfMissingCreatesTheKey) {
    CRegistry noCreate(0);
    EXPECT_FALSE(noCreate.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE | KEY_SET_VALUE));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, Path()));
    CRegistry create(CRegistry::CreateIfMissing);
    EXPECT_TRUE(create.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE | KEY_SET_VALUE));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, Path()));
}
