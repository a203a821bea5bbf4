// Host image storage, 16-bit scale conversion, advanceState region copies and preview conversion.
#include "host/HostImage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace vg::host {
namespace {

constexpr int32_t kMaxDimension = 1 << 30;

int64_t Mul16(int64_t coord, ps::Fixed rate) {
    return (coord * int64_t(rate)) >> 16;
}

}  // namespace

bool CHostImage::Create(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha,
                        std::string* error) {
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
        *error = "bad image size";
        return false;
    }
    if ((planes != 1 && planes != 3) || (depth != 8 && depth != 16)) {
        *error = "unsupported image layout";
        return false;
    }
    uint64_t channels = uint64_t(planes + (alpha ? 1 : 0));
    uint64_t bytes = uint64_t(width) * uint64_t(height) * channels * uint64_t(depth / 8);
    if (bytes > (uint64_t(1) << 40) || bytes > SIZE_MAX / 2) {
        *error = "image too large";
        return false;
    }
    try {
        m_data.assign(size_t(bytes), 0);
    } catch (const std::bad_alloc&) {
        *error = "not enough memory for the image";
        return false;
    }
    m_width = width;
    m_height = height;
    m_planes = planes;
    m_depth = depth;
    m_alpha = alpha;
    return true;
}

bool CHostImage::Adopt(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha,
                       std::vector<uint8_t>&& samples, std::string* error) {
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension ||
        (planes != 1 && planes != 3) || (depth != 8 && depth != 16)) {
        *error = "unsupported image layout";
        return false;
    }
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * uint64_t(planes + (alpha ? 1 : 0)) *
                           uint64_t(depth / 8);
    if (samples.size() != bytes) {
        *error = "the samples do not fill the image";
        return false;
    }
    m_data = std::move(samples);
    m_width = width;
    m_height = height;
    m_planes = planes;
    m_depth = depth;
    m_alpha = alpha;
    return true;
}

int16_t CHostImage::Mode() const {
    if (m_planes == 1)
        return m_depth == 16 ? ps::plugInModeGray16 : ps::plugInModeGrayScale;
    return m_depth == 16 ? ps::plugInModeRGB48 : ps::plugInModeRGBColor;
}

uint32_t CHostImage::Sample(int32_t x, int32_t y, int32_t c) const {
    size_t i = (size_t(y) * size_t(m_width) + size_t(x)) * size_t(Channels()) + size_t(c);
    if (m_depth == 8)
        return m_data[i];
    uint16_t v;
    std::memcpy(&v, &m_data[2 * i], 2);
    return v;
}

void CHostImage::SetSample(int32_t x, int32_t y, int32_t c, uint32_t v) {
    size_t i = (size_t(y) * size_t(m_width) + size_t(x)) * size_t(Channels()) + size_t(c);
    if (m_depth == 8) {
        m_data[i] = uint8_t(v);
        return;
    }
    uint16_t s = uint16_t(v);
    std::memcpy(&m_data[2 * i], &s, 2);
}

bool CHostImage::operator==(const CHostImage& o) const {
    return m_width == o.m_width && m_height == o.m_height && m_planes == o.m_planes &&
           m_depth == o.m_depth && m_alpha == o.m_alpha && m_data == o.m_data;
}

uint16_t From65535(uint32_t v) {
    v = std::min<uint32_t>(v, 65535);
    return uint16_t((v * 32768u + 32767u) / 65535u);
}

uint16_t To65535(uint32_t v) {
    v = std::min<uint32_t>(v, 32768);
    return uint16_t((v * 65535u + 16384u) / 32768u);
}

