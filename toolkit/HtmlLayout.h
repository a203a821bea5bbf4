// Layout of the tooltip markup: lines, wrapping at break characters, alignment, rules, images
// and tables, into a list of positioned drawing items. Text and image sizes come from the
// platform through Environment, so the layout itself is portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "HtmlMarkup.h"
#include "HtmlStyle.h"

namespace html {

struct Box {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool Contains(int32_t x, int32_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    bool operator==(const Box& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// An image named by the markup; the platform loads and draws it.
struct ImageRef {
    enum class Kind { Bitmap, Icon, ImageList };
    Kind kind = Kind::Bitmap;
    int64_t id = 0;       // "idres"
    std::string module;   // "iddll" or "srcdll": a module loaded for the call
    std::string file;     // "file"
    uint64_t handle = 0;  // "handle": a bitmap, icon or image list the caller owns
    std::optional<Colour> mask;
    int32_t index = 0;  // image-list image
    int32_t width = 0;  // requested size, 0 for the image's own
    int32_t height = 0;
    int32_t speed = 0;  // image lists: milliseconds per frame, 0 for a still image
    std::string style;
    std::string hotStyle;
};

// What the layout asks of the platform.
class Environment {
public:
    virtual ~Environment() = default;
    virtual int32_t TextWidth(const FontSpec& font, std::string_view text) = 0;
    // Ascent and descent of the font, in pixels.
    virtual std::pair<int32_t, int32_t> FontMetrics(const FontSpec& font) = 0;
    // The image's size in pixels; (0, 0) when it cannot be loaded.
    virtual std::pair<int32_t, int32_t> ImageSize(const ImageRef& image) = 0;
    // A string resource of this module or of `module`; empty when it cannot be loaded.
    virtual std::string ResourceString(int64_t id, const std::string& module) = 0;
    virtual Colour SystemColour(int index) = 0;
};

struct DrawItem {
    enum class Kind { Fill, Border, Text, Rule, Image };
    Kind kind = Kind::Text;
    Box box;
    int link = -1;  // index into Document::links, or -1
    // Fill: a background effect (its number, colours and granularity).
    int32_t effect = 0;
    Colour begin = 0;
    Colour middle = 0;
    Colour end = 0;
    int32_t granularity = 0;
    // Border: width, top-left and bottom-right colours, style. Rule: `light` is its colour.
    int32_t width = 0;
    Colour light = 0;
    Colour dark = 0;
    BorderStyle borderStyle = BorderStyle::Solid;
    // Text, drawn with its top-left at the box's corner.
    std::string text;
    FontSpec font;
    Colour colour = 0;
    bool overline = false;
    int32_t baseline = 0;
    // Image.
    ImageRef image;
};

struct Document {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<DrawItem> items;  // in drawing order
    std::vector<std::string> links;
    bool animated = false;  // an image list with a frame speed is shown
    // The widest piece that cannot be broken, and the width without any wrapping.
    int32_t minWidth = 0;
    int32_t preferredWidth = 0;

    // The link under a point, or -1.
    int LinkAt(int32_t x, int32_t y) const;
};

struct LayoutOptions {
    int32_t maxWidth = 0;  // lines wrap beyond it; 0 for no wrapping
    int hoverLink = -1;    // the link shown with the "a:hover" rule
};

// Nesting beyond these limits is laid out as plain text: the markup may come from anywhere.
constexpr int kMaxTableDepth = 4;
constexpr int kMaxStringDepth = 4;
constexpr int kMaxStrings = 64;  // string insertions per layout, at any depth
constexpr int32_t kMaxSpan = 64;
constexpr int32_t kMaxColumns = 64;
constexpr int32_t kMaxRows = 256;

// Lays out `tokens` starting from the `base` style.
Document Layout(const std::vector<Token>& tokens, const StyleSheet& sheet, const Style& base,
                Environment& environment, const LayoutOptions& options);

}  // namespace html
