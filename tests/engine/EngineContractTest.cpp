// The call contract of the engine: memory, strides, in-place use, progress, cancel, bad input.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

using vgtest::CountingHost;
using vgtest::Image;
using vgtest::MaximumParams;
using vgtest::UserParams;

namespace {

UserParams AllStages() {
    UserParams p;
    p.cleanStrength = 2;
    p.edgeAccent = 2;
    p.textureStrength = 0.5;
    p.textureBoost = 2;
    return p;
}

const int kFormats[] = {VWGLAZE_FORMAT_RGB8, VWGLAZE_FORMAT_RGB16};

}  // namespace

TEST(EngineContract, WritesOnlyTheImageAreaOfPaddedRows) {
    for (int format : kFormats) {
        const Image src = vgtest::NoiseImage(37, 23, format, 1, 5);
        const Image srcCopy = src;
        Image dst(37, 23, format, 11);
        std::fill(dst.bytes.begin(), dst.bytes.end(), uint8_t{0xA5});
        ASSERT_EQ(vgtest::Run(src, dst, AllStages()), VWGLAZE_DONE);
        EXPECT_EQ(src.bytes, srcCopy.bytes) << "source modified";
        const int rowLen = src.rowBytes - 5;
        int changed = 0;
        for (int y = 0; y < dst.height; ++y) {
            for (int b = 0; b < dst.rowBytes; ++b) {
                const uint8_t v = dst.bytes[static_cast<std::size_t>(y) * dst.rowBytes + b];
                if (b >= rowLen) {
                    ASSERT_EQ(v, 0xA5) << "padding written at row " << y << " byte " << b;
                } else {
                    changed += v != 0xA5;
                }
            }
        }
        EXPECT_GT(changed, rowLen * dst.height / 2) << "image area not written";
    }
}

TEST(EngineContract, NeverTouchesBytesPastTheLastPixelOfABuffer) {
    // Hosts' buffers may end right after the last row's pixels; the sanitizers catch any
    // access beyond the exact extent.
    for (int format : kFormats) {
        const int w = 29, h = 17, bpp = format == VWGLAZE_FORMAT_RGB16 ? 6 : 3;
        const int32_t stride = w * bpp + 10;
        const std::size_t extent = static_cast<std::size_t>(stride) * (h - 1) + w * bpp;
        const Image full = vgtest::NoiseImage(w, h, format, 12, 10);
        std::vector<uint8_t> src(full.bytes.begin(), full.bytes.begin() + extent);
        std::vector<uint8_t> dst(extent, 0);
        CountingHost host;
        Image unused(1, 1, format);
        EngineImage im = vgtest::Record(unused, unused, host);
        im.srcData = src.data();
        im.dstData = dst.data();
        im.srcRowBytes = im.dstRowBytes = stride;
        im.width = w;
        im.height = h;
        const float t[3] = {0.05f, 0.05f, 0.05f};
        const float f[3] = {1, 1, 1};
        EXPECT_EQ(vwGlazeRGB2(&im, 1, 2, t, 8, f, 1.5f, 2, 2, 0.025f, 0.5f, 0.5f, 2), VWGLAZE_DONE);
        EXPECT_EQ(host.live, 0);
    }
}

TEST(EngineContract, InPlaceGivesTheSameResultAsSeparateBuffers) {
    for (int format : kFormats) {
        for (int step : {1, 2}) {
            const Image src = vgtest::NoiseImage(41, 29, format, 2, 3);
            Image separate(41, 29, format, 3);
            ASSERT_EQ(vgtest::Run(src, separate, AllStages(), step), VWGLAZE_DONE);
            Image inPlace = src;
            ASSERT_EQ(vgtest::Run(inPlace, inPlace, AllStages(), step), VWGLAZE_DONE);
            EXPECT_EQ(inPlace.bytes, separate.bytes) << "format " << format << " step " << step;
        }
    }
}

