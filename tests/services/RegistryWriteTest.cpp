// Write-through: each assignment stores its value with its type at once, when the key allows.
#include <gtest/gtest.h>

#include <string>

#include "RegistryTestKey.h"
#include "RegistryWin.h"

using RegistryWrite = RegistryTestKey;

TEST_F(RegistryWrite, AssignmentsStoreTheirTypeAndExactBytes) {
    for (DWORD flags :
         {CRegistry::CreateIfMissing, CRegistry::CreateIfMissing | CRegistry::OpenOnDemand}) {
        RegDeleteTreeA(HKEY_CURRENT_USER, Path());
        CRegistry reg(flags);
        ASSERT_TRUE(reg.Open(Path(), HKEY_CURRENT_USER, KEY_QUERY_VALUE | KEY_SET_VALUE));
        const bool staysOpen = !(flags & CRegistry::OpenOnDemand);
        EXPECT_EQ(reg.IsOpen(), staysOpen);

        reg.LookupEntry("Text").SetText("hello");
        reg.LookupEntry("Number").SetNumber(7);
        reg.LookupEntry("Blob").SetBytes("\x01\0\x02", 3);
        reg.LookupEntry("List").SetTextList("a\0b\0", 5);
        CRegEntry& nothing = reg.LookupEntry("Nothing");
        nothing.SetBytes("x", 0);
        reg.LookupEntry("Long").SetText(std::string(5000, 'l').c_str());
        EXPECT_EQ(reg.IsOpen(), staysOpen);

        const std::pair<const char*, Stored> expected[] = {
            {"Text", {REG_SZ, std::string("hello", 6)}},
            {"Number", {REG_DWORD, std::string("\x07\0\0\0", 4)}},
            {"Blob", {REG_BINARY, std::string("\x01\0\x02", 3)}},
            {"List", {REG_MULTI_SZ, std::string("a\0b\0", 5)}},
            {"Nothing", {REG_NONE, ""}},
            {"Long", {REG_SZ, std::string(2047, 'l') + '\0'}},
        };
        for (const auto& [name, want] : expected) {
            const Stored got = Get(name);
            EXPECT_EQ(got.type, want.type) << name << " flags " << flags;
            EXPECT_EQ(got.data, want.data) << name << " flags " << flags;
        }
        EXPECT_FALSE(nothing.Written());
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
    EXPECT_EQ(Get("v").data, std::string("old", 4));
}
