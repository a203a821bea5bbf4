// Descriptors: the binary form in handles and the text form of descriptor files.
#include "host/Descriptor.h"

#include "sdk/PluginInterface.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vg::host {
namespace {

CDescriptor Sample() {
    CDescriptor d;
    auto add = [&](const char(&key)[5], uint32_t type) -> DescriptorItem& {
        DescriptorItem it;
        it.key = ps::FourCC(key);
        it.type = type;
        d.items.push_back(it);
        return d.items.back();
    };
    add("CIT_", ps::typeFloat).number = 4.25;
    add("CRD_", ps::typeFloat).number = 1e-300;
    DescriptorItem& u = add("ERD_", ps::typeUnitFloat);
    u.unit = ps::unitPixels;
    u.number = -1.5;
    add("tile", ps::typeInteger).integer = -2147483647 - 1;
    add("flag", ps::typeBoolean).integer = 1;
    DescriptorItem& e = add("mode", ps::typeEnumerated);
    e.enumType = ps::FourCC("Md  ");
    e.enumValue = ps::FourCC("RGBC");
    add("clss", ps::typeClass).enumValue = ps::FourCC("Objc");
    add("name", ps::typeChar).text =
        std::string("quote \" backslash \\ newline \n nul \0 high \xE9", 40);
    DescriptorItem& o = add("obj1", ps::typeObject);
    o.enumValue = ps::FourCC("null");
    o.text = "VGds";
    return d;
}

TEST(HostDescriptor, BinaryAndTextFormsRoundTripEveryType) {
    const CDescriptor d = Sample();
    CDescriptor back;
    std::string error;
    ASSERT_TRUE(CDescriptor::Decode(d.Encode(), &back, &error)) << error;
    EXPECT_EQ(back.items, d.items);

    const std::string text = d.ToText();
    CDescriptor fromText;
    ASSERT_TRUE(CDescriptor::FromText(text, &fromText, &error)) << error << "\n" << text;
    EXPECT_EQ(fromText.items, d.items) << text;
    EXPECT_NE(text.find("CIT_ doub 4.25\n"), std::string::npos) << text;
    EXPECT_NE(text.find("mode enum 0x4D642020 RGBC\n"), std::string::npos)
        << text;  // trailing spaces
}

TEST(HostDescriptor, HostileBytesAreRefused) {
    const std::string good = Sample().Encode();
    CDescriptor out;
    out.SetFloat(ps::FourCC("keep"), 1);
    std::string error;
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(CDescriptor::Decode(good.substr(0, n), &out, &error)) << n;
    EXPECT_FALSE(CDescriptor::Decode(good + "x", &out, &error));
    std::string huge = good;
    huge.replace(4, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    EXPECT_FALSE(CDescriptor::Decode(huge, &out, &error));
    std::string longText = CDescriptor().Encode();
    longText.replace(4, 4, std::string("\x01\0\0\0", 4));
    longText += std::string(32, '\0') + std::string("\xFF\xFF\xFF\xFF", 4);
    EXPECT_FALSE(CDescriptor::Decode(longText, &out, &error));
    ASSERT_EQ(out.items.size(), 1u);  // untouched by every failure
}

// A handle's bytes may carry values in fields its type does not use, or a boolean other than
// 0/1 (256 would read as false through a one-byte Boolean); decoding keeps only what the type
// means, so the binary and text forms of one descriptor always agree.
TEST(HostDescriptor, DecodingKeepsOnlyWhatEachTypeMeans) {
    CDescriptor raw;
    DescriptorItem b;
    b.key = ps::FourCC("flag");
    b.type = ps::typeBoolean;
    b.integer = 256;
    b.number = 3;
    raw.items.push_back(b);
    DescriptorItem f;
    f.key = ps::FourCC("CIT_");
    f.type = ps::typeFloat;
    f.number = 4;
    f.enumType = 7;
    f.text = "junk";
    raw.items.push_back(f);
    CDescriptor d, t;
    std::string error;
    ASSERT_TRUE(CDescriptor::Decode(raw.Encode(), &d, &error)) << error;
    EXPECT_EQ(d.items[0].integer, 1);
    EXPECT_EQ(d.items[0].number, 0);
    EXPECT_EQ(d.items[1].enumType, 0u);
    EXPECT_TRUE(d.items[1].text.empty());
    ASSERT_TRUE(CDescriptor::FromText(d.ToText(), &t, &error)) << error;
    EXPECT_EQ(t.Encode(), d.Encode());
    // A type with no text form would be recorded as a line that cannot be read back.
    raw.items[1].type = ps::FourCC("Untn");
    EXPECT_FALSE(CDescriptor::Decode(raw.Encode(), &d, &error));
    EXPECT_FALSE(CDescriptor::FromText("flag bool\n", &t, &error));  // value missing
    EXPECT_EQ(FormatFourCC(ps::FourCC("Md !")), "0x4D642021");  // a space would split the line
    raw.items[1].type = ps::typeFloat;  // numbers: subnormals read back, NaN is refused
    raw.items[1].number = 1.390671161567e-309;
    ASSERT_TRUE(CDescriptor::Decode(raw.Encode(), &d, &error)) << error;
    ASSERT_TRUE(CDescriptor::FromText(d.ToText(), &t, &error)) << error;
    EXPECT_EQ(t.items[1].number, raw.items[1].number);
    raw.items[1].number = std::nan("");
    EXPECT_FALSE(CDescriptor::Decode(raw.Encode(), &d, &error));
}

TEST(HostDescriptor, TextErrorsNameTheLine) {
    CDescriptor out;
    std::string error;
    struct Bad {
        const char* text;
        const char* says;
    } bad[] = {{"CIT_ doub 4\nCRD_ doub four\n", "line 2"},
               {"TOOLONG doub 1\n", "bad key"},
               {"CIT_ xxxx 1\n", "unsupported type"},
               {"CIT_ doub\n", "expected KEY TYPE VALUE"},
               {"name TEXT \"open\n", "unterminated"},
               {"name TEXT unquoted\n", "bad value"},
               {"tile long 99999999999\n", "bad value"},
               {"name TEXT \"\\xZZ\"\n", "escape"},
               {"CIT_ doub inf\n", "bad value"}};
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.text);
        EXPECT_FALSE(CDescriptor::FromText(b.text, &out, &error));
        EXPECT_NE(error.find(b.says), std::string::npos) << error;
    }
    ASSERT_TRUE(
        CDescriptor::FromText("# only comments\n\n   \r\nCIT_ doub 2 # tail\r\n", &out, &error))
        << error;
    ASSERT_EQ(out.items.size(), 1u);
    EXPECT_EQ(out.items[0].number, 2.0);
}

}  // namespace
}  // namespace vg::host
