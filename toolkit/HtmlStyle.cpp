// Text styles of the tooltip markup.
#include "HtmlStyle.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace html {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() &&
           (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) {
        s.remove_prefix(1);
    }
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
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

std::string Unquote(std::string_view s) {
    s = Trim(s);
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
        s = s.substr(1, s.size() - 2);
    }
    return std::string(s);
}

// A leading decimal number and the unit after it.
bool SplitNumber(std::string_view value, double& number, std::string& unit) {
    const std::string text(Trim(value));
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    number = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(number)) {
        return false;
    }
    unit = Lower(Trim(std::string_view(end)));
    return true;
}

int32_t Bounded(double v, int32_t lo, int32_t hi) {
    if (!(v > lo)) {
        return lo;
    }
    if (v > hi) {
        return hi;
    }
    return static_cast<int32_t>(std::lround(v));
}

void ApplyOne(const std::string& name, const std::string& raw, const Style& parent, Style& style,
              const SystemColours& system) {
    const std::string value = Lower(raw);
    if (name == "color") {
        style.colour = ParseColour(raw, system).value_or(style.colour);
    } else if (name == "background-color") {
        if (value == "transparent") {
            style.background.reset();
        } else if (auto c = ParseColour(raw, system)) {
            style.background = *c;
        }
    } else if (name == "font-family") {
        // The first family of a list.
        const std::string first = Unquote(std::string_view(raw).substr(0, raw.find(',')));
        if (!first.empty()) {
            style.font.face = first.substr(0, 31);
        }
    } else if (name == "font-size" || name == "size") {
        style.font.size = ParseFontSize(raw, parent.font.size).value_or(style.font.size);
    } else if (name == "font-style") {
        if (value == "normal") {
            style.font.italic = false;
        } else if (value == "italic" || value == "oblique") {
            style.font.italic = true;
        }
    } else if (name == "font-weight") {
        if (value == "normal") {
            style.font.weight = 400;
        } else if (value == "bold") {
            style.font.weight = 700;
        } else if (value == "bolder") {
            style.font.weight = std::min(parent.font.weight + 300, 900);
        } else if (value == "lighter") {
            style.font.weight = std::max(parent.font.weight - 300, 100);
        } else if (!value.empty() && value[0] >= '0' && value[0] <= '9') {
            style.font.weight = Bounded(std::atof(value.c_str()), 100, 900);
        }
    } else if (name == "text-align") {
        if (value == "left") {
            style.align = HAlign::Left;
        } else if (value == "center") {
            style.align = HAlign::Center;
        } else if (value == "right") {
            style.align = HAlign::Right;
        } else if (value == "justify") {
            style.align = HAlign::Justify;
        }
    } else if (name == "vertical-align") {
        if (value == "baseline") {
            style.valign = VAlign::Baseline;
        } else if (value == "top") {
            style.valign = VAlign::Top;
        } else if (value == "middle" || value == "vcenter") {
            style.valign = VAlign::Middle;
        } else if (value == "bottom") {
            style.valign = VAlign::Bottom;
        }
    } else if (name == "text-decoration") {
        if (value == "none") {
            style.font.underline = false;
            style.font.strike = false;
            style.overline = false;
        } else if (value == "underline") {
            style.font.underline = true;
        } else if (value == "overline") {
            style.overline = true;
        } else if (value == "line-through") {
            style.font.strike = true;
        }
    } else if (name == "text-transform") {
        if (value == "none") {
            style.transform = Transform::None;
        } else if (value == "capitalize") {
            style.transform = Transform::Capitalize;
        } else if (value == "lowercase") {
            style.transform = Transform::Lower;
        } else if (value == "uppercase") {
            style.transform = Transform::Upper;
        }
    } else if (name == "border-color") {
        style.borderColour = ParseColour(raw, system).value_or(style.borderColour);
    } else if (name == "border-style") {
        if (value == "solid") {
            style.borderStyle = BorderStyle::Solid;
        } else if (value == "dashed") {
            style.borderStyle = BorderStyle::Dashed;
        } else if (value == "dotted") {
            style.borderStyle = BorderStyle::Dotted;
        } else if (value == "double") {
            style.borderStyle = BorderStyle::Double;
        }
    } else if (name == "border-width") {
        style.borderWidth = ParseLength(raw).value_or(style.borderWidth);
    } else if (name == "margin") {
        style.margin = ParseLength(raw).value_or(style.margin);
    } else if (name == "padding") {
        style.padding = ParseLength(raw).value_or(style.padding);
    }
}

}  // namespace

std::optional<int32_t> ParseFontSize(std::string_view value, int32_t parent) {
    double number;
    std::string unit;
    if (!SplitNumber(value, number, unit)) {
        return std::nullopt;
    }
    double tenths;
    if (unit.empty() || unit == "pt") {
        tenths = number * 10;
    } else if (unit == "px") {
        tenths = number * 10 * 72 / 96;
    } else if (unit == "%") {
        tenths = parent * number / 100;
    } else if (unit == "em") {
        tenths = parent * number;
    } else {
        return std::nullopt;
    }
    return Bounded(tenths, kMinFontSize, kMaxFontSize);
}