TEST(EngineContract, ExportedFunctionMatchesThePipelineAndReturnsAllMemory) {
    const Image src = vgtest::NoiseImage(33, 21, VWGLAZE_FORMAT_RGB8, 3);
    Image a(33, 21, VWGLAZE_FORMAT_RGB8), b(33, 21, VWGLAZE_FORMAT_RGB8);
    CountingHost host;
    ASSERT_EQ(vgtest::Run(src, a, AllStages(), 1, 0, nullptr, &host), VWGLAZE_DONE);
    EXPECT_EQ(host.live, 0);
    EXPECT_GT(host.calls, 0) << "working memory must come from the host";
    ASSERT_EQ(vgtest::RunExport(src, b, AllStages()), VWGLAZE_DONE);
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST(EngineContract, RefusedAllocationAtAnyPointFailsCleanlyAndLeavesTheImage) {
    const Image src = vgtest::NoiseImage(40, 30, VWGLAZE_FORMAT_RGB8, 4);
    Image out(40, 30, VWGLAZE_FORMAT_RGB8);
    CountingHost full;
    ASSERT_EQ(vgtest::Run(src, out, AllStages(), 1, 2, nullptr, &full), VWGLAZE_DONE);
    ASSERT_GT(full.calls, 3);
    for (int n = 1; n <= full.calls; ++n) {
        CountingHost host;
        host.failAt = n;
        Image dst = src;  // in place, as the preview does
        EXPECT_EQ(vgtest::Run(dst, dst, AllStages(), 1, 2, nullptr, &host), VWGLAZE_NO_MEMORY)
            << "failing call " << n;
        EXPECT_EQ(host.live, 0) << "blocks kept after failing call " << n;
        EXPECT_EQ(dst.bytes, src.bytes) << "image changed by a failed run, call " << n;
    }
}

namespace {
struct CancellingHost : CountingHost {
    int progressCalls = 0;
    int cancelAt = 0;
    int callsAfterCancel = 0;
    int32_t lastDone = -1;
    int32_t lastTotal = 0;
    int32_t beforeLast = 0;
    bool monotonic = true;
    std::thread::id caller = std::this_thread::get_id();
    bool foreignThread = false;
    bool flushToZeroSeen = false;  // the engine's float mode leaking into host code
    static int32_t Progress(int32_t done, int32_t total, void* context) {
        auto* self = static_cast<CancellingHost*>(context);
        if (self->cancelAt != 0 && self->progressCalls >= self->cancelAt) {
            ++self->callsAfterCancel;
        }
        ++self->progressCalls;
        self->monotonic = self->monotonic && done >= self->lastDone && done <= total &&
                          (self->lastTotal == 0 || total == self->lastTotal);
        self->foreignThread = self->foreignThread || std::this_thread::get_id() != self->caller;
#if defined(__SSE__)
        self->flushToZeroSeen = self->flushToZeroSeen || (_mm_getcsr() & 0x8040u) != 0;
#endif
        self->beforeLast = self->lastDone;
        self->lastDone = done;
        self->lastTotal = total;
        return self->progressCalls == self->cancelAt ? 0 : 1;
    }
};
}  // namespace

TEST(EngineContract, ProgressRisesOnTheCallingThreadAndEndsComplete) {
    const Image src = vgtest::NoiseImage(300, 200, VWGLAZE_FORMAT_RGB16, 5);
    Image dst(300, 200, VWGLAZE_FORMAT_RGB16);
    CancellingHost host;
    ASSERT_EQ(vgtest::Run(src, dst, AllStages(), 1, 4, nullptr, &host, &CancellingHost::Progress),
              VWGLAZE_DONE);
    EXPECT_GT(host.progressCalls, 10);
    EXPECT_TRUE(host.monotonic);
    EXPECT_FALSE(host.foreignThread);
    EXPECT_FALSE(host.flushToZeroSeen);
    EXPECT_EQ(host.lastDone, host.lastTotal);
    // The bar moves all the way, rather than waiting at a low value for the final call.
    EXPECT_GE(host.beforeLast, host.lastTotal * 95 / 100);
    EXPECT_EQ(host.live, 0);
}

TEST(EngineContract, CancelAtAnyProgressCallStopsPromptlyAndFreesAll) {
    const Image src = vgtest::NoiseImage(64, 48, VWGLAZE_FORMAT_RGB8, 6);
    Image dst(64, 48, VWGLAZE_FORMAT_RGB8);
    CancellingHost count;
    ASSERT_EQ(vgtest::Run(src, dst, AllStages(), 1, 2, nullptr, &count, &CancellingHost::Progress),
              VWGLAZE_DONE);
    for (int n = 1; n <= count.progressCalls; ++n) {
        CancellingHost host;
        host.cancelAt = n;
        EXPECT_EQ(
            vgtest::Run(src, dst, AllStages(), 1, 2, nullptr, &host, &CancellingHost::Progress),
            VWGLAZE_CANCELLED)
            << "cancel at call " << n;
        EXPECT_EQ(host.callsAfterCancel, 0) << "progress called again after cancel " << n;
        EXPECT_EQ(host.live, 0) << "blocks kept after cancel at call " << n;
    }
}

TEST(EngineContract, RejectsBadRecordsAndParametersWithoutTouchingMemory) {
    const Image src = vgtest::NoiseImage(8, 8, VWGLAZE_FORMAT_RGB8, 7);
    Image dst(8, 8, VWGLAZE_FORMAT_RGB8);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        void (*edit)(EngineImage&);
    };
    const Case records[] = {
        {"null source", [](EngineImage& e) { e.srcData = nullptr; }},
        {"null destination", [](EngineImage& e) { e.dstData = nullptr; }},
        {"null allocator", [](EngineImage& e) { e.allocProc = nullptr; }},
        {"null free", [](EngineImage& e) { e.freeProc = nullptr; }},
        {"zero width", [](EngineImage& e) { e.width = 0; }},
        {"negative height", [](EngineImage& e) { e.height = -8; }},
        {"absurd width", [](EngineImage& e) { e.width = 2000000000; }},
        {"short source rows", [](EngineImage& e) { e.srcRowBytes = 23; }},
        {"short destination rows", [](EngineImage& e) { e.dstRowBytes = 23; }},
        {"negative stride", [](EngineImage& e) { e.srcRowBytes = -24; }},
        {"unknown format", [](EngineImage& e) { e.pixelFormat = 2; }},
        {"zero sample step", [](EngineImage& e) { e.sampleStep = 0; }},
        {"16-bit rows too short", [](EngineImage& e) { e.pixelFormat = VWGLAZE_FORMAT_RGB16; }},
    };
    const float t[3] = {0.05f, 0.05f, 0.05f};
    const float f[3] = {1, 1, 1};
    for (const Case& c : records) {
        CountingHost host;
        EngineImage im = vgtest::Record(src, dst, host);
        c.edit(im);
        EXPECT_EQ(vwGlazeRGB2(&im, 1, 0, t, 8, f, 1.5f, 1, 0, 0.025f, 0, 1, 2),
                  VWGLAZE_BAD_PARAMETERS)
            << c.what;
        EXPECT_EQ(host.calls, 0) << c.what;
    }
    CountingHost host;
    EngineImage im = vgtest::Record(src, dst, host);
    EXPECT_EQ(vwGlazeRGB2(nullptr, 1, 0, t, 8, f, 1.5f, 1, 0, 0.025f, 0, 1, 2),
              VWGLAZE_BAD_PARAMETERS);
    EXPECT_EQ(vwGlazeRGB2(&im, 1, 0, nullptr, 8, f, 1.5f, 1, 0, 0.025f, 0, 1, 2),
              VWGLAZE_BAD_PARAMETERS);
    EXPECT_EQ(vwGlazeRGB2(&im, 1, 0, t, 8, nullptr, 1.5f, 1, 0, 0.025f, 0, 1, 2),
              VWGLAZE_BAD_PARAMETERS);
    for (float bad : {nan, inf, -inf}) {
        const float bt[3] = {0.05f, bad, 0.05f};
        EXPECT_EQ(vwGlazeRGB2(&im, 1, 0, bt, 8, f, 1.5f, 1, 0, 0.025f, 0, 1, 2),
                  VWGLAZE_BAD_PARAMETERS);
        EXPECT_EQ(vwGlazeRGB2(&im, 1, 0, t, bad, f, 1.5f, 1, 0, 0.025f, 0, 1, 2),
                  VWGLAZE_BAD_PARAMETERS);
        EXPECT_EQ(vwGlazeRGB2(&im, 1, 0, t, 8, f, 1.5f, bad, 0, 0.025f, 0, 1, 2),
                  VWGLAZE_BAD_PARAMETERS);
        // A texture boost of 0 arrives as an infinite 1 / boost.
        EXPECT_EQ(vwGlazeRGB2(&im, 1, 0, t, 8, f, 1.5f, 1, 0, 0.025f, 0.5f, bad, 2),
                  VWGLAZE_BAD_PARAMETERS);
    }
    EXPECT_EQ(host.calls, 0);
}

