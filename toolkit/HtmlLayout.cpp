// Layout of the tooltip markup.
#include "HtmlLayout.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "BackgroundEffect.h"

namespace html {

namespace {

// A line may be broken after each of these characters.
constexpr char kBreakChars[] = " -.,!:;)}]?";
// Coordinates stay far inside 32 bits however much the markup holds.
constexpr int32_t kMaxCoord = 1 << 26;
// Granularity of a table or cell background effect.
constexpr int32_t kTableGranularity = 10;
// The longest run of text measured and drawn as a whole.
constexpr size_t kMaxRunText = 256;

int32_t Add(int32_t a, int32_t b) {
    const int64_t sum = int64_t{a} + b;
    return static_cast<int32_t>(std::clamp<int64_t>(sum, -kMaxCoord, kMaxCoord));
}

int32_t Clamp(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, kMaxCoord));
}

int32_t Number(const std::string* value, int32_t fallback) {
    if (!value || value->empty()) {
        return fallback;
    }
    const long long n = std::strtoll(value->c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(n, -kMaxCoord, kMaxCoord));
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool IsBlank(char c) {
    return c == ' ';
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A width given in pixels or as a percentage of `available` (when that is known).
std::optional<int32_t> Dimension(const std::string* value, int32_t available) {
    if (!value || value->empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double n = std::strtod(value->c_str(), &end);
    if (end == value->c_str() || !(n >= 0)) {
        return std::nullopt;
    }
    if (*end == '%') {
        if (available <= 0) {
            return std::nullopt;
        }
        return Clamp(static_cast<int64_t>(available * std::min(n, 100.0) / 100));
    }
    return Clamp(static_cast<int64_t>(std::min(n, double{kMaxCoord})));
}

HAlign AlignOf(const std::string* value, HAlign fallback) {
    if (!value) {
        return fallback;
    }
    const std::string v = Lower(*value);
    if (v == "left") {
        return HAlign::Left;
    }
    if (v == "center" || v == "middle") {
        return HAlign::Center;
    }
    if (v == "right") {
        return HAlign::Right;
    }
    if (v == "justify") {
        return HAlign::Justify;
    }
    return fallback;
}

VAlign VAlignOf(const std::string* value, VAlign fallback) {
    if (!value) {
        return fallback;
    }
    const std::string v = Lower(*value);
    if (v == "top") {
        return VAlign::Top;
    }
    if (v == "middle" || v == "vcenter" || v == "center") {
        return VAlign::Middle;
    }
    if (v == "bottom") {
        return VAlign::Bottom;
    }
    if (v == "baseline") {
        return VAlign::Baseline;
    }
    return fallback;
}

BorderStyle BorderStyleOf(const std::string* value, BorderStyle fallback) {
    if (!value) {
        return fallback;
    }
    const std::string v = Lower(*value);
    if (v == "dashed") {
        return BorderStyle::Dashed;
    }
    if (v == "dotted") {
        return BorderStyle::Dotted;
    }
    if (v == "double") {
        return BorderStyle::Double;
    }
    if (v == "solid") {
        return BorderStyle::Solid;
    }
    return fallback;
}

struct Context {
    const StyleSheet& sheet;
    Environment& env;
    const LayoutOptions& options;
    std::vector<std::string> links;
    bool animated = false;
    SystemColours system;
    int stringsLeft = kMaxStrings;  // insertions left for this layout
};

// One piece of a line: a text fragment, blanks, a tab or an image.
struct Atom {
    DrawItem item;
    std::optional<Colour> background;
    int32_t width = 0;
    int32_t ascent = 0;
    int32_t descent = 0;
    VAlign valign = VAlign::Baseline;
    bool blank = false;  // dropped at a wrap and at a line's end
    bool tab = false;    // a blank that justification does not stretch
    // Text atoms of one style next to each other are drawn as one run by its first atom:
    // the run's length there, 0 on the others.
    int runLength = 1;
};

struct Line {
    std::vector<Atom> atoms;
    int32_t width = 0;
    int32_t words = 0;  // atoms that are not blanks
    HAlign align = HAlign::Left;
    bool wrapped = false;  // ended by wrapping, not by a break
    int32_t ascent = 0;    // the font's, for a line without atoms
    int32_t descent = 0;
    // A block: a rule or a table, alone on its line.
    bool rule = false;
    Colour ruleColour = 0;
    bool table = false;
    Document block;
};

// The row and cell structure of one table.
struct CellSpec {
    const Token* tag = nullptr;
    size_t begin = 0;
    size_t end = 0;
    bool header = false;
};
struct RowSpec {
    const Token* tag = nullptr;
    std::vector<CellSpec> cells;
};

class Flow {
public:
    Flow(Context& context, int32_t width, int depth, int stringDepth)
        : m_ctx(context), m_width(width), m_depth(depth), m_stringDepth(stringDepth) {}

    void Run(const std::vector<Token>& tokens, size_t begin, size_t end, const Style& base,
             int link) {
        m_frames.push_back({std::string(), base, link});
        NewLine(false);
        RunRange(tokens, begin, end);
    }

    // Positions every line inside at least `forcedWidth` pixels.
    Document Finish(int32_t forcedWidth);

private:
    struct Frame {
        std::string tag;
        Style style;
        int link;
    };

    const Style& Current() const { return m_frames.back().style; }
    int CurrentLink() const { return m_frames.back().link; }

    void RunRange(const std::vector<Token>& tokens, size_t begin, size_t end);
    void OpenTag(const std::vector<Token>& tokens, size_t& index, size_t end);
    void CloseTag(const std::string& name);
    void PushStyled(const Token& tag);
    void ApplyTextAttributes(const Token& tag, const Style& parent, Style& style);

    void Text(const std::string& text);
    void Fragment(std::string text, bool blank);
    void Tab();
    void Image(const Token& tag);
    void Rule();
    void Table(const std::vector<Token>& tokens, size_t open, size_t close);
    void InsertString(const Token& tag);

    void Place(Atom atom);
    // Joins the line's text atoms of one style into runs, measured as a whole.
    void MeasureRuns(Line& line);
    void NewLine(bool wrapped);
    void EndBlockLine();

    Context& m_ctx;
    int32_t m_width;
    int m_depth;
    int m_stringDepth;
    std::vector<Frame> m_frames;
    size_t m_floor = 1;  // frames below this index cannot be closed (the base, a string's host)
    std::vector<Line> m_lines;
    bool m_wordStart = true;
    int32_t m_minWidth = 0;
    int32_t m_runWidth = 0;  // since the last hard break, ignoring wraps
    int32_t m_preferredWidth = 0;
};

void Flow::NewLine(bool wrapped) {
    if (!m_lines.empty()) {
        m_lines.back().wrapped = wrapped;
    }
    Line line;
    const auto metrics = m_ctx.env.FontMetrics(Current().font);
    line.ascent = metrics.first;
    line.descent = metrics.second;
    line.align = Current().align;
    m_lines.push_back(std::move(line));
    if (!wrapped) {
        m_runWidth = 0;
    }
}

void Flow::EndBlockLine() {
    // A block sits on a line of its own: the line before it ends (when it holds anything).
    if (!m_lines.back().atoms.empty() || m_lines.back().rule || m_lines.back().table) {
        NewLine(false);
    } else {
        m_runWidth = 0;
    }
}

void Flow::Place(Atom atom) {
    Line* line = &m_lines.back();
    if (line->rule || line->table) {
        NewLine(false);
        line = &m_lines.back();
    }
    if (!atom.blank) {
        m_minWidth = std::max(m_minWidth, atom.width);
        if (m_width > 0 && line->words > 0 && Add(line->width, atom.width) > m_width) {
            NewLine(true);
            line = &m_lines.back();
        }
        ++line->words;
    } else if (line->atoms.empty() && m_lines.size() > 1 && m_lines[m_lines.size() - 2].wrapped) {
        return;  // blanks that a wrap left at the start of a line
    }
    if (line->atoms.empty()) {
        line->align = Current().align;
    }
    line->width = Add(line->width, atom.width);
    m_runWidth = Add(m_runWidth, atom.width);
    m_preferredWidth = std::max(m_preferredWidth, m_runWidth);
    line->atoms.push_back(std::move(atom));
}

void Flow::Fragment(std::string text, bool blank) {
    const Style& style = Current();
    for (char& c : text) {
        switch (style.transform) {
            case Transform::Upper:
                c = Upper(c);
                break;
            case Transform::Lower:
                c = LowerChar(c);
                break;
            case Transform::Capitalize:
                if (m_wordStart && c != ' ') {
                    c = Upper(c);
                }
                break;
            case Transform::None:
                break;
        }
        m_wordStart = c == ' ';
    }
    Atom atom;
    atom.blank = blank;
    atom.width = Clamp(m_ctx.env.TextWidth(style.font, text));
    const auto metrics = m_ctx.env.FontMetrics(style.font);
    atom.ascent = Clamp(metrics.first);
    atom.descent = Clamp(metrics.second);
    atom.valign = style.valign;
    atom.background = style.background;
    atom.item.kind = DrawItem::Kind::Text;
    atom.item.text = std::move(text);
    atom.item.font = style.font;
    atom.item.colour = style.colour;
    atom.item.overline = style.overline;
    atom.item.link = CurrentLink();
    Place(std::move(atom));
}

void Flow::Text(const std::string& text) {
    // Blank runs, and word pieces that end after a break character.
    size_t i = 0;
    while (i < text.size()) {
        size_t j = i;
        if (IsBlank(text[i])) {
            while (j < text.size() && IsBlank(text[j])) {
                ++j;
            }
            Fragment(text.substr(i, j - i), true);
        } else {
            while (j < text.size() && !IsBlank(text[j])) {
                const bool breaks = std::strchr(kBreakChars, text[j]) != nullptr;
                ++j;
                if (breaks) {
                    break;
                }
            }
            Fragment(text.substr(i, j - i), false);
        }
        i = j;
    }
}

void Flow::Tab() {
    const Style& style = Current();
    const int32_t stop = std::max(4 * m_ctx.env.TextWidth(style.font, " "), 1);
    Line& line = m_lines.back();
    Atom atom;
    atom.blank = true;
    atom.tab = true;
    atom.width = stop - (line.rule || line.table ? 0 : line.width % stop);
    const auto metrics = m_ctx.env.FontMetrics(style.font);
    atom.ascent = metrics.first;
    atom.descent = metrics.second;
    atom.item.kind = DrawItem::Kind::Text;
    atom.item.font = style.font;
    atom.item.colour = style.colour;
    atom.item.link = CurrentLink();
    atom.background = style.background;
    Place(std::move(atom));
    m_wordStart = true;
}

void Flow::Image(const Token& tag) {
    ImageRef image;
    image.kind = tag.text == "icon"   ? ImageRef::Kind::Icon
                 : tag.text == "ilst" ? ImageRef::Kind::ImageList
                                      : ImageRef::Kind::Bitmap;
    image.id = Number(tag.Find("idres"), 0);
    if (const std::string* dll = tag.Find("srcdll")) {
        image.module = *dll;
    } else if (const std::string* iddll = tag.Find("iddll")) {
        image.module = *iddll;
    }
    if (const std::string* file = tag.Find("file")) {
        image.file = *file;
    }
    if (const std::string* handle = tag.Find("handle")) {
        image.handle = std::strtoull(handle->c_str(), nullptr, 0);
    }
    if (const std::string* mask = tag.Find("mask")) {
        image.mask = ParseColour(*mask, m_ctx.system);
    }
    image.index = std::max(Number(tag.Find("index"), 0), 0);
    image.width = std::clamp(Number(tag.Find("width"), 0), 0, 4096);
    image.height = std::clamp(Number(tag.Find("height"), 0), 0, 4096);
    image.speed = std::max(Number(tag.Find("speed"), 0), 0);
    if (const std::string* s = tag.Find("style")) {
        image.style = Lower(*s);
    }
    if (const std::string* s = tag.Find("hotstyle")) {
        image.hotStyle = Lower(*s);
    }
    const auto size = m_ctx.env.ImageSize(image);
    if (size.first <= 0 || size.second <= 0) {
        return;  // an image that cannot be loaded shows nothing
    }
    Atom atom;
    atom.width = std::min(size.first, 4096);
    atom.ascent = std::min(size.second, 4096);
    atom.descent = 0;
    atom.valign = Current().valign;
    atom.item.kind = DrawItem::Kind::Image;
    atom.item.link = CurrentLink();
    atom.item.image = std::move(image);
    if (atom.item.image.kind == ImageRef::Kind::ImageList && atom.item.image.speed > 0) {
        m_ctx.animated = true;
    }
    Place(std::move(atom));
    m_wordStart = false;
}

void Flow::Rule() {
    EndBlockLine();
    Line& line = m_lines.back();
    line.rule = true;
    line.ruleColour = Current().colour;
    NewLine(false);
}

void Flow::InsertString(const Token& tag) {
    if (m_stringDepth >= kMaxStringDepth || m_ctx.stringsLeft <= 0) {
        return;
    }
    --m_ctx.stringsLeft;
    std::string module;
    if (const std::string* dll = tag.Find("srcdll")) {
        module = *dll;
    } else if (const std::string* iddll = tag.Find("iddll")) {
        module = *iddll;
    }
    const std::string text = m_ctx.env.ResourceString(Number(tag.Find("idres"), 0), module);
    if (text.empty()) {
        return;
    }
    const std::vector<Token> inner = Tokenize(text);
    ++m_stringDepth;
    // The inserted markup's tags open and close within it: it cannot close a tag around it.
    const size_t frames = m_frames.size();
    const size_t floor = std::exchange(m_floor, frames);
    RunRange(inner, 0, inner.size());
    m_frames.resize(frames);
    m_floor = floor;
    --m_stringDepth;
}

void Flow::ApplyTextAttributes(const Token& tag, const Style& parent, Style& style) {
    if (const std::string* cls = tag.Find("class")) {
        const std::string name = Lower(*cls);
        m_ctx.sheet.Apply("." + name, parent, style, m_ctx.system);
        m_ctx.sheet.Apply(tag.text + "." + name, parent, style, m_ctx.system);
    }
    if (const std::string* colour = tag.Find("color")) {
        style.colour = ParseColour(*colour, m_ctx.system).value_or(style.colour);
    }
    if (const std::string* back = tag.Find("bkgnd")) {
        if (Lower(*back) == "transparent") {
            style.background.reset();
        } else if (auto c = ParseColour(*back, m_ctx.system)) {
            style.background = *c;
        }
    }
    if (const std::string* face = tag.Find("face")) {
        if (!face->empty()) {
            style.font.face = face->substr(0, 31);
        }
    }
    if (const std::string* size = tag.Find("size")) {
        style.font.size = ParseFontSize(*size, parent.font.size).value_or(style.font.size);
    }
    if (const std::string* weight = tag.Find("weight")) {
        ApplyDeclarations({{"font-weight", *weight}}, parent, style, m_ctx.system);
    }
    if (const std::string* s = tag.Find("style")) {
        // Declarations, or a font style alone.
        if (s->find(':') != std::string::npos) {
            ApplyDeclarations(ParseDeclarations(*s), parent, style, m_ctx.system);
        } else {
            ApplyDeclarations({{"font-style", *s}}, parent, style, m_ctx.system);
        }
    }
}

void Flow::PushStyled(const Token& tag) {
    const Style& parent = Current();
    Style style = parent;
    int link = CurrentLink();
    const std::string& name = tag.text;
    if (name == "b") {
        style.font.weight = 700;
    } else if (name == "i" || name == "em") {
        style.font.italic = true;
    } else if (name == "u") {
        style.font.underline = true;
    } else if (name == "s" || name == "strike") {
        style.font.strike = true;
    } else if (name == "left") {
        style.align = HAlign::Left;
    } else if (name == "center") {
        style.align = HAlign::Center;
    } else if (name == "right") {
        style.align = HAlign::Right;
    } else if (name == "justify") {
        style.align = HAlign::Justify;
    } else if (name == "baseline") {
        style.valign = VAlign::Baseline;
    } else if (name == "top") {
        style.valign = VAlign::Top;
    } else if (name == "vcenter" || name == "middle") {
        style.valign = VAlign::Middle;
    } else if (name == "bottom") {
        style.valign = VAlign::Bottom;
    } else if (name == "a") {
        const std::string* href = tag.Find("href");
        link = static_cast<int>(m_ctx.links.size());
        m_ctx.links.push_back(href ? *href : std::string());
        m_ctx.sheet.Apply(link == m_ctx.options.hoverLink ? "a:hover" : "a:link", parent, style,
                          m_ctx.system);
    } else if (name != "font" && name != "span") {
        m_ctx.sheet.Apply(name, parent, style, m_ctx.system);
    }
    ApplyTextAttributes(tag, parent, style);
    m_frames.push_back({name, std::move(style), link});
    // An alignment tag starts its own line's alignment when the line is still empty.
    if (m_lines.back().atoms.empty()) {
        m_lines.back().align = Current().align;
    }
}

void Flow::CloseTag(const std::string& name) {
    for (size_t i = m_frames.size(); i-- > m_floor;) {
        if (m_frames[i].tag == name) {
            m_frames.resize(i);
            return;
        }
    }
}

void Flow::OpenTag(const std::vector<Token>& tokens, size_t& index, size_t end) {
    const Token& tag = tokens[index];
    const std::string& name = tag.text;
    static const char* const kStyled[] = {
        "b",      "i",     "em",      "u",        "s",   "strike",  "font",   "left",
        "center", "right", "justify", "baseline", "top", "vcenter", "middle", "bottom",
        "body",   "h1",    "h2",      "h3",       "h4",  "h5",      "h6",     "code",
        "pre",    "big",   "small",   "sub",      "sup", "span",    "a"};
    if (name == "br") {
        // A break right after a block adds no empty line.
        const bool afterBlock =
            m_lines.back().atoms.empty() && m_lines.size() > 1 &&
            (m_lines[m_lines.size() - 2].rule || m_lines[m_lines.size() - 2].table);
        if (!afterBlock) {
            NewLine(false);
        }
        m_wordStart = true;
    } else if (name == "t") {
        Tab();
    } else if (name == "hr") {
        Rule();
    } else if (name == "bmp" || name == "icon" || name == "ilst") {
        Image(tag);
    } else if (name == "string") {
        InsertString(tag);
    } else if (name == "table") {
        // The matching close, counting nested tables.
        int nesting = 0;
        size_t close = index + 1;
        for (; close < end; ++close) {
            const Token& t = tokens[close];
            if (t.kind == Token::Kind::Text || t.text != "table") {
                continue;
            }
            if (t.kind == Token::Kind::Open) {
                ++nesting;
            } else if (nesting-- == 0) {
                break;
            }
        }
        if (m_depth < kMaxTableDepth) {
            Table(tokens, index, close);
            index = close;  // the caller steps past the close
        }
    } else if (std::find_if(std::begin(kStyled), std::end(kStyled),
                            [&name](const char* s) { return name == s; }) != std::end(kStyled)) {
        PushStyled(tag);
    }
}

void Flow::RunRange(const std::vector<Token>& tokens, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
        const Token& token = tokens[i];
        switch (token.kind) {
            case Token::Kind::Text:
                Text(token.text);
                break;
            case Token::Kind::Open:
                OpenTag(tokens, i, end);
                break;
            case Token::Kind::Close:
                CloseTag(token.text);
                break;
        }
    }
}

// ---- Tables ----

struct Grid {
    struct Cell {
        const CellSpec* spec = nullptr;
        const RowSpec* row = nullptr;
        int32_t column = 0;
        int32_t rowIndex = 0;
        int32_t colSpan = 1;
        int32_t rowSpan = 1;
        Document content;
        int32_t minWidth = 0;
        int32_t preferredWidth = 0;
        std::optional<int32_t> fixedWidth;
        int32_t fixedHeight = 0;
    };
    std::vector<Cell> cells;
    int32_t columns = 0;
    int32_t rows = 0;
};

std::vector<RowSpec> ReadTable(const std::vector<Token>& tokens, size_t open, size_t close) {
    std::vector<RowSpec> rows;
    CellSpec* cell = nullptr;
    int nesting = 0;
    auto endCell = [&](size_t at) {
        if (cell) {
            cell->end = at;
            cell = nullptr;
        }
    };
    for (size_t i = open + 1; i < close; ++i) {
        const Token& t = tokens[i];
        if (t.kind != Token::Kind::Text && t.text == "table") {
            nesting += t.kind == Token::Kind::Open ? 1 : -1;
            continue;
        }
        if (nesting > 0 || t.kind == Token::Kind::Text) {
            continue;
        }
        const bool isCell = t.text == "td" || t.text == "th";
        if (t.text == "tr") {
            endCell(i);
            if (t.kind == Token::Kind::Open && rows.size() < static_cast<size_t>(kMaxRows)) {
                rows.push_back({&t, {}});
            }
        } else if (isCell) {
            endCell(i);
            if (t.kind == Token::Kind::Open) {
                if (rows.empty()) {
                    rows.push_back({nullptr, {}});
                }
                if (rows.back().cells.size() < static_cast<size_t>(kMaxColumns)) {
                    rows.back().cells.push_back({&t, i + 1, close, t.text == "th"});
                    cell = &rows.back().cells.back();
                }
            }
        }
    }
    endCell(close);
    return rows;
}

struct Fill {
    bool any = false;
    int32_t effect = effects::kSolid;
    Colour begin = 0;
    Colour middle = 0;
    Colour end = 0;
};

Fill FillOf(const Token& tag, const SystemColours& system) {
    Fill fill;
    const std::optional<Colour> begin = [&]() -> std::optional<Colour> {
        if (const std::string* c = tag.Find("bgcolor")) {
            return ParseColour(*c, system);
        }
        if (const std::string* c = tag.Find("background")) {
            return ParseColour(*c, system);
        }
        return std::nullopt;
    }();
    const std::string* effect = tag.Find("bgeffect");
    if (effect) {
        fill.effect = effects::EffectFromName(Lower(*effect));
    }
    if (fill.effect < 0 || (!begin && !effect)) {
        return fill;
    }
    fill.any = true;
    fill.begin = begin.value_or(system ? system(15) : 0xC0C0C0);
    fill.middle = fill.begin;
    fill.end = fill.begin;
    if (const std::string* c = tag.Find("bgmidcolor")) {
        fill.middle = ParseColour(*c, system).value_or(fill.middle);
    }
    if (const std::string* c = tag.Find("bgendcolor")) {
        fill.end = ParseColour(*c, system).value_or(fill.end);
    }
    return fill;
}

// Widens the columns [first, first + span) so that together they reach `need`, sharing the
// extra evenly.
void Widen(std::vector<int32_t>& columns, int32_t first, int32_t span, int32_t spacing,
           int32_t need) {
    int32_t have = spacing * (span - 1);
    for (int32_t c = first; c < first + span; ++c) {
        have = Add(have, columns[static_cast<size_t>(c)]);
    }
    if (have >= need) {
        return;
    }
    const int32_t extra = need - have;
    for (int32_t c = 0; c < span; ++c) {
        columns[static_cast<size_t>(first + c)] =
            Add(columns[static_cast<size_t>(first + c)], extra / span + (c < extra % span ? 1 : 0));
    }
}

// The attributes of a table that shape its grid.
struct TableFrame {
    int32_t border = 0;
    int32_t padding = 2;
    int32_t spacing = 2;
    int32_t cellBorder = 0;
    int32_t cellFrame = 0;  // a cell's padding and border on both sides
    BorderStyle borderStyle = BorderStyle::Solid;
    Colour light = 0;  // the table's top-left border colour; its cells' bottom-right one
    Colour dark = 0;
    std::optional<int32_t> width;
    int32_t height = 0;
};

TableFrame ReadFrame(const Token& tag, const SystemColours& system, int32_t available) {
    TableFrame f;
    f.border = std::clamp(Number(tag.Find("border"), 0), 0, 100);
    f.padding = std::clamp(Number(tag.Find("cellpadding"), 2), 0, 100);
    f.spacing = std::clamp(Number(tag.Find("cellspacing"), 2), 0, 100);
    f.borderStyle = BorderStyleOf(tag.Find("borderstyle"), BorderStyle::Solid);
    f.light = system ? system(20) : 0xFFFFFF;  // 3-D highlight
    f.dark = system ? system(16) : 0x808080;   // 3-D shadow
    if (const std::string* c = tag.Find("bordercolor")) {
        f.light = f.dark = ParseColour(*c, system).value_or(f.light);
    }
    if (const std::string* c = tag.Find("bordercolorlight")) {
        f.light = ParseColour(*c, system).value_or(f.light);
    }
    if (const std::string* c = tag.Find("bordercolordark")) {
        f.dark = ParseColour(*c, system).value_or(f.dark);
    }
    f.cellBorder = f.border > 0 ? 1 : 0;
    f.cellFrame = 2 * (f.padding + f.cellBorder);
    f.width = Dimension(tag.Find("width"), available);
    f.height = Dimension(tag.Find("height"), 0).value_or(0);
    return f;
}

// Places the cells row by row, skipping columns that row spans from above still hold.
Grid PlaceCells(const std::vector<RowSpec>& rows) {
    Grid grid;
    std::vector<int32_t> busyUntil;  // per column: the first row no longer covered
    for (size_t r = 0; r < rows.size(); ++r) {
        int32_t column = 0;
        for (const CellSpec& spec : rows[r].cells) {
            while (static_cast<size_t>(column) < busyUntil.size() &&
                   busyUntil[static_cast<size_t>(column)] > static_cast<int32_t>(r)) {
                ++column;
            }
            if (column >= kMaxColumns) {
                break;
            }
            Grid::Cell cell;
            cell.spec = &spec;
            cell.row = &rows[r];
            cell.column = column;
            cell.rowIndex = static_cast<int32_t>(r);
            cell.colSpan = std::clamp(Number(spec.tag->Find("colspan"), 1), 1,
                                      std::min(kMaxSpan, kMaxColumns - column));
            cell.rowSpan =
                std::clamp(Number(spec.tag->Find("rowspan"), 1), 1,
                           std::min<int32_t>(kMaxSpan, static_cast<int32_t>(rows.size() - r)));
            if (busyUntil.size() < static_cast<size_t>(column + cell.colSpan)) {
                busyUntil.resize(static_cast<size_t>(column + cell.colSpan), 0);
            }
            for (int32_t c = column; c < column + cell.colSpan; ++c) {
                busyUntil[static_cast<size_t>(c)] = static_cast<int32_t>(r) + cell.rowSpan;
            }
            grid.columns = std::max(grid.columns, column + cell.colSpan);
            column += cell.colSpan;
            grid.cells.push_back(std::move(cell));
        }
    }
    grid.rows = static_cast<int32_t>(rows.size());
    return grid;
}

// The table's outer width for the given column widths.
int32_t TableWidth(const std::vector<int32_t>& cols, const TableFrame& f) {
    int32_t sum = Add(2 * f.border, f.spacing * (static_cast<int32_t>(cols.size()) + 1));
    for (int32_t w : cols) {
        sum = Add(sum, w);
    }
    return sum;
}

// Column widths from the cells' minimum and preferred widths: the preferred ones, shrunk
// towards the minimum ones in proportion when the table must be narrower, or widened in
// proportion to reach a width the table asks for.
struct Columns {
    std::vector<int32_t> widths;
    int32_t minTotal = 0;
    int32_t preferredTotal = 0;
};
Columns FitColumns(const Grid& grid, const TableFrame& f, int32_t available) {
    std::vector<int32_t> minCols(static_cast<size_t>(grid.columns), 0);
    std::vector<int32_t> prefCols(static_cast<size_t>(grid.columns), 0);
    for (int pass = 0; pass < 2; ++pass) {  // single-column cells first, then spans
        for (const Grid::Cell& cell : grid.cells) {
            if ((cell.colSpan == 1) != (pass == 0)) {
                continue;
            }
            Widen(minCols, cell.column, cell.colSpan, f.spacing, cell.minWidth);
            Widen(prefCols, cell.column, cell.colSpan, f.spacing, cell.preferredWidth);
        }
    }
    for (size_t c = 0; c < prefCols.size(); ++c) {
        prefCols[c] = std::max(prefCols[c], minCols[c]);
    }
    Columns result;
    result.minTotal = TableWidth(minCols, f);
    result.preferredTotal = TableWidth(prefCols, f);
    int32_t target = result.preferredTotal;
    if (f.width) {
        target = std::max(*f.width, result.minTotal);
    } else if (available > 0 && result.preferredTotal > available) {
        target = std::max(available, result.minTotal);
    }
    result.widths = prefCols;
    std::vector<int32_t>& cols = result.widths;
    // Borders and spacing only.
    const int32_t chrome = TableWidth(std::vector<int32_t>(cols.size(), 0), f);
    if (target < result.preferredTotal && result.preferredTotal > result.minTotal) {
        const int64_t room = result.preferredTotal - result.minTotal;
        const int64_t keep = target - result.minTotal;
        for (size_t c = 0; c < cols.size(); ++c) {
            cols[c] = minCols[c] + static_cast<int32_t>((prefCols[c] - minCols[c]) * keep / room);
        }
    } else if (target > result.preferredTotal && !cols.empty()) {
        const int64_t extra = target - result.preferredTotal;
        const int64_t sum = result.preferredTotal - chrome;
        int64_t given = 0;
        for (size_t c = 0; c < cols.size(); ++c) {
            const int64_t share =
                sum > 0 ? prefCols[c] * extra / sum : extra / static_cast<int64_t>(cols.size());
            cols[c] = Add(cols[c], static_cast<int32_t>(share));
            given += share;
        }
        cols.back() = Add(cols.back(), static_cast<int32_t>(extra - given));
    }
    return result;
}

// The width of a cell across its columns.
int32_t SpanWidth(const Grid::Cell& cell, const std::vector<int32_t>& cols, int32_t spacing) {
    int32_t w = spacing * (cell.colSpan - 1);
    for (int32_t c = cell.column; c < cell.column + cell.colSpan; ++c) {
        w = Add(w, cols[static_cast<size_t>(c)]);
    }
    return w;
}

DrawItem FillItem(const Fill& fill, const Box& box) {
    DrawItem item;
    item.kind = DrawItem::Kind::Fill;
    item.box = box;
    item.effect = fill.effect;
    item.begin = fill.begin;
    item.middle = fill.middle;
    item.end = fill.end;
    item.granularity = kTableGranularity;
    return item;
}

DrawItem BorderItem(const Box& box, int32_t width, Colour light, Colour dark, BorderStyle style) {
    DrawItem item;
    item.kind = DrawItem::Kind::Border;
    item.box = box;
    item.width = width;
    item.light = light;
    item.dark = dark;
    item.borderStyle = style;
    return item;
}

void Shift(DrawItem& item, int32_t dx, int32_t dy) {
    item.box.left = Add(item.box.left, dx);
    item.box.right = Add(item.box.right, dx);
    item.box.top = Add(item.box.top, dy);
    item.box.bottom = Add(item.box.bottom, dy);
    item.baseline = Add(item.baseline, dy);
}

// The table's drawing: its background and border, then each cell's background, border and
// content, aligned in the cell.
Document Assemble(Grid& grid, const TableFrame& f, const Token& tag, const Columns& columns,
                  const std::vector<int32_t>& rowHeights, int32_t height,
                  const SystemColours& system) {
    const std::vector<int32_t>& cols = columns.widths;
    Document doc;
    doc.width = TableWidth(cols, f);
    doc.height = height;
    doc.minWidth = f.width ? std::max(columns.minTotal, *f.width) : columns.minTotal;
    doc.preferredWidth = f.width ? doc.width : columns.preferredTotal;
    const Box tableBox{0, 0, doc.width, doc.height};
    const Fill tableFill = FillOf(tag, system);
    if (tableFill.any) {
        doc.items.push_back(FillItem(tableFill, tableBox));
    }
    if (f.border > 0) {
        doc.items.push_back(BorderItem(tableBox, f.border, f.light, f.dark, f.borderStyle));
    }
    std::vector<int32_t> colX(cols.size() + 1, Add(f.border, f.spacing));
    for (size_t c = 0; c < cols.size(); ++c) {
        colX[c + 1] = Add(Add(colX[c], cols[c]), f.spacing);
    }
    std::vector<int32_t> rowY(rowHeights.size() + 1, Add(f.border, f.spacing));
    for (size_t r = 0; r < rowHeights.size(); ++r) {
        rowY[r + 1] = Add(Add(rowY[r], rowHeights[r]), f.spacing);
    }
    for (Grid::Cell& cell : grid.cells) {
        Box box;
        box.left = colX[static_cast<size_t>(cell.column)];
        box.top = rowY[static_cast<size_t>(cell.rowIndex)];
        box.right = Add(box.left, SpanWidth(cell, cols, f.spacing));
        box.bottom = Add(rowY[static_cast<size_t>(cell.rowIndex + cell.rowSpan)], -f.spacing);
        const Fill fill = FillOf(*cell.spec->tag, system);
        if (fill.any) {
            doc.items.push_back(FillItem(fill, box));
        }
        if (f.cellBorder > 0) {
            // Cells are sunk into a raised table: the colours swap.
            doc.items.push_back(BorderItem(box, f.cellBorder, f.dark, f.light, f.borderStyle));
        }
        VAlign valign = VAlign::Middle;
        if (cell.row->tag) {
            valign = VAlignOf(cell.row->tag->Find("valign"), valign);
        }
        valign = VAlignOf(cell.spec->tag->Find("valign"), valign);
        const int32_t inner = box.Height() - f.cellFrame;
        int32_t dy = 0;
        if (valign == VAlign::Middle) {
            dy = std::max((inner - cell.content.height) / 2, 0);
        } else if (valign == VAlign::Bottom) {
            dy = std::max(inner - cell.content.height, 0);
        }
        const int32_t dx = Add(box.left, f.padding + f.cellBorder);
        const int32_t top = Add(Add(box.top, f.padding + f.cellBorder), dy);
        for (DrawItem& item : cell.content.items) {
            Shift(item, dx, top);
            doc.items.push_back(std::move(item));
        }
    }
    return doc;
}

void Flow::Table(const std::vector<Token>& tokens, size_t open, size_t close) {
    const Token& tag = tokens[open];
    const std::vector<RowSpec> rows = ReadTable(tokens, open, close);
    const TableFrame frame = ReadFrame(tag, m_ctx.system, m_width);
    Grid grid = PlaceCells(rows);

    // Each cell's style: the table's surroundings, "th" bold and centred, then the row's and
    // the cell's alignment.
    const Style outer = Current();
    auto cellStyle = [&](const Grid::Cell& cell) {
        Style style = outer;
        style.background.reset();
        style.align = cell.spec->header ? HAlign::Center : HAlign::Left;
        if (cell.spec->header) {
            style.font.weight = 700;
        }
        if (cell.row->tag) {
            style.align = AlignOf(cell.row->tag->Find("align"), style.align);
        }
        style.align = AlignOf(cell.spec->tag->Find("align"), style.align);
        return style;
    };
    auto layoutCell = [&](Grid::Cell& cell, int32_t width) {
        Flow flow(m_ctx, width, m_depth + 1, m_stringDepth);
        flow.Run(tokens, cell.spec->begin, cell.spec->end, cellStyle(cell), CurrentLink());
        return flow.Finish(width);
    };

    // Natural sizes. Links found while measuring are counted again by the final layout.
    for (Grid::Cell& cell : grid.cells) {
        const size_t links = m_ctx.links.size();
        const Document natural = layoutCell(cell, 0);
        m_ctx.links.resize(links);
        cell.minWidth = Add(natural.minWidth, frame.cellFrame);
        cell.preferredWidth = Add(natural.preferredWidth, frame.cellFrame);
        if (auto fixed = Dimension(cell.spec->tag->Find("width"), m_width)) {
            cell.fixedWidth = std::max(*fixed, cell.minWidth);
            cell.preferredWidth = *cell.fixedWidth;
        }
        cell.fixedHeight = Dimension(cell.spec->tag->Find("height"), 0).value_or(0);
    }
    const Columns columns = FitColumns(grid, frame, m_width);

    // The cells at their widths, then the rows: single-row cells first, then spans.
    std::vector<int32_t> rowHeights(static_cast<size_t>(grid.rows), 0);
    for (int pass = 0; pass < 2; ++pass) {
        for (Grid::Cell& cell : grid.cells) {
            if ((cell.rowSpan == 1) != (pass == 0)) {
                continue;
            }
            cell.content = layoutCell(
                cell,
                std::max(SpanWidth(cell, columns.widths, frame.spacing) - frame.cellFrame, 1));
            const int32_t need =
                std::max(Add(cell.content.height, frame.cellFrame), cell.fixedHeight);
            Widen(rowHeights, cell.rowIndex, cell.rowSpan, frame.spacing, need);
        }
    }
    int32_t height = Add(2 * frame.border, frame.spacing * (grid.rows + 1));
    for (int32_t h : rowHeights) {
        height = Add(height, h);
    }
    if (frame.height > height && grid.rows > 0) {
        rowHeights.back() = Add(rowHeights.back(), frame.height - height);
        height = frame.height;
    }
    Document doc = Assemble(grid, frame, tag, columns, rowHeights, height, m_ctx.system);

    EndBlockLine();
    Line& line = m_lines.back();
    line.table = true;
    line.align = AlignOf(tag.Find("align"), HAlign::Left);
    m_minWidth = std::max(m_minWidth, doc.minWidth);
    m_preferredWidth = std::max(m_preferredWidth, doc.preferredWidth);
    line.width = doc.width;
    line.block = std::move(doc);
    NewLine(false);
}

bool Mergeable(const Atom& a) {
    return a.item.kind == DrawItem::Kind::Text && !a.tab && !a.item.text.empty();
}

bool SameRun(const Atom& a, const Atom& b) {
    return Mergeable(b) && a.item.font == b.item.font && a.item.colour == b.item.colour &&
           a.item.overline == b.item.overline && a.item.link == b.item.link &&
           a.background == b.background && a.valign == b.valign;
}

void Flow::MeasureRuns(Line& line) {
    // Words measured one by one land where a whole line of text would not: fonts place their
    // glyphs at fractional positions and round only the whole. So a run's words are placed at
    // the measured width of the run's text up to them, and the run is drawn in one piece.
    // Justified lines that wrapped keep their blanks apart, to stretch them.
    const bool keepBlanks = line.align == HAlign::Justify && line.wrapped;
    std::vector<Atom>& atoms = line.atoms;
    size_t i = 0;
    while (i < atoms.size()) {
        size_t j = i + 1;
        if (Mergeable(atoms[i])) {
            size_t length = atoms[i].item.text.size();
            while (j < atoms.size() && SameRun(atoms[i], atoms[j]) &&
                   !(keepBlanks && (atoms[j].blank || atoms[j - 1].blank)) &&
                   length + atoms[j].item.text.size() <= kMaxRunText) {
                length += atoms[j].item.text.size();
                ++j;
            }
        }
        if (j - i >= 2) {
            std::string text;
            int32_t before = 0;
            for (size_t k = i; k < j; ++k) {
                text += atoms[k].item.text;
                const int32_t upTo = Clamp(m_ctx.env.TextWidth(atoms[i].item.font, text));
                atoms[k].width = std::max(upTo - before, 0);
                atoms[k].runLength = 0;
                before = std::max(upTo, before);
            }
            atoms[i].runLength = static_cast<int>(j - i);
        }
        i = j;
    }
    line.width = 0;
    for (const Atom& a : atoms) {
        line.width = Add(line.width, a.width);
    }
}

Document Flow::Finish(int32_t forcedWidth) {
    // Blanks at the end of a line take no room.
    for (Line& line : m_lines) {
        while (!line.atoms.empty() && line.atoms.back().blank) {
            line.width -= line.atoms.back().width;
            line.atoms.pop_back();
        }
        if (!line.rule && !line.table) {
            MeasureRuns(line);
        }
    }
    // A last line left empty by a break or a block adds nothing.
    if (m_lines.size() > 1 && m_lines.back().atoms.empty() && !m_lines.back().rule &&
        !m_lines.back().table) {
        m_lines.pop_back();
    }
    int32_t width = std::max(forcedWidth, 0);
    for (const Line& line : m_lines) {
        width = std::max(width, line.width);
    }
    Document doc;
    doc.width = width;
    int32_t y = 0;
    for (Line& line : m_lines) {
        const int32_t slack = std::max(width - line.width, 0);
        int32_t x = 0;
        if (line.align == HAlign::Center) {
            x = slack / 2;
        } else if (line.align == HAlign::Right) {
            x = slack;
        }
        if (line.rule) {
            const int32_t gap = std::max((line.ascent + line.descent) / 3, 2);
            DrawItem rule;
            rule.kind = DrawItem::Kind::Rule;
            rule.box = Box{0, Add(y, gap), width, Add(y, gap + 1)};
            rule.light = line.ruleColour;
            doc.items.push_back(std::move(rule));
            y = Add(y, 2 * gap + 1);
            continue;
        }
        if (line.table) {
            for (DrawItem& item : line.block.items) {
                item.box.left = Add(item.box.left, x);
                item.box.right = Add(item.box.right, x);
                item.box.top = Add(item.box.top, y);
                item.box.bottom = Add(item.box.bottom, y);
                item.baseline = Add(item.baseline, y);
                doc.items.push_back(std::move(item));
            }
            y = Add(y, line.block.height);
            continue;
        }
        // Justified lines that wrapped share the slack among their inner blanks.
        int32_t stretchable = 0;
        if (line.align == HAlign::Justify && line.wrapped) {
            for (const Atom& a : line.atoms) {
                stretchable += a.blank && !a.tab ? 1 : 0;
            }
        }
        int32_t ascent = 0;
        int32_t descent = 0;
        int32_t tall = 0;  // atoms aligned to the top, middle or bottom
        bool any = false;
        for (const Atom& a : line.atoms) {
            if (a.valign == VAlign::Baseline) {
                ascent = std::max(ascent, a.ascent);
                descent = std::max(descent, a.descent);
                any = true;
            } else {
                tall = std::max(tall, Add(a.ascent, a.descent));
            }
        }
        if (!any) {
            ascent = line.ascent;
            descent = line.descent;
        }
        const int32_t height = std::max(Add(ascent, descent), tall);
        int32_t stretchIndex = 0;
        for (size_t index = 0; index < line.atoms.size(); ++index) {
            Atom& a = line.atoms[index];
            if (a.runLength == 0) {
                x = Add(x, a.width);  // drawn with its run
                continue;
            }
            int32_t own = a.width;  // how far this atom moves the pen
            if (stretchable > 0 && a.blank && !a.tab) {
                own += slack / stretchable + (stretchIndex++ < slack % stretchable ? 1 : 0);
            }
            int32_t w = own;  // the drawn width: the whole run's
            bool decorated = !a.blank;
            for (int k = 1; k < a.runLength; ++k) {
                const Atom& next = line.atoms[index + static_cast<size_t>(k)];
                w = Add(w, next.width);
                a.item.text += next.item.text;
                decorated = decorated || !next.blank;
            }
            const int32_t atomHeight = Add(a.ascent, a.descent);
            int32_t top = y;
            switch (a.valign) {
                case VAlign::Baseline:
                    top = Add(y, ascent - a.ascent);
                    break;
                case VAlign::Top:
                    break;
                case VAlign::Middle:
                    top = Add(y, (height - atomHeight) / 2);
                    break;
                case VAlign::Bottom:
                    top = Add(y, height - atomHeight);
                    break;
            }
            const Box box{x, top, Add(x, w), Add(top, atomHeight)};
            if (a.background) {
                DrawItem fill;
                fill.kind = DrawItem::Kind::Fill;
                fill.box = box;
                fill.effect = effects::kSolid;
                fill.begin = fill.middle = fill.end = *a.background;
                doc.items.push_back(std::move(fill));
            }
            a.item.box = box;
            a.item.baseline = Add(top, a.ascent);
            const bool drawn = a.item.kind == DrawItem::Kind::Image ||
                               (!a.item.text.empty() &&
                                (decorated || a.item.font.underline || a.item.font.strike ||
                                 a.item.overline || a.item.link >= 0));
            if (drawn) {
                doc.items.push_back(std::move(a.item));
            }
            x = Add(x, own);
        }
        y = Add(y, height);
    }
    doc.height = y;
    doc.minWidth = m_minWidth;
    doc.preferredWidth = m_preferredWidth;
    return doc;
}

}  // namespace

int Document::LinkAt(int32_t x, int32_t y) const {
    for (const DrawItem& item : items) {
        if (item.link >= 0 && item.box.Contains(x, y)) {
            return item.link;
        }
    }
    return -1;
}

Document Layout(const std::vector<Token>& tokens, const StyleSheet& sheet, const Style& base,
                Environment& environment, const LayoutOptions& options) {
    Context context{sheet, environment, options, {}, false, {}, kMaxStrings};
    context.system = [&environment](int index) { return environment.SystemColour(index); };
    Flow flow(context, std::max(options.maxWidth, 0), 0, 0);
    flow.Run(tokens, 0, tokens.size(), base, -1);
    Document doc = flow.Finish(0);
    doc.links = std::move(context.links);
    doc.animated = context.animated;
    return doc;
}

}  // namespace html