int16_t PlanRegion(const CHostImage& image, RegionLayout* layout, int32_t rowAlignment,
                   int64_t maxBytes, int64_t* totalBytes) {
    const ps::VRect& r = layout->rect;
    *totalBytes = 0;
    layout->rowBytes = 0;
    if (r.right < r.left || r.bottom < r.top)
        return ps::paramErr;
    if (layout->loPlane < 0 || layout->hiPlane < layout->loPlane ||
        layout->hiPlane >= image.Planes())
        return ps::paramErr;
    if (layout->rate <= 0 || layout->rate > (1 << 24))
        return ps::paramErr;
    int64_t width = int64_t(r.right) - r.left, height = int64_t(r.bottom) - r.top;
    if (width > INT32_MAX || height > INT32_MAX)
        return ps::paramErr;
    if (width == 0 || height == 0)
        return ps::noErr;
    int64_t align = std::max<int32_t>(1, rowAlignment);
    int64_t row = width * layout->PlaneCount() * image.BytesPerSample();
    row = (row + align - 1) / align * align;
    if (row > INT32_MAX)
        return ps::memFullErr;
    if (height > maxBytes / row)
        return ps::memFullErr;
    layout->rowBytes = int32_t(row);
    *totalBytes = row * height;
    return ps::noErr;
}

bool RegionInside(const CHostImage& image, const RegionLayout& layout) {
    const ps::VRect& r = layout.rect;
    if (layout.Width() <= 0 || layout.Height() <= 0)
        return true;
    int64_t top = Mul16(r.top, layout.rate), left = Mul16(r.left, layout.rate);
    int64_t bottom = Mul16(int64_t(r.bottom) - 1, layout.rate);
    int64_t right = Mul16(int64_t(r.right) - 1, layout.rate);
    return top >= 0 && left >= 0 && bottom < image.Height() && right < image.Width();
}

int16_t ReadRegion(const CHostImage& image, const RegionLayout& layout, int16_t padding,
                   uint8_t* dst) {
    if (layout.Width() <= 0 || layout.Height() <= 0)
        return ps::noErr;
    bool inside = RegionInside(image, layout);
    if (!inside && padding == ps::plugInWantsErrorOnBoundsException)
        return ps::paramErr;
    const int32_t bps = image.BytesPerSample();
    const int32_t planes = layout.PlaneCount();
    const int32_t channels = image.Channels();
    if (inside && layout.rate == ps::kFixedOne) {
        // The common request: whole rows of the image, unsampled.
        const size_t pixel = size_t(channels) * size_t(bps), taken = size_t(planes) * size_t(bps);
        for (int32_t i = 0; i < layout.Height(); ++i) {
            uint8_t* out = dst + size_t(i) * size_t(layout.rowBytes);
            const uint8_t* in = image.Row(layout.rect.top + i) + size_t(layout.rect.left) * pixel +
                                size_t(layout.loPlane) * size_t(bps);
            if (taken == pixel) {
                std::memcpy(out, in, taken * size_t(layout.Width()));
                continue;
            }
            for (int32_t j = 0; j < layout.Width(); ++j, out += taken, in += pixel)
                std::memcpy(out, in, taken);
        }
        return ps::noErr;
    }
    uint32_t fill = 0;
    if (padding >= 0)
        fill = image.Depth() == 16 ? (uint32_t(padding) * 32768u + 127u) / 255u : uint32_t(padding);
    for (int32_t i = 0; i < layout.Height(); ++i) {
        uint8_t* out = dst + size_t(i) * size_t(layout.rowBytes);
        int64_t y = Mul16(int64_t(layout.rect.top) + i, layout.rate);
        bool yIn = y >= 0 && y < image.Height();
        int64_t yc = std::clamp<int64_t>(y, 0, image.Height() - 1);
        for (int32_t j = 0; j < layout.Width(); ++j) {
            int64_t x = Mul16(int64_t(layout.rect.left) + j, layout.rate);
            bool in = yIn && x >= 0 && x < image.Width();
            uint8_t* px = out + size_t(j) * size_t(planes * bps);
            if (!in && padding == ps::plugInDoesNotWantPadding)
                continue;
            if (!in && padding >= 0) {
                for (int32_t p = 0; p < planes; ++p) {
                    if (bps == 1) {
                        px[p] = uint8_t(fill);
                    } else {
                        uint16_t v = uint16_t(fill);
                        std::memcpy(px + 2 * p, &v, 2);
                    }
                }
                continue;
            }
            int64_t xc = std::clamp<int64_t>(x, 0, image.Width() - 1);
            const uint8_t* src = image.Row(int32_t(yc)) + size_t(xc) * size_t(channels * bps) +
                                 size_t(layout.loPlane * bps);
            std::memcpy(px, src, size_t(planes * bps));
        }
    }
    return ps::noErr;
}

