// Escaping, unescaping and the number conversions attribute values go through.
#include <gtest/gtest.h>

#include "presets/XmlEscape.h"

TEST(XmlEscape, ReplacesMarkupCharactersButKeepsNumericReferences) {
    EXPECT_EQ(XmlEscape("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
    EXPECT_EQ(XmlEscape("&#65;"), "&#65;");
    EXPECT_EQ(XmlEscape("x&"), "x&amp;");
    EXPECT_EQ(XmlEscape("caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(XmlEscape, UnescapeInvertsEscapeForAnyText) {
    const char* samples[] = {"", "plain", "a&b", "<tag attr=\"v\">", "it's", "&amp;", "&&;;"};
    for (const char* sample : samples) EXPECT_EQ(XmlUnescape(XmlEscape(sample)), sample) << sample;
}

TEST(XmlEscape, NumericReferencesBecomeUtf8) {
    EXPECT_EQ(XmlUnescape("&#65;"), "A");
    EXPECT_EQ(XmlUnescape("&#x41;&#X42;"), "AB");
    EXPECT_EQ(XmlUnescape("&#233;"), "\xC3\xA9");
    EXPECT_EQ(XmlUnescape("&#x20AC;"), "\xE2\x82\xAC");
    EXPECT_EQ(XmlUnescape("&#x1F600;"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(XmlUnescape("&#65"), "A");  // a missing ";" at the end of the text
}

TEST(XmlEscape, UnrecognisedReferencesAreLeftAsTheyStand) {
    EXPECT_EQ(XmlUnescape("a & b"), "a & b");
    EXPECT_EQ(XmlUnescape("&nbsp;"), "&nbsp;");
    EXPECT_EQ(XmlUnescape("&#;"), "&#;");
    EXPECT_EQ(XmlUnescape("&#xZZ;"), "&#xZZ;");
    EXPECT_EQ(XmlUnescape("&#12345678901;"), "&#12345678901;");  // more than 10 digits
    EXPECT_EQ(XmlUnescape("&#0;"), "&#0;");
    EXPECT_EQ(XmlUnescape("&#xD800;"), "&#xD800;");
    EXPECT_EQ(XmlUnescape("&#x110000;"), "&#x110000;");
    EXPECT_EQ(XmlUnescape("&"), "&");
    EXPECT_EQ(XmlUnescape("&#"), "&#");
    EXPECT_EQ(XmlUnescape("&am"), "&am");
}

TEST(XmlEscape, IntegersReadLikeTheCRuntime) {
    EXPECT_EQ(XmlToInt("1500"), 1500);
    EXPECT_EQ(XmlToInt("  -7x"), -7);
    EXPECT_EQ(XmlToInt("+12"), 12);
    EXPECT_EQ(XmlToInt("abc"), 0);
    EXPECT_EQ(XmlToInt(""), 0);
    EXPECT_EQ(XmlToInt("2.6"), 2);
    EXPECT_EQ(XmlToInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(XmlToInt("-99999999999999999999"), -2147483647 - 1);
}

TEST(XmlEscape, DecimalsIgnoreLocaleAndRejectNonNumbers) {
    EXPECT_DOUBLE_EQ(XmlToDouble("2.500000"), 2.5);
    EXPECT_DOUBLE_EQ(XmlToDouble(" -0.25 "), -0.25);
    EXPECT_DOUBLE_EQ(XmlToDouble("1e2"), 100.0);
    EXPECT_DOUBLE_EQ(XmlToDouble("3,5"), 3.0);
    EXPECT_DOUBLE_EQ(XmlToDouble(".5"), 0.5);
    EXPECT_EQ(XmlToDouble("nan"), 0.0);
    EXPECT_EQ(XmlToDouble("inf"), 0.0);
    EXPECT_EQ(XmlToDouble("x1"), 0.0);
    EXPECT_EQ(XmlToDouble("1e-999"), 0.0);
    EXPECT_GT(XmlToDouble("1e999"), 1e300);
}
