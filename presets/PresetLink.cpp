// Preset links: the check of the import dialog and the file name a download is stored under.
#include "presets/PresetLink.h"

#include <cctype>

#include "presets/PresetFolder.h"

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// One pass of %XX decoding; a "%" not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace

std::string RemoveSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ')
            out += c;
    }
    return out;
}

bool IsAcceptedPresetLink(std::string_view link) {
    return (StartsWithNoCase(link, "http://") || StartsWithNoCase(link, "https://")) &&
           EndsWithNoCase(link, ".vpp");
}

std::string PresetFileNameFromLink(std::string_view link) {
    const size_t slash = link.rfind('/');
    const std::string name =
        PercentDecode(slash == std::string_view::npos ? link : link.substr(slash + 1));
    constexpr std::string_view kExtension = ".vpp";
    if (name.size() > kMaxLinkFileName || !EndsWithNoCase(name, kExtension) ||
        name.find("..") != std::string::npos)
        return std::string();
    // The stem must itself be a safe file name: PresetFileNameFor applies the folder's rules.
    const std::string stem = name.substr(0, name.size() - kExtension.size());
    if (PresetFileNameFor(stem).empty())
        return std::string();
    return name;
}
