// The engine DLL as the plug-in uses it under Windows: loaded by its bare name, called through
// its export, freed after every run, also while the machine is busy and from two host threads.
#include "plugin/EngineCall.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct Host {
    std::atomic<int> live{0};
    DWORD caller = GetCurrentThreadId();
    std::atomic<bool> foreign{false};
    static void* Alloc(uint32_t size, void* c) {
        ++static_cast<Host*>(c)->live;
        return std::malloc(size);
    }
    static void Free(void* p, void* c) {
        --static_cast<Host*>(c)->live;
        std::free(p);
    }
    static int32_t Progress(int32_t, int32_t, void* c) {
        auto* h = static_cast<Host*>(c);
        if (GetCurrentThreadId() != h->caller)
            h->foreign = true;
        return 1;
    }
};

struct Buffer {
    int w, h, format;
    int32_t rowBytes;
    std::vector<uint8_t> bytes;
    Buffer(int width, int height, int fmt, int pad)
        : w(width),
          h(height),
          format(fmt),
          rowBytes(width * (fmt == VWGLAZE_FORMAT_RGB16 ? 6 : 3) + pad),
          bytes(static_cast<std::size_t>(rowBytes) * height) {
        uint32_t state = 12345u + static_cast<uint32_t>(width * 7 + fmt);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < rowBytes; ++x) {
                state = state * 1664525u + 1013904223u;
                const int block = ((x / 21 + y / 9) % 3) * 70 + 30;
                const uint8_t v = static_cast<uint8_t>(block + (state >> 27));
                bytes[static_cast<std::size_t>(y) * rowBytes + x] = v;
            }
        }
        if (fmt == VWGLAZE_FORMAT_RGB16) {  // keep 16-bit samples within 0..32768
            for (std::size_t i = 1; i < bytes.size(); i += 2) bytes[i] &= 0x7F;
        }
    }
};

class CEngineDll {
public:
    CEngineDll() : m_module(LoadLibraryA("vwiglaze21_x64.dll")) {
        if (m_module != nullptr) {
            m_proc = reinterpret_cast<VwGlazeRGB2Proc>(
                reinterpret_cast<void*>(GetProcAddress(m_module, "vwGlazeRGB2")));
        }
    }
    ~CEngineDll() {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }
    CEngineDll(const CEngineDll&) = delete;
    CEngineDll& operator=(const CEngineDll&) = delete;
    VwGlazeRGB2Proc Proc() const { return m_proc; }

private:
    HMODULE m_module;
    VwGlazeRGB2Proc m_proc = nullptr;
};

int32_t Call(VwGlazeRGB2Proc proc, const Buffer& src, Buffer& dst, Host& host,
             bool progress = false, int accent = 1) {
    EngineImage im{};
    im.pixelFormat = src.format;
    im.srcData = src.bytes.data();
    im.srcRowBytes = src.rowBytes;
    im.dstData = dst.bytes.data();
    im.dstRowBytes = dst.rowBytes;
    im.width = src.w;
    im.height = src.h;
    im.sampleStep = 1;
    im.allocProc = &Host::Alloc;
    im.freeProc = &Host::Free;
    im.progressCallback = progress ? &Host::Progress : nullptr;
    im.hostContext = &host;
    FilterParams p = DefaultParams();
    p.cleanStrength = 1;
    p.edgeAccent = accent;
    p.textureStrength = 0.3;
    p.textureBoost = 2;
    return InvokeEngine(proc, im, MakeEngineArgs(p));
}

}  // namespace

TEST(EngineWine, LoadsByBareNameAndFiltersBothFormatsInsideTheirRows) {
    CEngineDll dll;
    ASSERT_NE(dll.Proc(), nullptr);
    for (int format : {VWGLAZE_FORMAT_RGB8, VWGLAZE_FORMAT_RGB16}) {
        const Buffer src(301, 203, format, 9);
        Buffer dst(301, 203, format, 13);
        std::memset(dst.bytes.data(), 0x5A, dst.bytes.size());
        Host host;
        ASSERT_EQ(Call(dll.Proc(), src, dst, host, true), VWGLAZE_DONE);
        EXPECT_EQ(host.live.load(), 0);
        EXPECT_FALSE(host.foreign.load()) << "progress called from a worker thread";
        const int rowLen = src.rowBytes - 9;
        for (int y = 0; y < dst.h; ++y)
            for (int b = rowLen; b < dst.rowBytes; ++b)
                ASSERT_EQ(dst.bytes[static_cast<std::size_t>(y) * dst.rowBytes + b], 0x5A);
        // In place, as the preview runs, gives the same pixels.
        Buffer inPlace = src;
        Host host2;
        ASSERT_EQ(Call(dll.Proc(), inPlace, inPlace, host2), VWGLAZE_DONE);
        for (int y = 0; y < dst.h; ++y)
            ASSERT_EQ(0, std::memcmp(&inPlace.bytes[static_cast<std::size_t>(y) * inPlace.rowBytes],
                                     &dst.bytes[static_cast<std::size_t>(y) * dst.rowBytes],
                                     static_cast<std::size_t>(rowLen)));
    }
}

