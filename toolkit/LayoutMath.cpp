// Portable rules of the resizable layout.
#include "LayoutMath.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace layout {

namespace {

// Widened so that a large client area times 100 cannot overflow.
int32_t Percent(int32_t size, int32_t percent) {
    return static_cast<int32_t>(static_cast<int64_t>(size) * percent / 100);
}

}  // namespace

Offset AnchorPoint(int32_t width, int32_t height, Anchor anchor) {
    return Offset{Percent(width, anchor.x), Percent(height, anchor.y)};
}

void ComputeMargins(int32_t width, int32_t height, const Box& control, Anchor topLeft,
                    Anchor bottomRight, Offset& marginTopLeft, Offset& marginBottomRight) {
    if (bottomRight == kNoAnchor) {
        bottomRight = topLeft;
    }
    Offset a = AnchorPoint(width, height, topLeft);
    Offset b = AnchorPoint(width, height, bottomRight);
    marginTopLeft = Offset{control.left - a.x, control.top - a.y};
    marginBottomRight = Offset{control.right - b.x, control.bottom - b.y};
}

Box ArrangeBox(int32_t width, int32_t height, Anchor topLeft, Offset marginTopLeft,
               Anchor bottomRight, Offset marginBottomRight) {
    if (bottomRight == kNoAnchor) {
        bottomRight = topLeft;
    }
    Offset a = AnchorPoint(width, height, topLeft);
    Offset b = AnchorPoint(width, height, bottomRight);
    return Box{a.x + marginTopLeft.x, a.y + marginTopLeft.y, b.x + marginBottomRight.x,
               b.y + marginBottomRight.y};
}

bool ListBoxNeedsRepaint(int32_t scrollLimit, int32_t scrollPos, int32_t oldWidth,
                         int32_t newWidth) {
    return scrollLimit >= 1 &&
           static_cast<int64_t>(scrollPos) >
               static_cast<int64_t>(scrollLimit) + oldWidth - newWidth;
}

namespace {

bool SameClass(const std::string& a, const char* b) {
    // Class names compare case-insensitively, as the system does.
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

constexpr uint32_t kButtonGroupBox = 7;     // BS_GROUPBOX
constexpr uint32_t kTransparentToolbar = 0x8000;
constexpr uint32_t kCenterImage = 0x200;    // SS_CENTERIMAGE

}  // namespace

bool CanClipControl(const std::string& className, uint32_t style) {
    if (SameClass(className, "ToolbarWindow32") && (style & kTransparentToolbar)) {
        return false;
    }
    if (SameClass(className, "Button") && (style & 0xF) == kButtonGroupBox) {
        return false;
    }
    if (SameClass(className, "Static")) {
        switch (style & 0x1F) {
            case 3:   // icon
            case 15:  // enhanced metafile
                return (style & kCenterImage) == 0;
            case 4:   // black, grey and white rectangles
            case 5:
            case 6:
            case 14:  // bitmap
            case 16:  // etched lines
            case 17:
                return true;
            default:
                return false;
        }
    }
    return true;
}

bool ControlNeedsRepaint(const std::string& className, uint32_t style) {
    if (!SameClass(className, "Static")) {
        return false;
    }
    switch (style & 0x1F) {
        case 0:   // left, centred and right text
        case 1:
        case 2:
        case 14:  // bitmap
        case 15:  // enhanced metafile
            return true;
        case 3:   // icon
        case 11:  // simple text
        case 16:  // etched lines
        case 17:
            return false;
        default:
            return (style & kCenterImage) != 0;
    }
}

int32_t GripRowStart(int32_t width, int32_t row) {
    int32_t start = width - row;
    return start < 0 ? 0 : start;
}

std::string FormatPlacement(const Placement& p) {
    char text[96];
    std::snprintf(text, sizeof(text), "%d,%d,%d,%d,%d,%d", static_cast<int>(p.left),
                  static_cast<int>(p.top), static_cast<int>(p.right), static_cast<int>(p.bottom),
                  static_cast<int>(p.showCmd), static_cast<int>(p.flags));
    return text;
}

std::optional<Placement> ParsePlacement(const std::string& text) {
    // As "%d,%d,%d,%d,%d,%d" reads it (blanks before a number, anything after the sixth),
    // but a number out of the 32-bit range rejects the text instead of being undefined.
    int32_t v[6] = {};
    const char* p = text.c_str();
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            if (*p != ',') {
                return std::nullopt;
            }
            ++p;
        }
        char* end = nullptr;
        errno = 0;
        long long n = std::strtoll(p, &end, 10);
        if (end == p || errno == ERANGE || n < INT32_MIN || n > INT32_MAX) {
            return std::nullopt;
        }
        v[i] = static_cast<int32_t>(n);
        p = end;
    }
    return Placement{v[0], v[1], v[2], v[3], v[4], v[5]};
}

bool HasUsableRect(const Placement& p) {
    int64_t width = static_cast<int64_t>(p.right) - p.left;
    int64_t height = static_cast<int64_t>(p.bottom) - p.top;
    return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX;
}

std::vector<std::string> KeyPathLevels(const std::string& path) {
    std::vector<std::string> levels;
    size_t first = path.find('\\');
    levels.push_back(path.substr(0, first));
    // Searching from two past the first backslash; past the end there is nothing to find.
    size_t next = first == std::string::npos || first + 2 > path.size()
                      ? std::string::npos
                      : path.find('\\', first + 2);
    levels.push_back(path.substr(0, next));
    levels.push_back(path);
    return levels;
}

}  // namespace layout