std::optional<int32_t> ParseLength(std::string_view value) {
    const std::string word = Lower(Trim(value));
    if (word == "thin") {
        return 1;
    }
    if (word == "medium") {
        return 3;
    }
    if (word == "thick") {
        return 5;
    }
    double number;
    std::string unit;
    if (!SplitNumber(value, number, unit)) {
        return std::nullopt;
    }
    if (unit == "pt") {
        number = number * 96 / 72;
    } else if (!unit.empty() && unit != "px") {
        return std::nullopt;
    }
    return Bounded(number, 0, 1000);
}

std::vector<Declaration> ParseDeclarations(std::string_view text) {
    std::vector<Declaration> out;
    size_t start = 0;
    while (start <= text.size()) {
        // A ";" inside quotes belongs to the value.
        size_t end = start;
        char quote = 0;
        for (; end < text.size(); ++end) {
            const char c = text[end];
            if (quote) {
                quote = c == quote ? 0 : quote;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == ';') {
                break;
            }
        }
        const std::string_view part = text.substr(start, end - start);
        const size_t colon = part.find(':');
        if (colon != std::string_view::npos) {
            std::string name = Lower(Trim(part.substr(0, colon)));
            std::string value = Unquote(part.substr(colon + 1));
            if (!name.empty()) {
                out.emplace_back(std::move(name), std::move(value));
            }
        }
        start = end + 1;
    }
    return out;
}

void ApplyDeclarations(const std::vector<Declaration>& declarations, const Style& parent,
                       Style& style, const SystemColours& system) {
    for (const Declaration& d : declarations) {
        ApplyOne(d.first, d.second, parent, style, system);
    }
}

const char* StyleSheet::DefaultText() {
    return "body {font-size: 10pt; color:black; font-family:Verdana}\r\n"
           "p {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
           "h1 {font-size: 14pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
           "h2 {font-size: 13pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
           "h3 {font-size: 12pt; color:#ff9900; font-family:Arial; font-weight:bold}\r\n"
           "h4 {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
           "h5 {font-size: 9pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
           "h6 {font-size: 65%; color:#626262; font-family:Verdana; font-weight:normal}\r\n"
           "pre {font-size: 9pt; font-family:\"Courier\"; background-color:#fbedbb}\r\n"
           "code {color:#990000; font-family:Arial}\r\n"
           "a:link {text-decoration:none; color:blue}\r\n"
           "a:hover {text-decoration:underline; color:blue}\r\n"
           "sub {font-size:65%; vertical-align:bottom}\r\n"
           "sup {font-size:65%; vertical-align:top}\r\n"
           "big {font-size:125%}\r\n"
           "small {font-size:75%}\r\n"
           ".cpp-comment {color:green; font-style:italic}\r\n";
}

void StyleSheet::Parse(std::string_view text) {
    // Comments first, so that a brace inside one does not count.
    std::string clean;
    clean.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text.substr(i, 2) == "/*") {
            const size_t close = text.find("*/", i + 2);
            i = close == std::string_view::npos ? text.size() : close + 2;
            continue;
        }
        clean += text[i++];
    }
    size_t pos = 0;
    while (pos < clean.size()) {
        const size_t open = clean.find('{', pos);
        if (open == std::string::npos) {
            break;
        }
        const size_t close = clean.find('}', open + 1);
        const size_t stop = close == std::string::npos ? clean.size() : close;
        const std::vector<Declaration> declarations =
            ParseDeclarations(std::string_view(clean).substr(open + 1, stop - open - 1));
        // "h1, h2 { ... }" gives each selector the rule.
        const std::string_view selectors = std::string_view(clean).substr(pos, open - pos);
        size_t start = 0;
        while (start <= selectors.size()) {
            size_t comma = selectors.find(',', start);
            if (comma == std::string_view::npos) {
                comma = selectors.size();
            }
            std::string selector = Lower(Trim(selectors.substr(start, comma - start)));
            if (!selector.empty()) {
                m_rules.push_back({std::move(selector), declarations});
            }
            start = comma + 1;
        }
        pos = stop + 1;
    }
}

void StyleSheet::Apply(std::string_view selector, const Style& parent, Style& style,
                       const SystemColours& system) const {
    for (const Rule& rule : m_rules) {
        if (rule.selector == selector) {
            ApplyDeclarations(rule.declarations, parent, style, system);
        }
    }
}

bool StyleSheet::Has(std::string_view selector) const {
    return std::any_of(m_rules.begin(), m_rules.end(),
                       [selector](const Rule& r) { return r.selector == selector; });
}

}  // namespace html
