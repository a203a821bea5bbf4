// The tooltip markup: tokens and entities, colours, the style sheet, and layout (lines,
// wrapping, alignment, links, images, tables) with fixed metrics, including every help text
// of the dialog as the module's string table holds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "HtmlColor.h"
#include "HtmlFakeEnvironment.h"
#include "HtmlLayout.h"
#include "HtmlMarkup.h"
#include "HtmlStyle.h"

using namespace html;

namespace {

std::string Repr(const std::vector<Token>& tokens) {
    std::string out;
    for (const Token& t : tokens) {
        if (t.kind == Token::Kind::Text) {
            out += "[" + t.text + "]";
            continue;
        }
        out += t.kind == Token::Kind::Close ? "</" : "<";
        out += t.text;
        for (const Attribute& a : t.attributes) {
            out += " " + a.name + "=" + a.value;
        }
        out += ">";
    }
    return out;
}

struct Fixture {
    StyleSheet sheet;
    Style base;
    CFakeHtmlEnvironment env;
    Fixture() {
        sheet.Parse(StyleSheet::DefaultText());
        sheet.Apply("body", base, base, nullptr);
    }
    Document Lay(const std::string& markup, int32_t maxWidth = 0, int hover = -1) {
        LayoutOptions options;
        options.maxWidth = maxWidth;
        options.hoverLink = hover;
        return Layout(Tokenize(markup), sheet, base, env, options);
    }
};

// The text of each line, pieces separated by one blank where a gap lies between them.
std::vector<std::string> TextLines(const Document& doc) {
    std::map<int32_t, std::vector<const DrawItem*>> byLine;
    for (const DrawItem& item : doc.items) {
        if (item.kind == DrawItem::Kind::Text) {
            byLine[item.box.top].push_back(&item);
        }
    }
    std::vector<std::string> lines;
    for (auto& [top, items] : byLine) {
        std::sort(items.begin(), items.end(),
                  [](const DrawItem* a, const DrawItem* b) { return a->box.left < b->box.left; });
        std::string line;
        int32_t right = 0;
        for (const DrawItem* item : items) {
            if (!line.empty() && item->box.left > right) {
                line += ' ';
            }
            line += item->text;
            right = item->box.right;
        }
        lines.push_back(line);
    }
    return lines;
}

// The help texts as the resource script writes them, with its escapes undone.
std::map<std::string, std::string> HelpTexts() {
    std::ifstream in(VG_SOURCE_DIR "/resources/HelpText.rc");
    std::map<std::string, std::string> texts;
    std::string line;
    while (std::getline(in, line)) {
        const size_t id = line.find("IDS_");
        const size_t open = line.find('"');
        if (id == std::string::npos || open == std::string::npos) {
            continue;
        }
        std::string name = line.substr(id, line.find(' ', id) - id);
        std::string text;
        for (size_t i = open + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            } else if (line[i] == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    text += '"';
                    ++i;
                } else {
                    break;
                }
            } else {
                text += line[i];
            }
        }
        texts[name] = text;
    }
    return texts;
}

}  // namespace

TEST(HtmlMarkup, TokensEntitiesAndEscapes) {
    struct Case {
        const char* markup;
        const char* tokens;
    };
    const Case cases[] = {
        {"a<<b", "[a<b]"},
        {"A value <<1 and >1", "[A value <1 and >1]"},
        {"&lt;b&gt; &amp;lt;", "[<b> &lt;]"},
        {"x&bogus;y&amp", "[x&bogus;y&amp]"},
        {"&bull;&copy;&euro;&iquest;&para;&pound;&reg;&trade;&nbsp;&quot;",
         "[\x95\xA9\x80\xBF\xB6\xA3\xAE\x99 \"]"},
        {"one\ntwo\tz\r\n", "[one]<br>[two]<t>[z]<br>"},
        {"<B Color=Red>x</b>", "<b color=Red>[x]</b>"},
        {"<font color='#ff0000' face=\"MS Sans\" size=12>",
         "<font color=#ff0000 face=MS Sans size=12>"},
        {"<a href=\"x>y\">go</a>", "<a href=x>y>[go]</a>"},
        {"<span style=\"color:red; font-size:12pt\">", "<span style=color:red; font-size:12pt>"},
        {"a < b", "[a < b]"},
        {"<unterminated", "[<unterminated]"},
        {"<>x", "[<>x]"},
        {"<br/><hr />", "<br><hr>"},
        {"<!-- note -->x<!--open", "[x<!--open]"},
        {"<a title=&quot;q&quot; empty= x>", "<a title=\"q\" empty=x>"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Repr(Tokenize(c.markup)), c.tokens) << c.markup;
    }
}

