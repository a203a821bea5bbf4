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
    {
        PlugInInfo info;
        std::string error;
        ASSERT_TRUE(Parse(List(FilterProps()), &info, &error)) << error;
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

// Hosts that advance by the stored length without rounding misread every property after an
// unpadded one, so such a list is refused rather than silently repaired.
TEST(HostPiPL, RefusesPropertyLengthsThatAreNotPaddedToFourBytes) {
    PlugInInfo info;
    std::string error;
    EXPECT_FALSE(Parse(List(FilterProps(false)), &info, &error));
    EXPECT_NE(error.find("padded"), std::string::npos) << error;
    EXPECT_FALSE(Parse(List({Prop("kind", Le32(ps::kFilterKind)), Prop("8664", std::string("Main\0", 5), false),
                             Prop("name", Pascal("ab"))}),
                       &info, &error));
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

// Hosts differ: some let the enable expression decide alone, others first require the mode
// flag and then also evaluate the expression, and treat missing flags as "no modes" unless the
// expression is exactly "true". A plug-in is offered only where all of them would offer it.
TEST(HostPiPL, AcceptsOnlyWhereTheModeFlagsTheEnableExpressionAndTheSizesAllAgree) {
    PlugInInfo info;
    std::string error;
    ASSERT_TRUE(Parse(List(FilterProps()), &info, &error));
    EnableContext rgb;
    rgb.imageMode = ps::plugInModeRGBColor;
    rgb.imageWidth = rgb.imageHeight = 100;
    EXPECT_TRUE(PlugInAccepts(info, rgb, &error)) << error;
    // The expression allows RGB48 but the flags say RGB only: refused, and the reason says so.
    EnableContext rgb48 = rgb;
    rgb48.imageMode = ps::plugInModeRGB48;
    EXPECT_FALSE(PlugInAccepts(info, rgb48, &error));
    EXPECT_NE(error.find("mode flags"), std::string::npos) << error;
    info.modes[1] = 0x10;  // RGB48 flag set: now both agree
    EXPECT_TRUE(PlugInAccepts(info, rgb48, &error)) << error;
    // The flags allow gray but the expression does not.
    EnableContext gray = rgb;
    gray.imageMode = ps::plugInModeGrayScale;
    info.modes[0] |= 0x40;
    EXPECT_FALSE(PlugInAccepts(info, gray, &error));
    EXPECT_NE(error.find("GrayScaleMode"), std::string::npos);
    EnableContext huge = rgb;
    huge.imageWidth = 1000001;
    EXPECT_FALSE(PlugInAccepts(info, huge, &error));

    info.hasEnable = false;  // flags alone
    EXPECT_TRUE(PlugInAccepts(info, gray, &error)) << error;
    info.hasModes = false;  // neither: no modes
    EXPECT_FALSE(PlugInAccepts(info, rgb, &error));
    info.hasEnable = true;
    info.enable = "in (PSHOP_ImageMode, RGBMode)";  // an expression alone is not enough
    EXPECT_FALSE(PlugInAccepts(info, rgb, &error));
    info.enable = " true ";  // except the literal that enables everything
    EXPECT_TRUE(PlugInAccepts(info, gray, &error)) << error;
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
