// Image regions behind advanceState (sampling, padding, bounds, sizes), the 16-bit scale and
// the preview conversion behind displayPixels.
#include "host/HostImage.h"
#include "host/RegionDelivery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace vg::host {
namespace {

CHostImage Numbered(int32_t w, int32_t h, int32_t planes, int32_t depth) {
    CHostImage img;
    std::string error;
    EXPECT_TRUE(img.Create(w, h, planes, depth, false, &error)) << error;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int32_t c = 0; c < planes; ++c)
                img.SetSample(x, y, c, uint32_t((y * 16 + x) * 4 + c) % (img.MaxSample() + 1));
    return img;
}

RegionLayout Layout(ps::VRect r, int32_t lo, int32_t hi, ps::Fixed rate = ps::kFixedOne) {
    RegionLayout l;
    l.rect = r;
    l.loPlane = lo;
    l.hiPlane = hi;
    l.rate = rate;
    return l;
}

std::vector<uint8_t> Read(const CHostImage& img, RegionLayout& l, int16_t padding, int16_t* err,
                          int32_t align = 4) {
    int64_t total = 0;
    EXPECT_EQ(PlanRegion(img, &l, align, 1 << 20, &total), ps::noErr);
    std::vector<uint8_t> buf(size_t(total), 0xEE);
    *err = ReadRegion(img, l, padding, buf.data());
    return buf;
}

TEST(HostRegion, SamplingPicksEveryNthPixelOfTheRequestedPlanes) {
    const CHostImage img = Numbered(10, 9, 3, 8);
    struct Case {
        ps::Fixed rate;
        ps::VRect rect;
    } cases[] = {{ps::kFixedOne, {1, 2, 4, 7}},
                 {2 << 16, {0, 0, 4, 5}},
                 {3 << 16, {1, 1, 3, 3}},
                 {0x18000, {0, 0, 6, 6}}};  // 1.5: pixel i is image pixel floor(1.5 i)
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        RegionLayout l = Layout(c.rect, 1, 2, c.rate);
        int16_t err = 0;
        std::vector<uint8_t> buf = Read(img, l, ps::plugInWantsErrorOnBoundsException, &err);
        ASSERT_EQ(err, ps::noErr);
        EXPECT_EQ(l.rowBytes % 4, 0);
        for (int32_t i = 0; i < l.Height(); ++i)
            for (int32_t j = 0; j < l.Width(); ++j)
                for (int32_t p = 0; p < 2; ++p) {
                    int32_t y = int32_t((int64_t(c.rect.top + i) * c.rate) >> 16);
                    int32_t x = int32_t((int64_t(c.rect.left + j) * c.rate) >> 16);
                    ASSERT_EQ(buf[size_t(i * l.rowBytes + j * 2 + p)], img.Sample(x, y, 1 + p))
                        << i << "," << j;
                }
    }
}

// What a plug-in sees across two requests, whether a region is handed out in place (whole
// rows of every plane with the image's row length) or through a buffer: the input always shows
// the image as it was when the run began, the output starts as the image is now, written
// output reaches the image, and a failed run puts the image back.
TEST(HostRegion, DeliveryShowsTheOriginalAndWritesTheOutputInPlaceOrThroughBuffers) {
    struct Case {
        int32_t width, planes, depth, loPlane, hiPlane;
        ps::VRect first, second;  // overlapping requests, in and out alike
    } cases[] = {{8, 3, 8, 0, 2, {0, 0, 3, 8}, {2, 0, 6, 8}},     // in place (rows of 24 bytes)
                 {8, 1, 16, 0, 0, {0, 0, 3, 8}, {2, 0, 6, 8}},    // in place, 16-bit gray
                 {7, 3, 8, 0, 2, {0, 0, 3, 7}, {2, 0, 6, 7}},     // rows of 21 bytes: buffers
                 {8, 3, 8, 1, 2, {0, 0, 3, 8}, {2, 0, 6, 8}},     // some planes: buffers
                 {8, 3, 8, 0, 2, {0, 1, 3, 8}, {-1, 0, 6, 8}}};  // part rows, padding: buffers
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.planes << " planes, " << c.depth);
        CHostImage image = Numbered(c.width, 6, c.planes, c.depth);
        const CHostImage original = image;
        CRegionDelivery delivery;
        delivery.Begin(image);
        ps::FilterRecord rec{};
        // Every sample the plug-in writes is the maximum minus what its input shows.
        auto request = [&](const ps::VRect& r) {
            AdvanceRequest q;
            q.inRect = q.outRect = r;
            q.inLoPlane = q.outLoPlane = int16_t(c.loPlane);
            q.inHiPlane = q.outHiPlane = int16_t(c.hiPlane);
            q.inputPadding = q.outputPadding = 0;
            ASSERT_EQ(delivery.Deliver(q, DeliveryRules{}, &rec), ps::noErr);
            const int32_t bps = c.depth / 8, n = c.hiPlane - c.loPlane + 1;
            for (int32_t y = r.top; y < r.bottom; ++y)
                for (int32_t x = r.left; x < r.right; ++x)
                    for (int32_t p = 0; p < n; ++p) {
                        const size_t at = size_t(y - r.top) * size_t(rec.inRowBytes) +
                                          size_t((x - r.left) * n + p) * size_t(bps);
                        uint32_t in = 0, out = 0;
                        std::memcpy(&in, static_cast<uint8_t*>(rec.inData) + at, size_t(bps));
                        std::memcpy(&out, static_cast<uint8_t*>(rec.outData) + at, size_t(bps));
                        if (y < 0 || x < 0)
                            continue;  // padding
                        const uint32_t was = original.Sample(x, y, c.loPlane + p);
                        ASSERT_EQ(in, was) << y << "," << x;
                        ASSERT_EQ(out, image.Sample(x, y, c.loPlane + p)) << y << "," << x;
                        const uint32_t v = image.MaxSample() - was;
                        std::memcpy(static_cast<uint8_t*>(rec.outData) + at, &v, size_t(bps));
                    }
        };
        request(c.first);
        request(c.second);
        delivery.Flush();
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < c.width; ++x)
                for (int32_t p = 0; p < c.planes; ++p) {
                    const bool written = y < std::max(c.first.bottom, c.second.bottom) &&
                                         x >= std::min(c.first.left, c.second.left) &&
                                         p >= c.loPlane && p <= c.hiPlane;
                    const uint32_t was = original.Sample(x, y, p);
                    ASSERT_EQ(image.Sample(x, y, p), written ? image.MaxSample() - was : was)
                        << y << "," << x << "," << p;
                }
        delivery.Restore();
        delivery.End();
        EXPECT_TRUE(image == original);
    }
}