TEST(HtmlColour, NamesHexAndNumbers) {
    size_t count = 0;
    const NamedColour* names = ColourNames(&count);
    ASSERT_EQ(count, 168u);
    std::set<std::string> distinct;
    size_t system = 0;
    for (size_t i = 0; i < count; ++i) {
        distinct.insert(names[i].name);
        system += names[i].system;
        EXPECT_EQ(names[i].system, i >= 140) << names[i].name;
    }
    EXPECT_EQ(distinct.size(), 168u);
    EXPECT_EQ(system, 28u);

    const SystemColours sys = [](int index) { return 0x010101u * static_cast<uint32_t>(index); };
    struct Case {
        const char* text;
        std::optional<Colour> colour;
    };
    const Case cases[] = {
        {"#ff9900", 0x0099FF},
        {"#FF9900", 0x0099FF},
        {"#ff990", std::nullopt},
        {"#ff99001", std::nullopt},
        {"#gg0000", std::nullopt},
        {"0x0000FF", 0x0000FF},
        {"255", 255},
        {"010", 8},
        {"99999999999", 0xFFFFFFFF},
        {"red", 0x0000FF},
        {"RED", 0x0000FF},
        {" navy ", 0x800000},
        {"lightgoldenrodyellow", 0xD2FAFA},
        {"yellowgreen", 0x32CD9A},
        {"infotext", 0x171717},
        {"scrollbar", 0},
        {"windowtext", 0x080808},
        {"nosuch", std::nullopt},
        {"", std::nullopt},
        {"-5", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseColour(c.text, sys), c.colour) << c.text;
    }
}

