// The tolerant parser: what it builds from ordinary, sloppy, truncated and hostile sources.
#include <gtest/gtest.h>

#include <string>

#include "presets/XmlDocument.h"

namespace {

const std::string kDecl = "<?xml version=\"1.0\"?>";

std::unique_ptr<CXmlDocument> Parse(const std::string& text) {
    auto document = std::make_unique<CXmlDocument>();
    document->LoadText(text);
    return document;
}

std::string Nested(int levels) {
    std::string text = kDecl;
    for (int i = 0; i < levels; ++i) text += "<e>";
    for (int i = 0; i < levels; ++i) text += "</e>";
    return text;
}

}  // namespace

TEST(XmlParse, MatchesEndTagsByDepthNotByName) {
    auto doc = Parse(kDecl + "<root><A><B x=\"1\"></C></D><E/></root>");
    ASSERT_EQ(doc->GetStatus(), XML_STATUS_OK);
    CXmlElement* root = doc->GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), "root");
    ASSERT_EQ(root->GetChildCount(), 2);
    EXPECT_EQ(root->GetChild(0)->GetName(), "A");
    EXPECT_EQ(root->GetChild(0)->GetChild(0)->FindAttribute("x")->GetValue(), "1");
    EXPECT_EQ(root->GetChild(1)->GetName(), "E");
}

TEST(XmlParse, TrimsAndPositionsTextCommentsAndCData) {
    auto doc = Parse(kDecl + "<r>\r\n\t  x  <!-- c --><a/> y\n<![CDATA[1<2 & 3]]><b/></r>");
    CXmlElement* r = doc->GetRoot();
    ASSERT_EQ(r->GetTexts().size(), 2u);
    EXPECT_EQ(r->GetTexts()[0]->GetText(), "x");
    EXPECT_EQ(r->GetTexts()[0]->GetPosition(), 0);
    EXPECT_EQ(r->GetTexts()[1]->GetText(), "y");
    EXPECT_EQ(r->GetTexts()[1]->GetPosition(), 1);
    ASSERT_EQ(r->GetComments().size(), 1u);
    EXPECT_EQ(r->GetComments()[0]->GetText(), " c ");
    EXPECT_EQ(r->GetComments()[0]->GetPosition(), 0);
    ASSERT_EQ(r->GetCData().size(), 1u);
    EXPECT_EQ(r->GetCData()[0]->GetText(), "1<2 & 3");
    EXPECT_EQ(r->GetCData()[0]->GetPosition(), 1);
}

TEST(XmlParse, ReadsAttributesInDoubleQuotesOnly) {
    auto doc = Parse(kDecl + "<r a = \"1\" b=\"x&amp;y\"\tc=\"\" d='4' e=\"5\" />");
    CXmlElement* r = doc->GetRoot();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->FindAttribute("a")->GetValue(), "1");  // trailing spaces of the name go
    EXPECT_EQ(r->FindAttribute("b")->GetValue(), "x&y");
    EXPECT_EQ(r->FindAttribute("b")->GetRawValue(), "x&amp;y");
    EXPECT_EQ(r->FindAttribute("c")->GetValue(), "");
    // A single quote does not delimit: d takes the next double-quoted text, e is swallowed.
    EXPECT_EQ(r->FindAttribute("d")->GetValue(), "5");
    EXPECT_EQ(r->FindAttribute("e"), nullptr);
}

TEST(XmlParse, LineBreaksInsideATagSeparateAttributes) {
    auto doc = Parse(kDecl + "<r\r\n  a=\"1\"\n  b=\"2\"/>");
    CXmlElement* r = doc->GetRoot();
    EXPECT_EQ(r->GetName(), "r");
    EXPECT_EQ(r->FindAttribute("a")->GetValue(), "1");
    EXPECT_EQ(r->FindAttribute("b")->GetValue(), "2");
}

TEST(XmlParse, SourcesThatAreNotXmlGiveStatusOneAndNoFileName) {
    auto noDecl = Parse("<root><a/></root>");
    EXPECT_EQ(noDecl->GetStatus(), XML_STATUS_NO_DECLARATION);
    EXPECT_FALSE(noDecl->HasFileName());
    EXPECT_EQ(noDecl->GetRoot()->GetChild(0)->GetName(), "a");  // still readable

    for (const char* text : {"just some text", "", "?> but no element"}) {
        auto doc = Parse(text);
        EXPECT_EQ(doc->GetStatus(), XML_STATUS_NO_DECLARATION) << text;
        ASSERT_NE(doc->GetRoot(), nullptr);
        EXPECT_EQ(doc->GetRoot()->GetName(), "root");
        EXPECT_EQ(doc->GetRoot()->GetChildCount(), 0);
    }
}

TEST(XmlParse, ElementWithoutEndIsMalformed) {
    auto unclosedRoot = Parse(kDecl + "<root><a></a>");
    EXPECT_EQ(unclosedRoot->GetStatus(), XML_STATUS_MALFORMED);
    EXPECT_EQ(unclosedRoot->GetRoot(), nullptr);

    auto trailing = Parse(kDecl + "<root><a/></root><tail>");
    EXPECT_EQ(trailing->GetStatus(), XML_STATUS_MALFORMED);
    ASSERT_NE(trailing->GetRoot(), nullptr);  // what was complete remains
    EXPECT_EQ(trailing->GetRoot()->GetChildCount(), 1);
}