void WriteRegion(CHostImage& image, const RegionLayout& layout, const uint8_t* src) {
    const ps::VRect& r = layout.rect;
    const int32_t bps = image.BytesPerSample();
    const int32_t planes = layout.PlaneCount();
    int32_t top = std::max(r.top, 0), bottom = std::min(r.bottom, image.Height());
    int32_t left = std::max(r.left, 0), right = std::min(r.right, image.Width());
    if (top >= bottom || left >= right)
        return;
    const size_t pixel = size_t(image.Channels()) * size_t(bps),
                 taken = size_t(planes) * size_t(bps);
    for (int32_t y = top; y < bottom; ++y) {
        const uint8_t* in =
            src + size_t(y - r.top) * size_t(layout.rowBytes) + size_t(left - r.left) * taken;
        uint8_t* out = image.Row(y) + size_t(left) * pixel + size_t(layout.loPlane) * size_t(bps);
        if (taken == pixel) {
            std::memcpy(out, in, taken * size_t(right - left));
            continue;
        }
        for (int32_t x = left; x < right; ++x, out += pixel, in += taken)
            std::memcpy(out, in, taken);
    }
}

bool PixelMapToBgr24(const ps::PSPixelMap& map, const ps::VRect& srcRect, std::vector<uint8_t>* dib,
                     int32_t* width, int32_t* height, std::string* error) {
    int planes = 0;
    if (map.imageMode == ps::plugInModeRGBColor || map.imageMode == ps::plugInModeRGB48)
        planes = 3;
    else if (map.imageMode == ps::plugInModeGrayScale || map.imageMode == ps::plugInModeGray16)
        planes = 1;
    if (planes == 0) {
        *error = "pixel map mode not shown by this host";
        return false;
    }
    bool deep = map.imageMode == ps::plugInModeRGB48 || map.imageMode == ps::plugInModeGray16 ||
                (map.version >= 3 && map.depth == 16);
    if (map.version >= 3 && map.depth != 0 && map.depth != 8 && map.depth != 16) {
        *error = "pixel map depth not shown by this host";
        return false;
    }
    if (map.baseAddr == nullptr || map.rowBytes == 0 || map.colBytes <= 0 || map.planeBytes < 0) {
        *error = "bad pixel map";
        return false;
    }
    ps::VRect r = srcRect;
    r.top = std::max(r.top, map.bounds.top);
    r.left = std::max(r.left, map.bounds.left);
    r.bottom = std::min(r.bottom, map.bounds.bottom);
    r.right = std::min(r.right, map.bounds.right);
    if (r.bottom <= r.top || r.right <= r.left) {
        *width = *height = 0;
        dib->clear();
        return true;
    }
    int64_t w = int64_t(r.right) - r.left, h = int64_t(r.bottom) - r.top;
    int64_t stride = (w * 3 + 3) / 4 * 4;
    if (w > (1 << 20) || h > (1 << 20) || stride * h > (int64_t(1) << 31)) {
        *error = "pixel map too large to show";
        return false;
    }
    dib->assign(size_t(stride * h), 0);
    const uint8_t* base = static_cast<const uint8_t*>(map.baseAddr);
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* out = dib->data() + size_t((h - 1 - y) * stride);  // bottom-up
        const uint8_t* row = base + (int64_t(r.top) + y - map.bounds.top) * int64_t(map.rowBytes);
        for (int64_t x = 0; x < w; ++x) {
            const uint8_t* px =
                row + (int64_t(r.left) + x - map.bounds.left) * int64_t(map.colBytes);
            uint8_t rgb[3];
            for (int p = 0; p < 3; ++p) {
                const uint8_t* s = px + (planes == 3 ? p : 0) * map.planeBytes;
                if (deep) {
                    uint16_t v;
                    std::memcpy(&v, s, 2);
                    rgb[p] = uint8_t(std::min(v >> 7, 255));
                } else {
                    rgb[p] = *s;
                }
            }
            out[3 * x] = rgb[2];
            out[3 * x + 1] = rgb[1];
            out[3 * x + 2] = rgb[0];
        }
    }
    *width = int32_t(w);
    *height = int32_t(h);
    return true;
}

}  // namespace vg::host