TEST(HostRegion, PaddingOutsideTheImage) {
    const CHostImage img = Numbered(4, 3, 1, 16);
    RegionLayout l = Layout({-1, -1, 4, 5}, 0, 0);
    auto at = [&](const std::vector<uint8_t>& b, int32_t y, int32_t x) {
        uint16_t v;
        std::memcpy(&v, &b[size_t((y + 1) * l.rowBytes + (x + 1) * 2)], 2);
        return uint32_t(v);
    };
    int16_t err = 0;
    std::vector<uint8_t> fill = Read(img, l, 255, &err);
    ASSERT_EQ(err, ps::noErr);
    EXPECT_EQ(at(fill, -1, -1), 32768u);  // a fill of 255 on the 16-bit scale
    EXPECT_EQ(at(fill, 0, 0), img.Sample(0, 0, 0));
    std::vector<uint8_t> edge = Read(img, l, ps::plugInWantsEdgeReplication, &err);
    EXPECT_EQ(at(edge, -1, -1), img.Sample(0, 0, 0));
    EXPECT_EQ(at(edge, 3, 4), img.Sample(3, 2, 0));
    EXPECT_EQ(at(edge, 1, 4), img.Sample(3, 1, 0));
    std::vector<uint8_t> none = Read(img, l, ps::plugInDoesNotWantPadding, &err);
    EXPECT_EQ(at(none, -1, 2), 0xEEEEu);  // left as it was
    EXPECT_EQ(at(none, 2, 3), img.Sample(3, 2, 0));
    Read(img, l, ps::plugInWantsErrorOnBoundsException, &err);
    EXPECT_EQ(err, ps::paramErr);
    RegionLayout sampled = Layout({0, 0, 2, 2}, 0, 0, 2 << 16);  // (1,1) -> image (2,2): inside
    EXPECT_TRUE(RegionInside(img, sampled));
    sampled.rect.right = 3;  // column 2 -> image column 4: outside
    EXPECT_FALSE(RegionInside(img, sampled));
}