TEST(EngineWine, RejectsBadParameters) {
    CEngineDll dll;
    ASSERT_NE(dll.Proc(), nullptr);
    const Buffer src(16, 16, VWGLAZE_FORMAT_RGB8, 0);
    Buffer dst(16, 16, VWGLAZE_FORMAT_RGB8, 0);
    Host host;
    EngineImage im{};
    im.pixelFormat = 2;
    im.srcData = src.bytes.data();
    im.dstData = dst.bytes.data();
    im.srcRowBytes = im.dstRowBytes = src.rowBytes;
    im.width = im.height = 16;
    im.sampleStep = 1;
    im.allocProc = &Host::Alloc;
    im.freeProc = &Host::Free;
    im.hostContext = &host;
    const float t[3] = {0.05f, 0.05f, 0.05f};
    const float f[3] = {1, 1, 1};
    EXPECT_EQ(dll.Proc()(&im, 1, 0, t, 8, f, 1.5f, 1, 0, 0.025f, 0, 1, 2), VWGLAZE_BAD_PARAMETERS);
    EXPECT_EQ(dll.Proc()(nullptr, 1, 0, t, 8, f, 1.5f, 1, 0, 0.025f, 0, 1, 2),
              VWGLAZE_BAD_PARAMETERS);
    EXPECT_EQ(host.live.load(), 0);
}

TEST(EngineWine, TwoHostThreadsMayCallAtOnce) {
    CEngineDll dll;
    ASSERT_NE(dll.Proc(), nullptr);
    const Buffer src(257, 190, VWGLAZE_FORMAT_RGB8, 0);
    Buffer alone = src;
    Host h0;
    ASSERT_EQ(Call(dll.Proc(), src, alone, h0), VWGLAZE_DONE);
    Buffer a = src, b = src;
    Host ha, hb;
    int32_t ra = 0, rb = 0;
    std::thread ta([&] { ra = Call(dll.Proc(), src, a, ha); });
    std::thread tb([&] { rb = Call(dll.Proc(), src, b, hb); });
    ta.join();
    tb.join();
    EXPECT_EQ(ra, VWGLAZE_DONE);
    EXPECT_EQ(rb, VWGLAZE_DONE);
    EXPECT_EQ(a.bytes, alone.bytes);
    EXPECT_EQ(b.bytes, alone.bytes);
}

// Hosts free the engine after every run, and the engine must then be gone from the process.
// With the other core busy, worker threads that were still inside an unmapped DLL crashed the
// process; the run below would die with them.
TEST(EngineWine, LoadRunFreeLoopUnderLoadKeepsTheProcessAlive) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    const unsigned busy = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < busy; ++i) {
        load.emplace_back([&] {
            volatile double x = 1.0;
            while (!stop.load(std::memory_order_relaxed)) x = x * 1.0000001 + 1e-9;
        });
    }
    const Buffer src(420, 330, VWGLAZE_FORMAT_RGB8, 0);
    Buffer dst = src;
    int runs = 0;
    for (int i = 0; i < 25; ++i) {
        HMODULE m = LoadLibraryA("vwiglaze21_x64.dll");
        ASSERT_NE(m, nullptr);
        auto proc = reinterpret_cast<VwGlazeRGB2Proc>(
            reinterpret_cast<void*>(GetProcAddress(m, "vwGlazeRGB2")));
        ASSERT_NE(proc, nullptr);
        Host host;
        // Large enough for worker threads; with an accent so every stage runs.
        EXPECT_EQ(Call(proc, src, dst, host, false, i % 2), VWGLAZE_DONE);
        EXPECT_EQ(host.live.load(), 0);
        ASSERT_TRUE(FreeLibrary(m));
        EXPECT_EQ(GetModuleHandleA("vwiglaze21_x64.dll"), nullptr)
            << "still loaded after run " << i;
        Sleep(i % 3);  // let any leftover thread run into the freed image
        ++runs;
    }
    stop = true;
    for (std::thread& t : load) t.join();
    EXPECT_EQ(runs, 25);
}
