// Shared helpers of the engine tests: images, a counting host allocator and engine calls.
#pragma once

#include "Glaze.h"
#include "plugin/EngineCall.h"
#include "vwGlaze.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vgtest {

// The nine user parameters, starting at the plug-in's defaults.
struct UserParams : FilterParams {
    UserParams() : FilterParams(DefaultParams()) {}
};

// Every slider at its strongest.
inline UserParams MaximumParams() {
    UserParams p;
    p.cleanStrength = 8;
    p.cleanRadius = 25;
    p.cleanThreshold = 1.5;
    p.edgeSharpness = 3;
    p.edgeRadius = 4;
    p.edgeAccent = 5;
    p.textureStrength = 1;
    p.textureBoost = 4;
    p.textureSize = 6;
    return p;
}

// Host memory that counts blocks and can refuse the Nth request.
struct CountingHost {
    int calls = 0;
    int live = 0;
    int failAt = 0;  // 1-based call that returns null; 0 never
    static void* Alloc(uint32_t size, void* context) {
        auto* self = static_cast<CountingHost*>(context);
        ++self->calls;
        if (self->failAt != 0 && self->calls >= self->failAt) {
            return nullptr;
        }
        void* p = std::malloc(size);
        if (p != nullptr) {
            ++self->live;
        }
        return p;
    }
    static void Free(void* block, void* context) {
        auto* self = static_cast<CountingHost*>(context);
        --self->live;
        std::free(block);
    }
};

// Interleaved RGB, 8 or 16 bits per sample, with an optional row stride in bytes.
struct Image {
    int width = 0, height = 0, format = VWGLAZE_FORMAT_RGB8;
    int32_t rowBytes = 0;
    std::vector<uint8_t> bytes;

    Image() = default;
    Image(int w, int h, int fmt, int padBytes = 0)
        : width(w),
          height(h),
          format(fmt),
          rowBytes(w * (fmt == VWGLAZE_FORMAT_RGB16 ? 6 : 3) + padBytes),
          bytes(static_cast<std::size_t>(rowBytes) * h) {}
    bool Wide() const { return format == VWGLAZE_FORMAT_RGB16; }
    float Max() const { return Wide() ? 32768.0f : 255.0f; }
    float Get(int x, int y, int c) const;
    void Set(int x, int y, int c, float v01);  // rounds and clamps a 0..1 value
};

// Random noise image (seeded), for contract tests.
Image NoiseImage(int w, int h, int format, uint32_t seed, int padBytes = 0);

EngineImage Record(const Image& src, Image& dst, CountingHost& host, int step = 1);

// Calls the engine's pipeline the way the plug-in converts the nine parameters. The host (a
// CountingHost or a type derived from it) is the context of every callback.
int32_t Run(const Image& src, Image& dst, const UserParams& p, int step = 1, int threads = 0,
            const vg::KernelSet* kernels = nullptr, CountingHost* host = nullptr,
            VwProgressProc progress = nullptr);

// The same, through the exported C function.
int32_t RunExport(const Image& src, Image& dst, const UserParams& p, int step = 1);

}  // namespace vgtest
