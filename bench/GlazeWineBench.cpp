// Times the Windows engine DLL (run it under Wine): the same 12 MP image as the native
// benchmark, which writes it as a binary PPM. glaze_wine_bench IMAGE.ppm
#include "plugin/BlockPool.h"
#include "plugin/EngineCall.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

void* HostAlloc(uint32_t size, void*) {
    return std::malloc(size);
}
void HostFree(void* p, void*) {
    std::free(p);
}
// As the plug-in serves the engine where the host has no buffer suite: blocks given back are
// kept for the next call.
void* PoolAlloc(uint32_t size, void* pool) {
    return static_cast<CBlockPool*>(pool)->Alloc(size);
}
void PoolFree(void* p, void* pool) {
    static_cast<CBlockPool*>(pool)->Free(p);
}

bool ReadPpm(const char* path, int& w, int& h, std::vector<uint8_t>& rgb) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr)
        return false;
    int maxval = 0;
    const bool ok = std::fscanf(f, "P6 %d %d %d", &w, &h, &maxval) == 3 && maxval == 255 && w > 0 &&
                    h > 0 && w <= 20000 && h <= 20000 && std::fgetc(f) != EOF;
    if (ok) {
        rgb.resize(static_cast<std::size_t>(w) * h * 3);
        const bool full = std::fread(rgb.data(), 1, rgb.size(), f) == rgb.size();
        std::fclose(f);
        return full;
    }
    std::fclose(f);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    if (argc < 2 || !ReadPpm(argv[1], w, h, rgb)) {
        std::fprintf(stderr, "usage: glaze_wine_bench IMAGE.ppm (8-bit binary PPM)\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA("vwiglaze21_x64.dll");
    auto proc = dll ? reinterpret_cast<VwGlazeRGB2Proc>(
                          reinterpret_cast<void*>(GetProcAddress(dll, "vwGlazeRGB2")))
                    : nullptr;
    if (proc == nullptr) {
        std::fprintf(stderr, "cannot load vwiglaze21_x64.dll\n");
        return 1;
    }
    std::vector<uint8_t> rgb16(rgb.size() * 2);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        const uint16_t v = static_cast<uint16_t>((rgb[i] * 32768 + 127) / 255);
        std::memcpy(&rgb16[2 * i], &v, 2);
    }
    const FilterParams def = DefaultParams();
    const FilterParams max = {8, 25, 1.5, 3, 4, 5, 1, 4, 6};
    auto run = [&](const char* label, const FilterParams& l, bool wide, int x0, int y0, int cw,
                   int ch, int runs, CBlockPool* pool = nullptr) {
        const int bpp = wide ? 6 : 3;
        const uint8_t* base = wide ? rgb16.data() : rgb.data();
        std::vector<uint8_t> out(static_cast<std::size_t>(w) * h * bpp);
        EngineImage im{};
        im.pixelFormat = wide ? VWGLAZE_FORMAT_RGB16 : VWGLAZE_FORMAT_RGB8;
        im.srcData = base + (static_cast<std::size_t>(y0) * w + x0) * bpp;
        im.srcRowBytes = w * bpp;
        im.dstData = out.data();
        im.dstRowBytes = w * bpp;
        im.width = cw;
        im.height = ch;
        im.sampleStep = 1;
        im.allocProc = pool ? PoolAlloc : HostAlloc;
        im.freeProc = pool ? PoolFree : HostFree;
        im.hostContext = pool;
        const EngineArgs args = MakeEngineArgs(l);
        double best = 1e30;
        int rc = 0;
        for (int i = 0; i < runs; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            rc = InvokeEngine(proc, im, args);
            best = std::min(
                best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        std::printf("%-40s %8.1f ms %8.1f MP/s%s\n", label, best * 1e3,
                    cw * double(ch) / 1e6 / best, rc == VWGLAZE_DONE ? "" : "  (engine error)");
        return best;
    };
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    std::printf("Windows DLL, %dx%d, %u processors, %u hardware threads\n", w, h,
                static_cast<unsigned>(si.dwNumberOfProcessors),
                std::thread::hardware_concurrency());
    const double t8 = run("engine defaults, 8-bit", def, false, 0, 0, w, h, 3);
    const double t16 = run("engine defaults, 16-bit", def, true, 0, 0, w, h, 3);
    run("engine maximum settings, 8-bit", max, false, 0, 0, w, h, 1);
    const int pw = std::min(500, w), ph = std::min(500, h);
    run("preview region 500x500, defaults", def, false, (w - pw) / 2, (h - ph) / 2, pw, ph, 5);
    // Fresh host memory above (the C runtime's heap gives large blocks back to the system, so
    // every call faults its pages in again); the plug-in's own heap keeps them.
    CBlockPool pool;
    run("preview, blocks kept between calls", def, false, (w - pw) / 2, (h - ph) / 2, pw, ph, 5,
        &pool);
    std::printf("16-bit / 8-bit time: %.2f\n", t16 / t8);
    return 0;
}