TEST(HtmlStyle, DefaultSheetAndProperties) {
    StyleSheet sheet;
    sheet.Parse(StyleSheet::DefaultText());
    EXPECT_EQ(sheet.RuleCount(), 17u);
    Style base;
    base.font.size = 100;
    struct Case {
        const char* selector;
        const char* face;
        int32_t size;
        int32_t weight;
        Colour colour;
    };
    const Case cases[] = {
        {"h1", "Verdana", 140, 700, 0},        {"h2", "Verdana", 130, 700, 0x0099FF},
        {"h3", "Arial", 120, 700, 0x0099FF},   {"h5", "Verdana", 90, 700, 0x0099FF},
        {"h6", "Verdana", 65, 400, 0x626262},  {"pre", "Courier", 90, 400, 0},
        {"code", "Arial", 100, 400, 0x000099}, {"big", "Verdana", 125, 400, 0},
        {"small", "Verdana", 75, 400, 0},
    };
    for (const Case& c : cases) {
        Style s = base;
        sheet.Apply(c.selector, base, s, nullptr);
        EXPECT_EQ(s.font.face, c.face) << c.selector;
        EXPECT_EQ(s.font.size, c.size) << c.selector;
        EXPECT_EQ(s.font.weight, c.weight) << c.selector;
        EXPECT_EQ(s.colour, c.colour) << c.selector;
    }
    Style s = base;
    sheet.Apply("pre", base, s, nullptr);
    EXPECT_EQ(s.background, std::optional<Colour>(0xBBEDFB));
    s = base;
    sheet.Apply("a:hover", base, s, nullptr);
    EXPECT_TRUE(s.font.underline);
    sheet.Apply("a:link", base, s, nullptr);
    EXPECT_FALSE(s.font.underline);
    EXPECT_EQ(s.colour, 0xFF0000u);
    s = base;
    sheet.Apply(".cpp-comment", base, s, nullptr);
    EXPECT_TRUE(s.font.italic);
    EXPECT_EQ(s.colour, 0x008000u);
    s = base;
    sheet.Apply("sup", base, s, nullptr);
    EXPECT_EQ(s.valign, VAlign::Top);

    // Every property with its words.
    Style parent;
    parent.font.weight = 400;
    s = parent;
    ApplyDeclarations(
        ParseDeclarations("font-style: oblique; font-weight: bolder; text-align: center;"
                          "vertical-align: vcenter; text-decoration: line-through;"
                          "text-transform: uppercase; border-color: red; border-style: dashed;"
                          "border-width: thick; margin: 4px; padding: 3pt; size: 150%;"
                          "background-color: #000001; font-family: 'Tahoma', Arial; bogus: 1"),
        parent, s, nullptr);
    EXPECT_TRUE(s.font.italic);
    EXPECT_EQ(s.font.weight, 700);
    EXPECT_EQ(s.align, HAlign::Center);
    EXPECT_EQ(s.valign, VAlign::Middle);
    EXPECT_TRUE(s.font.strike);
    EXPECT_EQ(s.transform, Transform::Upper);
    EXPECT_EQ(s.borderColour, 0x0000FFu);
    EXPECT_EQ(s.borderStyle, BorderStyle::Dashed);
    EXPECT_EQ(s.borderWidth, 5);
    EXPECT_EQ(s.margin, 4);
    EXPECT_EQ(s.padding, 4);
    EXPECT_EQ(s.font.size, 150);
    EXPECT_EQ(s.background, std::optional<Colour>(0x010000));
    EXPECT_EQ(s.font.face, "Tahoma");

    const std::pair<const char*, std::optional<int32_t>> sizes[] = {{"12pt", 120},
                                                                    {"16px", 120},
                                                                    {"50%", 50},
                                                                    {"2em", 200},
                                                                    {"9", 90},
                                                                    {"1e9pt", kMaxFontSize},
                                                                    {"-4pt", kMinFontSize},
                                                                    {"nan", std::nullopt},
                                                                    {"12furlongs", std::nullopt},
                                                                    {"", std::nullopt}};
    for (const auto& [text, size] : sizes) {
        EXPECT_EQ(ParseFontSize(text, 100), size) << text;
    }
}

TEST(HtmlLayout, EveryHelpTextLaysOutAsWrittenAndBreaksWhereItsBreaksAre) {
    const std::map<std::string, std::string> texts = HelpTexts();
    ASSERT_EQ(texts.size(), 27u);
    Fixture f;
    for (const auto& [name, raw] : texts) {
        SCOPED_TRACE(name);
        // The boost row's text reaches the tooltip with its "<" doubled.
        std::string markup;
        for (char c : raw) {
            markup += c;
            if (c == '<' && name == "IDS_TIP_TEXTURE_BOOST") {
                markup += '<';
            }
        }
        const Document doc = f.Lay(markup);
        std::vector<std::string> expected;
        std::istringstream lines(raw);
        std::string line;
        int count = 0;
        while (std::getline(lines, line)) {
            ++count;
            std::string clean;
            for (char c : line) {
                if (c != '\t') {
                    clean += c;  // blanks as written: a line is drawn as one piece
                }
            }
            while (!clean.empty() && clean.back() == ' ') {
                clean.pop_back();
            }
            if (!clean.empty()) {
                expected.push_back(clean);
            }
        }
        EXPECT_EQ(TextLines(doc), expected);
        EXPECT_EQ(doc.height, 13 * count);
        // Trailing blanks and tabs take no room: the widest line sets the width.
        size_t widest = 0;
        for (const std::string& e : expected) {
            widest = std::max(widest, e.size());
        }
        EXPECT_LE(doc.width, static_cast<int32_t>(7 * (widest + 2)));
        EXPECT_GE(doc.width, static_cast<int32_t>(7 * widest));
    }
}

