// The tooltip's shape and placement: balloon sizes, pointer edges, and where a balloon goes on
// the virtual screen so that its pointer tip rests on the anchor point.
#pragma once

#include <cstdint>

namespace tooltip {

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
    bool operator!=(const Point& o) const { return !(*this == o); }
};

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const Rect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// The nine sizes of a shape.
struct ShapeSizes {
    int32_t cornerWidth;
    int32_t cornerHeight;
    int32_t marginX;
    int32_t marginY;
    int32_t pointerWidth;
    int32_t pointerHeight;
    int32_t pointerOffset;  // from the corner of the edge
    int32_t reserved1;
    int32_t reserved2;
};
constexpr ShapeSizes kBalloonShape{16, 16, 12, 12, 12, 16, 16, 0, 0};
constexpr ShapeSizes kRectangleShape{0, 0, 3, 1, 0, 0, 0, 0, 0};

// Pointer directions: the edge in the high bits, the place along it in the low ones.
enum Direction : int32_t {
    kTopLeft = 0,
    kTopRight = 1,
    kTopCenter = 2,
    kBottomLeft = 16,
    kBottomRight = 17,
    kBottomCenter = 18,
    kLeftTop = 32,
    kLeftBottom = 33,
    kLeftCenter = 34,
    kRightTop = 48,
    kRightBottom = 49,
    kRightCenter = 50,
};
constexpr int32_t kEdgeMask = 0x30;
constexpr int32_t kPlaceMask = 0x03;

// A tooltip's outline for one content size and direction, in coordinates relative to its own
// top-left corner: the rounded body and the pointer triangle (tip first).
struct Outline {
    int32_t width = 0;
    int32_t height = 0;
    Rect body;
    Point pointer[3];
};
Outline MakeOutline(int32_t contentWidth, int32_t contentHeight, const ShapeSizes& shape,
                    int32_t direction);

// Where the tooltip goes: its rectangle on the screen, the direction used, and the outline.
struct Placement {
    Rect window;
    int32_t direction = kTopLeft;
    Outline outline;
};

// Places the tooltip with its pointer tip on `anchor` (moved down by `belowGap` while the
// pointer is on the top edge, so that the cursor does not cover it) inside `screen`. The
// pointer changes edge when the tooltip would cross the screen on the side it extends to, and
// changes place along the edge when it would cross it at an end (the centre when it would
// cross at both).
Placement PlaceTip(int32_t contentWidth, int32_t contentHeight, const ShapeSizes& shape,
                   Point anchor, int32_t belowGap, int32_t direction, const Rect& screen);

}  // namespace tooltip
