// The property list, terminology and version resources as the host reads them from the
// built module, byte for byte.
#include "PluginTestPaths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void U16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void U32(Bytes& b, uint32_t v) {
    U16(b, uint16_t(v));
    U16(b, uint16_t(v >> 16));
}

// A four-character code as a little-endian 32-bit value: its characters reversed.
void Code(Bytes& b, const char* c) {
    U32(b, uint32_t(uint8_t(c[0])) << 24 | uint32_t(uint8_t(c[1])) << 16 |
               uint32_t(uint8_t(c[2])) << 8 | uint8_t(c[3]));
}

void Pascal(Bytes& b, const std::string& s) {
    b.push_back(uint8_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}

void CString(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}

void Property(Bytes& pipl, const char* key, Bytes data) {
    while (data.size() % 4) data.push_back(0);
    Code(pipl, "8BIM");
    Code(pipl, key);
    U32(pipl, 0);
    U32(pipl, uint32_t(data.size()));
    pipl.insert(pipl.end(), data.begin(), data.end());
}

Bytes ExpectedPipl() {
    Bytes pipl;
    U16(pipl, 1);
    U32(pipl, 0);
    U32(pipl, 10);
    Bytes d;
    Code(d, "8BFM");
    Property(pipl, "kind", d);
    d.clear();
    Pascal(d, "Varen Glaze 2...");
    d.push_back(0);
    Property(pipl, "name", d);
    d.clear();
    Pascal(d, "Varen Works");
    d.push_back(0);
    Property(pipl, "catg", d);
    d.clear();
    U32(d, 4u << 16);
    Property(pipl, "vers", d);
    d.clear();
    CString(d, "PluginMain");
    Property(pipl, "8664", d);
    d = {0x10, 0x10, 0, 0};
    Property(pipl, "mode", d);
    d.clear();
    U32(d, 0);
    Code(d, "vg20");
    Code(d, "vg20");
    U16(d, 16000);
    CString(d, "8a82653a-9e61-40b7-a16a-013b39024979");
    Property(pipl, "hstm", d);
    d.clear();
    CString(d, "in (PSHOP_ImageMode, RGBMode, RGB48Mode)");
    Property(pipl, "enbl", d);
    d.clear();
    U32(d, 1000000);
    U32(d, 1000000);
    Property(pipl, "ms32", d);
    d = {0x80, 0, 0, 0};
    Property(pipl, "flly", d);
    return pipl;
}

Bytes ExpectedAete() {
    Bytes a;
    U16(a, 1);
    a.push_back(1);  // version 1.0: major, then minor
    a.push_back(0);
    U16(a, 0);
    U16(a, 0);
    U16(a, 1);
    Pascal(a, "Varen Works");
    Pascal(a, "Varen Glaze 2");
    Code(a, "vg20");
    U16(a, 1);
    U16(a, 1);
    U16(a, 1);
    Pascal(a, "Varen Glaze 2...");
    Pascal(a, "Varen Glaze 2");
    Code(a, "vg20");
    Code(a, "vg20");
    Code(a, "null");
    Pascal(a, "");
    U16(a, 0);
    Code(a, "#ImR");
    Pascal(a, "");
    U16(a, 0xB000);
    const struct {
        const char* name;
        const char* key;
        const char* description;
    } params[] = {
        {"Clean Strength", "CIT_", " "},   {"Clean Threshold", "CTH_", " "},
        {"Clean Radius", "CRD_", " "},     {"Edge Accent", "ELA_", " "},
        {"Edge Radius", "ERD_", " "},      {"Edge Sharpness", "ESP_", "Boost weak"},
        {"Texture Strength", "TKT_", " "}, {"Texture Boost", "TBT_", " "},
        {"Texture Size", "TRN_", " "},
    };
    U16(a, 9);
    for (const auto& p : params) {
        Pascal(a, p.name);
        Code(a, p.key);
        Code(a, "doub");
        Pascal(a, p.description);
        U16(a, 0);
    }
    U16(a, 0);
    U16(a, 0);
    U16(a, 0);
    return a;
}

Bytes ResourceBytes(HMODULE module, const char* type) {
    HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(16000), type);
    if (!res)
        return {};
    HGLOBAL data = LoadResource(module, res);
    const auto* p = static_cast<const uint8_t*>(LockResource(data));
    return Bytes(p, p + SizeofResource(module, res));
}

class PluginResources : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = LoadLibraryExA(ModuleWithEngine().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr);
    }
    void TearDown() override { FreeLibrary(m_module); }
    HMODULE m_module = nullptr;
};

TEST_F(PluginResources, PropertyListMatchesByteForByte) {
    EXPECT_EQ(ResourceBytes(m_module, "PiPL"), ExpectedPipl());
}

TEST_F(PluginResources, TerminologyMatchesByteForByte) {
    EXPECT_EQ(ResourceBytes(m_module, "aete"), ExpectedAete());
}

TEST(PluginVersion, FileVersionIs210) {
    const std::string path = ModuleWithEngine();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (2u << 16) | 1u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
}

}  // namespace