// Widths with fractional glyph advances that are rounded for the whole text only, as fonts
// measure: 7.5 pixels a character.
class CFractionalEnvironment : public CFakeHtmlEnvironment {
public:
    int32_t TextWidth(const html::FontSpec&, std::string_view text) override {
        return static_cast<int32_t>(text.size() * 15 / 2);
    }
};

TEST(HtmlLayout, TextOfOneStyleIsMeasuredAndDrawnAsAWholeRun) {
    Fixture f;
    CFractionalEnvironment fractional;
    const auto lay = [&](const char* markup, int32_t maxWidth = 0) {
        LayoutOptions options;
        options.maxWidth = maxWidth;
        return Layout(Tokenize(markup), f.sheet, f.base, fractional, options);
    };
    // Word by word, "a b c" would be 7 + 7 + 7 + 7 + 7 = 35 wide; as a whole it is 37.
    Document doc = lay("a b c");
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].text, "a b c");
    EXPECT_EQ(doc.items[0].box.Width(), 37);
    EXPECT_EQ(doc.width, 37);
    // A change of style starts a new run where the previous one's whole width ends.
    doc = lay("ab cd<b>ef gh</b> ij");
    ASSERT_EQ(doc.items.size(), 3u);
    EXPECT_EQ(doc.items[0].text, "ab cd");
    EXPECT_EQ(doc.items[1].text, "ef gh");
    EXPECT_EQ(doc.items[1].box.left, 37);
    EXPECT_EQ(doc.items[2].text, " ij");
    EXPECT_EQ(doc.items[2].box.left, 37 + 37);
    // Each wrapped line is a run of its own, without the blank it wrapped at.
    doc = lay("alpha beta gamma", 90);
    ASSERT_EQ(doc.items.size(), 2u);
    EXPECT_EQ(doc.items[0].text, "alpha beta");
    EXPECT_EQ(doc.items[1].text, "gamma");
    EXPECT_EQ(doc.items[1].box.left, 0);
    // Justified lines that wrapped keep their words apart, to stretch the blanks.
    doc = lay("<justify>aa bb cc aaaaaaaaaaaaaaaa</justify>", 130);
    EXPECT_EQ(doc.items.size(), 4u);
}

TEST(HtmlLayout, WrapsAtBreakCharactersWithinTheWidth) {
    Fixture f;
    const Document doc = f.Lay("alpha beta-gamma,delta epsilonzetaeta", 84);
    EXPECT_EQ(TextLines(doc),
              (std::vector<std::string>{"alpha beta-", "gamma,delta", "epsilonzetaeta"}));
    EXPECT_EQ(doc.minWidth, 7 * 14);
    EXPECT_EQ(doc.preferredWidth, 7 * 37);
    for (const DrawItem& item : doc.items) {
        if (item.text != "epsilonzetaeta") {
            EXPECT_LE(item.box.right, 84);  // only an unbreakable word overflows
        }
    }
    // Unbounded: one line.
    EXPECT_EQ(TextLines(f.Lay("alpha beta-gamma,delta epsilonzetaeta")).size(), 1u);
}

