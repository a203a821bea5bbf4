// Bodies of the row kernels, compiled once per instruction set into namespace VG_KERNEL_NS.
// Written as plain loops that the compiler vectorises; no transcendental calls.
#include "Kernels.h"

#include <cmath>

namespace vg {
namespace VG_KERNEL_NS {
namespace {

void DtWeights(const float* const* a, const float* const* b, int nch, const float* s, float base,
               float k, float* __restrict w, int n) {
    const float scale = -k * 1.44269504f;  // exp(x) = exp2(x * log2(e))
    const float* __restrict a0 = a[0];
    const float* __restrict b0 = b[0];
    if (nch == 1) {
        const float s0 = s[0];
        for (int x = 0; x < n; ++x) {
            const float d = base + s0 * std::fabs(a0[x] - b0[x]);
            w[x] = FastExp2(scale * d);
        }
        return;
    }
    const float* __restrict a1 = a[1];
    const float* __restrict b1 = b[1];
    const float* __restrict a2 = a[2];
    const float* __restrict b2 = b[2];
    const float s0 = s[0], s1 = s[1], s2 = s[2];
    for (int x = 0; x < n; ++x) {
        const float d = base + s0 * std::fabs(a0[x] - b0[x]) + s1 * std::fabs(a1[x] - b1[x]) +
                        s2 * std::fabs(a2[x] - b2[x]);
        w[x] = FastExp2(scale * d);
    }
}

inline float Power2k(float w, int squarings) {
    for (int i = 0; i < squarings; ++i) {
        w *= w;
    }
    return w;
}

// w^(2^SQ) with the count known at compile time, so loops using it vectorise.
template <int SQ>
inline float Power2(float w) {
    if constexpr (SQ == 0) {
        return w;
    } else {
        const float h = Power2<SQ - 1>(w);
        return h * h;
    }
}

void DtStepV(float* const* cur, const float* const* prev, int nch, const float* __restrict w,
             int squarings, int n) {
    for (int c = 0; c < nch; ++c) {
        float* __restrict o = cur[c];
        const float* __restrict p = prev[c];
        switch (squarings) {
            case 0:
                for (int x = 0; x < n; ++x) o[x] += w[x] * (p[x] - o[x]);
                break;
            case 1:
                for (int x = 0; x < n; ++x) o[x] += Power2<1>(w[x]) * (p[x] - o[x]);
                break;
            case 2:
                for (int x = 0; x < n; ++x) o[x] += Power2<2>(w[x]) * (p[x] - o[x]);
                break;
            case 3:
                for (int x = 0; x < n; ++x) o[x] += Power2<3>(w[x]) * (p[x] - o[x]);
                break;
            default:
                for (int x = 0; x < n; ++x) o[x] += Power2k(w[x], squarings) * (p[x] - o[x]);
                break;
        }
    }
}

// M independent recursion chains advance together, which hides the latency of each chain.
// Each chain's last value stays in a register, and the step is written as
// a * prev + (1 - a) * cur so that only one multiply-add waits for the previous sample.
template <int M, int SQ>
void SweepChains(float* const* row, const float* const* w, int n) {
    float* __restrict r[M];
    const float* __restrict wt[M];
    float p[M];
    for (int j = 0; j < M; ++j) {
        r[j] = row[j];
        wt[j] = w[j];
        p[j] = r[j][0];
    }
    for (int x = 1; x < n; ++x) {
        for (int j = 0; j < M; ++j) {
            const float a = Power2<SQ>(wt[j][x]);
            const float v = r[j][x];
            p[j] = a * p[j] + (v - a * v);
            r[j][x] = p[j];
        }
    }
    for (int j = 0; j < M; ++j) {
        p[j] = r[j][n - 1];
    }
    for (int x = n - 2; x >= 0; --x) {
        for (int j = 0; j < M; ++j) {
            const float a = Power2<SQ>(wt[j][x + 1]);
            const float v = r[j][x];
            p[j] = a * p[j] + (v - a * v);
            r[j][x] = p[j];
        }
    }
}

template <int SQ>
void SweepAny(float* const* row, const float* const* w, int chains, int n) {
    switch (chains) {
        case 3:
            SweepChains<3, SQ>(row, w, n);
            break;
        case 6:
            SweepChains<6, SQ>(row, w, n);
            break;
        case 9:
            SweepChains<9, SQ>(row, w, n);
            break;
        case 12:
            SweepChains<12, SQ>(row, w, n);
            break;
        case 4:
            SweepChains<4, SQ>(row, w, n);
            break;
        case 2:
            SweepChains<2, SQ>(row, w, n);
            break;
        default:
            for (int j = 0; j < chains; ++j) {
                SweepChains<1, SQ>(row + j, w + j, n);
            }
            break;
    }
}

void DtSweepH(float* const* row, const float* const* w, int chains, int squarings, int n) {
    switch (squarings) {
        case 0:
            SweepAny<0>(row, w, chains, n);
            break;
        case 1:
            SweepAny<1>(row, w, chains, n);
            break;
        case 2:
            SweepAny<2>(row, w, chains, n);
            break;
        case 3:
            SweepAny<3>(row, w, chains, n);
            break;
        default:
            // Beyond the iteration counts in use: square the weights once more per level.
            for (int j = 0; j < chains; ++j) {
                float* r = row[j];
                const float* wt = w[j];
                for (int x = 1; x < n; ++x) r[x] += Power2k(wt[x], squarings) * (r[x - 1] - r[x]);
                for (int x = n - 2; x >= 0; --x)
                    r[x] += Power2k(wt[x + 1], squarings) * (r[x + 1] - r[x]);
            }
            break;
    }
}

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

}  // namespace

const KernelSet& Kernels() {
    static const KernelSet set = {VG_KERNEL_NAME, DtWeights, DtStepV, DtSweepH, FirV,
                                  FirH,           IirStepV,  MinRow,  MaxRow};
    return set;
}

}  // namespace VG_KERNEL_NS
}  // namespace vg
