// Fuzz target for the region maths behind advanceState and displayPixels: the numbers a
// plug-in writes into the record (rectangles, planes, rate, padding) come from the input and
// are applied to a small image, as the host does with a plug-in's requests.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/HostImage.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

struct Reader {
    const uint8_t* p;
    size_t n;
    template <typename T>
    T Get() {
        T v{};
        size_t k = n < sizeof(T) ? n : sizeof(T);
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const uint8_t shape = in.Get<uint8_t>();
    const int32_t width = 1 + (shape & 15), height = 1 + (shape >> 4);
    const uint8_t kind = in.Get<uint8_t>();
    const int32_t planes = (kind & 1) ? 3 : 1, depth = (kind & 2) ? 16 : 8;
    vg::host::CHostImage image;
    std::string error;
    if (!image.Create(width, height, planes, depth, (kind & 4) != 0, &error))
        Fail("small image refused");
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t c = 0; c < image.Channels(); ++c)
                image.SetSample(x, y, c, uint32_t(x * 7 + y * 13 + c) % (image.MaxSample() + 1));

    vg::host::RegionLayout layout;
    layout.rect.top = in.Get<int32_t>();
    layout.rect.left = in.Get<int32_t>();
    layout.rect.bottom = in.Get<int32_t>();
    layout.rect.right = in.Get<int32_t>();
    layout.loPlane = in.Get<int16_t>();
    layout.hiPlane = in.Get<int16_t>();
    layout.rate = in.Get<int32_t>();
    const int16_t padding = in.Get<int16_t>();
    const int32_t align = int32_t(in.Get<uint8_t>() % 17);
    int64_t bytes = 0;
    // The limit keeps buffers small: a request the host could not hold is refused.
    if (vg::host::PlanRegion(image, &layout, align, 1 << 20, &bytes) == 0) {
        if (bytes < 0 || bytes > (1 << 20))
            Fail("planned size beyond the limit");
        if (bytes > 0 && int64_t(layout.rowBytes) * layout.Height() != bytes)
            Fail("planned size disagrees with the row length");
        std::vector<uint8_t> buffer(size_t(bytes) + 1, 0xEE);
        const bool read = vg::host::ReadRegion(image, layout, padding, buffer.data()) == 0;
        if (buffer[size_t(bytes)] != 0xEE)
            Fail("read past the planned buffer");
        // Every pixel that comes from inside the image is that pixel's samples, whichever
        // way the copy was made; written back at full resolution, each lands where it came from.
        const int32_t bps = image.BytesPerSample(), n = layout.PlaneCount();
        auto sampleAt = [&](int32_t i, int32_t j, int32_t p) -> uint8_t* {
            return buffer.data() + size_t(i) * size_t(layout.rowBytes) +
                   size_t(j * n + p) * size_t(bps);
        };
        for (int32_t i = 0; read && bytes > 0 && i < layout.Height(); ++i)
            for (int32_t j = 0; j < layout.Width(); ++j) {
                const int64_t y = (int64_t(layout.rect.top) + i) * layout.rate >> 16;
                const int64_t x = (int64_t(layout.rect.left) + j) * layout.rate >> 16;
                if (y < 0 || y >= height || x < 0 || x >= width)
                    continue;
                for (int32_t p = 0; p < n; ++p) {
                    uint16_t v = 0;
                    std::memcpy(&v, sampleAt(i, j, p), size_t(bps));
                    if (v != image.Sample(int32_t(x), int32_t(y), layout.loPlane + p))
                        Fail("read region differs from the image");
                    v = uint16_t(v ^ 0x5A);
                    std::memcpy(sampleAt(i, j, p), &v, size_t(bps));
                }
            }
        if (read && layout.rate == ps::kFixedOne) {
            vg::host::WriteRegion(image, layout, buffer.data());
            for (int32_t i = 0; bytes > 0 && i < layout.Height(); ++i)
                for (int32_t j = 0; j < layout.Width(); ++j) {
                    const int64_t y = int64_t(layout.rect.top) + i,
                                  x = int64_t(layout.rect.left) + j;
                    if (y < 0 || y >= height || x < 0 || x >= width)
                        continue;
                    for (int32_t p = 0; p < n; ++p) {
                        uint16_t v = 0;
                        std::memcpy(&v, sampleAt(i, j, p), size_t(bps));
                        if (v != image.Sample(int32_t(x), int32_t(y), layout.loPlane + p))
                            Fail("written region differs from the buffer");
                    }
                }
        }
        vg::host::RegionInside(image, layout);
    }

    // A pixel map with hostile strides over a buffer the map claims to describe.
    std::vector<uint8_t> pixels(4096, 0x80);
    ps::PSPixelMap map{};
    map.version = in.Get<int32_t>() & 3;
    map.bounds.top = in.Get<int8_t>();
    map.bounds.left = in.Get<int8_t>();
    map.bounds.bottom = map.bounds.top + (in.Get<uint8_t>() & 15);
    map.bounds.right = map.bounds.left + (in.Get<uint8_t>() & 15);
    map.imageMode = in.Get<uint8_t>() % 12;
    map.depth = int16_t((in.Get<uint8_t>() & 1) ? 16 : 8);
    map.colBytes = 1 + (in.Get<uint8_t>() & 7);
    map.planeBytes = in.Get<uint8_t>() & 3;
    // Rows long enough for the widest pixel of the map, so that a valid map stays inside.
    map.rowBytes = 16 * 8 + 8;
    map.baseAddr = pixels.data();
    ps::VRect src{in.Get<int32_t>(), in.Get<int32_t>(), in.Get<int32_t>(), in.Get<int32_t>()};
    std::vector<uint8_t> dib;
    int32_t w = 0, h = 0;
    if (vg::host::PixelMapToBgr24(map, src, &dib, &w, &h, &error) &&
        dib.size() != size_t((int64_t(w) * 3 + 3) / 4 * 4) * size_t(h))
        Fail("DIB size disagrees with its dimensions");
    return 0;
}
