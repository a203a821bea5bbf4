// Text styles of the tooltip markup: the style properties, the style sheet and its rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "HtmlColor.h"

namespace html {

enum class HAlign { Left, Center, Right, Justify };
enum class VAlign { Baseline, Top, Middle, Bottom };
enum class Transform { None, Capitalize, Lower, Upper };
enum class BorderStyle { Solid, Dashed, Dotted, Double };

// What a font is made from. Sizes are in tenths of a point.
struct FontSpec {
    std::string face = "Verdana";
    int32_t size = 100;
    int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool operator==(const FontSpec& o) const {
        return face == o.face && size == o.size && weight == o.weight && italic == o.italic &&
               underline == o.underline && strike == o.strike;
    }
    bool operator!=(const FontSpec& o) const { return !(*this == o); }
};

// The style in effect for a run of text.
struct Style {
    FontSpec font;
    bool overline = false;
    Transform transform = Transform::None;
    Colour colour = 0;
    std::optional<Colour> background;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Baseline;
    Colour borderColour = 0;
    BorderStyle borderStyle = BorderStyle::Solid;
    int32_t borderWidth = 0;
    int32_t margin = 0;
    int32_t padding = 0;
};

// Font sizes are kept within these bounds (tenths of a point) whatever the markup asks.
constexpr int32_t kMinFontSize = 10;
constexpr int32_t kMaxFontSize = 1440;

// A size value: "10pt", "12px" (at 96 pixels per inch), "65%" or "1.5em" of `parent`, or a
// plain number of points. Nothing when unreadable.
std::optional<int32_t> ParseFontSize(std::string_view value, int32_t parent);
// A length in pixels: "3", "3px", "2pt"; "thin", "medium", "thick" are 1, 3 and 5. Nothing
// when unreadable. Results are bounded to [0, 1000].
std::optional<int32_t> ParseLength(std::string_view value);

// One "name: value" pair of a style, the name in lower case.
using Declaration = std::pair<std::string, std::string>;
// Reads "a: b; c: d" (quotes around a value are removed).
std::vector<Declaration> ParseDeclarations(std::string_view text);
// Applies declarations to `style`; relative sizes and weights refer to `parent`.
void ApplyDeclarations(const std::vector<Declaration>& declarations, const Style& parent,
                       Style& style, const SystemColours& system);

// Rules "selector { declarations }" in the order given; later rules of a selector win.
class StyleSheet {
public:
    // The rules of the tooltips as they ship.
    static const char* DefaultText();

    // Adds the rules of a sheet; unreadable parts are skipped. Comments /* */ are allowed.
    void Parse(std::string_view text);
    // Applies every rule whose selector is `selector` (a tag name, "a:link", ".class" or
    // "tag.class"), in order.
    void Apply(std::string_view selector, const Style& parent, Style& style,
               const SystemColours& system) const;
    bool Has(std::string_view selector) const;
    size_t RuleCount() const { return m_rules.size(); }

private:
    struct Rule {
        std::string selector;
        std::vector<Declaration> declarations;
    };
    std::vector<Rule> m_rules;
};

}  // namespace html
