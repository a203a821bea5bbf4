// Shared helpers of the engine tests.
#include "EngineTestSupport.h"

#include <cmath>
#include <cstring>
#include <random>

namespace vgtest {

float Image::Get(int x, int y, int c) const {
    const uint8_t* row = bytes.data() + static_cast<std::size_t>(rowBytes) * y;
    if (Wide()) {
        uint16_t v;
        std::memcpy(&v, row + 6 * x + 2 * c, 2);
        return v;
    }
    return row[3 * x + c];
}

void Image::Set(int x, int y, int c, float v01) {
    uint8_t* row = bytes.data() + static_cast<std::size_t>(rowBytes) * y;
    const float v = std::fmin(std::fmax(v01, 0.0f), 1.0f) * Max() + 0.5f;
    if (Wide()) {
        const auto q = static_cast<uint16_t>(v);
        std::memcpy(row + 6 * x + 2 * c, &q, 2);
    } else {
        row[3 * x + c] = static_cast<uint8_t>(v);
    }
}

Image NoiseImage(int w, int h, int format, uint32_t seed, int padBytes) {
    Image im(w, h, format, padBytes);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                // Blocks of colour plus noise, so every stage has edges and detail to work on.
                const float block = ((x / 7 + y / 5 + c) % 3) * 0.3f + 0.1f;
                im.Set(x, y, c, block + 0.15f * (u(rng) - 0.5f));
            }
        }
    }
    return im;
}

EngineImage Record(const Image& src, Image& dst, CountingHost& host, int step) {
    EngineImage im{};
    im.pixelFormat = src.format;
    im.srcData = src.bytes.data();
    im.srcRowBytes = src.rowBytes;
    im.dstData = dst.bytes.data();
    im.dstRowBytes = dst.rowBytes;
    im.width = src.width;
    im.height = src.height;
    im.sampleStep = step;
    im.allocProc = &CountingHost::Alloc;
    im.freeProc = &CountingHost::Free;
    im.hostContext = &host;
    return im;
}

int32_t Run(const Image& src, Image& dst, const UserParams& p, int step, int threads,
            const vg::KernelSet* kernels, CountingHost* host, VwProgressProc progress) {
    CountingHost local;
    CountingHost& h = host != nullptr ? *host : local;
    EngineImage im = Record(src, dst, h, step);
    im.progressCallback = progress;
    const EngineArgs a = MakeEngineArgs(p);
    vg::RunOptions options;
    options.threads = threads;
    options.kernels = kernels;
    return vg::GlazeRGB(options, &im, a.mode, a.cleanStrength, a.channelThresholds, a.cleanRadius,
                        a.channelFactors, a.edgeRadius, a.edgeSharpness, a.edgeAccent, a.constant,
                        a.textureStrength, a.textureInvBoost, a.textureSize);
}

int32_t RunExport(const Image& src, Image& dst, const UserParams& p, int step) {
    CountingHost host;
    const EngineImage im = Record(src, dst, host, step);
    const int32_t rc = InvokeEngine(&vwGlazeRGB2, im, MakeEngineArgs(p));
    return host.live == 0 ? rc : -100;
}

}  // namespace vgtest
