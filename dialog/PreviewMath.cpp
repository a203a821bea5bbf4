// The dialog's arithmetic. Doubles become integers through ToInt, which truncates like the
// design's int() but clamps to 32 bits, so that no host value can make a conversion overflow.
#include "dialog/PreviewMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace preview {
namespace {

int32_t ToInt(double v) {
    if (!(v == v))
        return 0;  // not a number
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return int32_t(v);
}

int32_t Clamp32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

bool UsableProxy(int32_t width, int32_t height) {
    return width > 3 && height > 3;
}

double FitZoom(int32_t width, int32_t height, int64_t filterW, int64_t filterH, bool sampling) {
    if (!UsableProxy(width, height) || !sampling || filterW <= 0 || filterH <= 0)
        return 1.0;
    const double sx = width / (double(filterW) + 0.0001);
    const double sy = height / (double(filterH) + 0.0001);
    const double s = std::min(std::min(sx, sy), 1.0);
    const int32_t n = std::max(1, ToInt(1.0 / s + 0.99));
    return 1.0 / n;
}

double SnapZoom(double wanted, double fit) {
    if (wanted > 3.5)
        return 4;
    if (wanted > 2.5)
        return 3;
    if (wanted > 1.5)
        return 2;
    if (wanted > 0.75)
        return 1;
    // A wanted zoom of 0 or less would divide by zero: it stands for the smallest zoom.
    const int32_t n = wanted > 0 ? std::max(1, ToInt(1.0 / wanted + 0.99)) : INT32_MAX;
    return std::max(1.0 / n, fit);
}

int32_t ZoomPercent(double zoom) {
    return ToInt(zoom * 100 + 0.25);
}

int32_t SettledZoomPercent(double zoom) {
    return ToInt(zoom * 100 + 0.4);
}

Point ZoomOrigin(bool centre, double z, double z0, Point oldOrigin, int32_t width, int32_t height,
                 const Rect32& filter) {
    const int32_t hw = ToInt(width * 0.5);
    const int32_t hh = ToInt(height * 0.5);
    Point p;
    if (centre) {
        const int64_t midX = filter.left + (int64_t(filter.right) - filter.left) / 2;
        const int64_t midY = filter.top + (int64_t(filter.bottom) - filter.top) / 2;
        p.x = ToInt(double(midX) - hw / z);
        p.y = ToInt(double(midY) - hh / z);
    } else {
        p.x = ToInt(ToInt(hw / z0 + oldOrigin.x) - hw / z);
        p.y = ToInt(ToInt(hh / z0 + oldOrigin.y) - hh / z);
    }
    p.x = std::max(p.x, 0);
    p.y = std::max(p.y, 0);
    return p;
}

double ZoomOutStep(double zoom, double fit) {
    if (fit >= zoom)
        return fit;
    if (zoom >= 2)
        return SnapZoom(zoom - 1, fit);
    double z = SnapZoom(zoom / 1.5, fit);
    if (std::fabs(z - zoom) < 0.001)
        z = SnapZoom(zoom * 0.5, fit);
    return z;
}

double ZoomInStep(double zoom, double fit) {
    if (zoom >= 3.99)
        return zoom;
    if (zoom >= 0.99999)
        return SnapZoom(zoom + 1, fit);
    double z = SnapZoom(zoom * 1.5, fit);
    if (std::fabs(z - zoom) < 0.001)
        z = SnapZoom(zoom * 2, fit);
    return z;
}

Request SetupRequest(double zoom, Point origin, int32_t width, int32_t height,
                     const Rect32& filter) {
    Request r{origin, {0, 0, 0, 0}, 1};
    if (zoom < 0.999999) {
        const double g = 1.0 / zoom;
        r.step = std::max(1, ToInt(g + 0.25));
        if (r.origin.y + height * g > filter.bottom)
            r.origin.y = ToInt(filter.bottom - height * g);
        if (r.origin.y < filter.top)
            r.origin.y = filter.top;
        if (r.origin.x + width * g > filter.right)
            r.origin.x = ToInt(filter.right - width * g);
        if (r.origin.x < filter.left)
            r.origin.x = filter.left;
        const int32_t t = ToInt(r.origin.y * zoom);
        const int32_t l = ToInt(r.origin.x * zoom);
        r.rect.top = t;
        r.rect.left = l;
        r.rect.bottom =
            Clamp32(std::min<int64_t>(int64_t(t) + height, ToInt(filter.bottom * zoom)));
        r.rect.right = Clamp32(std::min<int64_t>(int64_t(l) + width, ToInt(filter.right * zoom)));
    } else {
        const int32_t rows = ToInt(height / zoom + 1);
        const int32_t cols = ToInt(width / zoom + 1);
        if (int64_t(r.origin.y) + rows > filter.bottom)
            r.origin.y = Clamp32(int64_t(filter.bottom) - rows);
        if (r.origin.y < filter.top)
            r.origin.y = filter.top;
        if (int64_t(r.origin.x) + cols > filter.right)
            r.origin.x = Clamp32(int64_t(filter.right) - cols);
        if (r.origin.x < filter.left)
            r.origin.x = filter.left;
        r.rect = {r.origin.y, Clamp32(int64_t(r.origin.y) + rows), r.origin.x,
                  Clamp32(int64_t(r.origin.x) + cols)};
    }
    return r;
}

Point PanPreview(double zoom, const Rect32& in, int32_t dx, int32_t dy) {
    if (zoom < 0.99999999)
        return {ToInt(in.left / zoom + dx), ToInt(in.top / zoom + dy)};
    return {ToInt(dx / zoom + in.left), ToInt(dy / zoom + in.top)};
}

Point PanNavigator(double zoom, const Rect32& in, int32_t dx, int32_t dy, double navScale) {
    if (!(navScale > 0))
        navScale = 1;
    if (zoom < 0.99999999)
        return {ToInt(in.left / zoom - dx / navScale), ToInt(in.top / zoom - dy / navScale)};
    return {ToInt(in.left - dx / navScale), ToInt(in.top - dy / navScale)};
}

PaintSize PaintSizeFor(double zoom, int32_t sourceW, int32_t sourceH, int32_t width,
                       int32_t height) {
    PaintSize p{0, 0, 1};
    sourceW = std::max(sourceW, 0);
    sourceH = std::max(sourceH, 0);
    if (zoom > 1.0001) {
        const int32_t k = ToInt(zoom + 0.25);
        p.columns = Clamp32(std::min<int64_t>(int64_t(sourceW) * k, width));
        p.rows = Clamp32(std::min<int64_t>(int64_t(sourceH) * k, height));
        p.k = 0;
        for (int32_t m : {2, 3, 4})
            if (std::fabs(zoom - m) < 0.01)
                p.k = m;
    } else {
        p.columns = std::min(sourceW, width);
        p.rows = std::min(sourceH, height);
    }
    p.columns = std::max(p.columns, 0);
    p.rows = std::max(p.rows, 0);
    return p;
}

int32_t SourceRow(int32_t i, double zoom) {
    return zoom >= 1.0001 ? ToInt(i / zoom + 0.4) : i;
}

int64_t PixelMapRowBytes(int32_t planes, int32_t columns) {
    const int64_t bytes = ((int64_t(planes) * columns) / 16 + 16) * 16;
    return bytes > INT32_MAX ? -1 : bytes;
}

int32_t CentreOffset(int32_t space, int32_t size) {
    return std::max<int32_t>(0, Clamp32((int64_t(space) - size) / 2));
}

void ConvertRow(const uint8_t* source, bool sixteenBit, int32_t planes, int32_t columns, int32_t k,
                uint8_t* destination) {
    if (k < 1)
        k = 1;
    const int32_t groups = (columns + k - 1) / k;
    for (int32_t j = 0; j < groups; ++j) {
        uint8_t pixel[16];
        for (int32_t c = 0; c < planes && c < 16; ++c) {
            if (sixteenBit) {
                int16_t v;
                std::memcpy(&v, source + (size_t(j) * planes + c) * 2, 2);
                pixel[c] = v < 0 ? 255 : uint8_t(v >> 7);
            } else {
                pixel[c] = source[size_t(j) * planes + c];
            }
        }
        for (int32_t r = 0; r < k; ++r)
            std::memcpy(destination + (size_t(j) * k + r) * planes, pixel, size_t(planes));
    }
}

int32_t OverviewDecimation(int32_t navW, int32_t navH, int64_t imageW, int64_t imageH) {
    if (navW <= 0 || navH <= 0)
        return 1;
    const int64_t d = std::max(imageW / navW, imageH / navH);
    return Clamp32(std::max<int64_t>(d, 1));
}

double NavigatorScale(int32_t navW, int32_t navH, int64_t imageW, int64_t imageH) {
    if (imageW <= 0 || imageH <= 0)
        return 1.0;
    return std::min(double(navW) / double(imageW), double(navH) / double(imageH));
}

Box OverviewBox(int32_t navW, int32_t navH, int32_t w, int32_t h) {
    if (w < 1 || h < 1)
        return {0, 0, 0, 0};
    const double s = std::min(double(navH) / h, double(navW) / w);
    Box b;
    b.width = std::min(navW, ToInt(w * s + 0.25));
    b.height = std::min(navH, ToInt(h * s + 0.25));
    b.left = (navW - b.width) / 2;
    b.top = (navH - b.height) / 2;
    return b;
}

Frame NavigatorFrame(const Rect32& filter, const Rect32& in, int32_t step, double navScale,
                     int32_t drawnW, int32_t drawnH) {
    auto side = [&](int32_t edge, int32_t origin, int32_t limit) {
        int32_t v = ToInt(double(int64_t(step) * edge - origin) * navScale);
        v = std::max(v, 0);
        if (v >= limit)
            v = limit - 1;
        return v;
    };
    Frame f;
    f.left = side(in.left, filter.left, drawnW);
    f.top = side(in.top, filter.top, drawnH);
    f.right = side(in.right, filter.left, drawnW);
    f.bottom = side(in.bottom, filter.top, drawnH);
    return f;
}

ZoomButtons ZoomButtonStates(double zoom, double fit) {
    return {zoom > fit + 1e-8, zoom<3.9999, zoom> fit + 1e-6, std::fabs(zoom - 1) >= 1e-4};
}

}  // namespace preview
