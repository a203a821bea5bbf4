// Bodies of the row kernels, compiled once per instruction set into namespace VG_KERNEL_NS.
// Written as plain loops that the compiler vectorises; the accent's kernels gather samples
// and stay scalar.
#include "Kernels.h"

#include <cmath>
#include <cstring>

namespace vg {
namespace VG_KERNEL_NS {
namespace {

// Restrict on parameters is what the vectoriser trusts; on local pointers GCC adds run-time
// overlap checks whose fallback is scalar.
inline void ScaleRow(float* __restrict dst, const float* __restrict src, float t, int n) {
    for (int x = 0; x < n; ++x) dst[x] = t * src[x];
}

inline void AddScaledRow(float* __restrict dst, const float* __restrict src, float t, int n) {
    for (int x = 0; x < n; ++x) dst[x] += t * src[x];
}

void FirV(const float* const* rows, const float* taps, int ntaps, float* __restrict dst, int n) {
    ScaleRow(dst, rows[0], taps[0], n);
    for (int k = 1; k < ntaps; ++k) {
        AddScaledRow(dst, rows[k], taps[k], n);
    }
}

void FirH(const float* __restrict src, const float* taps, int ntaps, float* __restrict dst, int n) {
    ScaleRow(dst, src, taps[0], n);
    for (int k = 1; k < ntaps; ++k) {
        AddScaledRow(dst, src + k, taps[k], n);
    }
}

void IirStepV(float* __restrict cur, const float* __restrict p0, const float* __restrict p1,
              const float* __restrict p2, const float* coef, int n) {
    const float b = coef[0], c0 = coef[1], c1 = coef[2], c2 = coef[3];
    for (int x = 0; x < n; ++x) cur[x] = b * cur[x] + c0 * p0[x] + c1 * p1[x] + c2 * p2[x];
}

void MinRow(float* __restrict dst, const float* __restrict src, int n) {
    for (int x = 0; x < n; ++x) dst[x] = src[x] < dst[x] ? src[x] : dst[x];
}

void MaxRow(float* __restrict dst, const float* __restrict src, int n) {
    for (int x = 0; x < n; ++x) dst[x] = src[x] > dst[x] ? src[x] : dst[x];
}

inline void GateOne(float* __restrict b, const float* __restrict in, const float* __restrict e,
                    float t2, int n) {
    for (int x = 0; x < n; ++x) {
        const float g = e[x] / (e[x] + t2);
        b[x] += g * (in[x] - b[x]);
    }
}

void GateRow(float* const* base, const float* const* input, const float* energy, float t2, int n) {
    for (int c = 0; c < 3; ++c) {
        GateOne(base[c], input[c], energy, t2, n);
    }
}

void SteepenRow(const float* __restrict row, const float* __restrict blur,
                const float* __restrict amount, const float* __restrict lo,
                const float* __restrict hi, float* __restrict out, int n) {
    for (int x = 0; x < n; ++x) {
        float v = row[x] + amount[x] * (row[x] - blur[x]);
        v = v < lo[x] ? lo[x] : v;
        out[x] = v > hi[x] ? hi[x] : v;
    }
}

inline float Unit(float v) {
    v = v < 0.0f ? 0.0f : v;
    return v > 1.0f ? 1.0f : v;
}

inline uint8_t Level8(float v, float d) {
    // 255 plus a dither just below 1 rounds to 256 in single precision: limit it.
    const float q = Unit(v) * 255.0f + d;
    return static_cast<uint8_t>(static_cast<int>(q < 255.0f ? q : 255.0f));
}

void Store8(const float* const* rgb, const float* tex, const float* dither, uint8_t* dst, int n) {
    // Levels per channel in vector code, then interleaved.
    constexpr int kBlock = 256;
    uint8_t levels[3][kBlock];
    for (int x0 = 0; x0 < n; x0 += kBlock) {
        const int m = n - x0 < kBlock ? n - x0 : kBlock;
        const float* __restrict d = dither + x0;
        for (int c = 0; c < 3; ++c) {
            const float* __restrict v = rgb[c] + x0;
            uint8_t* __restrict q = levels[c];
            if (tex != nullptr) {
                const float* __restrict t = tex + x0;
                for (int x = 0; x < m; ++x) q[x] = Level8(v[x] + t[x], d[x]);
            } else {
                for (int x = 0; x < m; ++x) q[x] = Level8(v[x], d[x]);
            }
        }
        uint8_t* o = dst + 3 * static_cast<std::ptrdiff_t>(x0);
        for (int x = 0; x < m; ++x) {
            o[3 * x] = levels[0][x];
            o[3 * x + 1] = levels[1][x];
            o[3 * x + 2] = levels[2][x];
        }
    }
}

void Store16(const float* const* rgb, const float* tex, uint8_t* dst, int n) {
    for (int x = 0; x < n; ++x) {
        const float t = tex != nullptr ? tex[x] : 0.0f;
        uint16_t q[3];
        for (int c = 0; c < 3; ++c) {
            q[c] = static_cast<uint16_t>(Unit(rgb[c][x] + t) * 32768.0f + 0.5f);
        }
        std::memcpy(dst + 6 * static_cast<std::ptrdiff_t>(x), q, sizeof q);
    }
}

// Bilinear sample of three planes at (fx, fy) inside the image.
inline __attribute__((always_inline)) void SampleInside(const float* const* planes,
                                                        std::ptrdiff_t stride, int w, int h,
                                                        float fx, float fy, float* v) {
    const int x0 = static_cast<int>(fx);
    const int y0 = static_cast<int>(fy);
    const std::ptrdiff_t dx = x0 < w - 1 ? 1 : 0;
    const std::ptrdiff_t dy = y0 < h - 1 ? stride : 0;
    const float ax = fx - static_cast<float>(x0);
    const float ay = fy - static_cast<float>(y0);
    const std::ptrdiff_t o = y0 * stride + x0;
    for (int c = 0; c < 3; ++c) {
        const float* p = planes[c] + o;
        const float top = p[0] + ax * (p[dx] - p[0]);
        const float bottom = p[dy] + ax * (p[dy + dx] - p[dy]);
        v[c] = top + ay * (bottom - top);
    }
}

// The same outside the image, where the planes continue by odd reflection about the border
// pixels, so that a ramp stays a ramp up to and beyond the border.
__attribute__((noinline)) void SampleOutside(const float* const* planes, std::ptrdiff_t stride,
                                             int w, int h, float fx, float fy, float* v);

// Bilinear sample of three planes at (fx, fy), anywhere. The inside case is inlined into the
// row kernels, which call it several times per pixel.
inline __attribute__((always_inline)) void Sample(const float* const* planes,
                                                  std::ptrdiff_t stride, int w, int h, float fx,
                                                  float fy, float* v) {
    const float xmax = static_cast<float>(w - 1), ymax = static_cast<float>(h - 1);
    if (fx < 0.0f || fx > xmax || fy < 0.0f || fy > ymax) {
        SampleOutside(planes, stride, w, h, fx, fy, v);
        return;
    }
    SampleInside(planes, stride, w, h, fx, fy, v);
}

void SampleOutside(const float* const* planes, std::ptrdiff_t stride, int w, int h, float fx,
                   float fy, float* v) {
    const float xmax = static_cast<float>(w - 1), ymax = static_cast<float>(h - 1);
    float a[3], b[3];
    if (fx < 0.0f || fx > xmax) {
        const float edge = fx < 0.0f ? 0.0f : xmax;
        const float mirror = std::fmin(std::fmax(2.0f * edge - fx, 0.0f), xmax);
        Sample(planes, stride, w, h, edge, fy, a);
        Sample(planes, stride, w, h, mirror, fy, b);
    } else {
        const float edge = fy < 0.0f ? 0.0f : ymax;
        const float mirror = std::fmin(std::fmax(2.0f * edge - fy, 0.0f), ymax);
        Sample(planes, stride, w, h, fx, edge, a);
        Sample(planes, stride, w, h, fx, mirror, b);
    }
    for (int c = 0; c < 3; ++c) v[c] = 2.0f * a[c] - b[c];
}

void FlowRow(const FlowRowArgs& g) {
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(g.y) * g.stride;
    for (int x = 0; x < g.width; ++x) {
        const float a = g.jxx[x], b = g.jxy[x], c = g.jyy[x];
        const float d = a - c;
        const float root = std::sqrt(d * d + 4.0f * b * b);
        // Eigenvector of the larger eigenvalue: the gradient direction.
        float vx = d + root, vy = 2.0f * b;
        if (d < 0.0f) {
            vx = 2.0f * b;
            vy = root - d;
        }
        const float len = std::sqrt(vx * vx + vy * vy);
        const float coherence = root / (a + c + 1e-12f);
        // Flat areas have no contour to follow; leaving them saves most of the work.
        const float energy = (a + c) * g.stepScale * g.stepScale;
        if (len < 1e-12f || coherence < 0.05f || energy < g.flatEnergy) {
            for (int ch = 0; ch < 3; ++ch) g.out[ch][x] = g.planes[ch][row + x];
            continue;
        }
        const float tx = -vy / len * g.tapStep, ty = vx / len * g.tapStep;
        float acc[3] = {0.0f, 0.0f, 0.0f};
        for (int k = 0; k < kFlowTaps; ++k) {
            const float o = static_cast<float>(k - kFlowTaps / 2);
            float v[3];
            Sample(g.planes, g.stride, g.width, g.height, static_cast<float>(x) + o * tx,
                   static_cast<float>(g.y) + o * ty, v);
            for (int ch = 0; ch < 3; ++ch) acc[ch] += g.taps[k] * v[ch];
        }
        // Only coherent structures are drawn along; isotropic areas stay as they are.
        const float blend = std::fmin(1.0f, coherence * 1.25f);
        for (int ch = 0; ch < 3; ++ch) {
            const float orig = g.planes[ch][row + x];
            g.out[ch][x] = orig + blend * (acc[ch] - orig);
        }
    }
}

void ShockRow(const ShockRowArgs& g) {
    const float* up = g.lum[0];
    const float* mid = g.lum[1];
    const float* down = g.lum[2];
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(g.y) * g.stride;
    const float re = g.re, knee = g.knee;
    for (int x = 0; x < g.width; ++x) {
        const float gx = 0.5f * (mid[x + 1] - mid[x - 1]);
        const float gy = 0.5f * (down[x] - up[x]);
        const float g2 = gx * gx + gy * gy;
        // Gradient in units of the edge scale, so the gate reads the same at every sampling
        // step.
        const float gs = std::sqrt(g2) * re * 2.5f;
        if (g2 < 1e-14f || gs < 0.1f * knee) {
            for (int ch = 0; ch < 3; ++ch) g.out[ch][x] = g.planes[ch][row + x];
            continue;
        }
        const float lxx = mid[x - 1] - 2.0f * mid[x] + mid[x + 1];
        const float lyy = up[x] - 2.0f * mid[x] + down[x];
        const float lxy = 0.25f * (down[x + 1] - down[x - 1] - up[x + 1] + up[x - 1]);
        const float inv = 1.0f / std::sqrt(g2);
        const float nx = gx * inv, ny = gy * inv;
        const float lnn = nx * nx * lxx + 2.0f * nx * ny * lxy + ny * ny * lyy;
        float fwd[3], back[3];
        Sample(g.planes, g.stride, g.width, g.height, static_cast<float>(x) + nx * g.shockStep,
               static_cast<float>(g.y) + ny * g.shockStep, fwd);
        Sample(g.planes, g.stride, g.width, g.height, static_cast<float>(x) - nx * g.shockStep,
               static_cast<float>(g.y) - ny * g.shockStep, back);
        // Forward points uphill: on the bright side (lnn < 0) move towards the brighter
        // neighbour, on the dark side towards the darker one. The sign is smooth through the
        // middle of the edge, so the edge keeps an antialiased profile instead of becoming a
        // one-pixel step.
        const float curv = lnn * re * re;
        const float u = curv / (0.5f * knee);
        const float s = u / std::sqrt(1.0f + u * u);
        const float gate = gs * gs / (gs * gs + knee * knee);
        for (int ch = 0; ch < 3; ++ch) {
            const float here = g.planes[ch][row + x];
            const float target = 0.5f * (fwd[ch] + back[ch]) - s * 0.5f * (fwd[ch] - back[ch]);
            g.out[ch][x] = here + gate * (target - here);
        }
    }
}

}  // namespace

const KernelSet& Kernels() {
    static const KernelSet set = {VG_KERNEL_NAME, FirV,       FirH,   IirStepV, MinRow,  MaxRow,
                                  GateRow,        SteepenRow, Store8, Store16,  FlowRow, ShockRow};
    return set;
}

}  // namespace VG_KERNEL_NS
}  // namespace vg