TEST(HtmlLayout, AlignmentStylesAndVerticalPlacement) {
    Fixture f;
    // 14 px "ab" centred, and right-aligned, under a 42 px line.
    Document doc = f.Lay("<center>ab</center>\nabcdef\n<right>cd</right>");
    ASSERT_EQ(doc.items.size(), 3u);
    EXPECT_EQ(doc.items[0].box.left, 14);
    EXPECT_EQ(doc.items[2].box.left, 28);

    doc = f.Lay("<justify>aa bb cc aaaaaaaaaa</justify>", 70);
    const std::vector<std::string> lines = TextLines(doc);
    ASSERT_EQ(lines.size(), 2u);
    int32_t rightmost = 0;
    for (const DrawItem& item : doc.items) {
        if (item.box.top == 0) {
            rightmost = std::max(rightmost, item.box.right);
        }
    }
    EXPECT_EQ(rightmost, doc.width);  // a wrapped justified line fills the width

    doc = f.Lay(
        "<b>bold</b><i>it</i><u>un</u><s>st</s><font color=red size=20pt face=Tahoma "
        "bkgnd=blue>big</font>");
    ASSERT_EQ(doc.items.size(), 6u);  // five texts and the background behind "big"
    EXPECT_EQ(doc.items[0].font.weight, 700);
    EXPECT_EQ(doc.items[0].box.Width(), 32);
    EXPECT_TRUE(doc.items[1].font.italic);
    EXPECT_TRUE(doc.items[2].font.underline);
    EXPECT_TRUE(doc.items[3].font.strike);
    EXPECT_EQ(doc.items[4].kind, DrawItem::Kind::Fill);
    EXPECT_EQ(doc.items[4].begin, 0xFF0000u);
    EXPECT_EQ(doc.items[5].font.face, "Tahoma");
    EXPECT_EQ(doc.items[5].colour, 0x0000FFu);
    // The 20 pt run sets the line; the 10 pt runs share its baseline.
    EXPECT_EQ(doc.height, 26);
    EXPECT_EQ(doc.items[0].baseline, doc.items[5].baseline);

    doc = f.Lay("x<sup>2</sup>y<sub>i</sub>");
    ASSERT_EQ(doc.items.size(), 4u);
    EXPECT_EQ(doc.items[1].box.top, 0);              // sup: top of the line
    EXPECT_EQ(doc.items[3].box.bottom, doc.height);  // sub: bottom of the line
    EXPECT_EQ(doc.items[1].font.size, 65);

    doc = f.Lay(
        "<span style='text-transform:capitalize'>one two</span> <span "
        "class=cpp-comment>note</span>");
    EXPECT_EQ(TextLines(doc), std::vector<std::string>{"One Two note"});
    EXPECT_TRUE(doc.items.back().font.italic);
}

TEST(HtmlLayout, LinksRulesImagesAndStrings) {
    Fixture f;
    Document doc = f.Lay("go <a href=\"https://example.test/\">here</a> now");
    ASSERT_EQ(doc.links, std::vector<std::string>{"https://example.test/"});
    const DrawItem* link = nullptr;
    for (const DrawItem& item : doc.items) {
        if (item.text == "here") {
            link = &item;
        }
    }
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->link, 0);
    EXPECT_EQ(link->colour, 0xFF0000u);
    EXPECT_FALSE(link->font.underline);
    EXPECT_EQ(doc.LinkAt(link->box.left + 1, link->box.top + 1), 0);
    EXPECT_EQ(doc.LinkAt(0, 0), -1);
    doc = f.Lay("go <a href=\"https://example.test/\">here</a> now", 0, 0);
    EXPECT_TRUE(doc.items[1].font.underline);

    doc = f.Lay("abc<hr>defgh");
    ASSERT_EQ(doc.items.size(), 3u);
    EXPECT_EQ(doc.items[1].kind, DrawItem::Kind::Rule);
    EXPECT_EQ(doc.items[1].box.left, 0);
    EXPECT_EQ(doc.items[1].box.right, 35);  // the width of the widest line
    EXPECT_GT(doc.items[2].box.top, doc.items[1].box.bottom);

    doc = f.Lay("a<bmp idres=5 width=20 height=30>b<icon idres=0><ilst idres=3 index=2 speed=80>");
    ASSERT_EQ(doc.items.size(), 4u);  // the icon without a source shows nothing
    EXPECT_EQ(doc.items[1].kind, DrawItem::Kind::Image);
    EXPECT_EQ(doc.items[1].box.Width(), 20);
    EXPECT_EQ(doc.items[1].box.Height(), 30);
    EXPECT_EQ(doc.items[3].image.kind, ImageRef::Kind::ImageList);
    EXPECT_EQ(doc.items[3].image.index, 2);
    EXPECT_TRUE(doc.animated);

    f.env.strings[5] = "<b>inner</b>";
    f.env.strings[6] = "x<string idres=6>";  // inserts itself: the depth limit ends it
    doc = f.Lay("<string idres=5>after<string idres=6><string idres=7>");
    const std::vector<std::string> lines = TextLines(doc);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string("innerafter") + std::string(kMaxStringDepth, 'x'));
    EXPECT_EQ(doc.items[0].font.weight, 700);
    EXPECT_EQ(doc.items[1].font.weight, 400);  // the inserted text's tags end inside it
    // ... and cannot close a tag around it.
    f.env.strings[8] = "</a></b>in";
    doc = f.Lay("<b><a href=x><string idres=8>out</a></b>");
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].text, "inout");
    EXPECT_EQ(doc.items[0].link, 0);
    EXPECT_EQ(doc.items[0].font.weight, 700);
}

