// Reading the tooltip markup.
#include "HtmlMarkup.h"

namespace html {

namespace {

struct Entity {
    const char* name;
    const char* text;
};

// Single bytes are those of Windows code page 1252, the one the texts are written in
// (the euro sign is 0x80 there).
const Entity kEntities[] = {
    {"amp", "&"},      {"gt", ">"},      {"lt", "<"},       {"quot", "\""},     {"nbsp", " "},
    {"bull", "\x95"},  {"copy", "\xA9"}, {"euro", "\x80"},  {"iquest", "\xBF"}, {"para", "\xB6"},
    {"pound", "\xA3"}, {"reg", "\xAE"},  {"trade", "\x99"},
};

// Entity names are short; a longer run after "&" is never one.
constexpr size_t kLongestEntity = 8;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == ':' || c == '.';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Appends `text` to `out` with its entities replaced; carriage returns are dropped.
void AppendDecoded(std::string_view text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            const size_t semi = text.find(';', i + 1);
            if (semi != std::string_view::npos && semi - i - 1 <= kLongestEntity) {
                if (const char* replacement = EntityText(text.substr(i + 1, semi - i - 1))) {
                    out += replacement;
                    i = semi;
                    continue;
                }
            }
        }
        out += c;
    }
}

// The position of the ">" that closes the tag opened at `open`, skipping quoted values; npos
// when the text ends first.
size_t TagEnd(std::string_view markup, size_t open) {
    char quote = 0;
    for (size_t i = open + 1; i < markup.size(); ++i) {
        const char c = markup[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            // Only a quote that starts a value opens a quoted run.
            if (i > 0 && markup[i - 1] == '=') {
                quote = c;
            }
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// Reads the inside of a tag (between "<" and ">").
Token ReadTag(std::string_view inside) {
    Token tag;
    size_t i = 0;
    tag.kind = Token::Kind::Open;
    if (i < inside.size() && inside[i] == '/') {
        tag.kind = Token::Kind::Close;
        ++i;
    }
    while (i < inside.size() && IsNameChar(inside[i])) {
        tag.text += Lower(inside[i++]);
    }
    while (i < inside.size()) {
        while (i < inside.size() && (IsBlank(inside[i]) || inside[i] == '/')) {
            ++i;
        }
        if (i >= inside.size()) {
            break;
        }
        Attribute attribute;
        while (i < inside.size() && !IsBlank(inside[i]) && inside[i] != '=' && inside[i] != '/') {
            attribute.name += Lower(inside[i++]);
        }
        while (i < inside.size() && IsBlank(inside[i])) {
            ++i;
        }
        if (i < inside.size() && inside[i] == '=') {
            ++i;
            while (i < inside.size() && IsBlank(inside[i])) {
                ++i;
            }
            std::string_view raw;
            if (i < inside.size() && (inside[i] == '"' || inside[i] == '\'')) {
                const char quote = inside[i++];
                const size_t close = inside.find(quote, i);
                const size_t stop = close == std::string_view::npos ? inside.size() : close;
                raw = inside.substr(i, stop - i);
                i = stop == inside.size() ? stop : stop + 1;
            } else {
                const size_t start = i;
                while (i < inside.size() && !IsBlank(inside[i])) {
                    ++i;
                }
                raw = inside.substr(start, i - start);
            }
            AppendDecoded(raw, attribute.value);
        } else if (attribute.name.empty()) {
            ++i;  // a stray "=" or quote
            continue;
        }
        if (!attribute.name.empty()) {
            tag.attributes.push_back(std::move(attribute));
        }
    }
    return tag;
}

void PushText(std::vector<Token>& tokens, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (tokens.empty() || tokens.back().kind != Token::Kind::Text) {
        tokens.emplace_back();
    }
    AppendDecoded(text, tokens.back().text);
    if (tokens.back().text.empty()) {
        tokens.pop_back();
    }
}

void PushTag(std::vector<Token>& tokens, const char* name) {
    Token tag;
    tag.kind = Token::Kind::Open;
    tag.text = name;
    tokens.push_back(std::move(tag));
}

}  // namespace

const std::string* Token::Find(std::string_view name) const {
    for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) {
        if (it->name == name) {
            return &it->value;
        }
    }
    return nullptr;
}

const char* EntityText(std::string_view name) {
    for (const Entity& e : kEntities) {
        if (name == e.name) {
            return e.text;
        }
    }
    return nullptr;
}

std::vector<Token> Tokenize(std::string_view markup) {
    std::vector<Token> tokens;
    size_t textStart = 0;
    auto flush = [&](size_t end) { PushText(tokens, markup.substr(textStart, end - textStart)); };
    size_t i = 0;
    while (i < markup.size()) {
        const char c = markup[i];
        if (c == '\n' || c == '\t' || c == '\r') {
            flush(i);
            if (c != '\r') {
                PushTag(tokens, c == '\n' ? "br" : "t");
            }
            textStart = ++i;
            continue;
        }
        if (c != '<') {
            ++i;
            continue;
        }
        if (i + 1 < markup.size() && markup[i + 1] == '<') {
            flush(i + 1);  // keeps one "<" as text
            i += 2;
            textStart = i;
            continue;
        }
        // A comment runs to its "-->", or to the tag's end when it has none.
        if (markup.substr(i, 4) == "<!--") {
            const size_t close = markup.find("-->", i + 4);
            if (close != std::string_view::npos) {
                flush(i);
                i = close + 3;
                textStart = i;
                continue;
            }
        }
        const bool startsTag =
            i + 1 < markup.size() &&
            (IsNameChar(markup[i + 1]) || markup[i + 1] == '/' || markup[i + 1] == '!');
        const size_t end = startsTag ? TagEnd(markup, i) : std::string_view::npos;
        if (end == std::string_view::npos) {
            ++i;  // not a tag: the "<" stays as text
            continue;
        }
        flush(i);
        Token tag = ReadTag(markup.substr(i + 1, end - i - 1));
        if (!tag.text.empty()) {
            tokens.push_back(std::move(tag));
        }
        i = end + 1;
        textStart = i;
    }
    flush(markup.size());
    return tokens;
}

}  // namespace html
