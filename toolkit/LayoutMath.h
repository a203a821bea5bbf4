// Portable rules of the resizable layout: anchor arithmetic, repaint and clip decisions,
// the grip's shape and the placement text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace layout {

// Percentages of the client area's width and height. (-1, -1) means "no anchor".
struct Anchor {
    int32_t x;
    int32_t y;
    bool operator==(const Anchor& o) const { return x == o.x && y == o.y; }
};
constexpr Anchor kNoAnchor{-1, -1};
constexpr Anchor kTopLeft{0, 0};
constexpr Anchor kTopCenter{50, 0};
constexpr Anchor kTopRight{100, 0};
constexpr Anchor kMiddleLeft{0, 50};
constexpr Anchor kMiddleCenter{50, 50};
constexpr Anchor kMiddleRight{100, 50};
constexpr Anchor kBottomLeft{0, 100};
constexpr Anchor kBottomCenter{50, 100};
constexpr Anchor kBottomRight{100, 100};

struct Offset {
    int32_t x;
    int32_t y;
};

struct Box {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    bool operator==(const Box& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
};

// The anchor of a point (integer division, as the stored margins assume).
Offset AnchorPoint(int32_t width, int32_t height, Anchor anchor);
// Margins of a control's corners from their anchor points in a client area of width x height.
void ComputeMargins(int32_t width, int32_t height, const Box& control, Anchor topLeft,
                    Anchor bottomRight, Offset& marginTopLeft, Offset& marginBottomRight);
// The control's rectangle in a client area of width x height.
Box ArrangeBox(int32_t width, int32_t height, Anchor topLeft, Offset marginTopLeft,
               Anchor bottomRight, Offset marginBottomRight);
// A list box must be repainted after a resize exactly when it is scrolled horizontally past
// what the new width can show.
bool ListBoxNeedsRepaint(int32_t scrollLimit, int32_t scrollPos, int32_t oldWidth,
                         int32_t newWidth);

// Whether the control's area may be clipped out of the parent's background (class name as
// the system reports it, window style).
bool CanClipControl(const std::string& className, uint32_t style);
// Whether the control must be redrawn after it moves.
bool ControlNeedsRepaint(const std::string& className, uint32_t style);

// For row r of a grip of the given size, the span [from, width) that stays visible: the
// lower-right triangle.
int32_t GripRowStart(int32_t width, int32_t row);

// The window placement as stored: normal rectangle, show command, flags.
struct Placement {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t showCmd = 0;
    int32_t flags = 0;
};
// "%d,%d,%d,%d,%d,%d".
std::string FormatPlacement(const Placement& placement);
// Only a text with all six numbers gives a placement.
std::optional<Placement> ParsePlacement(const std::string& text);
// Whether a stored rectangle may be applied: a positive width and height that fit in 32 bits.
bool HasUsableRect(const Placement& placement);

// The keys to create, one level at a time, so that `path` exists: the path up to its first
// backslash, then up to the next backslash searched from two characters past the first one
// (the whole path when there is none), then the whole path.
std::vector<std::string> KeyPathLevels(const std::string& path);

}  // namespace layout
