// Reading and writing XML documents. The parser splits the text into constructs once, pairs
// each start tag with its end tag by nesting depth (names are not compared), then builds the
// tree level by level over those pairs, so the work stays linear in the size of the input.
#include "presets/XmlDocument.h"

#include "presets/FileReplace.h"
#include "presets/XmlEscape.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kCDataOpen = "<![CDATA[";
constexpr std::string_view kCDataClose = "]]>";

bool StartsWith(std::string_view text, size_t at, std::string_view prefix) {
    return text.compare(at, prefix.size(), prefix) == 0;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}


// UTF-16 LE (after its byte-order mark) up to the first zero code unit, as UTF-8. Surrogate
// pairs are combined; a lone surrogate becomes U+FFFD; an odd last byte is ignored.
std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    auto unitAt = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
               (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = unitAt(i);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
            unit = 0xFFFD;
        AppendUtf8(out, unit);
    }
    return out;
}

enum class TokenKind { CData, Comment, Skipped, EndTag, EmptyTag, StartTag };

// One construct from its "<" to just after its ">" (or "]]>"). For a start tag, match is the
// index of its end tag, or -1 when it has none.
struct Token {
    size_t begin;
    size_t end;
    TokenKind kind;
    int match;
};

// Builds the tree of one document from its text. Holds only borrowed state.
class CXmlParser {
public:
    CXmlParser(std::string_view text, CXmlProlog& prolog) : m_text(text), m_prolog(prolog) {}

    // Parses from start; returns the root (possibly null) and sets malformed as it goes.
    std::unique_ptr<CXmlElement> Run(size_t start) {
        Tokenize(start);
        MatchTags();
        ParseLevel(nullptr, 0, m_tokens.size(), start, m_text.size(), 0);
        if (m_unterminated && !m_result)
            m_malformed = true;
        return std::move(m_result);
    }

    bool IsMalformed() const { return m_malformed; }

private:
    // Splits the text into constructs. A "<" without a closing ">" (or "]]>") ends the scan.
    void Tokenize(size_t pos) {
        for (;;) {
            size_t lt = m_text.find('<', pos);
            if (lt == std::string_view::npos)
                return;
            Token token{lt, 0, TokenKind::StartTag, -1};
            if (StartsWith(m_text, lt, kCDataOpen)) {
                size_t close = m_text.find(kCDataClose, lt + kCDataOpen.size());
                if (close == std::string_view::npos)
                    break;
                token.end = close + kCDataClose.size();
                token.kind = TokenKind::CData;
            } else {
                size_t gt = m_text.find('>', lt + 1);
                if (gt == std::string_view::npos)
                    break;
                token.end = gt + 1;
                if (StartsWith(m_text, lt, "<!--")) {
                    token.kind = TokenKind::Comment;
                } else if (StartsWith(m_text, lt, "<?") || StartsWith(m_text, lt, "<!")) {
                    token.kind = TokenKind::Skipped;  // processing instruction, DOCTYPE
                } else if (StartsWith(m_text, lt, "</")) {
                    token.kind = TokenKind::EndTag;
                } else if (IsBlank(m_text[lt + 1]) || m_text[lt + 1] == '"' || gt == lt + 1) {
                    // No element name: "<>", "< a=...>". Written back, such an element
                    // would read as an end tag ("</>"), so it is not taken as one.
                    token.kind = TokenKind::Skipped;
                } else if (m_text[gt - 1] == '/') {
                    token.kind = TokenKind::EmptyTag;
                }
            }
            m_tokens.push_back(token);
            pos = token.end;
        }
        m_unterminated = true;
    }

    // Pairs start and end tags by depth alone.
    void MatchTags() {
        std::vector<size_t> open;
        for (size_t i = 0; i < m_tokens.size(); ++i) {
            if (m_tokens[i].kind == TokenKind::StartTag) {
                open.push_back(i);
            } else if (m_tokens[i].kind == TokenKind::EndTag && !open.empty()) {
                m_tokens[open.back()].match = static_cast<int>(i);
                open.pop_back();
            }
        }
    }

    bool CountNode() {
        if (++m_nodes <= CXmlDocument::kMaxNodes)
            return true;
        m_malformed = m_stop = true;
        return false;
    }

    void OfferText(CXmlElement* parent, size_t from, size_t to) {
        if (parent == nullptr || to <= from)
            return;
        std::string_view text = Trim(m_text.substr(from, to - from));
        if (!text.empty() && CountNode())
            parent->AddText(std::string(text));
    }

