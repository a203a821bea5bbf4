// Property lists: parsing well-formed and hostile resources, and the PE machine check.
#include "host/PiPL.h"

#include "sdk/PluginInterface.h"

#include <gtest/gtest.h>

#include <string>

namespace vg::host {
namespace {

std::string Le32(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string Prop(const char (&key)[5], std::string data, bool padLength = true) {
    std::string raw = data;
    while (data.size() % 4) data += '\0';
    return Le32(ps::kPhotoshopSignature) + Le32(ps::FourCC(key)) + Le32(0) +
           Le32(uint32_t(padLength ? data.size() : raw.size())) + data;
}

std::string List(const std::vector<std::string>& props) {
    std::string s = std::string("\x01\x00", 2) + Le32(0) + Le32(uint32_t(props.size()));
    for (const auto& p : props) s += p;
    return s;
}

std::string Pascal(const std::string& s) {
    return char(s.size()) + s + '\0';
}

std::vector<std::string> FilterProps(bool padLength = true) {
    return {Prop("kind", Le32(ps::kFilterKind), padLength),
            Prop("vers", Le32(4 << 16), padLength),
            Prop("8664", std::string("PluginMain\0", 11), padLength),
            Prop("name", Pascal("Varen Glaze 2..."), padLength),
            Prop("catg", Pascal("Varen Works"), padLength),
            Prop("mode", std::string("\x10\x00\x00\x00", 4), padLength),
            Prop("enbl", std::string("in (PSHOP_ImageMode, RGBMode, RGB48Mode)\0", 41), padLength),
            Prop("ms32", Le32(1000000) + Le32(1000000), padLength),
            Prop("hstm",
                 Le32(0) + Le32(ps::FourCC("vg20")) + Le32(ps::FourCC("vg20")) +
                     std::string("\x80\x3e", 2) + "0123-uuid" + '\0',
                 padLength)};
}

bool Parse(const std::string& bytes, PlugInInfo* info, std::string* error) {
    return ParsePiPL(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), info, error);
}

TEST(HostPiPL, ReadsEveryPropertyAFilterHostNeeds) {
    for (bool padded : {true, false}) {
        PlugInInfo info;
        std::string error;
        ASSERT_TRUE(Parse(List(FilterProps(padded)), &info, &error)) << error;
        EXPECT_EQ(info.kind, ps::kFilterKind);
        EXPECT_EQ(info.version, 4 << 16);
        EXPECT_EQ(info.entryPoint, "PluginMain");
        EXPECT_EQ(info.name, "Varen Glaze 2...");
        EXPECT_EQ(info.category, "Varen Works");
        EXPECT_TRUE(info.ModeBit(ps::plugInModeRGBColor));
        EXPECT_FALSE(info.ModeBit(ps::plugInModeRGB48));
        EXPECT_FALSE(info.ModeBit(ps::plugInModeGrayScale));
        EXPECT_EQ(info.enable, "in (PSHOP_ImageMode, RGBMode, RGB48Mode)");
        EXPECT_EQ(info.maxRows, 1000000);
        EXPECT_EQ(info.termId, 16000);
        EXPECT_EQ(info.termScope, "0123-uuid");
        EXPECT_EQ(info.keys.size(), 9u);
    }
}

TEST(HostPiPL, RejectsTruncatedAndInconsistentListsWithoutReadingPastThem) {
    const std::string good = List(FilterProps());
    for (size_t n = 0; n < good.size(); ++n) {
        // A copy of exactly n bytes, so that the sanitizer sees any read past the end.
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        PlugInInfo info;
        std::string error;
        EXPECT_FALSE(ParsePiPL(cut.data(), cut.size(), &info, &error)) << n;
        EXPECT_FALSE(error.empty());
    }
    PlugInInfo info;
    std::string error;
    std::string badVersion = good;
    badVersion[2] = 1;
    EXPECT_FALSE(Parse(badVersion, &info, &error));
    std::string hugeCount = good;
    hugeCount.replace(6, 4, Le32(0x7FFFFFFF));
    EXPECT_FALSE(Parse(hugeCount, &info, &error));
    EXPECT_FALSE(Parse(List({Prop("name", std::string("\x40short", 6))}), &info, &error));
    EXPECT_FALSE(Parse(List({Prop("kind", "ab", false)}), &info, &error));
}

TEST(HostPiPL, AcceptsByEnableExpressionFirstThenModesThenSize) {
    PlugInInfo info;
    std::string error;
    ASSERT_TRUE(Parse(List(FilterProps()), &info, &error));
    EnableContext rgb48;
    rgb48.imageMode = ps::plugInModeRGB48;
    rgb48.imageWidth = rgb48.imageHeight = 100;
    // The mode flags say RGB only; the enable expression, which decides, also allows RGB48.
    EXPECT_TRUE(PlugInAccepts(info, rgb48, &error)) << error;
    EnableContext gray = rgb48;
    gray.imageMode = ps::plugInModeGrayScale;
    EXPECT_FALSE(PlugInAccepts(info, gray, &error));
    EXPECT_NE(error.find("GrayScaleMode"), std::string::npos);
    EnableContext huge = rgb48;
    huge.imageWidth = 1000001;
    EXPECT_FALSE(PlugInAccepts(info, huge, &error));

    info.hasEnable = false;  // now the flags decide
    EXPECT_FALSE(PlugInAccepts(info, rgb48, &error));
    rgb48.imageMode = ps::plugInModeRGBColor;
    EXPECT_TRUE(PlugInAccepts(info, rgb48, &error));
    info.hasModes = false;  // neither: every mode
    EXPECT_TRUE(PlugInAccepts(info, gray, &error));
}

TEST(HostPiPL, PeMachineReadsTheHeaderAndRefusesOtherFiles) {
    std::string pe(0x100, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = char(0x80);
    pe.replace(0x80, 6, std::string("PE\0\0\x64\x86", 6));
    auto machine = [](const std::string& s) {
        return PeMachine(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(machine(pe), 0x8664);
    pe[0x84] = char(0x4C);
    pe[0x85] = 0x01;
    EXPECT_EQ(machine(pe), 0x14C);
    EXPECT_EQ(machine(pe.substr(0, 0x84)), 0);  // header cut short
    std::string far = pe;
    far.replace(0x3C, 4, Le32(0xFFFFFFF0));  // offset beyond the data
    EXPECT_EQ(machine(far), 0);
    EXPECT_EQ(machine("plain text, not a PE"), 0);
}

}  // namespace
}  // namespace vg::host