TEST(XmlParse, EveryTruncationOfADocumentParsesSafely) {
    const std::string full = kDecl +
                             "<root><!-- note --><VarenWorks><VarenGlaze Version=\"2.1.0\">"
                             "<P Mod=\"1\" Disp=\"1\"/><![CDATA[data]]>text</VarenGlaze>"
                             "</VarenWorks></root>";
    for (size_t n = 0; n <= full.size(); ++n) {
        auto doc = Parse(full.substr(0, n));
        if (n < full.size()) {
            EXPECT_NE(doc->GetStatus(), XML_STATUS_OK) << n;
        }
        doc->ToText();  // writing whatever was built must be safe too
    }
    EXPECT_EQ(Parse(full)->GetStatus(), XML_STATUS_OK);
}

TEST(XmlParse, UnterminatedConstructsDoNotReadPastTheEnd) {
    for (const char* tail : {"<", "<!--", "<!-- x", "<![CDATA[", "<![CDATA[abc]]", "<a x=\"1",
                             "<a x=\"", "</", "<?pi", "<r>&#x41"}) {
        auto doc = Parse(kDecl + "<root>" + tail);
        EXPECT_EQ(doc->GetStatus(), XML_STATUS_MALFORMED) << tail;
    }
}

TEST(XmlParse, NestingBeyondTheLimitIsMalformed) {
    EXPECT_EQ(Parse(Nested(CXmlDocument::kMaxDepth))->GetStatus(), XML_STATUS_OK);
    EXPECT_EQ(Parse(Nested(CXmlDocument::kMaxDepth + 1))->GetStatus(), XML_STATUS_MALFORMED);
    // Deep enough to overflow the stack of a naively recursive parser.
    std::string deep = kDecl;
    for (int i = 0; i < 200000; ++i) deep += "<e>";
    EXPECT_EQ(Parse(deep)->GetStatus(), XML_STATUS_MALFORMED);
    std::string deepEmpty = Nested(CXmlDocument::kMaxDepth);
    deepEmpty.insert(deepEmpty.size() / 2, "<x/>");
    EXPECT_EQ(Parse(deepEmpty)->GetStatus(), XML_STATUS_MALFORMED);
}

TEST(XmlParse, LargeDocumentsParseWithinTheNodeLimit) {
    std::string wide = kDecl + "<root>";
    for (int i = 0; i < 60000; ++i) wide += "<p a=\"1\"/>";
    wide += "</root>";
    auto doc = Parse(wide);
    EXPECT_EQ(doc->GetStatus(), XML_STATUS_OK);
    EXPECT_EQ(doc->GetRoot()->GetChildCount(), 60000);

    std::string tooMany = kDecl + "<root>";
    for (size_t i = 0; i <= CXmlDocument::kMaxNodes; ++i) tooMany += "<p/>";
    tooMany += "</root>";
    EXPECT_EQ(Parse(tooMany)->GetStatus(), XML_STATUS_MALFORMED);
}

TEST(XmlParse, TopLevelKeepsOneRootAndThePrologComments) {
    auto doc = Parse(kDecl + "<!--before--><!DOCTYPE x><?pi x?><a/><b></b><c></c><!--after-->");
    ASSERT_NE(doc->GetRoot(), nullptr);
    EXPECT_EQ(doc->GetRoot()->GetName(), "c");  // the last element with content
    const auto& comments = doc->GetProlog().GetComments();
    ASSERT_EQ(comments.size(), 2u);
    EXPECT_EQ(comments[0]->GetText(), "before");
    EXPECT_EQ(comments[0]->GetPosition(), 0);
    EXPECT_EQ(comments[1]->GetText(), "after");
    EXPECT_EQ(comments[1]->GetPosition(), 1);
    EXPECT_EQ(Parse(kDecl + "<a/><b/>")->GetRoot()->GetName(), "a");  // else the first empty
}

TEST(XmlParse, DeclarationRunsToTheFirstQuestionMarkBracket) {
    auto doc = Parse("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"latin1\"?><r/>");
    EXPECT_EQ(doc->GetStatus(), XML_STATUS_OK);
    EXPECT_EQ(doc->GetProlog().GetDeclaration(),
              "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"latin1\"?>");
    EXPECT_EQ(doc->GetRoot()->GetName(), "r");
}

TEST(XmlParse, Utf16LittleEndianReadsLikeUtf8) {
    std::string utf8 = kDecl + "<r n=\"caf\xC3\xA9 \xF0\x9F\x98\x80\"/>";
    std::u16string wide = u"<?xml version=\"1.0\"?><r n=\"caf\u00E9 \U0001F600\"/>";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    bytes += std::string("\0\0<junk/>", 9);  // ends at the first zero code unit
    auto fromWide = Parse(bytes);
    auto fromNarrow = Parse(utf8);
    EXPECT_EQ(fromWide->GetStatus(), XML_STATUS_OK);
    EXPECT_EQ(fromWide->GetRoot()->FindAttribute("n")->GetValue(),
              fromNarrow->GetRoot()->FindAttribute("n")->GetValue());
    EXPECT_EQ(fromWide->GetProlog().GetDeclaration().substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(fromWide->ToText(), fromNarrow->ToText());
}

TEST(XmlParse, ZeroByteEndsTheText) {
    auto doc = Parse(kDecl + std::string("<r/>\0<other></other>", 20));
    EXPECT_EQ(doc->GetRoot()->GetName(), "r");
}

TEST(XmlParse, TagsWithoutNameAreNotElements) {
    // Written back, an element without name would read as an end tag.
    auto doc = Parse(kDecl + "<root><>text<a/>< x=\"1\"/><\"q\"/></root>");
    ASSERT_EQ(doc->GetStatus(), XML_STATUS_OK);
    ASSERT_EQ(doc->GetRoot()->GetChildCount(), 1);
    EXPECT_EQ(doc->GetRoot()->GetChild(0)->GetName(), "a");
}