TEST(HtmlLayout, TablesPlaceCellsOnAGrid) {
    Fixture f;
    Document doc = f.Lay(
        "<table border=1 cellpadding=2 cellspacing=3 bgcolor=white bordercolor=black>"
        "<tr><td>aa</td><td align=right>b</td></tr>"
        "<tr><td colspan=2 bgeffect=hgradient bgcolor=red bgendcolor=blue>cccccccc</td></tr>"
        "</table>after");
    std::map<std::string, Box> text;
    int fills = 0;
    int borders = 0;
    for (const DrawItem& item : doc.items) {
        if (item.kind == DrawItem::Kind::Text) {
            text[item.text] = item.box;
        }
        fills += item.kind == DrawItem::Kind::Fill;
        borders += item.kind == DrawItem::Kind::Border;
    }
    EXPECT_EQ(fills, 2);
    EXPECT_EQ(borders, 4);  // the table and three cells
    // Row 1: border 1, spacing 3, cell border 1 and padding 2 put "aa" at 7.
    EXPECT_EQ(text["aa"].left, 7);
    EXPECT_EQ(text["aa"].top, 7);
    EXPECT_EQ(text["aa"].top, text["b"].top);
    EXPECT_GT(text["b"].left, text["aa"].right);
    EXPECT_EQ(text["cccccccc"].left, 7);
    EXPECT_GT(text["cccccccc"].top, text["aa"].bottom);
    // The spanning cell's 56 px widen the two columns; the table is as wide as the line.
    EXPECT_GE(doc.width, 56 + 2 * 7);
    EXPECT_GT(text["after"].top, text["cccccccc"].bottom);
    EXPECT_EQ(text["after"].left, 0);

    // Widths, a row span and a table narrower than its text.
    doc = f.Lay(
        "<table width=300><tr><td rowspan=2 width=100>x</td><td>y</td></tr>"
        "<tr><td>z</td></tr></table>");
    EXPECT_EQ(doc.width, 300);
    doc = f.Lay("<table><tr><td>aaaa bbbb cccc</td></tr></table>", 60);
    EXPECT_EQ(TextLines(doc).size(), 3u);
    EXPECT_LE(doc.width, 60 + 7);
}

TEST(HtmlLayout, HostileMarkupStaysBounded) {
    Fixture f;
    std::string deep;
    for (int i = 0; i < 40; ++i) {
        deep += "<table><tr><td>";
    }
    deep += "core";
    Document doc = f.Lay(deep);
    EXPECT_EQ(TextLines(doc).size(), 1u);
    doc = f.Lay(
        "<table><tr><td colspan=1000000 rowspan=99999>a</td><td width=2000000000>b</td>"
        "</tr></table><font size=100000pt>x</font><table width=-5%>");
    EXPECT_LE(doc.width, 1 << 26);
    EXPECT_LE(doc.height, 1 << 26);
    std::string many;
    for (int i = 0; i < 300; ++i) {
        many += "<b><i><span style='font-size:200%'>";
    }
    doc = f.Lay(many + "x");
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].font.size, kMaxFontSize);
}