TEST(EngineContract, ScriptedValuesOutsideTheSliderRangesStillFilter) {
    const Image src = vgtest::NoiseImage(24, 18, VWGLAZE_FORMAT_RGB8, 8);
    Image dst(24, 18, VWGLAZE_FORMAT_RGB8);
    const float f[3] = {1, 1, 1};
    const float neg[3] = {-1, -1, -1};
    const float big[3] = {1e9f, 1e9f, 1e9f};
    CountingHost host;
    EngineImage im = vgtest::Record(src, dst, host);
    EXPECT_EQ(vwGlazeRGB2(&im, 1, 1000000, big, 1e30f, big, 1e30f, 1e30f, 1000000, 1e30f, 1e30f,
                          1e30f, 1e30f),
              VWGLAZE_DONE);
    EXPECT_EQ(vwGlazeRGB2(&im, 1, -1000000, neg, -1e30f, neg, -1e30f, -1e30f, -1000000, -1e30f,
                          -1e30f, -1e30f, -1e30f),
              VWGLAZE_DONE);
    EXPECT_EQ(vwGlazeRGB2(&im, 7, 0, f, 8, f, 1.5f, 1, 0, 0.025f, 0, 1, 2), VWGLAZE_DONE);
    EXPECT_EQ(host.live, 0);
}

