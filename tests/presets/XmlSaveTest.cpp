// The writer's one fixed layout, and documents that survive a save and a reopen.
#include <gtest/gtest.h>

#include "TempFiles.h"
#include "presets/XmlDocument.h"

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>";

std::string Resave(const std::string& text) {
    CXmlDocument document;
    document.LoadText(text);
    return document.ToText();
}

}  // namespace

TEST(XmlSave, WritesTheStandardLayout) {
    CXmlDocument document;
    document.GetRoot()->FindChild("A", true)->FindChild("B", true)->SetAttribute("x", "1");
    EXPECT_EQ(document.ToText(),
              CrLf({kDecl.c_str(), "<root>", "\t<A>", "\t\t<B x=\"1\"/>", "\t</A>", "</root>"}));
}

TEST(XmlSave, ReplacesTheDeclarationAndShortensEmptyElements) {
    EXPECT_EQ(Resave("\xEF\xBB\xBF<?xml version='1.0' encoding='latin1'?><a></a>"),
              CrLf({kDecl.c_str(), "<a/>"}));
}

TEST(XmlSave, PutsItemsBackBetweenTheSameChildren) {
    EXPECT_EQ(Resave("<?xml?><r>t0<!--c0--><a/>t1<![CDATA[d1]]><b/><!--c2--></r>"),
              CrLf({kDecl.c_str(), "<r>", "\t<!--c0-->", "\tt0", "\t<a/>", "\tt1",
                    "\t<![CDATA[d1]]>", "\t<b/>", "\t<!--c2-->", "</r>"}));
    // Without any text item left, CDATA waits until after the last child.
    EXPECT_EQ(Resave("<?xml?><r><![CDATA[d]]><a/></r>"),
              CrLf({kDecl.c_str(), "<r>", "\t<a/>", "\t<![CDATA[d]]>", "</r>"}));
    // Only trimmed text; it goes on its own indented line.
    EXPECT_EQ(Resave("<?xml?><r><a>  x  </a></r>"),
              CrLf({kDecl.c_str(), "<r>", "\t<a>", "\t\tx", "\t</a>", "</r>"}));
}

TEST(XmlSave, WritesPrologCommentsAroundTheRoot) {
    EXPECT_EQ(Resave("<?xml?><!--a--><r/><!--b-->"),
              CrLf({kDecl.c_str(), "<!--a-->", "<r/>", "<!--b-->"}));
}

TEST(XmlSave, SavedDocumentsReopenToTheSameText) {
    const std::string source =
        "<?xml?>\n<!--top--><root a=\"&lt;&amp;&quot;\"><x>text &amp; more<!--c--><y k=\"v\"/>"
        "<![CDATA[<raw>]]>tail</x><z/></root>";
    std::string once = Resave(source);
    EXPECT_EQ(Resave(once), once);
}

TEST(XmlSave, RemovingAChildKeepsTheItemsAroundTheOthers) {
    CXmlDocument document;
    document.LoadText("<?xml?><r><a/><!--after a--><b/><!--after b--><c/></r>");
    CXmlElement* r = document.GetRoot();
    r->RemoveChild(0);
    r->RemoveChild(5);  // out of range: nothing happens
    EXPECT_EQ(document.ToText(), CrLf({kDecl.c_str(), "<r>", "\t<!--after a-->", "\t<b/>",
                                       "\t<!--after b-->", "\t<c/>", "</r>"}));
}

TEST(XmlSave, WritesOnlyDocumentsThatMayReplaceTheirFile) {
    CTempDir dir;
    const std::string path = dir.File("doc.xml");

    CXmlDocument missing(path);  // a missing file gives a new document that keeps the name
    EXPECT_EQ(missing.GetStatus(), XML_STATUS_OK);
    EXPECT_TRUE(missing.Save());
    EXPECT_EQ(ReadBytes(path), CrLf({kDecl.c_str(), "<root/>"}));

    WriteBytes(path, "<?xml?><root><a></a>");  // malformed: saving would lose the rest
    CXmlDocument malformed(path);
    EXPECT_EQ(malformed.GetStatus(), XML_STATUS_MALFORMED);
    EXPECT_FALSE(malformed.Save());
    EXPECT_EQ(ReadBytes(path), "<?xml?><root><a></a>");

    CXmlDocument inFolderThatIsMissing(dir.File("no-such-folder/doc.xml"));
    EXPECT_FALSE(inFolderThatIsMissing.Save());
    CXmlDocument unnamed;
    EXPECT_FALSE(unnamed.Save());
}

TEST(XmlSave, Utf16FileIsWrittenBackAsUtf8WithoutMark) {
    CTempDir dir;
    const std::string path = dir.File("wide.xml");
    std::u16string wide = u"<?xml version=\"1.0\"?><r v=\"\u00E9\"/>";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    WriteBytes(path, bytes);
    CXmlDocument document(path);
    ASSERT_TRUE(document.Save());
    EXPECT_EQ(ReadBytes(path), CrLf({kDecl.c_str(), "<r v=\"\xC3\xA9\"/>"}));
}

TEST(XmlSave, OversizedFileIsNeitherParsedNorOverwritten) {
    CTempDir dir;
    const std::string path = dir.File("big.xml");
    std::string big = "<?xml?><root>" + std::string(CXmlDocument::kMaxFileSize, ' ') + "</root>";
    WriteBytes(path, big);
    CXmlDocument document(path);
    EXPECT_EQ(document.GetStatus(), XML_STATUS_MALFORMED);
    EXPECT_EQ(document.GetRoot(), nullptr);
    EXPECT_FALSE(document.Save());
    EXPECT_EQ(ReadBytes(path).size(), big.size());
}
