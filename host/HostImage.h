// The image a host filters: interleaved 8- or 16-bit samples (16-bit on the host's 0..32768
// scale), gray or RGB, with an optional alpha channel the plug-in never sees. Also the region
// copies behind advanceState: sampling, padding and bounds.
#pragma once

#include "sdk/PluginInterface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vg::host {

class CHostImage {
public:
    // false with a message on bad sizes (not positive, or too large to address).
    bool Create(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha,
                std::string* error);
    // Takes samples already laid out as this class keeps them (so that a decoder can fill
    // its own buffer as it goes); false when their size does not match the layout.
    bool Adopt(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha,
               std::vector<uint8_t>&& samples, std::string* error);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    int32_t Planes() const { return m_planes; }  // colour planes the plug-in sees: 1 or 3
    int32_t Depth() const { return m_depth; }    // 8 or 16
    bool HasAlpha() const { return m_alpha; }
    int32_t Channels() const { return m_planes + (m_alpha ? 1 : 0); }
    int32_t BytesPerSample() const { return m_depth / 8; }
    size_t RowBytes() const {
        return size_t(m_width) * size_t(Channels()) * size_t(BytesPerSample());
    }
    bool Empty() const { return m_width == 0; }
    int16_t Mode() const;  // plugInMode* of the image

    uint8_t* Row(int32_t y) { return m_data.data() + size_t(y) * RowBytes(); }
    const uint8_t* Row(int32_t y) const { return m_data.data() + size_t(y) * RowBytes(); }
    uint32_t Sample(int32_t x, int32_t y, int32_t c) const;
    void SetSample(int32_t x, int32_t y, int32_t c, uint32_t v);
    uint32_t MaxSample() const { return m_depth == 16 ? uint32_t(ps::kMax16BitSample) : 255u; }

    bool operator==(const CHostImage& o) const;

private:
    int32_t m_width = 0, m_height = 0, m_planes = 0, m_depth = 8;
    bool m_alpha = false;
    std::vector<uint8_t> m_data;
};

// 16-bit file samples (0..65535) to and from the host's scale (0..32768). Every host value
// survives the round trip host -> file -> host exactly.
uint16_t From65535(uint32_t v);
uint16_t To65535(uint32_t v);

// A rectangle of planes lo..hi, laid out as the plug-in receives it: interleaved, rows of
// rowBytes. rate is 16.16 fixed: sampled pixel (r, c) is image pixel (r*rate, c*rate) >> 16.
struct RegionLayout {
    ps::VRect rect{};
    int32_t loPlane = 0, hiPlane = 0;
    ps::Fixed rate = ps::kFixedOne;
    int32_t rowBytes = 0;
    // Saturating, so that a hostile rectangle cannot overflow; PlanRegion refuses such sizes.
    int32_t Width() const { return Span(rect.left, rect.right); }
    int32_t Height() const { return Span(rect.top, rect.bottom); }
    int32_t PlaneCount() const { return hiPlane - loPlane + 1; }
    static int32_t Span(int32_t from, int32_t to) {
        int64_t d = int64_t(to) - from;
        return d > INT32_MAX ? INT32_MAX : d < INT32_MIN ? INT32_MIN : int32_t(d);
    }
};

// Validates a request and computes its row length (rounded up to rowAlignment) and total size.
// Errors: paramErr for inverted rectangles or sides longer than 2^31 - 1 (even when the other
// side is empty), bad planes or a bad rate; memFullErr when the
// buffer would exceed maxBytes or 32-bit row lengths.
int16_t PlanRegion(const CHostImage& image, RegionLayout* layout, int32_t rowAlignment,
                   int64_t maxBytes, int64_t* totalBytes);

// Whether every pixel of the request lies inside the image.
bool RegionInside(const CHostImage& image, const RegionLayout& layout);

// Copies the region from the image into dst. Pixels outside the image follow padding:
// 0..255 fill value, plugInWantsEdgeReplication, plugInDoesNotWantPadding (left as is) or
// plugInWantsErrorOnBoundsException (returns paramErr, nothing copied).
int16_t ReadRegion(const CHostImage& image, const RegionLayout& layout, int16_t padding,
                   uint8_t* dst);

// Writes a full-resolution region back into the image, skipping pixels outside it.
void WriteRegion(CHostImage& image, const RegionLayout& layout, const uint8_t* src);

// For displayPixels: converts srcRect of a pixel map into a bottom-up 24-bit BGR DIB (rows padded
// to 4 bytes). false on a map this host cannot show (mode, planes, strides, rectangle).
bool PixelMapToBgr24(const ps::PSPixelMap& map, const ps::VRect& srcRect, std::vector<uint8_t>* dib,
                     int32_t* width, int32_t* height, std::string* error);

}  // namespace vg::host
