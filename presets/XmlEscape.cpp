// Entity escaping and locale-independent number reading for the XML module.
#include "presets/XmlEscape.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kMaxReferenceDigits = 10;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}


// Reads a numeric reference starting at text[i] == '&' and text[i + 1] == '#'. On success
// appends the character and returns the length consumed; returns 0 when the reference is
// not one we resolve (no digits, too many digits, NUL, a surrogate or beyond U+10FFFF).
size_t ReadNumericReference(std::string_view text, size_t i, std::string& out) {
    size_t p = i + 2;
    bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    if (hex)
        ++p;
    uint64_t value = 0;
    int digits = 0;
    while (p < text.size()) {
        int d = hex ? HexValue(text[p]) : (IsDigit(text[p]) ? text[p] - '0' : -1);
        if (d < 0)
            break;
        if (++digits > kMaxReferenceDigits)
            return 0;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        ++p;
    }
    if (digits == 0 || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    if (p < text.size() && text[p] == ';')
        ++p;
    AppendUtf8(out, static_cast<uint32_t>(value));
    return p - i;
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        switch (c) {
            case '&':
                if (i + 1 < text.size() && text[i + 1] == '#') {
                    out += c;
                } else {
                    out += "&amp;";
                }
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
                break;
        }
    }
    return out;
}

std::string XmlUnescape(std::string_view text) {
    static constexpr struct {
        std::string_view ref;
        char ch;
    } kNamed[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};

    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, amp - i));
        i = amp;
        size_t used = 0;
        if (amp + 1 < text.size() && text[amp + 1] == '#') {
            used = ReadNumericReference(text, amp, out);
        } else {
            for (const auto& named : kNamed) {
                if (text.compare(amp, named.ref.size(), named.ref) == 0) {
                    out += named.ch;
                    used = named.ref.size();
                    break;
                }
            }
        }
        if (used == 0) {
            out += '&';
            used = 1;
        }
        i += used;
    }
    return out;
}

bool XmlIsElementName(std::string_view name) {
    if (name.empty() || name[0] == '!' || name[0] == '?') {
        return false;
    }
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == ' ' || c == '/' || c == '\x7F')
            return false;
    }
    // The rules above hold for the name as it reads back only if it reads back unchanged.
    return XmlUnescape(XmlEscape(name)) == name;
}

int XmlToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1)
            value = static_cast<int64_t>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

double XmlToDouble(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Take only the characters of a plain decimal number, so that "nan", "inf" and hex
    // floats, which from_chars would accept, read as no number.
    size_t start = i;
    size_t mantissaDigits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++mantissaDigits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++mantissaDigits;
    }
    if (mantissaDigits == 0)
        return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-'))
            ++e;
        if (e < text.size() && IsDigit(text[e])) {
            i = e;
            while (i < text.size() && IsDigit(text[i])) ++i;
        }
    }
    double value = 0.0;
    auto result = std::from_chars(text.data() + start, text.data() + i, value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow; tell them apart by
        // the exponent's sign (a huge mantissa with a negative exponent is rare enough).
        size_t e = text.substr(start, i - start).find_first_of("eE");
        bool tiny = e != std::string_view::npos && start + e + 1 < i && text[start + e + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    } else if (result.ec != std::errc()) {
        return 0.0;
    }
    if (!std::isfinite(value))
        value = 1e308;
    return negative ? -value : value;
}
