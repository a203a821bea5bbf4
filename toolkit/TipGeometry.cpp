// The tooltip's shape and placement.
#include "TipGeometry.h"

#include <algorithm>

namespace tooltip {

namespace {

constexpr int32_t kTop = 0x00;
constexpr int32_t kBottom = 0x10;
constexpr int32_t kLeft = 0x20;
constexpr int32_t kRight = 0x30;
constexpr int32_t kNear = 0;  // the left or top end
constexpr int32_t kFar = 1;   // the right or bottom end
constexpr int32_t kCentre = 2;

int32_t Along(int32_t length, int32_t place, int32_t offset) {
    switch (place) {
        case kFar:
            return length - offset;
        case kCentre:
            return length / 2;
        default:
            return offset;
    }
}

// The base of the triangle runs from the tip's position along the edge, towards the inside.
void BaseEnds(int32_t tipAlong, int32_t place, int32_t width, int32_t& from, int32_t& to) {
    if (place == kFar) {
        from = tipAlong - width;
        to = tipAlong;
    } else if (place == kCentre) {
        from = tipAlong - width / 2;
        to = tipAlong + (width - width / 2);
    } else {
        from = tipAlong;
        to = tipAlong + width;
    }
}

}  // namespace

Outline MakeOutline(int32_t contentWidth, int32_t contentHeight, const ShapeSizes& shape,
                    int32_t direction) {
    const int32_t edge = direction & kEdgeMask;
    int32_t place = direction & kPlaceMask;
    if (place > kCentre) {
        place = kNear;
    }
    const int32_t w = std::max(contentWidth, 0) + 2 * shape.marginX;
    const int32_t h = std::max(contentHeight, 0) + 2 * shape.marginY;
    const int32_t ph = shape.pointerHeight;
    Outline o;
    // The base overlaps the body by a pixel so that no seam shows between them.
    if (edge == kTop || edge == kBottom) {
        o.width = w;
        o.height = h + ph;
        o.body = edge == kTop ? Rect{0, ph, w, h + ph} : Rect{0, 0, w, h};
        const int32_t tip = Along(w, place, shape.pointerOffset);
        int32_t from;
        int32_t to;
        BaseEnds(tip, place, shape.pointerWidth, from, to);
        if (edge == kTop) {
            o.pointer[0] = {tip, 0};
            o.pointer[1] = {from, ph + 1};
            o.pointer[2] = {to, ph + 1};
        } else {
            o.pointer[0] = {tip, h + ph - 1};
            o.pointer[1] = {from, h - 2};
            o.pointer[2] = {to, h - 2};
        }
    } else {
        o.width = w + ph;
        o.height = h;
        o.body = edge == kLeft ? Rect{ph, 0, w + ph, h} : Rect{0, 0, w, h};
        const int32_t tip = Along(h, place, shape.pointerOffset);
        int32_t from;
        int32_t to;
        BaseEnds(tip, place, shape.pointerWidth, from, to);
        if (edge == kLeft) {
            o.pointer[0] = {0, tip};
            o.pointer[1] = {ph + 1, from};
            o.pointer[2] = {ph + 1, to};
        } else {
            o.pointer[0] = {w + ph - 1, tip};
            o.pointer[1] = {w - 2, from};
            o.pointer[2] = {w - 2, to};
        }
    }
    return o;
}

Placement PlaceTip(int32_t contentWidth, int32_t contentHeight, const ShapeSizes& shape,
                   Point anchor, int32_t belowGap, int32_t direction, const Rect& screen) {
    auto place = [&](int32_t dir) {
        Placement p;
        p.direction = dir;
        p.outline = MakeOutline(contentWidth, contentHeight, shape, dir);
        const Point tip = p.outline.pointer[0];
        const int32_t gap = (dir & kEdgeMask) == kTop ? belowGap : 0;
        p.window.left = anchor.x - tip.x;
        p.window.top = anchor.y + gap - tip.y;
        p.window.right = p.window.left + p.outline.width;
        p.window.bottom = p.window.top + p.outline.height;
        return p;
    };
    int32_t edge = direction & kEdgeMask;
    int32_t along = direction & kPlaceMask;
    if (along > kCentre) {
        along = kNear;
    }
    // Across: the side the tooltip extends to.
    Placement p = place(edge | along);
    if (edge == kTop && p.window.bottom > screen.bottom) {
        edge = kBottom;
    } else if (edge == kBottom && p.window.top < screen.top) {
        edge = kTop;
    } else if (edge == kLeft && p.window.right > screen.right) {
        edge = kRight;
    } else if (edge == kRight && p.window.left < screen.left) {
        edge = kLeft;
    }
    p = place(edge | along);
    // Along the edge: a near-end pointer lets the tooltip extend to the right (or down).
    const bool horizontal = edge == kTop || edge == kBottom;
    auto crossesFar = [&](const Placement& q) {
        return horizontal ? q.window.right > screen.right : q.window.bottom > screen.bottom;
    };
    auto crossesNear = [&](const Placement& q) {
        return horizontal ? q.window.left < screen.left : q.window.top < screen.top;
    };
    if (along == kNear && crossesFar(p)) {
        p = place(edge | kFar);
        if (crossesNear(p)) {
            p = place(edge | kCentre);
        }
    } else if (along == kFar && crossesNear(p)) {
        p = place(edge | kNear);
        if (crossesFar(p)) {
            p = place(edge | kCentre);
        }
    }
    return p;
}

}  // namespace tooltip