TEST(EngineContract, FiltersTinyAndThinImages) {
    for (int format : kFormats) {
        for (auto [w, h] : {std::pair{1, 1}, {1, 19}, {19, 1}, {2, 2}, {3, 40}, {1030, 2}}) {
            const Image src = vgtest::NoiseImage(w, h, format, 9);
            Image dst(w, h, format);
            // Sharpness 3 also steepens one row and column ahead.
            for (int step : {1, 3}) {
                for (double sharpness : {1.0, 3.0}) {
                    UserParams p = AllStages();
                    p.edgeSharpness = sharpness;
                    EXPECT_EQ(vgtest::Run(src, dst, p, step), VWGLAZE_DONE)
                        << w << "x" << h << " step " << step << " sharpness " << sharpness;
                }
            }
        }
    }
}

TEST(EngineContract, OutputIsIdenticalForAnyThreadCount) {
    // Wider than one column strip, taller than several row chunks.
    const Image src = vgtest::NoiseImage(1100, 70, VWGLAZE_FORMAT_RGB16, 10);
    for (double sharpness : {1.0, 3.0}) {
        UserParams p = AllStages();
        p.cleanRadius = 14;  // also runs the reduced-resolution passes
        p.edgeSharpness = sharpness;
        Image one(1100, 70, VWGLAZE_FORMAT_RGB16);
        ASSERT_EQ(vgtest::Run(src, one, p, 1, 1), VWGLAZE_DONE);
        for (int threads : {2, 3, 7}) {
            Image many(1100, 70, VWGLAZE_FORMAT_RGB16);
            ASSERT_EQ(vgtest::Run(src, many, p, 1, threads), VWGLAZE_DONE);
            EXPECT_EQ(many.bytes, one.bytes) << threads << " threads, sharpness " << sharpness;
        }
    }
}

namespace {
// Host memory that records the largest total held at once and the blocks of at least one
// full plane (4 bytes per pixel): each of those costs a page fault per page in a host that
// gives fresh memory per call, as much as a filter pass.
struct MeteringHost {
    std::size_t planeBytes = 0, held = 0, peak = 0;
    int planeBlocks = 0;
    std::vector<std::pair<void*, std::size_t>> blocks;
    static void* Alloc(uint32_t size, void* context) {
        auto* self = static_cast<MeteringHost*>(context);
        void* p = std::malloc(size);
        self->blocks.emplace_back(p, size);
        self->held += size;
        self->peak = std::max(self->peak, self->held);
        self->planeBlocks += size >= self->planeBytes ? 1 : 0;
        return p;
    }
    static void Free(void* block, void* context) {
        auto* self = static_cast<MeteringHost*>(context);
        for (auto it = self->blocks.begin(); it != self->blocks.end(); ++it) {
            if (it->first == block) {
                self->held -= it->second;
                self->blocks.erase(it);
                break;
            }
        }
        std::free(block);
    }
};
}  // namespace