    // An element from the text between "<" and ">" (without a closing "/").
    std::unique_ptr<CXmlElement> BuildElement(std::string_view tag) {
        size_t p = 0;
        while (p < tag.size() && !IsBlank(tag[p]) && tag[p] != '"' && tag[p] != '/' &&
               tag[p] != '>') {
            ++p;
        }
        auto element = std::make_unique<CXmlElement>(std::string(tag.substr(0, p)), nullptr);
        for (;;) {
            while (p < tag.size() && IsBlank(tag[p])) ++p;
            if (p >= tag.size() || tag[p] == '>' || tag[p] == '/')
                break;
            size_t eq = tag.find('=', p);
            if (eq == std::string_view::npos)
                break;
            std::string name(tag.substr(p, eq - p));
            size_t q1 = tag.find('"', eq + 1);
            if (!CountNode())
                break;
            if (q1 == std::string_view::npos) {
                element->AppendRawAttribute(std::move(name), std::string());
                break;
            }
            size_t q2 = tag.find('"', q1 + 1);
            if (q2 == std::string_view::npos) {
                element->AppendRawAttribute(std::move(name), std::string(tag.substr(q1 + 1)));
                break;
            }
            element->AppendRawAttribute(std::move(name),
                                        std::string(tag.substr(q1 + 1, q2 - q1 - 1)));
            p = q2 + 1;
        }
        return element;
    }

    // Parses tokens [first, last) and the text [from, to) around them into parent's content
    // (parent null: the top level). Stops everything on a start tag without end.
    void ParseLevel(CXmlElement* parent, size_t first, size_t last, size_t from, size_t to,
                    int depth) {
        size_t pos = from;
        for (size_t i = first; i < last && !m_stop; ++i) {
            const Token& token = m_tokens[i];
            OfferText(parent, pos, token.begin);
            switch (token.kind) {
                case TokenKind::CData:
                    if (parent != nullptr && CountNode()) {
                        size_t b = token.begin + kCDataOpen.size();
                        size_t e = token.end - kCDataClose.size();
                        parent->AddCData(std::string(m_text.substr(b, e - b)));
                    }
                    break;
                case TokenKind::Comment: {
                    // Without "<!--" and the two characters before ">" (normally "--").
                    size_t b = token.begin + 4;
                    size_t e = token.end - 1 >= b + 2 ? token.end - 3 : b;
                    std::string text(m_text.substr(b, e - b));
                    if (!CountNode())
                        break;
                    if (parent != nullptr) {
                        parent->AddComment(std::move(text));
                    } else {
                        m_prolog.AddComment(std::move(text), m_result ? 1 : 0);
                    }
                    break;
                }
                case TokenKind::Skipped:
                case TokenKind::EndTag:
                    break;
                case TokenKind::EmptyTag: {
                    if (!CountNode())
                        break;
                    if (depth + 1 > CXmlDocument::kMaxDepth) {
                        m_malformed = m_stop = true;
                        break;
                    }
                    auto element =
                        BuildElement(m_text.substr(token.begin + 1, token.end - token.begin - 3));
                    if (parent != nullptr) {
                        parent->AppendChild(std::move(element));
                    } else if (!m_result) {
                        m_result = std::move(element);
                    }
                    break;
                }
                case TokenKind::StartTag: {
                    if (token.match < 0 || depth + 1 > CXmlDocument::kMaxDepth || !CountNode()) {
                        m_malformed = m_stop = true;
                        break;
                    }
                    auto element =
                        BuildElement(m_text.substr(token.begin + 1, token.end - token.begin - 2));
                    CXmlElement* child = nullptr;
                    if (parent != nullptr) {
                        child = parent->AppendChild(std::move(element));
                    } else {
                        m_result = std::move(element);
                        child = m_result.get();
                    }
                    size_t end = static_cast<size_t>(token.match);
                    ParseLevel(child, i + 1, end, token.end, m_tokens[end].begin, depth + 1);
                    i = end;  // continue at the end tag, which adds nothing
                    break;
                }
            }
            pos = m_tokens[i].end;
        }
        if (!m_stop)
            OfferText(parent, pos, to);
    }

    std::string_view m_text;
    CXmlProlog& m_prolog;
    std::vector<Token> m_tokens;
    std::unique_ptr<CXmlElement> m_result;
    size_t m_nodes = 0;
    bool m_unterminated = false;
    bool m_malformed = false;
    bool m_stop = false;
};

void AppendIndent(std::string& out, int level) {
    out.append(static_cast<size_t>(level), '\t');
}

void AppendItemLine(std::string& out, int level, std::string_view open, const CXmlItem& item,
                    std::string_view close) {
    AppendIndent(out, level);
    out += open;
    out += item.GetText();
    out += close;
    out += kLineEnd;
}

