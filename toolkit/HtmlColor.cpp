// Colour values of the tooltip markup.
#include "HtmlColor.h"

#include <cstdlib>
#include <string>

namespace html {

namespace {

constexpr Colour Hex(uint32_t rrggbb) {
    return ((rrggbb >> 16) & 0xFF) | (rrggbb & 0xFF00) | ((rrggbb & 0xFF) << 16);
}

#define VG_FIXED(name, rgb) \
    { name, false, Hex(rgb) }
#define VG_SYSTEM(name, index) \
    { name, true, index }

const NamedColour kNames[] = {
    VG_FIXED("aqua", 0x00FFFF),
    VG_FIXED("black", 0x000000),
    VG_FIXED("blue", 0x0000FF),
    VG_FIXED("brown", 0xA52A2A),
    VG_FIXED("cyan", 0x00FFFF),
    VG_FIXED("gold", 0xFFD700),
    VG_FIXED("gray", 0x808080),
    VG_FIXED("green", 0x008000),
    VG_FIXED("magenta", 0xFF00FF),
    VG_FIXED("maroon", 0x800000),
    VG_FIXED("navy", 0x000080),
    VG_FIXED("olive", 0x808000),
    VG_FIXED("orange", 0xFFA500),
    VG_FIXED("pink", 0xFFC0CB),
    VG_FIXED("purple", 0x800080),
    VG_FIXED("red", 0xFF0000),
    VG_FIXED("silver", 0xC0C0C0),
    VG_FIXED("snow", 0xFFFAFA),
    VG_FIXED("violet", 0xEE82EE),
    VG_FIXED("white", 0xFFFFFF),
    VG_FIXED("yellow", 0xFFFF00),
    VG_FIXED("aliceblue", 0xF0F8FF),
    VG_FIXED("antiquewhite", 0xFAEBD7),
    VG_FIXED("aquamarine", 0x7FFFD4),
    VG_FIXED("azure", 0xF0FFFF),
    VG_FIXED("beige", 0xF5F5DC),
    VG_FIXED("bisque", 0xFFE4C4),
    VG_FIXED("blanchedalmond", 0xFFEBCD),
    VG_FIXED("blueviolet", 0x8A2BE2),
    VG_FIXED("burlywood", 0xDEB887),
    VG_FIXED("cadetblue", 0x5F9EA0),
    VG_FIXED("chartreuse", 0x7FFF00),
    VG_FIXED("chocolate", 0xD2691E),
    VG_FIXED("coral", 0xFF7F50),
    VG_FIXED("cornflowerblue", 0x6495ED),
    VG_FIXED("cornsilk", 0xFFF8DC),
    VG_FIXED("crimson", 0xDC143C),
    VG_FIXED("darkblue", 0x00008B),
    VG_FIXED("darkcyan", 0x008B8B),
    VG_FIXED("darkgoldenrod", 0xB8860B),
    VG_FIXED("darkgray", 0xA9A9A9),
    VG_FIXED("darkgreen", 0x006400),
    VG_FIXED("darkkhaki", 0xBDB76B),
    VG_FIXED("darkmagenta", 0x8B008B),
    VG_FIXED("darkolivegreen", 0x556B2F),
    VG_FIXED("darkorange", 0xFF8C00),
    VG_FIXED("darkorchid", 0x9932CC),
    VG_FIXED("darkred", 0x8B0000),
    VG_FIXED("darksalmon", 0xE9967A),
    VG_FIXED("darkseagreen", 0x8FBC8F),
    VG_FIXED("darkslateblue", 0x483D8B),
    VG_FIXED("darkslategray", 0x2F4F4F),
    VG_FIXED("darkturquoise", 0x00CED1),
    VG_FIXED("darkviolet", 0x9400D3),
    VG_FIXED("deeppink", 0xFF1493),
    VG_FIXED("deepskyblue", 0x00BFFF),
    VG_FIXED("dimgray", 0x696969),
    VG_FIXED("dodgerblue", 0x1E90FF),
    VG_FIXED("firebrick", 0xB22222),
    VG_FIXED("floralwhite", 0xFFFAF0),
    VG_FIXED("forestgreen", 0x228B22),
    VG_FIXED("fuchsia", 0xFF00FF),
    VG_FIXED("gainsboro", 0xDCDCDC),
    VG_FIXED("ghostwhite", 0xF8F8FF),
    VG_FIXED("goldenrod", 0xDAA520),
    VG_FIXED("greenyellow", 0xADFF2F),
    VG_FIXED("honeydew", 0xF0FFF0),
    VG_FIXED("hotpink", 0xFF69B4),
    VG_FIXED("indianred", 0xCD5C5C),
    VG_FIXED("indigo", 0x4B0082),
    VG_FIXED("ivory", 0xFFFFF0),
    VG_FIXED("khaki", 0xF0E68C),
    VG_FIXED("lavender", 0xE6E6FA),
    VG_FIXED("lavenderblush", 0xFFF0F5),
    VG_FIXED("lawngreen", 0x7CFC00),
    VG_FIXED("lemonchiffon", 0xFFFACD),
    VG_FIXED("lightblue", 0xADD8E6),
    VG_FIXED("lightcoral", 0xF08080),
    VG_FIXED("lightcyan", 0xE0FFFF),
    VG_FIXED("lightgoldenrodyellow", 0xFAFAD2),
    VG_FIXED("lightgreen", 0x90EE90),
    VG_FIXED("lightgrey", 0xD3D3D3),
    VG_FIXED("lightpink", 0xFFB6C1),
    VG_FIXED("lightsalmon", 0xFFA07A),
    VG_FIXED("lightseagreen", 0x20B2AA),
    VG_FIXED("lightskyblue", 0x87CEFA),
    VG_FIXED("lightslategray", 0x778899),
    VG_FIXED("lightsteelblue", 0xB0C4DE),
    VG_FIXED("lightyellow", 0xFFFFE0),
    VG_FIXED("lime", 0x00FF00),
    VG_FIXED("limegreen", 0x32CD32),
    VG_FIXED("linen", 0xFAF0E6),
    VG_FIXED("mediumaquamarine", 0x66CDAA),
    VG_FIXED("mediumblue", 0x0000CD),
    VG_FIXED("mediumorchid", 0xBA55D3),
    VG_FIXED("mediumpurple", 0x9370DB),
    VG_FIXED("mediumseagreen", 0x3CB371),
    VG_FIXED("mediumslateblue", 0x7B68EE),
    VG_FIXED("mediumspringgreen", 0x00FA9A),
    VG_FIXED("mediumturquoise", 0x48D1CC),
    VG_FIXED("mediumvioletred", 0xC71585),
    VG_FIXED("midnightblue", 0x191970),
    VG_FIXED("mintcream", 0xF5FFFA),
    VG_FIXED("mistyrose", 0xFFE4E1),
    VG_FIXED("moccasin", 0xFFE4B5),
    VG_FIXED("navajowhite", 0xFFDEAD),
    VG_FIXED("oldlace", 0xFDF5E6),
    VG_FIXED("olivedrab", 0x6B8E23),
    VG_FIXED("orangered", 0xFF4500),
    VG_FIXED("orchid", 0xDA70D6),
    VG_FIXED("palegoldenrod", 0xEEE8AA),
    VG_FIXED("palegreen", 0x98FB98),
    VG_FIXED("paleturquoise", 0xAFEEEE),
    VG_FIXED("palevioletred", 0xDB7093),
    VG_FIXED("papayawhip", 0xFFEFD5),
    VG_FIXED("peachpuff", 0xFFDAB9),
    VG_FIXED("peru", 0xCD853F),
    VG_FIXED("plum", 0xDDA0DD),
    VG_FIXED("powderblue", 0xB0E0E6),
    VG_FIXED("rosybrown", 0xBC8F8F),
    VG_FIXED("royalblue", 0x4169E1),
    VG_FIXED("saddlebrown", 0x8B4513),
    VG_FIXED("salmon", 0xFA8072),
    VG_FIXED("sandybrown", 0xF4A460),
    VG_FIXED("seagreen", 0x2E8B57),
    VG_FIXED("seashell", 0xFFF5EE),
    VG_FIXED("sienna", 0xA0522D),
    VG_FIXED("skyblue", 0x87CEEB),
    VG_FIXED("slateblue", 0x6A5ACD),
    VG_FIXED("slategray", 0x708090),
    VG_FIXED("springgreen", 0x00FF7F),
    VG_FIXED("steelblue", 0x4682B4),
    VG_FIXED("tan", 0xD2B48C),
    VG_FIXED("teal", 0x008080),
    VG_FIXED("thistle", 0xD8BFD8),
    VG_FIXED("tomato", 0xFF6347),
    VG_FIXED("turquoise", 0x40E0D0),
    VG_FIXED("wheat", 0xF5DEB3),
    VG_FIXED("whitesmoke", 0xF5F5F5),
    VG_FIXED("yellowgreen", 0x9ACD32),
    // System colours, by their COLOR_* index.
    VG_SYSTEM("activeborder", 10),
    VG_SYSTEM("activecaption", 2),
    VG_SYSTEM("appworkspace", 12),
    VG_SYSTEM("background", 1),
    VG_SYSTEM("buttonface", 15),
    VG_SYSTEM("buttonhighlight", 20),
    VG_SYSTEM("buttonshadow", 16),
    VG_SYSTEM("buttontext", 18),
    VG_SYSTEM("captiontext", 9),
    VG_SYSTEM("graytext", 17),
    VG_SYSTEM("highlight", 13),
    VG_SYSTEM("highlighttext", 14),
    VG_SYSTEM("inactiveborder", 11),
    VG_SYSTEM("inactivecaption", 3),
    VG_SYSTEM("inactivecaptiontext", 19),
    VG_SYSTEM("infobackground", 24),
    VG_SYSTEM("infotext", 23),
    VG_SYSTEM("menu", 4),
    VG_SYSTEM("menutext", 7),
    VG_SYSTEM("scrollbar", 0),
    VG_SYSTEM("threeddarkshadow", 21),
    VG_SYSTEM("threedface", 15),
    VG_SYSTEM("threedhighlight", 20),
    VG_SYSTEM("threedlightshadow", 22),
    VG_SYSTEM("threedshadow", 16),
    VG_SYSTEM("window", 5),
    VG_SYSTEM("windowframe", 6),
    VG_SYSTEM("windowtext", 8),
};

#undef VG_FIXED
#undef VG_SYSTEM

bool EqualNoCase(std::string_view a, const char* lower) {
    size_t i = 0;
    for (; i < a.size() && lower[i]; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != lower[i]) {
            return false;
        }
    }
    return i == a.size() && lower[i] == '\0';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

const NamedColour* ColourNames(size_t* count) {
    *count = std::size(kNames);
    return kNames;
}

std::optional<Colour> ParseColour(std::string_view text, const SystemColours& system) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.front() == '#') {
        if (text.size() != 7) {
            return std::nullopt;
        }
        uint32_t rgb = 0;
        for (size_t i = 1; i < 7; ++i) {
            const int d = HexDigit(text[i]);
            if (d < 0) {
                return std::nullopt;
            }
            rgb = rgb << 4 | static_cast<uint32_t>(d);
        }
        return Hex(rgb);
    }
    if (text.front() >= '0' && text.front() <= '9') {
        // As the 32-bit runtime reads it: a value beyond 32 bits saturates.
        const std::string copy(text);
        const unsigned long long value = std::strtoull(copy.c_str(), nullptr, 0);
        return static_cast<Colour>(value > UINT32_MAX ? UINT32_MAX : value);
    }
    for (const NamedColour& named : kNames) {
        if (EqualNoCase(text, named.name)) {
            if (!named.system) {
                return named.value;
            }
            return system ? system(static_cast<int>(named.value)) : Colour{0};
        }
    }
    return std::nullopt;
}

}  // namespace html