TEST(EngineContract, AsksTheHostForNoMorePlanesThanItNeeds) {
    // The bounds are what the engine takes now (defaults 4.87 planes at most, 3 blocks;
    // maximum 11.92 and 11), with a little room for grid tiles: a change that adds a working
    // plane shows here. 2 threads, whose grids and rows come on top.
    const UserParams maximum = MaximumParams();
    struct Case {
        const char* name;
        UserParams p;
        int format;
        double peakPlanes;  // the most held at once, in full planes
        int planeBlocks;    // blocks of a full plane or more
    };
    const Case cases[] = {
        {"defaults", UserParams(), VWGLAZE_FORMAT_RGB8, 5.0, 3},
        {"defaults 16-bit", UserParams(), VWGLAZE_FORMAT_RGB16, 5.0, 3},
        {"maximum", maximum, VWGLAZE_FORMAT_RGB8, 12.1, 11},
    };
    const int w = 1024, h = 768;
    for (const Case& c : cases) {
        const Image src = vgtest::NoiseImage(w, h, c.format, 31);
        Image dst(w, h, c.format);
        CountingHost unused;
        EngineImage im = vgtest::Record(src, dst, unused);
        MeteringHost host;
        host.planeBytes = static_cast<std::size_t>(w) * h * sizeof(float);
        im.allocProc = &MeteringHost::Alloc;
        im.freeProc = &MeteringHost::Free;
        im.hostContext = &host;
        const EngineArgs a = MakeEngineArgs(c.p);
        vg::RunOptions options;
        options.threads = 2;
        ASSERT_EQ(vg::GlazeRGB(options, &im, a.mode, a.cleanStrength, a.channelThresholds,
                               a.cleanRadius, a.channelFactors, a.edgeRadius, a.edgeSharpness,
                               a.edgeAccent, a.constant, a.textureStrength, a.textureInvBoost,
                               a.textureSize),
                  VWGLAZE_DONE)
            << c.name;
        const double peak = static_cast<double>(host.peak) / static_cast<double>(host.planeBytes);
        EXPECT_LE(peak, c.peakPlanes) << c.name;
        EXPECT_LE(host.planeBlocks, c.planeBlocks) << c.name;
        EXPECT_EQ(host.held, 0u) << c.name;
    }
}

TEST(EngineContract, SixteenBitOutputStaysInTheHostRange) {
    Image src(32, 32, VWGLAZE_FORMAT_RGB16);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            for (int c = 0; c < 3; ++c) {
                // Over-range input (65535) is read as white.
                const uint16_t v = ((x / 4 + y / 4) % 2) ? 65535 : 0;
                std::memcpy(src.bytes.data() + y * src.rowBytes + 6 * x + 2 * c, &v, 2);
            }
        }
    }
    Image dst(32, 32, VWGLAZE_FORMAT_RGB16);
    UserParams p;
    p.edgeSharpness = 3;
    p.textureStrength = 1;
    p.textureBoost = 4;
    ASSERT_EQ(vgtest::Run(src, dst, p), VWGLAZE_DONE);
    float top = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 3; ++c) top = std::max(top, dst.Get(x, y, c));
    EXPECT_LE(top, 32768.0f);
    EXPECT_GE(top, 32000.0f);
}

TEST(EngineContract, LocalStagesGiveTheSameValuesWhereverTheTileSeamsFall) {
    // With the clean stage off, steepening is the only stage and reaches a few pixels: cutting
    // columns off the left moves every tile seam across the content, and pixels away from the
    // cut must not change at all (8-bit output only by its dither, which follows the position:
    // one level). Both bit depths, a narrow and a wide edge radius.
    for (int format : {VWGLAZE_FORMAT_RGB8, VWGLAZE_FORMAT_RGB16}) {
        for (double edgeRadius : {0.5, 4.0}) {
            const int w = 1300, h = 40, cut = 173, margin = 16;
            const Image src = vgtest::NoiseImage(w, h, format, 21);
            Image part(w - cut, h, format);
            for (int y = 0; y < h; ++y) {
                const int bpp = src.Wide() ? 6 : 3;
                std::memcpy(part.bytes.data() + y * part.rowBytes,
                            src.bytes.data() + y * src.rowBytes + cut * bpp,
                            static_cast<std::size_t>(part.rowBytes));
            }
            UserParams p;
            p.cleanThreshold = 0;
            p.edgeSharpness = 3;
            p.edgeRadius = edgeRadius;
            Image whole(w, h, format), shifted(w - cut, h, format);
            ASSERT_EQ(vgtest::Run(src, whole, p), VWGLAZE_DONE);
            ASSERT_EQ(vgtest::Run(part, shifted, p), VWGLAZE_DONE);
            int differing = 0;
            for (int y = 0; y < h; ++y)
                for (int x = cut + margin; x < w; ++x)
                    for (int c = 0; c < 3; ++c)
                        differing += std::fabs(whole.Get(x, y, c) - shifted.Get(x - cut, y, c)) >
                                     (format == VWGLAZE_FORMAT_RGB8 ? 1.0f : 0.0f);
            EXPECT_EQ(differing, 0) << "format " << format << " edge radius " << edgeRadius;
        }
    }
}