// Writes one element and, recursively, its content, putting every item back before the
// child it preceded. The recursion is bounded by the parser's depth limit.
void WriteElement(std::string& out, const CXmlElement& element, int level) {
    AppendIndent(out, level);
    out += '<';
    out += element.GetRawName();
    for (int a = 0; a < element.GetAttributeCount(); ++a) {
        const CXmlAttribute* attribute = element.GetAttribute(a);
        out += ' ';
        out += attribute->GetRawName();
        out += "=\"";
        out += attribute->GetRawValue();
        out += '"';
    }
    if (element.IsEmpty()) {
        out += "/>";
        out += kLineEnd;
        return;
    }
    out += '>';
    out += kLineEnd;

    const auto& comments = element.GetComments();
    const auto& texts = element.GetTexts();
    const auto& cdata = element.GetCData();
    size_t ci = 0;
    size_t ti = 0;
    size_t di = 0;
    auto writeComment = [&] { AppendItemLine(out, level + 1, "<!--", *comments[ci++], "-->"); };
    auto writeText = [&] { AppendItemLine(out, level + 1, "", *texts[ti++], ""); };
    auto writeCData = [&] {
        AppendItemLine(out, level + 1, kCDataOpen, *cdata[di++], kCDataClose);
    };

    for (int k = 0; k < element.GetChildCount(); ++k) {
        while (ci < comments.size() && comments[ci]->GetPosition() <= k) writeComment();
        // CDATA items come out with the text items; with no text left they wait to the end.
        if (ti < texts.size()) {
            while (ti < texts.size() && texts[ti]->GetPosition() <= k) writeText();
            while (di < cdata.size() && cdata[di]->GetPosition() <= k) writeCData();
        }
        WriteElement(out, *element.GetChild(k), level + 1);
    }
    while (ci < comments.size()) writeComment();
    while (di < cdata.size()) writeCData();
    while (ti < texts.size()) writeText();

    AppendIndent(out, level);
    out += "</";
    out += element.GetRawName();
    out += '>';
    out += kLineEnd;
}

}  // namespace

CXmlDocument::CXmlDocument() {
    Reset();
}

CXmlDocument::CXmlDocument(const std::string& fileName) : m_fileName(fileName) {
    Reset();
    FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        // Only a file that is not there may be created; one we merely cannot read must not
        // be replaced by an empty document.
        if (errno != ENOENT)
            m_fileName.reset();
        return;
    }
    std::string bytes;
    char chunk[16384];
    bool tooLarge = false;
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes.size() + got > kMaxFileSize) {
            tooLarge = true;
            break;
        }
        bytes.append(chunk, got);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        m_fileName.reset();
        return;
    }
    if (tooLarge) {
        m_status = XML_STATUS_MALFORMED;
        m_root.reset();
        return;
    }
    LoadText(bytes);
}

CXmlDocument::~CXmlDocument() = default;

void CXmlDocument::Reset() {
    m_status = XML_STATUS_OK;
    m_prolog = CXmlProlog();
    m_prolog.SetDeclaration(std::string(kStandardDeclaration));
    m_root = CXmlElement::Create("root");
}

const std::string& CXmlDocument::GetFileName() const {
    static const std::string kNone;
    return m_fileName ? *m_fileName : kNone;
}

void CXmlDocument::LoadText(std::string_view bytes) {
    Reset();
    std::string converted;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        converted = std::string(kUtf8Bom) + Utf16LeToUtf8(bytes.substr(2));
        bytes = converted;
    }
    // The source is read as a zero-terminated text.
    bytes = bytes.substr(0, bytes.find('\0'));

    size_t start = 0;
    size_t declEnd = bytes.find("?>");
    if (declEnd != std::string_view::npos) {
        m_prolog.SetDeclaration(std::string(bytes.substr(0, declEnd + 2)));
        start = declEnd + 2;
    } else {
        m_status = XML_STATUS_NO_DECLARATION;
        m_fileName.reset();
        m_prolog.SetDeclaration(std::string(kUtf8Bom) + std::string(kStandardDeclaration));
    }
    size_t lt = bytes.find('<', start);
    if (lt == std::string_view::npos) {
        m_status = XML_STATUS_NO_DECLARATION;
        m_fileName.reset();
        return;
    }
    CXmlParser parser(bytes, m_prolog);
    m_root = parser.Run(lt);
    if (parser.IsMalformed()) {
        m_status = XML_STATUS_MALFORMED;
    } else if (!m_root) {
        m_root = CXmlElement::Create("root");  // only comments or declarations: no content yet
    }
}

std::string CXmlDocument::ToText() const {
    std::string out;
    out += kStandardDeclaration;
    out += kLineEnd;
    for (const auto& comment : m_prolog.GetComments()) {
        if (comment->GetPosition() <= 0)
            AppendItemLine(out, 0, "<!--", *comment, "-->");
    }
    if (m_root)
        WriteElement(out, *m_root, 0);
    for (const auto& comment : m_prolog.GetComments()) {
        if (comment->GetPosition() > 0)
            AppendItemLine(out, 0, "<!--", *comment, "-->");
    }
    return out;
}

bool CXmlDocument::Save() const {
    if (!m_fileName || m_status == XML_STATUS_MALFORMED || !m_root)
        return false;
    // Truncating the file in place would lose it whole on a full disk; the new text goes to
    // a temporary file that replaces the old one only once it is complete.
    return ReplaceFileContent(*m_fileName, ToText());
}
