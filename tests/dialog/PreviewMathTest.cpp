// The dialog's arithmetic: fit zoom, zoom steps, the region request, painting rows and the
// navigator. Portable, run natively with the sanitizers and under Wine.
#include "dialog/PreviewMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace preview;

namespace {

// A zoom as n where zoom = 1/n (below 1) or as the whole magnification.
double Z(int n) {
    return n > 0 ? n : 1.0 / -n;
}

}  // namespace

TEST(PreviewMath, FitZoomIsTheLargestOneOverNThatFits) {
    struct Case {
        int32_t w, h;
        int64_t fw, fh;
        bool sampling;
        double fit;
    };
    const Case cases[] = {
        {584, 366, 585, 367, true, 1},  // within the 0.01 tolerance
        {584, 366, 1200, 800, true, 1.0 / 3},
        {584, 366, 6000, 4000, true, 1.0 / 11},
        {584, 366, 100, 50, true, 1},      // smaller than the preview
        {584, 366, 6000, 4000, false, 1},  // no sampling: every pixel, so 1
        {3, 366, 6000, 4000, true, 1},     // unusable preview
        {584, 366, 0, 4000, true, 1},      // empty filter rectangle
        {584, 366, 1000000, 1000000, true, 1.0 / 2733},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(FitZoom(c.w, c.h, c.fw, c.fh, c.sampling), c.fit)
            << c.fw << "x" << c.fh << " in " << c.w << "x" << c.h;
}

TEST(PreviewMath, ZoomStepsFollowTheSequencesAndStopAtFitAndFourHundred) {
    const double fit = 1.0 / 40;
    const std::vector<int> out = {4, 3, 2, 1, -2, -3, -5, -8, -12, -18, -27, -40};
    double z = 4;
    for (size_t i = 1; i < out.size(); ++i) {
        z = ZoomOutStep(z, fit);
        EXPECT_DOUBLE_EQ(z, Z(out[i])) << "zoom-out step " << i;
    }
    EXPECT_DOUBLE_EQ(ZoomOutStep(z, fit), fit);  // nothing below fit
    const std::vector<int> in = {-40, -27, -18, -12, -8, -6, -4, -3, -2, 1, 2, 3, 4};
    for (size_t i = 1; i < in.size(); ++i) {
        z = ZoomInStep(z, fit);
        EXPECT_DOUBLE_EQ(z, Z(in[i])) << "zoom-in step " << i;
    }
    EXPECT_DOUBLE_EQ(ZoomInStep(4, fit), 4);  // 400 % is the limit
    EXPECT_DOUBLE_EQ(ZoomOutStep(1, 1), 1);   // an image that fits at 100 %

    // Snapping: whole zooms above 0.75, 1/n below, only 1/n raised to the fit zoom.
    struct Snap {
        double wanted, fit, zoom;
    };
    const Snap snaps[] = {{3.6, 0.1, 4},    {2.6, 0.1, 3},     {1.6, 0.1, 2},
                          {0.76, 0.1, 1},   {0.75, 0.1, 0.5},  {0.3, 0.1, 1.0 / 4},
                          {1e-7, 0.1, 0.1}, {0.0, 0.25, 0.25}, {-3, 0.25, 0.25},
                          {1.2, 2.0, 1}};
    for (const Snap& s : snaps) EXPECT_DOUBLE_EQ(SnapZoom(s.wanted, s.fit), s.zoom) << s.wanted;
    EXPECT_EQ(ZoomPercent(1.0 / 3), 33);
    EXPECT_EQ(ZoomPercent(1.0 / 8), 12);
    EXPECT_EQ(SettledZoomPercent(1.0 / 8), 12);
    EXPECT_EQ(ZoomPercent(4), 400);
}

TEST(PreviewMath, ZoomKeepsThePointUnderTheMiddleOrCentresOnTheImage) {
    const Rect32 filter{0, 4000, 0, 6000};
    // Opening at 100 % centred: the middle of the image under the middle of 584 x 366.
    EXPECT_EQ(ZoomOrigin(true, 1, 0.1, {0, 0}, 584, 366, filter), (Point{3000 - 292, 2000 - 183}));
    // 1 -> 2 keeps the middle point: 292 / 1 + 1000 - 292 / 2.
    EXPECT_EQ(ZoomOrigin(false, 2, 1, {1000, 500}, 584, 366, filter), (Point{1146, 591}));
    // Zooming out near the corner is clamped at 0 (the far edges come with the request).
    EXPECT_EQ(ZoomOrigin(false, 0.25, 1, {10, 10}, 584, 366, filter), (Point{0, 0}));
    // A selection that does not start at 0 is centred on its own middle.
    const Rect32 selection{100, 300, 50, 250};
    EXPECT_EQ(ZoomOrigin(true, 4, 1, {0, 0}, 400, 200, selection), (Point{100, 175}));
}

TEST(PreviewMath, RegionRequestStaysInsideTheFilterRectangleWithFullEdges) {
    struct Case {
        const char* name;
        double zoom;
        Point origin;
        int32_t w, h;
        Rect32 filter;
        Point expectOrigin;
        Rect32 expectRect;
        int32_t step;
    };
    const Case cases[] = {
        {"100 % in the middle",
         1,
         {1000, 800},
         584,
         366,
         {0, 4000, 0, 6000},
         {1000, 800},
         {800, 1167, 1000, 1585},
         1},
        {"pulled back from the far edges",
         1,
         {5900, 3900},
         584,
         366,
         {0, 4000, 0, 6000},
         {6000 - 585, 4000 - 367},
         {3633, 4000, 5415, 6000},
         1},
        {"smaller than the preview stays at the top-left",
         1,
         {40, 40},
         584,
         366,
         {0, 100, 0, 200},
         {0, 0},
         {0, 367, 0, 585},
         1},
        {"half: sampled coordinates, step 2",
         0.5,
         {1000, 600},
         584,
         366,
         {0, 4000, 0, 6000},
         {1000, 600},
         {300, 666, 500, 1084},
         2},
        {"200 %: half the pixels plus one",
         2,
         {100, 100},
         584,
         366,
         {0, 4000, 0, 6000},
         {100, 100},
         {100, 284, 100, 393},
         1},
        {"a selection's near edge wins over its far edge",
         1,
         {0, 0},
         584,
         366,
         {100, 300, 50, 250},
         {50, 100},
         {100, 467, 50, 635},
         1},
        {"beyond 32767 pixels",
         1,
         {90000, 50000},
         584,
         366,
         {0, 60000, 0, 100000},
         {90000, 50000},
         {50000, 50367, 90000, 90585},
         1},
        {"a third beyond 32767",
         1.0 / 3,
         {99500, 10},
         300,
         200,
         {0, 60000, 0, 100000},
         {99100, 10},
         {3, 203, 33033, 33333},
         3},
    };
    for (const Case& c : cases) {
        const Request r = SetupRequest(c.zoom, c.origin, c.w, c.h, c.filter);
        EXPECT_EQ(r.origin, c.expectOrigin) << c.name;
        EXPECT_EQ(r.rect, c.expectRect) << c.name;
        EXPECT_EQ(r.step, c.step) << c.name;
    }
}

TEST(PreviewMath, PanningMovesByImagePixelsAndTheNavigatorByItsScale) {
    const Rect32 in{300, 483, 500, 792};                         // sampled at 1/2
    EXPECT_EQ(PanPreview(0.5, in, 10, -4), (Point{1010, 596}));  // dx image pixels
    EXPECT_EQ(PanPreview(2, Rect32{100, 284, 100, 393}, 10, -4), (Point{105, 98}));
    EXPECT_EQ(PanNavigator(0.5, in, 3, 2, 0.01), (Point{700, 400}));
    EXPECT_EQ(PanNavigator(1, Rect32{100, 284, 100, 393}, -1, 1, 0.5), (Point{102, 98}));
}

TEST(PreviewMath, PaintRowsConvertSixteenBitsAndReplicate) {
    // Sizes: magnified pictures are k source pixels per source pixel, cut to the preview.
    struct SizeCase {
        double zoom;
        int32_t sw, sh, w, h;
        PaintSize size;
    };
    const SizeCase sizes[] = {
        {1, 585, 367, 584, 366, {366, 584, 1}}, {0.5, 100, 50, 584, 366, {50, 100, 1}},
        {2, 293, 184, 584, 366, {366, 584, 2}}, {3, 10, 10, 584, 366, {30, 30, 3}},
        {4, 147, 92, 584, 366, {366, 584, 4}},  {2.5, 10, 10, 584, 366, {20, 20, 0}},
    };
    for (const SizeCase& s : sizes) {
        const PaintSize p = PaintSizeFor(s.zoom, s.sw, s.sh, s.w, s.h);
        EXPECT_EQ(p.rows, s.size.rows) << s.zoom;
        EXPECT_EQ(p.columns, s.size.columns) << s.zoom;
        EXPECT_EQ(p.k, s.size.k) << s.zoom;
    }
    EXPECT_EQ(SourceRow(5, 2), 2);  // int(2.5 + 0.4)
    EXPECT_EQ(SourceRow(5, 3), 2);  // int(1.67 + 0.4)
    EXPECT_EQ(SourceRow(7, 0.5), 7);
    EXPECT_EQ(PixelMapRowBytes(3, 10), 272);
    EXPECT_EQ(PixelMapRowBytes(3, 0), 256);
    EXPECT_EQ(PixelMapRowBytes(3, INT32_MAX), -1);
    EXPECT_EQ(CentreOffset(584, 100), 242);
    EXPECT_EQ(CentreOffset(584, 700), 0);

    // 16 bits: 32768 (white) and 32767 both show 255, 128 shows 1.
    const uint16_t wide[6] = {32768, 32767, 128, 0, 32640, 255};
    uint8_t row[32];
    std::memset(row, 0xEE, sizeof row);
    ConvertRow(reinterpret_cast<const uint8_t*>(wide), true, 3, 2, 1, row);
    const uint8_t shown[6] = {255, 255, 1, 0, 255, 1};
    EXPECT_EQ(std::memcmp(row, shown, 6), 0);
    EXPECT_EQ(row[6], 0xEE);  // nothing past the row

    // Replication at 3 over 7 columns: three source pixels written three times each.
    const uint8_t narrow[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::memset(row, 0, sizeof row);
    ConvertRow(narrow, false, 3, 7, 3, row);
    for (int x = 0; x < 9; ++x) EXPECT_EQ(row[x * 3], narrow[(x / 3) * 3]) << x;
    EXPECT_EQ(row[27], 0);
}

TEST(PreviewMath, NavigatorShowsSmallImagesAndFramesTheRegionInside) {
    // An image smaller than the navigator still gets an overview (decimation at least 1).
    EXPECT_EQ(OverviewDecimation(99, 99, 60, 40), 1);
    EXPECT_EQ(OverviewDecimation(99, 99, 6000, 4000), 60);
    EXPECT_EQ(OverviewDecimation(99, 99, 50, 4000), 40);  // narrow and tall: by the height
    EXPECT_DOUBLE_EQ(NavigatorScale(99, 99, 6000, 4000), 99.0 / 6000);

    const Box wide = OverviewBox(99, 99, 100, 66);
    EXPECT_EQ(wide.width, 99);
    EXPECT_EQ(wide.height, 65);
    EXPECT_EQ(wide.left, 0);
    EXPECT_EQ(wide.top, 17);
    const Box tall = OverviewBox(99, 99, 2, 100);
    EXPECT_EQ(tall.width, 2);
    EXPECT_EQ(tall.left, 48);
    EXPECT_EQ(OverviewBox(99, 99, 0, 10).width, 0);

    // A region touching the right and bottom edges: the frame ends at the last pixel - 1.
    const Rect32 filter{0, 4000, 0, 6000};
    const double k = NavigatorScale(99, 99, 6000, 4000);
    const Frame f = NavigatorFrame(filter, Rect32{3634, 4000, 5416, 6000}, 1, k, 99, 66);
    EXPECT_EQ(f.right, 98);
    EXPECT_EQ(f.bottom, 65);
    EXPECT_EQ(f.left, int32_t(5416 * k));
    // Sampled in rectangles are scaled back by the step; a selection's offset is removed.
    const Frame s =
        NavigatorFrame(Rect32{100, 300, 50, 250}, Rect32{50, 100, 25, 75}, 2, 0.5, 100, 100);
    EXPECT_EQ(s.left, 0);
    EXPECT_EQ(s.top, 0);
    EXPECT_EQ(s.right, 50);
    EXPECT_EQ(s.bottom, 50);
}

TEST(PreviewMath, ZoomButtonsFollowTheZoomAndTheFit) {
    struct Case {
        double zoom, fit;
        ZoomButtons b;
    };
    const Case cases[] = {
        {1, 1, {false, true, false, false}},  // an image that fits at 100 %
        {1, 1.0 / 3, {true, true, true, false}},
        {4, 1.0 / 3, {true, false, true, true}},
        {1.0 / 3, 1.0 / 3, {false, true, false, true}},
    };
    for (const Case& c : cases) {
        const ZoomButtons b = ZoomButtonStates(c.zoom, c.fit);
        EXPECT_EQ(b.zoomOut, c.b.zoomOut) << c.zoom;
        EXPECT_EQ(b.zoomIn, c.b.zoomIn) << c.zoom;
        EXPECT_EQ(b.fit, c.b.fit) << c.zoom;
        EXPECT_EQ(b.hundred, c.b.hundred) << c.zoom;
    }
}