TEST(HostRegion, PlanningRefusesBadPlanesRatesAndSizesBeyondTheLimit) {
    const CHostImage img = Numbered(8, 8, 3, 16);
    int64_t total = 0;
    RegionLayout l = Layout({0, 0, 8, 8}, 0, 3);
    EXPECT_EQ(PlanRegion(img, &l, 4, 1 << 20, &total), ps::paramErr);
    l = Layout({0, 0, 8, 8}, 2, 1);
    EXPECT_EQ(PlanRegion(img, &l, 4, 1 << 20, &total), ps::paramErr);
    l = Layout({5, 0, 4, 8}, 0, 2);
    EXPECT_EQ(PlanRegion(img, &l, 4, 1 << 20, &total), ps::paramErr);
    l = Layout({0, 0, 8, 8}, 0, 2, 0);
    EXPECT_EQ(PlanRegion(img, &l, 4, 1 << 20, &total), ps::paramErr);
    l = Layout({0, 0, 8, 3}, 0, 2);
    EXPECT_EQ(PlanRegion(img, &l, 16, 1 << 20, &total), ps::noErr);
    EXPECT_EQ(l.rowBytes, 32);  // 3 x 3 x 2 = 18, padded to 16
    EXPECT_EQ(total, 8 * 32);
    // Sides longer than 32 bits can hold are refused, even when the other side is empty.
    l = Layout({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0, 2);
    EXPECT_EQ(PlanRegion(img, &l, 4, int64_t(1) << 40, &total), ps::paramErr);
    l = Layout({0, -2130706432, 0, 1073741824}, 0, 2);
    EXPECT_EQ(PlanRegion(img, &l, 4, int64_t(1) << 40, &total), ps::paramErr);
    EXPECT_EQ(l.Width(), INT32_MAX);
    l = Layout({0, 0, 1000, 1000}, 0, 2);
    EXPECT_EQ(PlanRegion(img, &l, 4, 1 << 20, &total), ps::memFullErr);
    l = Layout({0, 0, 0, 8}, 0, 2);
    EXPECT_EQ(PlanRegion(img, &l, 4, 1 << 20, &total), ps::noErr);
    EXPECT_EQ(total, 0);
}

TEST(HostRegion, WritesBackOnlyInsideTheImage) {
    CHostImage img = Numbered(5, 4, 3, 8), before = img;
    RegionLayout l = Layout({-2, 3, 2, 8}, 1, 1);
    int64_t total = 0;
    ASSERT_EQ(PlanRegion(img, &l, 4, 1 << 20, &total), ps::noErr);
    std::vector<uint8_t> buf(size_t(total), 0x77);
    WriteRegion(img, l, buf.data());
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x)
            for (int32_t c = 0; c < 3; ++c) {
                bool written = c == 1 && y < 2 && x >= 3;
                EXPECT_EQ(img.Sample(x, y, c), written ? 0x77u : before.Sample(x, y, c));
            }
}

TEST(HostRegion, SixteenBitScaleSurvivesTheFileRoundTrip) {
    for (uint32_t v = 0; v <= 32768; ++v) ASSERT_EQ(From65535(To65535(v)), v);
    EXPECT_EQ(To65535(32768), 65535);
    EXPECT_EQ(From65535(65535), 32768);
    EXPECT_EQ(From65535(0), 0);
    EXPECT_EQ(To65535(99999), 65535);  // out of range clamps
}

TEST(HostRegion, PixelMapBecomesABottomUpBgrDib) {
    uint8_t rgb[2][3][3] = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}},
                            {{10, 11, 12}, {13, 14, 15}, {16, 17, 18}}};
    ps::PSPixelMap map{};
    map.version = 1;
    map.bounds = {100, 200, 102, 203};
    map.imageMode = ps::plugInModeRGBColor;
    map.rowBytes = 9;
    map.colBytes = 3;
    map.planeBytes = 1;
    map.baseAddr = rgb;
    std::vector<uint8_t> dib;
    int32_t w = 0, h = 0;
    std::string error;
    ps::VRect src{99, 201, 102, 210};  // clipped to the map
    ASSERT_TRUE(PixelMapToBgr24(map, src, &dib, &w, &h, &error)) << error;
    ASSERT_EQ(w, 2);
    ASSERT_EQ(h, 2);
    ASSERT_EQ(dib.size(), 16u);  // rows of 6 bytes padded to 8
    const uint8_t bottomRow[] = {15, 14, 13, 18, 17, 16}, topRow[] = {6, 5, 4, 9, 8, 7};
    EXPECT_EQ(0, std::memcmp(dib.data(), bottomRow, 6));
    EXPECT_EQ(0, std::memcmp(dib.data() + 8, topRow, 6));

    uint16_t gray[3] = {32768, 32700, 128};
    map = ps::PSPixelMap{};
    map.version = 1;
    map.bounds = {0, 0, 1, 3};
    map.imageMode = ps::plugInModeGray16;
    map.rowBytes = 6;
    map.colBytes = 2;
    map.baseAddr = gray;
    ASSERT_TRUE(PixelMapToBgr24(map, map.bounds, &dib, &w, &h, &error)) << error;
    const uint8_t shown[] = {255, 255, 255, 255, 255, 255, 1, 1, 1};
    EXPECT_EQ(0, std::memcmp(dib.data(), shown, 9));

    map.imageMode = ps::plugInModeLabColor;
    EXPECT_FALSE(PixelMapToBgr24(map, map.bounds, &dib, &w, &h, &error));
    map.imageMode = ps::plugInModeGray16;
    map.baseAddr = nullptr;
    EXPECT_FALSE(PixelMapToBgr24(map, map.bounds, &dib, &w, &h, &error));
}

}  // namespace
}  // namespace vg::host
