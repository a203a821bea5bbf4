// The filter dialog's arithmetic, apart from its windows so that it is tested natively: the
// preview's fit zoom, zoom snapping and steps, the region request, panning, the conversion of
// host rows for painting, the navigator's overview and frame, and the zoom buttons' states.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/HostRect.h"

namespace preview {

struct Point {
    int32_t x;
    int32_t y;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};

// A preview area is usable when both sides are longer than 3 pixels.
bool UsableProxy(int32_t width, int32_t height);

// The largest zoom 1/n (n >= 1) at which a filter rectangle of filterW x filterH fits a
// preview of width x height, with a tolerance of 0.01 in 1/scale. 1 without sampling, for an
// unusable preview or for an empty filter rectangle.
double FitZoom(int32_t width, int32_t height, int64_t filterW, int64_t filterH, bool sampling);

// Snaps a wanted zoom to 4, 3, 2, 1 or 1/n; only the 1/n branch is raised to `fit`.
double SnapZoom(double wanted, double fit);

// The zoom shown in percent.
int32_t ZoomPercent(double zoom);
// The same after the settle timer (rounded with 0.4).
int32_t SettledZoomPercent(double zoom);

// The region's top-left after a zoom change from z0 to z in a preview of width x height:
// centred on the filter rectangle, or keeping the image point under the middle of the
// preview. Clamped at 0 from below only.
Point ZoomOrigin(bool centre, double z, double z0, Point oldOrigin, int32_t width, int32_t height,
                 const Rect32& filter);

// The zoom after one zoom-out or zoom-in command (each snapped as the dialog does); a
// zoom-out at or below the fit zoom lands on the fit zoom, a zoom-in at 4 stays.
double ZoomOutStep(double zoom, double fit);
double ZoomInStep(double zoom, double fit);

// The region the preview requests from the host: the origin pulled back inside the filter
// rectangle (far edge first, then near edge) and the rectangle and step to request, in
// sampled coordinates for a zoom below 1. Every edge is a full 32-bit value.
struct Request {
    Point origin;
    Rect32 rect;
    int32_t step;
};
Request SetupRequest(double zoom, Point origin, int32_t width, int32_t height,
                     const Rect32& filter);

// The region's new origin during a drag in the preview (by dx, dy preview pixels, already
// multiplied by 4 when panning faster) from the host's current in rectangle.
Point PanPreview(double zoom, const Rect32& in, int32_t dx, int32_t dy);
// The same for a drag in the navigator, whose pixels stand for 1 / navScale image pixels.
Point PanNavigator(double zoom, const Rect32& in, int32_t dx, int32_t dy, double navScale);

// What a paint shows for an in rectangle of sourceW x sourceH (sampled pixels) in a preview of
// width x height at `zoom`: rows and columns of the picture and the replication factor k
// (1 at 100 % or below, 2, 3 or 4 above; 0 for a zoom above 100 % that is none of those).
struct PaintSize {
    int32_t rows;
    int32_t columns;
    int32_t k;
};
PaintSize PaintSizeFor(double zoom, int32_t sourceW, int32_t sourceH, int32_t width,
                       int32_t height);
// The source row shown in output row i (magnified rows repeat).
int32_t SourceRow(int32_t i, double zoom);
// Bytes per row of the pixel map: ((planes x columns) / 16 + 16) x 16, at least 16 of slack;
// -1 when it does not fit in 31 bits.
int64_t PixelMapRowBytes(int32_t planes, int32_t columns);
// The offset that centres `size` pixels in `space`, never negative.
int32_t CentreOffset(int32_t space, int32_t size);

// Writes one output row of 8-bit interleaved samples: `columns` pixels of `planes` samples,
// each source pixel repeated k times (the last group may run past `columns`, into the row's
// slack). 16-bit host samples v (0..32768) show as 255 when v read signed is negative,
// otherwise v >> 7.
void ConvertRow(const uint8_t* source, bool sixteenBit, int32_t planes, int32_t columns, int32_t k,
                uint8_t* destination);

// The navigator: the decimation of the overview (at least 1, so that an image smaller than
// the navigator still shows), its scale, where the overview is drawn, and the frame.
int32_t OverviewDecimation(int32_t navW, int32_t navH, int64_t imageW, int64_t imageH);
double NavigatorScale(int32_t navW, int32_t navH, int64_t imageW, int64_t imageH);
struct Box {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};
// The overview of w x h pixels scaled to fit navW x navH and centred.
Box OverviewBox(int32_t navW, int32_t navH, int32_t w, int32_t h);
// The frame's left, top, right and bottom in the drawn overview's pixels.
struct Frame {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
Frame NavigatorFrame(const Rect32& filter, const Rect32& in, int32_t step, double navScale,
                     int32_t drawnW, int32_t drawnH);

// Which zoom buttons are enabled at `zoom` with the fit zoom `fit`.
struct ZoomButtons {
    bool zoomOut;
    bool zoomIn;
    bool fit;
    bool hundred;
};
ZoomButtons ZoomButtonStates(double zoom, double fit);

}  // namespace preview
