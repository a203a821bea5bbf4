// Bodies of the row kernels, compiled once per instruction set into namespace VG_KERNEL_NS.
// Written as plain loops that the compiler vectorises; the accent's kernels, which gather
// bilinear samples, have AVX2 bodies of their own (VG_KERNEL_AVX2).
#include "Kernels.h"

#include <algorithm>
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

#if defined(VG_KERNEL_AVX2)
// dst[x] = sum_k taps[k] * rowAt(k)[x], 32 columns at a time in registers rather than a pass
// over dst per tap; summed in the order of the plain loops below (so to the same bits).
template <class RowAt>
inline void FirSum(const RowAt& rowAt, const float* taps, int ntaps, float* dst, int n) {
    int x = 0;
    for (; x + 32 <= n; x += 32) {
        const __m256 t0 = _mm256_set1_ps(taps[0]);
        const float* r = rowAt(0) + x;
        __m256 a0 = _mm256_mul_ps(t0, _mm256_loadu_ps(r));
        __m256 a1 = _mm256_mul_ps(t0, _mm256_loadu_ps(r + 8));
        __m256 a2 = _mm256_mul_ps(t0, _mm256_loadu_ps(r + 16));
        __m256 a3 = _mm256_mul_ps(t0, _mm256_loadu_ps(r + 24));
        for (int k = 1; k < ntaps; ++k) {
            const __m256 t = _mm256_set1_ps(taps[k]);
            r = rowAt(k) + x;
            a0 = _mm256_fmadd_ps(t, _mm256_loadu_ps(r), a0);
            a1 = _mm256_fmadd_ps(t, _mm256_loadu_ps(r + 8), a1);
            a2 = _mm256_fmadd_ps(t, _mm256_loadu_ps(r + 16), a2);
            a3 = _mm256_fmadd_ps(t, _mm256_loadu_ps(r + 24), a3);
        }
        _mm256_storeu_ps(dst + x, a0);
        _mm256_storeu_ps(dst + x + 8, a1);
        _mm256_storeu_ps(dst + x + 16, a2);
        _mm256_storeu_ps(dst + x + 24, a3);
    }
    for (; x + 8 <= n; x += 8) {
        __m256 a = _mm256_mul_ps(_mm256_set1_ps(taps[0]), _mm256_loadu_ps(rowAt(0) + x));
        for (int k = 1; k < ntaps; ++k)
            a = _mm256_fmadd_ps(_mm256_set1_ps(taps[k]), _mm256_loadu_ps(rowAt(k) + x), a);
        _mm256_storeu_ps(dst + x, a);
    }
    for (; x < n; ++x) {
        float a = taps[0] * rowAt(0)[x];
        for (int k = 1; k < ntaps; ++k) a = std::fma(taps[k], rowAt(k)[x], a);
        dst[x] = a;
    }
}

void FirV(const float* const* rows, const float* taps, int ntaps, float* dst, int n) {
    FirSum([&](int k) { return rows[k]; }, taps, ntaps, dst, n);
}

void FirH(const float* src, const float* taps, int ntaps, float* dst, int n) {
    FirSum([&](int k) { return src + k; }, taps, ntaps, dst, n);
}
#else
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
#endif

void IirStepV(float* __restrict cur, const float* __restrict p0, const float* __restrict p1,
              const float* __restrict p2, const float* coef, int n) {
    const float b = coef[0], c0 = coef[1], c1 = coef[2], c2 = coef[3];
    for (int x = 0; x < n; ++x) cur[x] = b * cur[x] + c0 * p0[x] + c1 * p1[x] + c2 * p2[x];
}

#if defined(VG_KERNEL_AVX2)
// Transposes eight rows of eight floats (a[j] lane i becomes a[i] lane j).
inline void Transpose8(__m256* a) {
    __m256 t[8], u[8];
    for (int j = 0; j < 8; j += 2) {
        t[j] = _mm256_unpacklo_ps(a[j], a[j + 1]);
        t[j + 1] = _mm256_unpackhi_ps(a[j], a[j + 1]);
    }
    for (int j = 0; j < 8; j += 4) {
        u[j] = _mm256_shuffle_ps(t[j], t[j + 2], 0x44);
        u[j + 1] = _mm256_shuffle_ps(t[j], t[j + 2], 0xee);
        u[j + 2] = _mm256_shuffle_ps(t[j + 1], t[j + 3], 0x44);
        u[j + 3] = _mm256_shuffle_ps(t[j + 1], t[j + 3], 0xee);
    }
    for (int j = 0; j < 4; ++j) {
        a[j] = _mm256_permute2f128_ps(u[j], u[j + 4], 0x20);
        a[j + 4] = _mm256_permute2f128_ps(u[j], u[j + 4], 0x31);
    }
}

// The eight rows' recursion, one column of eight at a time: eight columns are loaded and
// transposed together, so each step is one vector of the eight rows' values. The newest result
// enters each step last, so one multiply-add waits for it; the order of the sums is the plain
// loop's, so the results are its bits.
void IirRows8(float* const* r, const float* coef, int n) {
    const __m256 bb = _mm256_set1_ps(coef[0]), c0 = _mm256_set1_ps(coef[1]),
                 c1 = _mm256_set1_ps(coef[2]), c2 = _mm256_set1_ps(coef[3]);
    auto column = [&](int x) {
        return _mm256_setr_ps(r[0][x], r[1][x], r[2][x], r[3][x], r[4][x], r[5][x], r[6][x],
                              r[7][x]);
    };
    __m256 p0, p1, p2;
    auto step = [&](__m256 v) {
        v = _mm256_fmadd_ps(c0, p0, _mm256_fmadd_ps(c1, p1, _mm256_fmadd_ps(c2, p2, _mm256_mul_ps(bb, v))));
        p2 = p1;
        p1 = p0;
        p0 = v;
        return v;
    };
    auto put = [&](int x, __m256 v) {
        float lanes[8];
        _mm256_storeu_ps(lanes, v);
        for (int j = 0; j < 8; ++j) r[j][x] = lanes[j];
    };
    p0 = p1 = p2 = column(0);
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        __m256 a[8];
        for (int j = 0; j < 8; ++j) a[j] = _mm256_loadu_ps(r[j] + x);
        Transpose8(a);
        for (int i = 0; i < 8; ++i) a[i] = step(a[i]);
        Transpose8(a);
        for (int j = 0; j < 8; ++j) _mm256_storeu_ps(r[j] + x, a[j]);
    }
    for (; x < n; ++x) put(x, step(column(x)));
    p0 = p1 = p2 = column(n - 1);
    x = n - 1;
    for (; x >= 7; x -= 8) {
        __m256 a[8];
        for (int j = 0; j < 8; ++j) a[j] = _mm256_loadu_ps(r[j] + x - 7);
        Transpose8(a);
        for (int i = 7; i >= 0; --i) a[i] = step(a[i]);
        Transpose8(a);
        for (int j = 0; j < 8; ++j) _mm256_storeu_ps(r[j] + x - 7, a[j]);
    }
    for (; x >= 0; --x) put(x, step(column(x)));
}
#else
void IirRows8(float* const* r, const float* coef, int n) {
    const float bb = coef[0], c0 = coef[1], c1 = coef[2], c2 = coef[3];
    float p0[8], p1[8], p2[8];
    auto sweep = [&](int from, int to, int step) {
        for (int j = 0; j < 8; ++j) {
            p0[j] = p1[j] = p2[j] = r[j][from];
        }
        for (int x = from;; x += step) {
            for (int j = 0; j < 8; ++j) {
                const float v = c0 * p0[j] + (c1 * p1[j] + (c2 * p2[j] + bb * r[j][x]));
                p2[j] = p1[j];
                p1[j] = p0[j];
                p0[j] = v;
            }
            for (int j = 0; j < 8; ++j) {
                r[j][x] = p0[j];
            }
            if (x == to)
                break;
        }
    };
    sweep(0, n - 1, 1);
    sweep(n - 1, 0, -1);
}
#endif

void MinRow(float* __restrict dst, const float* __restrict src, int n) {
    for (int x = 0; x < n; ++x) dst[x] = src[x] < dst[x] ? src[x] : dst[x];
}

void MaxRow(float* __restrict dst, const float* __restrict src, int n) {
    for (int x = 0; x < n; ++x) dst[x] = src[x] > dst[x] ? src[x] : dst[x];
}

#if defined(VG_KERNEL_AVX2)
// Both extremes of every column over the rows, sixteen columns at a time in registers rather
// than a pass over the results per row.
void MinMaxRows(const float* const* rows, int nrows, float* mn, float* mx, int n) {
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        __m256 lo0 = _mm256_loadu_ps(rows[0] + x), lo1 = _mm256_loadu_ps(rows[0] + x + 8);
        __m256 hi0 = lo0, hi1 = lo1;
        for (int k = 1; k < nrows; ++k) {
            const __m256 v0 = _mm256_loadu_ps(rows[k] + x), v1 = _mm256_loadu_ps(rows[k] + x + 8);
            lo0 = _mm256_min_ps(v0, lo0);
            lo1 = _mm256_min_ps(v1, lo1);
            hi0 = _mm256_max_ps(v0, hi0);
            hi1 = _mm256_max_ps(v1, hi1);
        }
        _mm256_storeu_ps(mn + x, lo0);
        _mm256_storeu_ps(mn + x + 8, lo1);
        _mm256_storeu_ps(mx + x, hi0);
        _mm256_storeu_ps(mx + x + 8, hi1);
    }
    for (; x < n; ++x) {
        float lo = rows[0][x], hi = lo;
        for (int k = 1; k < nrows; ++k) {
            lo = rows[k][x] < lo ? rows[k][x] : lo;
            hi = rows[k][x] > hi ? rows[k][x] : hi;
        }
        mn[x] = lo;
        mx[x] = hi;
    }
}

// The extremes over [x - r, x + r] inside [0, n), eight columns at a time where the whole
// window lies inside.
void MinMaxWindow(const float* srcMin, const float* srcMax, int r, float* mn, float* mx, int n) {
    auto one = [&](int x) {
        const int a = x - r < 0 ? 0 : x - r, b = x + r < n - 1 ? x + r : n - 1;
        float lo = srcMin[a], hi = srcMax[a];
        for (int j = a + 1; j <= b; ++j) {
            lo = srcMin[j] < lo ? srcMin[j] : lo;
            hi = srcMax[j] > hi ? srcMax[j] : hi;
        }
        mn[x] = lo;
        mx[x] = hi;
    };
    int x = 0;
    for (; x < n && x < r; ++x) one(x);
    for (; x + 8 + r <= n; x += 8) {
        __m256 lo = _mm256_loadu_ps(srcMin + x - r), hi = _mm256_loadu_ps(srcMax + x - r);
        for (int j = 1 - r; j <= r; ++j) {
            lo = _mm256_min_ps(_mm256_loadu_ps(srcMin + x + j), lo);
            hi = _mm256_max_ps(_mm256_loadu_ps(srcMax + x + j), hi);
        }
        _mm256_storeu_ps(mn + x, lo);
        _mm256_storeu_ps(mx + x, hi);
    }
    for (; x < n; ++x) one(x);
}
#else
void MinMaxRows(const float* const* rows, int nrows, float* mn, float* mx, int n) {
    std::memcpy(mn, rows[0], sizeof(float) * static_cast<std::size_t>(n));
    std::memcpy(mx, rows[0], sizeof(float) * static_cast<std::size_t>(n));
    for (int k = 1; k < nrows; ++k) {
        MinRow(mn, rows[k], n);
        MaxRow(mx, rows[k], n);
    }
}

void MinMaxWindow(const float* srcMin, const float* srcMax, int r, float* mn, float* mx, int n) {
    std::memcpy(mn, srcMin, sizeof(float) * static_cast<std::size_t>(n));
    std::memcpy(mx, srcMax, sizeof(float) * static_cast<std::size_t>(n));
    for (int k = 1; k <= r && k < n; ++k) {
        MinRow(mn + k, srcMin, n - k);
        MinRow(mn, srcMin + k, n - k);
        MaxRow(mx + k, srcMax, n - k);
        MaxRow(mx, srcMax + k, n - k);
    }
}
#endif

// The lines in the order the gate tries them for a speck (straight ones first, which hold
// most edges), and a distance off them that passes every ramp.
constexpr int kGateOwnOrder[8] = {0, 4, 2, 6, 1, 3, 5, 7};
constexpr float kGateOwnAll = 1e30f;

// The gate at one pixel; summed in this order in both builds.
inline void GateRestoreOne(const GateRestoreArgs& a, int x) {
    constexpr int R = kMaxGateRestore;
    const float gain = a.g[x] / (a.g[x] + a.t2);
    if (gain < a.least)
        return;  // nothing visible comes back
    const int X = a.x0 + x;
    const bool inside = X >= 2 * R && X + 2 * R < a.width;
    float v[3] = {0.0f, 0.0f, 0.0f};
    for (int d = 0; d < 9; ++d) {
        const float wd = a.w[d][x];
        if (!(wd > 0.0f))
            continue;
        const int k = a.k[d], dx = a.dx[d], dy = a.dy[d];
        const float* wk = a.taps[d];
        for (int c = 0; c < 3; ++c) {
            float s = 0.0f;
            for (int j = -k; j <= k; ++j) {
                const int xx = inside ? X + j * dx : std::clamp(X + j * dx, 0, a.width - 1);
                s += wk[j] * a.rows[c][j * dy + 2 * R][xx];
            }
            v[c] += wd * s;
        }
    }
    float off[3];
    for (int c = 0; c < 3; ++c) off[c] = a.rows[c][2 * R][X] - v[c];
    // How far the pixel stands off its neighbours along the line that holds it best: a pixel
    // of a line or an edge is near its neighbours along it, a speck off them all.
    float d2 = kGateOwnAll;
    for (int i = 0; i < 8 && d2 > a.own0; ++i) {
        const int e = kGateOwnOrder[i];
        const int ke = a.k[e], ex = a.dx[e], ey = a.dy[e];
        float de = 0.0f;
        for (int c = 0; c < 3; ++c) {
            float ve = 0.0f;
            for (int j = -ke; j <= ke; ++j) {
                if (j == 0)
                    continue;
                const int xx = inside ? X + j * ex : std::clamp(X + j * ex, 0, a.width - 1);
                ve += a.taps[e][j] * a.rows[c][j * ey + 2 * R][xx];
            }
            const float qd = a.q[c] * (a.rows[c][2 * R][X] - ve * a.apart[e]);
            de += qd * qd;
        }
        d2 = std::min(d2, de);
    }
    const float w =
        std::max(a.speck[x] * std::min(1.0f, std::max(0.0f, (d2 - a.own0) * a.ownScale)),
                 std::min(1.0f, std::max(0.0f, (d2 - a.alone0) * a.aloneScale)));
    for (int c = 0; c < 3; ++c) {
        const float u = v[c] + w * off[c];
        a.base[c][x] += gain * (u - a.base[c][x]);
    }
}

#if defined(VG_KERNEL_AVX2)
// Eight pixels at a time where all their lines lie inside the row: each line that one of them
// takes is summed for all eight from plain loads (the columns along a line are consecutive)
// and added with each lane's weight. The same sums in the same order as GateRestoreOne.
void GateRestore(const GateRestoreArgs& a) {
    constexpr int R = kMaxGateRestore;
    int x = 0;
    const int first = std::max(0, std::min(a.n, 2 * R - a.x0));
    for (; x < first; ++x) GateRestoreOne(a, x);
    const __m256 t2 = _mm256_set1_ps(a.t2), least = _mm256_set1_ps(a.least);
    const __m256 zero = _mm256_setzero_ps();
    for (; x + 8 <= a.n && a.x0 + x + 7 + 2 * R < a.width; x += 8) {
        const __m256 g = _mm256_loadu_ps(a.g + x);
        const __m256 gain = _mm256_div_ps(g, _mm256_add_ps(g, t2));
        const __m256 on = _mm256_cmp_ps(gain, least, _CMP_GE_OQ);
        if (_mm256_movemask_ps(on) == 0)
            continue;
        const int X = a.x0 + x;
        __m256 v[3] = {zero, zero, zero};
        for (int d = 0; d < 9; ++d) {
            // The weight in the lanes to restore, zero in the rest.
            const __m256 wd = _mm256_and_ps(_mm256_loadu_ps(a.w[d] + x), on);
            if (_mm256_movemask_ps(_mm256_cmp_ps(wd, zero, _CMP_GT_OQ)) == 0)
                continue;
            const int k = a.k[d], dx = a.dx[d], dy = a.dy[d];
            for (int c = 0; c < 3; ++c) {
                __m256 s = _mm256_setzero_ps();
                for (int j = -k; j <= k; ++j)
                    s = _mm256_fmadd_ps(_mm256_set1_ps(a.taps[d][j]),
                                        _mm256_loadu_ps(a.rows[c][j * dy + 2 * R] + X + j * dx), s);
                v[c] = _mm256_fmadd_ps(wd, s, v[c]);
            }
        }
        __m256 off[3], own[3];
        for (int c = 0; c < 3; ++c) {
            own[c] = _mm256_loadu_ps(a.rows[c][2 * R] + X);
            off[c] = _mm256_sub_ps(own[c], v[c]);
        }
        // Off its neighbours along every line (see GateRestoreOne).
        const __m256 own0 = _mm256_set1_ps(a.own0);
        const __m256 speck = _mm256_loadu_ps(a.speck + x);
        __m256 d2 = _mm256_set1_ps(kGateOwnAll);
        for (int i = 0; i < 8; ++i) {
            if ((_mm256_movemask_ps(_mm256_and_ps(_mm256_cmp_ps(d2, own0, _CMP_GT_OQ), on)) &
                 0xff) == 0)
                break;
            const int e = kGateOwnOrder[i];
            const int ke = a.k[e], ex = a.dx[e], ey = a.dy[e];
            __m256 de = _mm256_setzero_ps();
            for (int c = 0; c < 3; ++c) {
                __m256 s = _mm256_setzero_ps();
                for (int j = -ke; j <= ke; ++j) {
                    if (j == 0)
                        continue;
                    s = _mm256_fmadd_ps(_mm256_set1_ps(a.taps[e][j]),
                                        _mm256_loadu_ps(a.rows[c][j * ey + 2 * R] + X + j * ex), s);
                }
                const __m256 nb = _mm256_mul_ps(s, _mm256_set1_ps(a.apart[e]));
                const __m256 qd = _mm256_mul_ps(_mm256_set1_ps(a.q[c]), _mm256_sub_ps(own[c], nb));
                de = _mm256_fmadd_ps(qd, qd, de);
            }
            d2 = _mm256_min_ps(d2, de);
        }
        const __m256 one = _mm256_set1_ps(1.0f);
        const __m256 w = _mm256_max_ps(
            _mm256_mul_ps(
                speck,
                _mm256_min_ps(one, _mm256_max_ps(zero, _mm256_mul_ps(_mm256_sub_ps(d2, own0),
                                                                     _mm256_set1_ps(a.ownScale))))),
            _mm256_min_ps(
                one, _mm256_max_ps(zero, _mm256_mul_ps(_mm256_sub_ps(d2, _mm256_set1_ps(a.alone0)),
                                                       _mm256_set1_ps(a.aloneScale)))));
        for (int c = 0; c < 3; ++c) {
            const __m256 b = _mm256_loadu_ps(a.base[c] + x);
            const __m256 u = _mm256_fmadd_ps(w, off[c], v[c]);
            const __m256 r = _mm256_fmadd_ps(gain, _mm256_sub_ps(u, b), b);
            _mm256_storeu_ps(a.base[c] + x, _mm256_blendv_ps(b, r, on));
        }
    }
    for (; x < a.n; ++x) GateRestoreOne(a, x);
}
#else
void GateRestore(const GateRestoreArgs& a) {
    for (int x = 0; x < a.n; ++x) GateRestoreOne(a, x);
}
#endif

// The chroma q held to [lo, hi] with the least change of luminance: x = clamp(q - s) with the
// common shift s at which x's luminance is 0. That luminance falls with s, piecewise linearly
// between the shifts at which a channel meets a bound: the root lies between the greatest of
// them where it is still >= 0 and the least where it is <= 0. The bounds hold a chroma of
// luminance 0 (the pixel's own), so at the least shift it is >= 0 and at the greatest <= 0.
inline void HoldChroma(const float* q, const float* lo, const float* hi, float* out) {
    const float w[3] = {kLumR, kLumG, kLumB};
    auto lum = [&](float s) {
        float l = 0.0f;
        for (int c = 0; c < 3; ++c) l += w[c] * std::clamp(q[c] - s, lo[c], hi[c]);
        return l;
    };
    float sLo = q[0] - hi[0], sHi = sLo;
    for (int c = 0; c < 3; ++c) {
        sLo = std::min({sLo, q[c] - hi[c], q[c] - lo[c]});
        sHi = std::max({sHi, q[c] - hi[c], q[c] - lo[c]});
    }
    float lLo = lum(sLo), lHi = lum(sHi);
    for (int c = 0; c < 3; ++c) {
        for (const float sb : {q[c] - hi[c], q[c] - lo[c]}) {
            const float l = lum(sb);
            if (l >= 0.0f && sb > sLo) {
                sLo = sb;
                lLo = l;
            }
            if (l <= 0.0f && sb < sHi) {
                sHi = sb;
                lHi = l;
            }
        }
    }
    const float s = lLo > lHi ? sLo + lLo * (sHi - sLo) / (lLo - lHi) : sLo;
    for (int c = 0; c < 3; ++c) out[c] = std::clamp(q[c] - s, lo[c], hi[c]);
}

#if defined(VG_KERNEL_AVX2)
// HoldChroma for the eight pixels x0 .. x0 + 7 of HoldChromaRow at once, written where their
// flags (off) are set: the same operations in the same order per lane, so the same values as
// one pixel at a time. Equal operands of a minimum or maximum give the first, as std::min and
// std::max do.
inline void HoldChroma8(const HoldChromaArgs& a, const uint8_t* off, int x0) {
    float* const* o = a.out;
    const __m256 w[3] = {_mm256_set1_ps(kLumR), _mm256_set1_ps(kLumG), _mm256_set1_ps(kLumB)};
    __m256 v[3], q[3], lo[3], hi[3];
    for (int c = 0; c < 3; ++c) v[c] = _mm256_loadu_ps(o[c] + x0);
    // Contracted as the compiler contracts HoldChromaRow's scalar luminance.
    const __m256 l =
        _mm256_fmadd_ps(w[2], v[2], _mm256_fmadd_ps(w[0], v[0], _mm256_mul_ps(w[1], v[1])));
    for (int c = 0; c < 3; ++c) {
        q[c] = _mm256_sub_ps(v[c], l);
        const float* bl = a.lo[c] + x0;
        const float* bh = a.hi[c] + x0;
        lo[c] = _mm256_min_ps(_mm256_loadu_ps(bl + 2),
                              _mm256_min_ps(_mm256_loadu_ps(bl + 1), _mm256_loadu_ps(bl)));
        hi[c] = _mm256_max_ps(_mm256_loadu_ps(bh + 2),
                              _mm256_max_ps(_mm256_loadu_ps(bh + 1), _mm256_loadu_ps(bh)));
    }
    auto lum = [&](__m256 s) {
        __m256 r = _mm256_setzero_ps();
        for (int c = 0; c < 3; ++c) {
            const __m256 t = _mm256_max_ps(lo[c], _mm256_sub_ps(q[c], s));
            r = _mm256_fmadd_ps(w[c], _mm256_min_ps(hi[c], t), r);
        }
        return r;
    };
    __m256 sb[6];
    for (int c = 0; c < 3; ++c) {
        sb[2 * c] = _mm256_sub_ps(q[c], hi[c]);
        sb[2 * c + 1] = _mm256_sub_ps(q[c], lo[c]);
    }
    __m256 sLo = sb[0], sHi = sb[0];
    for (int i = 1; i < 6; ++i) {
        sLo = _mm256_min_ps(sb[i], sLo);
        sHi = _mm256_max_ps(sb[i], sHi);
    }
    __m256 lLo = lum(sLo), lHi = lum(sHi);
    const __m256 zero = _mm256_setzero_ps();
    for (int i = 0; i < 6; ++i) {
        const __m256 li = lum(sb[i]);
        const __m256 up = _mm256_and_ps(_mm256_cmp_ps(li, zero, _CMP_GE_OQ),
                                        _mm256_cmp_ps(sb[i], sLo, _CMP_GT_OQ));
        sLo = _mm256_blendv_ps(sLo, sb[i], up);
        lLo = _mm256_blendv_ps(lLo, li, up);
        const __m256 down = _mm256_and_ps(_mm256_cmp_ps(li, zero, _CMP_LE_OQ),
                                          _mm256_cmp_ps(sb[i], sHi, _CMP_LT_OQ));
        sHi = _mm256_blendv_ps(sHi, sb[i], down);
        lHi = _mm256_blendv_ps(lHi, li, down);
    }
    const __m256 across =
        _mm256_div_ps(_mm256_mul_ps(lLo, _mm256_sub_ps(sHi, sLo)), _mm256_sub_ps(lLo, lHi));
    const __m256 s =
        _mm256_blendv_ps(sLo, _mm256_add_ps(sLo, across), _mm256_cmp_ps(lLo, lHi, _CMP_GT_OQ));
    uint64_t bytes;
    std::memcpy(&bytes, off + x0, 8);
    const __m256 take = _mm256_castsi256_ps(
        _mm256_cmpgt_epi32(_mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(bytes))),
                           _mm256_setzero_si256()));
    for (int c = 0; c < 3; ++c) {
        const __m256 h = _mm256_min_ps(hi[c], _mm256_max_ps(lo[c], _mm256_sub_ps(q[c], s)));
        _mm256_storeu_ps(o[c] + x0, _mm256_blendv_ps(v[c], _mm256_add_ps(l, h), take));
    }
}
#endif

void SteepenRow(const float* __restrict row, const float* __restrict blur,
                const float* __restrict amount, const float* __restrict lo,
                const float* __restrict hi, float* __restrict out, int n) {
    for (int x = 0; x < n; ++x) {
        float v = row[x] + amount[x] * (row[x] - blur[x]);
        v = v < lo[x] ? lo[x] : v;
        out[x] = v > hi[x] ? hi[x] : v;
    }
}

// Columns [ja, jb) of TangentSmoothArgs, whose columns x - reach .. x + reach are in the rows.
// The output row is none of the input rows: the loop carries nothing from one pixel to the
// next, and vectorises.
void TangentSmoothSpan(const TangentSmoothArgs& a, int ja, int jb) {
    constexpr int c = kTangentReach;
    const float* rows[kTangentRows];
    for (int i = 0; i < kTangentRows; ++i) rows[i] = a.d[i];
    const float* l0 = a.lum[0];
    const float* l1 = a.lum[1];
    const float* l2 = a.lum[2];
    const float* s = a.s;
    const float* placed = a.placed;
    float* out = a.out;
    const float lambda = a.lambda, knee = a.knee, re = a.re, span = a.span;
#pragma GCC ivdep
    for (int x = ja; x < jb; ++x) {
        float v[kTangentRows][kTangentRows];
#pragma GCC unroll 16
        for (int i = 0; i < kTangentRows; ++i)
#pragma GCC unroll 16
            for (int j = 0; j < kTangentRows; ++j)
                if ((i >= c - 1 && i <= c + 1) || (j >= c - 1 && j <= c + 1))
                    v[i][j] = rows[i][x - c + j];
        out[x] = TangentSmoothValue(s[x], l1[x + 1] - l1[x - 1], l2[x] - l0[x], v,
                                    lambda * (1.0f - placed[x]), knee, re, span);
    }
}

void TangentSmoothRow(const TangentSmoothArgs& a) {
    const int n = a.n;
    const int lo = -a.left, hi = n - 1 + a.right;
    auto edge = [&](int x) {
        float v[kTangentRows][kTangentRows];
        for (int i = 0; i < kTangentRows; ++i)
            for (int j = 0; j < kTangentRows; ++j)
                v[i][j] = a.d[i][std::clamp(x - kTangentReach + j, lo, hi)];
        const int xl = std::clamp(x - 1, lo, hi), xr = std::clamp(x + 1, lo, hi);
        const float lx =
            (a.lum[1][xr] - a.lum[1][xl]) * (2.0f / static_cast<float>(std::max(1, xr - xl)));
        a.out[x] = TangentSmoothValue(a.s[x], lx, a.lum[2][x] - a.lum[0][x], v,
                                      a.lambda * (1.0f - a.placed[x]), a.knee, a.re, a.span);
    };
    const int ja = std::min(n, std::max(0, kTangentReach - a.left));
    const int jb = std::max(ja, std::min(n, n + a.right - kTangentReach));
    for (int x = 0; x < ja; ++x) edge(x);
    if (jb > ja)
        TangentSmoothSpan(a, ja, jb);
    for (int x = jb; x < n; ++x) edge(x);
}

// Each channel's least and greatest chroma over three rows, columns [ja, jb). Pointer
// parameters, so that the compiler knows the rows apart and vectorises the loop.
void ChromaColumns(const float* __restrict r0, const float* __restrict r1,
                   const float* __restrict r2, const float* __restrict g0,
                   const float* __restrict g1, const float* __restrict g2,
                   const float* __restrict b0, const float* __restrict b1,
                   const float* __restrict b2, float* __restrict loR, float* __restrict hiR,
                   float* __restrict loG, float* __restrict hiG, float* __restrict loB,
                   float* __restrict hiB, int ja, int jb) {
    auto lo3 = [](float a, float b, float c) {
        const float m = a < b ? a : b;
        return c < m ? c : m;
    };
    auto hi3 = [](float a, float b, float c) {
        const float m = a > b ? a : b;
        return c > m ? c : m;
    };
    for (int j = ja; j < jb; ++j) {
        const float l0 = kLumR * r0[j] + kLumG * g0[j] + kLumB * b0[j];
        const float l1 = kLumR * r1[j] + kLumG * g1[j] + kLumB * b1[j];
        const float l2 = kLumR * r2[j] + kLumG * g2[j] + kLumB * b2[j];
        loR[j] = lo3(r0[j] - l0, r1[j] - l1, r2[j] - l2);
        hiR[j] = hi3(r0[j] - l0, r1[j] - l1, r2[j] - l2);
        loG[j] = lo3(g0[j] - l0, g1[j] - l1, g2[j] - l2);
        hiG[j] = hi3(g0[j] - l0, g1[j] - l1, g2[j] - l2);
        loB[j] = lo3(b0[j] - l0, b1[j] - l1, b2[j] - l2);
        hiB[j] = hi3(b0[j] - l0, b1[j] - l1, b2[j] - l2);
    }
}

// 1 for each pixel whose chroma is out of its bounds over three columns (lo, hi from column
// -1, so read at x .. x + 2), else 0.
void ChromaOutside(const float* __restrict v0, const float* __restrict v1,
                   const float* __restrict v2, const float* __restrict lo0,
                   const float* __restrict lo1, const float* __restrict lo2,
                   const float* __restrict hi0, const float* __restrict hi1,
                   const float* __restrict hi2, uint8_t* __restrict off, int n) {
    auto least = [](const float* v, int x) {
        const float a = v[x] < v[x + 1] ? v[x] : v[x + 1];
        return v[x + 2] < a ? v[x + 2] : a;
    };
    auto most = [](const float* v, int x) {
        const float a = v[x] > v[x + 1] ? v[x] : v[x + 1];
        return v[x + 2] > a ? v[x + 2] : a;
    };
    for (int x = 0; x < n; ++x) {
        const float l = kLumR * v0[x] + kLumG * v1[x] + kLumB * v2[x];
        const float q0 = v0[x] - l, q1 = v1[x] - l, q2 = v2[x] - l;
        const bool out = (q0 < least(lo0, x)) | (q0 > most(hi0, x)) | (q1 < least(lo1, x)) |
                         (q1 > most(hi1, x)) | (q2 < least(lo2, x)) | (q2 > most(hi2, x));
        off[x] = out ? 1 : 0;
    }
}

void HoldChromaRow(const HoldChromaArgs& a) {
    const int n = a.n;
    // Column bounds at -1 .. n (index + 1); beyond the image the border column repeats.
    const int ja = a.first ? 0 : -1, jb = a.last ? n : n + 1;
    const float* const* r = a.rows[0];
    const float* const* g = a.rows[1];
    const float* const* b = a.rows[2];
    ChromaColumns(r[0] + ja, r[1] + ja, r[2] + ja, g[0] + ja, g[1] + ja, g[2] + ja, b[0] + ja,
                  b[1] + ja, b[2] + ja, a.lo[0] + ja + 1, a.hi[0] + ja + 1, a.lo[1] + ja + 1,
                  a.hi[1] + ja + 1, a.lo[2] + ja + 1, a.hi[2] + ja + 1, 0, jb - ja);
    for (int c = 0; c < 3; ++c) {
        if (a.first) {
            a.lo[c][0] = a.lo[c][1];
            a.hi[c][0] = a.hi[c][1];
        }
        if (a.last) {
            a.lo[c][n + 1] = a.lo[c][n];
            a.hi[c][n + 1] = a.hi[c][n];
        }
    }
    float* const* o = a.out;
    uint8_t* off = a.flags;
    ChromaOutside(o[0], o[1], o[2], a.lo[0], a.lo[1], a.lo[2], a.hi[0], a.hi[1], a.hi[2], off, n);
    // The few pixels whose chroma left its bounds (edges between colours), eight flags at a
    // time.
    for (int x0 = 0; x0 < n; x0 += 8) {
        const int x1 = x0 + 8 < n ? x0 + 8 : n;
        if (x1 - x0 == 8) {
            uint64_t any;
            std::memcpy(&any, off + x0, 8);
            if (any == 0)
                continue;
#if defined(VG_KERNEL_AVX2)
            HoldChroma8(a, off, x0);
            continue;
#endif
        }
        for (int x = x0; x < x1; ++x) {
            if (off[x] == 0)
                continue;
            const float l = kLumR * o[0][x] + kLumG * o[1][x] + kLumB * o[2][x];
            float q[3], lo[3], hi[3], h[3];
            for (int c = 0; c < 3; ++c) {
                q[c] = o[c][x] - l;
                lo[c] = std::min({a.lo[c][x], a.lo[c][x + 1], a.lo[c][x + 2]});
                hi[c] = std::max({a.hi[c][x], a.hi[c][x + 1], a.hi[c][x + 2]});
            }
            HoldChroma(q, lo, hi, h);
            for (int c = 0; c < 3; ++c) o[c][x] = l + h[c];
        }
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

// One pixel of FlowRow; `row` is y * stride.
inline __attribute__((always_inline)) void FlowPixel(const FlowRowArgs& g, std::ptrdiff_t row,
                                                     int x) {
    const float blend = g.blend[x];
    // Flat areas have no contour to follow; leaving them saves most of the work.
    if (blend == 0.0f) {
        for (int ch = 0; ch < 3; ++ch) g.out[ch][x] = g.planes[ch][row + x];
        return;
    }
    const float tx = g.tx[x], ty = g.ty[x];
    float acc[3] = {0.0f, 0.0f, 0.0f};
    for (int k = 0; k < kFlowTaps; ++k) {
        const float o = static_cast<float>(k - kFlowTaps / 2);
        float v[3];
        if (k == kFlowTaps / 2) {
            // The centre tap is the pixel itself (what a sample there gives, exactly).
            for (int ch = 0; ch < 3; ++ch) v[ch] = g.planes[ch][row + x];
        } else {
            Sample(g.planes, g.stride, g.width, g.height, static_cast<float>(x) + o * tx,
                   static_cast<float>(g.y) + o * ty, v);
        }
        for (int ch = 0; ch < 3; ++ch) acc[ch] += g.taps[k] * v[ch];
    }
    for (int ch = 0; ch < 3; ++ch) {
        const float orig = g.planes[ch][row + x];
        g.out[ch][x] = orig + blend * (acc[ch] - orig);
    }
}

// The second derivative across the edge, along the unit normal (nx, ny), at x of the middle
// of three rows of a luminance.
inline float NormalCurvature(const float* const rows[3], int x, float nx, float ny) {
    const float* up = rows[0];
    const float* mid = rows[1];
    const float* down = rows[2];
    const float lxx = mid[x - 1] - 2.0f * mid[x] + mid[x + 1];
    const float lyy = up[x] - 2.0f * mid[x] + down[x];
    const float lxy = 0.25f * (down[x + 1] - down[x - 1] - up[x + 1] + up[x - 1]);
    return nx * nx * lxx + 2.0f * nx * ny * lxy + ny * ny * lyy;
}

// 1 / the shock sign's ramp width; without a ramp a value so large that the contrast decides.
inline float ShockRampInv(const ShockRowArgs& g) {
    return g.rampWidth > 0.0f ? 1.0f / g.rampWidth : 1e30f;
}

// FineAgreement's span: the finer curvature against the edge (times re^2) that keeps a pixel
// wholly, for a step that changes the pixel's luminance by `step`.
inline float ShockFineSpan(const ShockRowArgs& g, float step) {
    return kShockFineDisagree * g.knee + kShockFineOfStep * step;
}

// How much of the finer curvature's disagreement counts for a pixel with curvatures lnn across
// the edge and ltt along it and 1 / gradient inv at the edge scale (see ShockRowArgs::nearInner).
// |ltt| re^2 inv is how far the edge scale draws a contour curving that much from the finer
// scale's middle, |lnn| re^2 inv the pixel's distance to the edge scale's middle: within the
// first the disagreement is the two middles' offset, not a feature.
inline float NearShare(const ShockRowArgs& g, float lnn, float ltt, float inv) {
    if (!(g.nearOuter > 0.0f))
        return 1.0f;
    const float d = std::fabs(lnn) * (g.re * g.re) * inv;
    const float e = std::fabs(ltt) * (g.re * g.re) * inv;
    const float w =
        std::fmin(1.0f, std::fmax(0.0f, (g.nearOuter - e) / (g.nearOuter - g.nearInner)));
    const float past = std::fmin(1.0f, std::fmax(0.0f, (d - e) / (0.5f * e + kShockNearSlack)));
    return 1.0f - w * (1.0f - past);
}

// How much of its shock step a pixel takes by its own luminance lh against the samples' (lf,
// lb): all of it between them, less the further it lies beyond both (see kShockBeyondKnee).
inline float BeyondShare(float lh, float lf, float lb, float knee) {
    const float e = std::fmax(0.0f, std::fmax(std::fmin(lf, lb) - lh, lh - std::fmax(lf, lb)));
    const float k2 = (kShockBeyondKnee * knee) * (kShockBeyondKnee * knee);
    return k2 / (k2 + e * e);
}

// How much of its shock step a pixel takes, from its curvatures across the edge at the edge
// scale (u, in the shock sign's units) and at the finer one (fnn): all of it where they agree,
// less the more strongly the finer one curves the other way, none from kShockFineDisagree knees
// (in units of the edge scale) on. A ramp, not a switch, in both: near a flat stretch the finer
// curvature is as small as a level's difference, and near the edge's middle the edge scale's
// is (see kShockFineSide); a sign test there kept or moved pixels by a picture's phase.
inline float FineAgreement(float u, float fnn, float scale) {
    const float side = std::fmin(1.0f, std::fmax(-1.0f, kShockFineSide * u));
    return std::fmin(1.0f, std::fmax(0.0f, 1.0f + side * fnn * scale));
}

// The luminance change of a pixel lh that a step to the samples' (lf forward, lb back) mix by
// the sign s makes.
inline float ShockStepChange(float s, float lh, float lf, float lb) {
    return std::fabs(0.5f * (lf + lb) - s * 0.5f * (lf - lb) - lh);
}

// How much of its shock step a pixel takes by its own luminance lh against those of the two
// samples (lf forward, lb back). a, its place between them (-1 at the back sample, 1 at the
// forward one), and the target's, -s: across = a (a + s) is large where the step carries a pixel
// from well on one side to the middle or beyond. An edge's ramp does not ask for that (its
// pixels move outwards, or lie near the middle); a shoulder of structure finer than the edge
// scale does (the white of an eye between the iris and the skin, a letter on a badge's disc),
// and the step would wash it into the edge. All of the step up to kShockAcrossFrom, none from
// kShockAcrossTo on. The knee term keeps a faint difference between the samples from reading a
// level's noise as a wide departure.
inline float AcrossAgreement(float s, float lh, float lf, float lb, float knee) {
    const float half = 0.5f * std::fabs(lf - lb) + kShockAcrossKnee * knee;
    const float a = (lh - 0.5f * (lf + lb)) * (lf < lb ? -1.0f : 1.0f) / half;
    const float across = a * (a + s);
    return std::fmin(1.0f, std::fmax(0.0f, (kShockAcrossTo - across) /
                                               (kShockAcrossTo - kShockAcrossFrom)));
}

// One pixel of ShockRow.
inline __attribute__((always_inline)) void ShockPixel(const ShockRowArgs& g, std::ptrdiff_t row,
                                                      int x) {
    const float* up = g.lum[0];
    const float* mid = g.lum[1];
    const float* down = g.lum[2];
    const float re = g.re, knee = g.knee;
    const float gx = 0.5f * (mid[x + 1] - mid[x - 1]);
    const float gy = 0.5f * (down[x] - up[x]);
    const float g2 = gx * gx + gy * gy;
    // Gradient in units of the edge scale, so the gate reads the same at every sampling
    // step.
    const float gs = std::sqrt(g2) * re * 2.5f;
    if (g2 < 1e-14f || gs < 0.1f * knee) {
        for (int ch = 0; ch < 3; ++ch) g.out[ch][x] = g.planes[ch][row + x];
        return;
    }
    const float inv = 1.0f / std::sqrt(g2);
    const float nx = gx * inv, ny = gy * inv;
    const float lnn = NormalCurvature(g.lum, x, nx, ny);
    // u is the smaller of the curvature in half knees and the distance to the edge's middle in
    // ramp widths: a blurred step's second derivative over its slope is the distance to its
    // middle over the blur's variance (re^2), so the step places each contour at its sub-pixel
    // position instead of at the nearest whole pixel.
    const float curv = lnn * re * re;
    const float ramp = inv * ShockRampInv(g);
    const float u = 2.0f / knee <= ramp ? curv / (0.5f * knee) : curv * ramp;
    // The finer curvature against the edge (see FineAgreement), weighed once the step is known.
    float fineNn = 0.0f;
    const bool fine = g.fine[0] != nullptr && x > 0 && x < g.width - 1;
    if (fine) {
        const float near =
            g.nearOuter > 0.0f ? NearShare(g, lnn, NormalCurvature(g.lum, x, -ny, nx), inv) : 1.0f;
        fineNn = NormalCurvature(g.fine, x, nx, ny) * near;
    }
    float fwd[3], back[3];
    Sample(g.planes, g.stride, g.width, g.height, static_cast<float>(x) + nx * g.shockStep,
           static_cast<float>(g.y) + ny * g.shockStep, fwd);
    Sample(g.planes, g.stride, g.width, g.height, static_cast<float>(x) - nx * g.shockStep,
           static_cast<float>(g.y) - ny * g.shockStep, back);
    // Forward points uphill: on the bright side (lnn < 0) move towards the brighter
    // neighbour, on the dark side towards the darker one. The sign is smooth through the
    // middle of the edge, so the edge keeps an antialiased profile instead of becoming a
    // one-pixel step.
    const float s = u / std::sqrt(1.0f + u * u);
    float gate = gs * gs / (gs * gs + knee * knee);
    {
        // Where the pixel lies against the samples is read from the accent's input: read from
        // what the earlier steps made of it, a pixel that one step moved a little looked more
        // like an edge's ramp and took more of the next, so that a level's difference between
        // two crops ended as a pixel kept in one and moved by tens of levels in the other.
        const float lh = g.own != nullptr ? g.own[x]
                                          : kLumR * g.planes[0][row + x] +
                                                kLumG * g.planes[1][row + x] +
                                                kLumB * g.planes[2][row + x];
        const float lf = kLumR * fwd[0] + kLumG * fwd[1] + kLumB * fwd[2];
        const float lb = kLumR * back[0] + kLumG * back[1] + kLumB * back[2];
        gate *= AcrossAgreement(s, lh, lf, lb, knee) * BeyondShare(lh, lf, lb, knee);
        if (fine) {
            const float here = kLumR * g.planes[0][row + x] + kLumG * g.planes[1][row + x] +
                               kLumB * g.planes[2][row + x];
            gate *= FineAgreement(u, fineNn,
                                  re * re / ShockFineSpan(g, ShockStepChange(s, here, lf, lb)));
        }
    }
    for (int ch = 0; ch < 3; ++ch) {
        const float here = g.planes[ch][row + x];
        const float target = 0.5f * (fwd[ch] + back[ch]) - s * 0.5f * (fwd[ch] - back[ch]);
        g.out[ch][x] = here + gate * (target - here);
    }
}

#if defined(VG_KERNEL_AVX2)
// The accent's kernels eight pixels at a time. Bilinear samples are gathered; a group with a
// sample outside the image (or a non-finite position) takes the per-pixel path, which
// continues the image by odd reflection. The formulas are those of FlowPixel and ShockPixel.

// Whether every lane of (fx, fy) lies inside [0, xmax] x [0, ymax] (NaN counts as outside).
inline bool AllInside(__m256 fx, __m256 fy, __m256 xmax, __m256 ymax) {
    const __m256 zero = _mm256_setzero_ps();
    const __m256 in = _mm256_and_ps(
        _mm256_and_ps(_mm256_cmp_ps(fx, zero, _CMP_GE_OQ), _mm256_cmp_ps(fx, xmax, _CMP_LE_OQ)),
        _mm256_and_ps(_mm256_cmp_ps(fy, zero, _CMP_GE_OQ), _mm256_cmp_ps(fy, ymax, _CMP_LE_OQ)));
    return _mm256_movemask_ps(in) == 0xff;
}

// The pixel pairs p[o[i]], p[o[i] + 1] at eight offsets, as the eight lefts and the eight
// rights in order. Pixels 0, 1, 4, 5 go into one vector and 2, 3, 6, 7 into the other, so that
// one shuffle per 128-bit half puts them back in order.
inline __attribute__((always_inline)) void LoadPairs8(const float* p, const int32_t* o,
                                                      __m256& left, __m256& right) {
    auto pair2 = [p](int i, int j) {
        const __m128 lo = _mm_castsi128_ps(_mm_loadu_si64(p + i));
        return _mm_loadh_pi(lo, reinterpret_cast<const __m64*>(p + j));
    };
    const __m256 a = _mm256_set_m128(pair2(o[4], o[5]), pair2(o[0], o[1]));
    const __m256 b = _mm256_set_m128(pair2(o[6], o[7]), pair2(o[2], o[3]));
    left = _mm256_shuffle_ps(a, b, 0x88);
    right = _mm256_shuffle_ps(a, b, 0xdd);
}

// Bilinear samples of the three planes at eight positions inside an image of at least 2 x 2
// pixels. Each pixel and its right neighbour are fetched together as one 64-bit load (the last
// column and row use the pair before them, at weight 1). Plain loads, not gathers: the offsets
// are the same for the three planes and both rows, and on the processors we run on a gather
// costs several times the loads it replaces.
inline __attribute__((always_inline)) void Sample8(const float* const* planes, int stride,
                                                   int w, int h, __m256 fx, __m256 fy,
                                                   __m256* v) {
    const __m256i x0 = _mm256_min_epi32(_mm256_cvttps_epi32(fx), _mm256_set1_epi32(w - 2));
    const __m256i y0 = _mm256_min_epi32(_mm256_cvttps_epi32(fy), _mm256_set1_epi32(h - 2));
    const __m256 ax = _mm256_sub_ps(fx, _mm256_cvtepi32_ps(x0));
    const __m256 ay = _mm256_sub_ps(fy, _mm256_cvtepi32_ps(y0));
    alignas(32) int32_t o[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(o),
                       _mm256_add_epi32(_mm256_mullo_epi32(y0, _mm256_set1_epi32(stride)), x0));
    for (int c = 0; c < 3; ++c) {
        __m256 p00, p01, p10, p11;
        LoadPairs8(planes[c], o, p00, p01);
        LoadPairs8(planes[c] + stride, o, p10, p11);
        const __m256 top = _mm256_fmadd_ps(ax, _mm256_sub_ps(p01, p00), p00);
        const __m256 bottom = _mm256_fmadd_ps(ax, _mm256_sub_ps(p11, p10), p10);
        v[c] = _mm256_fmadd_ps(ay, _mm256_sub_ps(bottom, top), top);
    }
}

inline __m256 Lanes(float x) {
    return _mm256_add_ps(_mm256_set1_ps(x), _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7));
}

// SampleInside for eight positions inside the image, to the bit: a position on the last column
// or row takes that pixel's value with no neighbour beyond it, where Sample8 reads the pair
// before it at weight 1 (which can differ in the last place).
__attribute__((noinline)) void SampleEdge8(const float* const* planes, int stride, int w, int h,
                                           __m256 fx, __m256 fy, __m256* v) {
    const __m256i ix = _mm256_cvttps_epi32(fx), iy = _mm256_cvttps_epi32(fy);
    const __m256i lastX = _mm256_set1_epi32(w - 2), lastY = _mm256_set1_epi32(h - 2);
    const __m256i x0 = _mm256_min_epi32(ix, lastX), y0 = _mm256_min_epi32(iy, lastY);
    const __m256 onLastColumn = _mm256_castsi256_ps(_mm256_cmpgt_epi32(ix, lastX));
    const __m256 onLastRow = _mm256_castsi256_ps(_mm256_cmpgt_epi32(iy, lastY));
    const __m256 ax = _mm256_sub_ps(fx, _mm256_cvtepi32_ps(ix));
    const __m256 ay = _mm256_sub_ps(fy, _mm256_cvtepi32_ps(iy));
    alignas(32) int32_t o[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(o),
                       _mm256_add_epi32(_mm256_mullo_epi32(y0, _mm256_set1_epi32(stride)), x0));
    for (int c = 0; c < 3; ++c) {
        __m256 p[2][2];
        for (int r = 0; r < 2; ++r) {
            __m256 left;
            LoadPairs8(planes[c] + r * stride, o, left, p[r][1]);
            // On the last column the pixel is the pair's right one, and its own neighbour.
            p[r][0] = _mm256_blendv_ps(left, p[r][1], onLastColumn);
        }
        // On the last row the pixel's row is the pair's lower one, and its own neighbour.
        for (int k = 0; k < 2; ++k) p[0][k] = _mm256_blendv_ps(p[0][k], p[1][k], onLastRow);
        const __m256 top = _mm256_fmadd_ps(ax, _mm256_sub_ps(p[0][1], p[0][0]), p[0][0]);
        const __m256 bottom = _mm256_fmadd_ps(ax, _mm256_sub_ps(p[1][1], p[1][0]), p[1][0]);
        v[c] = _mm256_fmadd_ps(ay, _mm256_sub_ps(bottom, top), top);
    }
}

// Sample for eight finite positions anywhere, to the bit: outside the image the planes continue
// by odd reflection, first about the column edge, then about the row edge (SampleOutside).
void SampleAny8(const float* const* planes, int stride, int w, int h, __m256 fx, __m256 fy,
                __m256* v) {
    const __m256 zero = _mm256_setzero_ps();
    const __m256 xmax = _mm256_set1_ps(static_cast<float>(w - 1));
    const __m256 ymax = _mm256_set1_ps(static_cast<float>(h - 1));
    const __m256 beforeX = _mm256_cmp_ps(fx, zero, _CMP_LT_OQ);
    const __m256 outX = _mm256_or_ps(beforeX, _mm256_cmp_ps(fx, xmax, _CMP_GT_OQ));
    const __m256 beforeY = _mm256_cmp_ps(fy, zero, _CMP_LT_OQ);
    const __m256 outY = _mm256_andnot_ps(
        outX, _mm256_or_ps(beforeY, _mm256_cmp_ps(fy, ymax, _CMP_GT_OQ)));
    const __m256 out = _mm256_or_ps(outX, outY);
    if (_mm256_movemask_ps(out) == 0) {
        SampleEdge8(planes, stride, w, h, fx, fy, v);
        return;
    }
    const __m256 two = _mm256_set1_ps(2.0f);
    const __m256 edgeX = _mm256_andnot_ps(beforeX, xmax);
    const __m256 edgeY = _mm256_andnot_ps(beforeY, ymax);
    const __m256 mirrorX =
        _mm256_min_ps(_mm256_max_ps(_mm256_fmsub_ps(two, edgeX, fx), zero), xmax);
    const __m256 mirrorY =
        _mm256_min_ps(_mm256_max_ps(_mm256_fmsub_ps(two, edgeY, fy), zero), ymax);
    // Lanes inside sample their own position twice.
    __m256 a[3], b[3];
    SampleAny8(planes, stride, w, h, _mm256_blendv_ps(fx, edgeX, outX),
               _mm256_blendv_ps(fy, edgeY, outY), a);
    SampleAny8(planes, stride, w, h, _mm256_blendv_ps(fx, mirrorX, outX),
               _mm256_blendv_ps(fy, mirrorY, outY), b);
    for (int c = 0; c < 3; ++c) v[c] = _mm256_blendv_ps(a[c], _mm256_fmsub_ps(two, a[c], b[c]), out);
}

// Flow8's sums of the taps from the interleaved band (FlowRowArgs::band), for eight positions
// inside the image along (tx, ty) from (px, py), whose outermost taps lie within [lowX, highX]
// x [lowY, highY]; false, with acc untouched, when some tap's pixels are not in the band. Per lane
// a pixel's pair in each row is two 16-byte loads, where Sample8 needs a pair load and shuffles per
// plane and row. The arithmetic is Sample8's lane by lane, so the sums are the same to the bit.
inline __attribute__((always_inline)) bool FlowBand8(const FlowRowArgs& g, int x, __m256 tx,
                                                     __m256 ty, __m256 px, __m256 py, __m256 lowX,
                                                     __m256 highX, __m256 lowY, __m256 highY,
                                                     __m256* acc) {
    const __m256i lastX = _mm256_set1_epi32(g.width - 2);
    const __m256i lastY = _mm256_set1_epi32(g.height - 2);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i x0lo = _mm256_min_epi32(_mm256_cvttps_epi32(lowX), lastX);
    const __m256i x1hi = _mm256_add_epi32(_mm256_min_epi32(_mm256_cvttps_epi32(highX), lastX), one);
    const __m256i y0lo = _mm256_min_epi32(_mm256_cvttps_epi32(lowY), lastY);
    const __m256i y1hi = _mm256_add_epi32(_mm256_min_epi32(_mm256_cvttps_epi32(highY), lastY), one);
    const __m256i outside =
        _mm256_or_si256(_mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(g.bandFirst), y0lo),
                                        _mm256_cmpgt_epi32(y1hi, _mm256_set1_epi32(g.bandLast))),
                        _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(g.bandLeft), x0lo),
                                        _mm256_cmpgt_epi32(x1hi, _mm256_set1_epi32(g.bandRight))));
    if (!_mm256_testz_si256(outside, outside)) {
        return false;
    }
    const __m256i leftColumn = _mm256_set1_epi32(g.bandLeft);
    const __m256i mask = _mm256_set1_epi32(g.bandMask);
    const __m256i stride = _mm256_set1_epi32(static_cast<int>(g.bandStride));
    const float* band = g.band;
    // First every tap's weights and offsets for the eight lanes, then lane by lane its sum
    // (one register per lane, and the offsets read as plain loads).
    constexpr int kSide = kFlowTaps - 1;
    alignas(32) float ax[kSide][8], ay[kSide][8];
    alignas(32) int32_t o0[kSide][8], o1[kSide][8];
    for (int k = 0; k < kSide; ++k) {
        const int tap = k < kFlowTaps / 2 ? k : k + 1;
        const __m256 o = _mm256_set1_ps(static_cast<float>(tap - kFlowTaps / 2));
        const __m256 fx = _mm256_fmadd_ps(o, tx, px), fy = _mm256_fmadd_ps(o, ty, py);
        const __m256i x0 = _mm256_min_epi32(_mm256_cvttps_epi32(fx), lastX);
        const __m256i y0 = _mm256_min_epi32(_mm256_cvttps_epi32(fy), lastY);
        _mm256_store_ps(ax[k], _mm256_sub_ps(fx, _mm256_cvtepi32_ps(x0)));
        _mm256_store_ps(ay[k], _mm256_sub_ps(fy, _mm256_cvtepi32_ps(y0)));
        const __m256i x4 = _mm256_slli_epi32(_mm256_sub_epi32(x0, leftColumn), 2);
        const __m256i r0 = _mm256_and_si256(y0, mask);
        const __m256i r1 = _mm256_and_si256(_mm256_add_epi32(y0, one), mask);
        _mm256_store_si256(reinterpret_cast<__m256i*>(o0[k]),
                           _mm256_add_epi32(_mm256_mullo_epi32(r0, stride), x4));
        _mm256_store_si256(reinterpret_cast<__m256i*>(o1[k]),
                           _mm256_add_epi32(_mm256_mullo_epi32(r1, stride), x4));
    }
    // Keeps the offsets in memory: extracting them from registers would take the shuffle
    // port, which this path is meant to spare.
    asm volatile("" ::: "memory");
    const float* centre =
        band + static_cast<std::ptrdiff_t>(g.y & g.bandMask) * g.bandStride + 4 * (x - g.bandLeft);
    __m128 sum[8];
    for (int i = 0; i < 8; ++i) {
        __m128 acc1 = _mm_setzero_ps();
        for (int k = 0; k < kSide; ++k) {
            if (k == kFlowTaps / 2) {
                acc1 =
                    _mm_fmadd_ps(_mm_broadcast_ss(g.taps + k), _mm_loadu_ps(centre + 4 * i), acc1);
            }
            const float* p0 = band + o0[k][i];
            const float* p1 = band + o1[k][i];
            // [the pixel in the upper row | in the lower row], and likewise its right neighbour.
            const __m256 left = _mm256_set_m128(_mm_loadu_ps(p1), _mm_loadu_ps(p0));
            const __m256 right = _mm256_set_m128(_mm_loadu_ps(p1 + 4), _mm_loadu_ps(p0 + 4));
            const __m256 rows =
                _mm256_fmadd_ps(_mm256_broadcast_ss(&ax[k][i]), _mm256_sub_ps(right, left), left);
            const __m128 top = _mm256_castps256_ps128(rows);
            const __m128 bottom = _mm256_extractf128_ps(rows, 1);
            const __m128 v =
                _mm_fmadd_ps(_mm_broadcast_ss(&ay[k][i]), _mm_sub_ps(bottom, top), top);
            const int tap = k < kFlowTaps / 2 ? k : k + 1;
            acc1 = _mm_fmadd_ps(_mm_broadcast_ss(g.taps + tap), v, acc1);
        }
        sum[i] = acc1;
    }
    // Lanes i and i + 4 share a register; then a 4 x 4 transpose in each half.
    const __m256 q0 = _mm256_set_m128(sum[4], sum[0]), q1 = _mm256_set_m128(sum[5], sum[1]);
    const __m256 q2 = _mm256_set_m128(sum[6], sum[2]), q3 = _mm256_set_m128(sum[7], sum[3]);
    const __m256 rg01 = _mm256_unpacklo_ps(q0, q1), b01 = _mm256_unpackhi_ps(q0, q1);
    const __m256 rg23 = _mm256_unpacklo_ps(q2, q3), b23 = _mm256_unpackhi_ps(q2, q3);
    acc[0] = _mm256_shuffle_ps(rg01, rg23, 0x44);
    acc[1] = _mm256_shuffle_ps(rg01, rg23, 0xee);
    acc[2] = _mm256_shuffle_ps(b01, b23, 0x44);
    return true;
}

// Eight pixels of FlowRow from x; false when the group needs the per-pixel path.
inline bool Flow8(const FlowRowArgs& g, std::ptrdiff_t row, int x) {
    const __m256 zero = _mm256_setzero_ps();
    const __m256 blend = _mm256_loadu_ps(g.blend + x);
    if (_mm256_movemask_ps(_mm256_cmp_ps(blend, zero, _CMP_EQ_OQ)) == 0xff) {
        for (int ch = 0; ch < 3; ++ch)
            _mm256_storeu_ps(g.out[ch] + x, _mm256_loadu_ps(g.planes[ch] + row + x));
        return true;
    }
    // Flat lanes have no step: they sample their own pixel, at blend 0.
    const __m256 tx = _mm256_loadu_ps(g.tx + x), ty = _mm256_loadu_ps(g.ty + x);
    const __m256 px = Lanes(static_cast<float>(x));
    const __m256 py = _mm256_set1_ps(static_cast<float>(g.y));
    const __m256 xmax = _mm256_set1_ps(static_cast<float>(g.width - 1));
    const __m256 ymax = _mm256_set1_ps(static_cast<float>(g.height - 1));
    // The outermost taps reach furthest: when they are inside, all are.
    const __m256 reach = _mm256_set1_ps(static_cast<float>(kFlowTaps / 2));
    const __m256 fx = _mm256_fmadd_ps(reach, tx, px), fy = _mm256_fmadd_ps(reach, ty, py);
    const __m256 bx = _mm256_fnmadd_ps(reach, tx, px), by = _mm256_fnmadd_ps(reach, ty, py);
    // Near the border the taps continue the image by reflection, as FlowPixel's do; only
    // non-finite positions are left to it.
    const bool border = !AllInside(fx, fy, xmax, ymax) || !AllInside(bx, by, xmax, ymax);
    if (border) {
        const __m256 big = _mm256_set1_ps(3.0e38f);
        auto finite = [&](__m256 a) {
            return _mm256_cmp_ps(_mm256_andnot_ps(_mm256_set1_ps(-0.0f), a), big, _CMP_LE_OQ);
        };
        const __m256 ok = _mm256_and_ps(_mm256_and_ps(finite(fx), finite(fy)),
                                        _mm256_and_ps(finite(bx), finite(by)));
        if (_mm256_movemask_ps(ok) != 0xff) {
            return false;
        }
    }
    __m256 acc[3] = {zero, zero, zero};
    const int stride = static_cast<int>(g.stride);
    const bool banded =
        !border && g.band != nullptr &&
        FlowBand8(g, x, tx, ty, px, py, _mm256_min_ps(fx, bx), _mm256_max_ps(fx, bx),
                  _mm256_min_ps(fy, by), _mm256_max_ps(fy, by), acc);
    for (int k = 0; k < kFlowTaps && !banded; ++k) {
        const __m256 o = _mm256_set1_ps(static_cast<float>(k - kFlowTaps / 2));
        __m256 v[3];
        if (k == kFlowTaps / 2) {
            for (int ch = 0; ch < 3; ++ch) v[ch] = _mm256_loadu_ps(g.planes[ch] + row + x);
        } else if (border) {
            SampleAny8(g.planes, stride, g.width, g.height, _mm256_fmadd_ps(o, tx, px),
                       _mm256_fmadd_ps(o, ty, py), v);
        } else {
            Sample8(g.planes, stride, g.width, g.height, _mm256_fmadd_ps(o, tx, px),
                    _mm256_fmadd_ps(o, ty, py), v);
        }
        const __m256 t = _mm256_set1_ps(g.taps[k]);
        for (int ch = 0; ch < 3; ++ch) acc[ch] = _mm256_fmadd_ps(t, v[ch], acc[ch]);
    }
    for (int ch = 0; ch < 3; ++ch) {
        const __m256 orig = _mm256_loadu_ps(g.planes[ch] + row + x);
        _mm256_storeu_ps(g.out[ch] + x,
                         _mm256_fmadd_ps(blend, _mm256_sub_ps(acc[ch], orig), orig));
    }
    return true;
}

// NormalCurvature for eight pixels from x.
inline __m256 NormalCurvature8(const float* const rows[3], int x, __m256 nx, __m256 ny) {
    const float* up = rows[0];
    const float* mid = rows[1];
    const float* down = rows[2];
    const __m256 two = _mm256_set1_ps(2.0f);
    const __m256 mc = _mm256_loadu_ps(mid + x);
    const __m256 lxx = _mm256_add_ps(_mm256_fnmadd_ps(two, mc, _mm256_loadu_ps(mid + x - 1)),
                                     _mm256_loadu_ps(mid + x + 1));
    const __m256 lyy = _mm256_add_ps(_mm256_fnmadd_ps(two, mc, _mm256_loadu_ps(up + x)),
                                     _mm256_loadu_ps(down + x));
    const __m256 lxy = _mm256_mul_ps(
        _mm256_set1_ps(0.25f),
        _mm256_add_ps(_mm256_sub_ps(_mm256_sub_ps(_mm256_loadu_ps(down + x + 1),
                                                  _mm256_loadu_ps(down + x - 1)),
                                    _mm256_loadu_ps(up + x + 1)),
                      _mm256_loadu_ps(up + x - 1)));
    const __m256 nxy = _mm256_mul_ps(nx, ny);
    return _mm256_fmadd_ps(
        _mm256_mul_ps(nx, nx), lxx,
        _mm256_fmadd_ps(_mm256_add_ps(nxy, nxy), lxy, _mm256_mul_ps(_mm256_mul_ps(ny, ny), lyy)));
}

inline __attribute__((always_inline)) __m256 Lum8(const __m256* v) {
    return _mm256_fmadd_ps(
        _mm256_set1_ps(kLumR), v[0],
        _mm256_fmadd_ps(_mm256_set1_ps(kLumG), v[1], _mm256_mul_ps(_mm256_set1_ps(kLumB), v[2])));
}

// Eight pixels of ShockRow from x; false when the group needs the per-pixel path.
inline bool Shock8(const ShockRowArgs& g, std::ptrdiff_t row, int x) {
    // The finer scale's stencil has no frame: the first and last columns are ShockPixel's.
    if (g.fine[0] != nullptr && (x == 0 || x + 8 >= g.width)) {
        return false;
    }
    const float* up = g.lum[0];
    const float* mid = g.lum[1];
    const float* down = g.lum[2];
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 ml = _mm256_loadu_ps(mid + x - 1), mr = _mm256_loadu_ps(mid + x + 1);
    const __m256 uc = _mm256_loadu_ps(up + x), dc = _mm256_loadu_ps(down + x);
    const __m256 gx = _mm256_mul_ps(half, _mm256_sub_ps(mr, ml));
    const __m256 gy = _mm256_mul_ps(half, _mm256_sub_ps(dc, uc));
    const __m256 g2 = _mm256_fmadd_ps(gx, gx, _mm256_mul_ps(gy, gy));
    const __m256 gs = _mm256_mul_ps(_mm256_sqrt_ps(g2), _mm256_set1_ps(g.re * 2.5f));
    const __m256 skip =
        _mm256_or_ps(_mm256_cmp_ps(g2, _mm256_set1_ps(1e-14f), _CMP_LT_OQ),
                     _mm256_cmp_ps(gs, _mm256_set1_ps(0.1f * g.knee), _CMP_LT_OQ));
    if (_mm256_movemask_ps(skip) == 0xff) {
        for (int ch = 0; ch < 3; ++ch)
            _mm256_storeu_ps(g.out[ch] + x, _mm256_loadu_ps(g.planes[ch] + row + x));
        return true;
    }
    // Skipped lanes get a zero normal (their own pixel), whose result the blend discards.
    const __m256 inv = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_sqrt_ps(g2));
    const __m256 nx = _mm256_andnot_ps(skip, _mm256_mul_ps(gx, inv));
    const __m256 ny = _mm256_andnot_ps(skip, _mm256_mul_ps(gy, inv));
    const __m256 lnn = NormalCurvature8(g.lum, x, nx, ny);
    const __m256 step = _mm256_set1_ps(g.shockStep);
    const __m256 sx = _mm256_mul_ps(nx, step), sy = _mm256_mul_ps(ny, step);
    const __m256 px = Lanes(static_cast<float>(x));
    const __m256 py = _mm256_set1_ps(static_cast<float>(g.y));
    const __m256 fx = _mm256_add_ps(px, sx), fy = _mm256_add_ps(py, sy);
    const __m256 bx = _mm256_sub_ps(px, sx), by = _mm256_sub_ps(py, sy);
    const __m256 xmax = _mm256_set1_ps(static_cast<float>(g.width - 1));
    const __m256 ymax = _mm256_set1_ps(static_cast<float>(g.height - 1));
    if (!AllInside(fx, fy, xmax, ymax) || !AllInside(bx, by, xmax, ymax)) {
        return false;
    }
    const __m256 zero = _mm256_setzero_ps();
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 curv = _mm256_mul_ps(lnn, _mm256_set1_ps(g.re * g.re));
    const __m256 ramp = _mm256_mul_ps(inv, _mm256_set1_ps(ShockRampInv(g)));
    const __m256 u = _mm256_blendv_ps(
        _mm256_mul_ps(curv, ramp), _mm256_div_ps(curv, _mm256_set1_ps(0.5f * g.knee)),
        _mm256_cmp_ps(_mm256_set1_ps(2.0f / g.knee), ramp, _CMP_LE_OQ));
    // The finer curvature against the edge, times the side (FineAgreement), weighed once the
    // step is known.
    __m256 fineSide = zero;
    if (g.fine[0] != nullptr) {
        __m256 fnn = NormalCurvature8(g.fine, x, nx, ny);
        if (g.nearOuter > 0.0f) {
            // NearShare (a skipped lane's distances may be NaN: max returns its second operand).
            const __m256 abs = _mm256_set1_ps(-0.0f);
            const __m256 scale = _mm256_mul_ps(_mm256_set1_ps(g.re * g.re), inv);
            const __m256 ltt = NormalCurvature8(g.lum, x, _mm256_xor_ps(ny, abs), nx);
            const __m256 d = _mm256_mul_ps(_mm256_andnot_ps(abs, lnn), scale);
            const __m256 e = _mm256_mul_ps(_mm256_andnot_ps(abs, ltt), scale);
            const __m256 w = _mm256_min_ps(
                _mm256_max_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(g.nearOuter), e),
                                            _mm256_set1_ps(1.0f / (g.nearOuter - g.nearInner))),
                              zero),
                one);
            const __m256 past = _mm256_min_ps(
                _mm256_max_ps(_mm256_div_ps(_mm256_sub_ps(d, e),
                                            _mm256_fmadd_ps(half, e,
                                                            _mm256_set1_ps(kShockNearSlack))),
                              zero),
                one);
            fnn = _mm256_mul_ps(fnn, _mm256_fnmadd_ps(w, _mm256_sub_ps(one, past), one));
        }
        const __m256 side = _mm256_min_ps(
            one, _mm256_max_ps(_mm256_set1_ps(-1.0f),
                               _mm256_mul_ps(u, _mm256_set1_ps(kShockFineSide))));
        fineSide = _mm256_mul_ps(fnn, side);
    }
    const int stride = static_cast<int>(g.stride);
    __m256 fwd[3], back[3];
    Sample8(g.planes, stride, g.width, g.height, fx, fy, fwd);
    Sample8(g.planes, stride, g.width, g.height, bx, by, back);
    const __m256 s = _mm256_div_ps(u, _mm256_sqrt_ps(_mm256_fmadd_ps(u, u, one)));
    const __m256 gs2 = _mm256_mul_ps(gs, gs);
    __m256 gate = _mm256_andnot_ps(
        skip, _mm256_div_ps(gs2, _mm256_add_ps(gs2, _mm256_set1_ps(g.knee * g.knee))));
    const __m256 hs = _mm256_mul_ps(half, s);
    __m256 here[3];
    for (int ch = 0; ch < 3; ++ch) here[ch] = _mm256_loadu_ps(g.planes[ch] + row + x);
    {
        // AcrossAgreement.
        const __m256 lh = g.own != nullptr ? _mm256_loadu_ps(g.own + x) : Lum8(here);
        const __m256 lf = Lum8(fwd), lb = Lum8(back);
        const __m256 d = _mm256_sub_ps(lf, lb);
        const __m256 sign = _mm256_and_ps(d, _mm256_set1_ps(-0.0f));
        const __m256 hd = _mm256_fmadd_ps(half, _mm256_andnot_ps(_mm256_set1_ps(-0.0f), d),
                                          _mm256_set1_ps(kShockAcrossKnee * g.knee));
        const __m256 a = _mm256_div_ps(
            _mm256_xor_ps(_mm256_fnmadd_ps(half, _mm256_add_ps(lf, lb), lh), sign), hd);
        const __m256 across = _mm256_mul_ps(a, _mm256_add_ps(a, s));
        const __m256 side =
            _mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(kShockAcrossTo), across),
                          _mm256_set1_ps(1.0f / (kShockAcrossTo - kShockAcrossFrom)));
        gate = _mm256_mul_ps(gate, _mm256_min_ps(one, _mm256_max_ps(zero, side)));
        // BeyondShare.
        const __m256 e = _mm256_max_ps(
            zero, _mm256_max_ps(_mm256_sub_ps(_mm256_min_ps(lf, lb), lh),
                                _mm256_sub_ps(lh, _mm256_max_ps(lf, lb))));
        const float k = kShockBeyondKnee * g.knee;
        const __m256 k2 = _mm256_set1_ps(k * k);
        gate = _mm256_mul_ps(gate, _mm256_div_ps(k2, _mm256_fmadd_ps(e, e, k2)));
        if (g.fine[0] != nullptr) {
            // FineAgreement over ShockFineSpan of ShockStepChange.
            const __m256 target =
                _mm256_fnmadd_ps(hs, d, _mm256_mul_ps(half, _mm256_add_ps(lf, lb)));
            const __m256 change =
                _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(target, Lum8(here)));
            const __m256 span = _mm256_fmadd_ps(_mm256_set1_ps(kShockFineOfStep), change,
                                                _mm256_set1_ps(kShockFineDisagree * g.knee));
            const __m256 agree = _mm256_min_ps(
                one,
                _mm256_max_ps(
                    zero, _mm256_fmadd_ps(fineSide,
                                          _mm256_div_ps(_mm256_set1_ps(g.re * g.re), span), one)));
            gate = _mm256_mul_ps(gate, agree);
        }
    }
    for (int ch = 0; ch < 3; ++ch) {
        const __m256 mean = _mm256_mul_ps(half, _mm256_add_ps(fwd[ch], back[ch]));
        const __m256 target = _mm256_fnmadd_ps(hs, _mm256_sub_ps(fwd[ch], back[ch]), mean);
        _mm256_storeu_ps(g.out[ch] + x,
                         _mm256_fmadd_ps(gate, _mm256_sub_ps(target, here[ch]), here[ch]));
    }
    return true;
}
#endif

#if defined(VG_KERNEL_AVX2)
// Gathers take 32-bit offsets; Sample8 needs two columns and two rows.
inline bool GatherReaches(std::ptrdiff_t stride, int width, int height) {
    return width >= 2 && height >= 2 &&
           stride * static_cast<std::ptrdiff_t>(height) < (std::ptrdiff_t{1} << 30);
}
#endif

#if defined(VG_KERNEL_AVX2)
void FlowFieldRow(const float* jxx, const float* jxy, const float* jyy, float tapStep,
                  float stepScale, float flatEnergy, float* tx, float* ty, float* blend, int n) {
    const __m256 zero = _mm256_setzero_ps();
    const float scale2 = stepScale * stepScale;
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m256 a = _mm256_loadu_ps(jxx + x), b = _mm256_loadu_ps(jxy + x),
                     c = _mm256_loadu_ps(jyy + x);
        const __m256 d = _mm256_sub_ps(a, c);
        const __m256 b2 = _mm256_add_ps(b, b);
        const __m256 root = _mm256_sqrt_ps(_mm256_fmadd_ps(d, d, _mm256_mul_ps(b2, b2)));
        const __m256 neg = _mm256_cmp_ps(d, zero, _CMP_LT_OQ);
        const __m256 vx = _mm256_blendv_ps(_mm256_add_ps(d, root), b2, neg);
        const __m256 vy = _mm256_blendv_ps(b2, _mm256_sub_ps(root, d), neg);
        const __m256 len = _mm256_sqrt_ps(_mm256_fmadd_ps(vx, vx, _mm256_mul_ps(vy, vy)));
        const __m256 trace = _mm256_add_ps(a, c);
        const __m256 coherence =
            _mm256_div_ps(root, _mm256_add_ps(trace, _mm256_set1_ps(1e-12f)));
        const __m256 energy = _mm256_mul_ps(trace, _mm256_set1_ps(scale2));
        const __m256 keep = _mm256_and_ps(
            _mm256_cmp_ps(len, _mm256_set1_ps(1e-12f), _CMP_GE_OQ),
            _mm256_and_ps(_mm256_cmp_ps(coherence, _mm256_set1_ps(0.05f), _CMP_GE_OQ),
                          _mm256_cmp_ps(energy, _mm256_set1_ps(flatEnergy), _CMP_GE_OQ)));
        const __m256 step = _mm256_div_ps(_mm256_set1_ps(tapStep), len);
        _mm256_storeu_ps(tx + x, _mm256_and_ps(keep, _mm256_mul_ps(_mm256_sub_ps(zero, vy), step)));
        _mm256_storeu_ps(ty + x, _mm256_and_ps(keep, _mm256_mul_ps(vx, step)));
        _mm256_storeu_ps(blend + x,
                         _mm256_and_ps(keep, _mm256_min_ps(_mm256_set1_ps(1.0f),
                                                           _mm256_mul_ps(coherence,
                                                                         _mm256_set1_ps(1.25f)))));
    }
    for (; x < n; ++x)
        FlowField(jxx[x], jxy[x], jyy[x], tapStep, stepScale, flatEnergy, tx[x], ty[x], blend[x]);
}
#else
void FlowFieldRow(const float* jxx, const float* jxy, const float* jyy, float tapStep,
                  float stepScale, float flatEnergy, float* tx, float* ty, float* blend, int n) {
    for (int x = 0; x < n; ++x)
        FlowField(jxx[x], jxy[x], jyy[x], tapStep, stepScale, flatEnergy, tx[x], ty[x], blend[x]);
}
#endif

void FlowRow(const FlowRowArgs& g) {
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(g.y) * g.stride;
    int x = std::max(0, g.x0);
    const int x1 = std::min(g.width, g.x1);
#if defined(VG_KERNEL_AVX2)
    FlowRowArgs banded = g;
    // The band's ring must hold the pixels themselves, and its offsets fit 32 bits.
    if (g.band != nullptr &&
        !(g.bandFirst <= g.y && g.y <= g.bandLast && g.bandLeft <= x && x1 - 1 <= g.bandRight &&
          (static_cast<std::ptrdiff_t>(g.bandMask) + 1) * g.bandStride <
              (std::ptrdiff_t{1} << 30))) {
        banded.band = nullptr;
    }
    for (; GatherReaches(g.stride, g.width, g.height) && x + 8 <= x1; x += 8) {
        if (!Flow8(banded, row, x)) {
            for (int i = 0; i < 8; ++i) FlowPixel(g, row, x + i);
        }
    }
#endif
    for (; x < x1; ++x) FlowPixel(g, row, x);
}

void ShockRow(const ShockRowArgs& g) {
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(g.y) * g.stride;
    int x = 0;
#if defined(VG_KERNEL_AVX2)
    for (; GatherReaches(g.stride, g.width, g.height) && x + 8 <= g.width; x += 8) {
        if (!Shock8(g, row, x)) {
            for (int i = 0; i < 8; ++i) ShockPixel(g, row, x + i);
        }
    }
#endif
    for (; x < g.width; ++x) ShockPixel(g, row, x);
}

// Pixel j of a grid slice (see GridSliceArgs).
inline void GridSliceOne(const GridSliceArgs& a, int j) {
    const float wy0 = a.oneRow ? 1.0f : 1.0f - a.fy, wy1 = a.oneRow ? 0.0f : a.fy;
    float z;
    if (a.zcol != nullptr) {
        const float* zz = a.z + a.zcol[j];
        z = zz[0] + a.zfrac[j] * (zz[1] - zz[0]);
    } else {
        z = a.z[j];
    }
    const float zf = z - a.zlo;
    const bool inside = zf >= 0.0f && zf < a.zlast;
    const float zc = inside ? zf : 0.0f;
    float b0 = inside ? 1.0f : 0.0f;
    const int iz = static_cast<int>(zc);
    const float b1 = (zc - static_cast<float>(iz)) * b0;
    b0 -= b1;
    const float* p = a.g0 + a.cx[j] * 2 + static_cast<std::ptrdiff_t>(iz) * a.sb;
    const float* p1 = a.oneRow ? p : p + a.sy;
    const float wx0 = 1.0f - a.fx[j], wx1 = a.fx[j];
    // Per row and bin, four floats: value and weight of column cx and of the next.
    const float w00 = wy0 * b0, w01 = wy0 * b1, w10 = wy1 * b0, w11 = wy1 * b1;
    float s[4];
    for (int k = 0; k < 4; ++k)
        s[k] = w00 * p[k] + w01 * p[a.sb + k] + w10 * p1[k] + w11 * p1[a.sb + k];
    const float v = s[0] * wx0 + s[2] * wx1, wt = s[1] * wx0 + s[3] * wx1;
    const float own = a.own[j];
    const float o = (v + a.eps * own) / (wt + a.eps);
    a.out[j] = o;
    if (a.energy != nullptr) {
        const float d = a.q * (own - o);
        a.energy[j] = (a.energyAdd ? a.energy[j] : 0.0f) + d * d;
    }
}

#if defined(VG_KERNEL_AVX2)
// Eight pixels at a time.
void GridSlice(const GridSliceArgs& a) {
    const __m256 one = _mm256_set1_ps(1.0f), zero = _mm256_setzero_ps();
    const __m256 wy0 = _mm256_set1_ps(a.oneRow ? 1.0f : 1.0f - a.fy);
    const __m256 wy1 = _mm256_set1_ps(a.oneRow ? 0.0f : a.fy);
    const int corners = a.oneRow ? 2 : 4;
    const __m256 zlo = _mm256_set1_ps(a.zlo), zlast = _mm256_set1_ps(a.zlast);
    const __m256 eps = _mm256_set1_ps(a.eps), q = _mm256_set1_ps(a.q);
    const __m256i sb = _mm256_set1_epi32(a.sb);
    // Row cy at bin iz and iz + 1, row cy + 1 likewise.
    const float* corner[4] = {a.g0, a.g0 + a.sb, a.g0 + a.sy, a.g0 + a.sy + a.sb};
    int j = 0;
    for (; j + 8 <= a.n; j += 8) {
        __m256 z;
        if (a.zcol != nullptr) {
            const __m256i col = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a.zcol + j));
            const int base = a.zcol[j];
            __m256 z0, z1;
            if (a.zcol[j + 7] - base <= 7 && base + 9 <= a.zn) {
                // Eight pixels between at most nine samples (an enlarged row): two loads and
                // a permutation each, far cheaper than gathers.
                const __m256i lane = _mm256_sub_epi32(col, _mm256_set1_epi32(base));
                z0 = _mm256_permutevar8x32_ps(_mm256_loadu_ps(a.z + base), lane);
                z1 = _mm256_permutevar8x32_ps(_mm256_loadu_ps(a.z + base + 1), lane);
            } else {
                z0 = _mm256_i32gather_ps(a.z, col, 4);
                z1 = _mm256_i32gather_ps(a.z + 1, col, 4);
            }
            z = _mm256_fmadd_ps(_mm256_loadu_ps(a.zfrac + j), _mm256_sub_ps(z1, z0), z0);
        } else {
            z = _mm256_loadu_ps(a.z + j);
        }
        const __m256 zf = _mm256_sub_ps(z, zlo);
        const __m256 inside = _mm256_and_ps(_mm256_cmp_ps(zf, zero, _CMP_GE_OQ),
                                            _mm256_cmp_ps(zf, zlast, _CMP_LT_OQ));
        const __m256 zc = _mm256_and_ps(inside, zf);
        __m256 b0 = _mm256_and_ps(inside, one);
        const __m256i iz = _mm256_cvttps_epi32(zc);
        const __m256 b1 = _mm256_mul_ps(_mm256_sub_ps(zc, _mm256_cvtepi32_ps(iz)), b0);
        b0 = _mm256_sub_ps(b0, b1);
        const __m256i cx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a.cx + j));
        const __m256i idx = _mm256_add_epi32(_mm256_mullo_epi32(iz, sb), _mm256_slli_epi32(cx, 1));
        const __m256 wx1 = _mm256_loadu_ps(a.fx + j), wx0 = _mm256_sub_ps(one, wx1);
        const __m256 w[4] = {_mm256_mul_ps(wy0, b0), _mm256_mul_ps(wy0, b1),
                             _mm256_mul_ps(wy1, b0), _mm256_mul_ps(wy1, b1)};
        // Value and weight of both cell columns are four floats in a row, per cell row and
        // bin: one 16-byte load per pixel and corner, then a transpose, costs fewer operations
        // than gathering the four values of eight pixels one by one.
        alignas(32) int off[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(off), idx);
        __m256 s[4];
        for (int c = 0; c < corners; ++c) {
            const float* p = corner[c];
            __m256 r[4];
            for (int i = 0; i < 4; ++i)
                r[i] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + off[i])),
                                            _mm_loadu_ps(p + off[i + 4]), 1);
            const __m256d t0 = _mm256_castps_pd(_mm256_unpacklo_ps(r[0], r[1]));
            const __m256d t1 = _mm256_castps_pd(_mm256_unpackhi_ps(r[0], r[1]));
            const __m256d t2 = _mm256_castps_pd(_mm256_unpacklo_ps(r[2], r[3]));
            const __m256d t3 = _mm256_castps_pd(_mm256_unpackhi_ps(r[2], r[3]));
            const __m256 col[4] = {_mm256_castpd_ps(_mm256_unpacklo_pd(t0, t2)),
                                   _mm256_castpd_ps(_mm256_unpackhi_pd(t0, t2)),
                                   _mm256_castpd_ps(_mm256_unpacklo_pd(t1, t3)),
                                   _mm256_castpd_ps(_mm256_unpackhi_pd(t1, t3))};
            for (int k = 0; k < 4; ++k)
                s[k] = c == 0 ? _mm256_mul_ps(w[0], col[k]) : _mm256_fmadd_ps(w[c], col[k], s[k]);
        }
        const __m256 v = _mm256_fmadd_ps(s[0], wx0, _mm256_mul_ps(s[2], wx1));
        const __m256 wt = _mm256_fmadd_ps(s[1], wx0, _mm256_mul_ps(s[3], wx1));
        const __m256 own = _mm256_loadu_ps(a.own + j);
        const __m256 o = _mm256_div_ps(_mm256_fmadd_ps(eps, own, v), _mm256_add_ps(wt, eps));
        _mm256_storeu_ps(a.out + j, o);
        if (a.energy != nullptr) {
            const __m256 d = _mm256_mul_ps(q, _mm256_sub_ps(own, o));
            __m256 e = _mm256_mul_ps(d, d);
            if (a.energyAdd)
                e = _mm256_add_ps(_mm256_loadu_ps(a.energy + j), e);
            _mm256_storeu_ps(a.energy + j, e);
        }
    }
    for (; j < a.n; ++j) GridSliceOne(a, j);
}
#else
void GridSlice(const GridSliceArgs& a) {
    for (int j = 0; j < a.n; ++j) GridSliceOne(a, j);
}
#endif

inline float Larger(float a, float b) {
    return a > b ? a : b;
}

void SteepenAmountRow(const SteepenAmountArgs& a) {
    const float *up = a.up, *mid = a.mid, *down = a.down;
    const float *su = a.sUp, *sm = a.sMid, *sd = a.sDown;
    int x = 0;
#if defined(VG_KERNEL_AVX2)
    // The scalar formula's operations in its order, so the same bits.
    const __m256 half = _mm256_set1_ps(0.5f), vre = _mm256_set1_ps(a.re),
                 k25 = _mm256_set1_ps(2.5f), vlow2 = _mm256_set1_ps(a.low2),
                 vstrength = _mm256_set1_ps(a.strength), vknee = _mm256_set1_ps(a.knee),
                 knee3 = _mm256_set1_ps(3.0f * a.knee), one = _mm256_set1_ps(1.0f),
                 vsigma = _mm256_set1_ps(a.minSigma), zero = _mm256_setzero_ps(),
                 vshare = _mm256_set1_ps(a.freeShare),
                 sign = _mm256_set1_ps(-0.0f),
                 vtiny = _mm256_set1_ps(1e-20f);
    auto absDiff = [&](__m256 p, __m256 q) { return _mm256_andnot_ps(sign, _mm256_sub_ps(p, q)); };
    for (; x + 8 <= a.n; x += 8) {
        const __m256 gx =
            _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(mid + x + 1), _mm256_loadu_ps(mid + x - 1)), half);
        const __m256 gy =
            _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(down + x), _mm256_loadu_ps(up + x)), half);
        const __m256 g = _mm256_sqrt_ps(_mm256_fmadd_ps(gx, gx, _mm256_mul_ps(gy, gy)));
        const __m256 hgt = _mm256_mul_ps(_mm256_mul_ps(g, vre), k25);
        __m256 kept = vstrength;
        if (a.low2 > 0.0f) {
            const __m256 h2 = _mm256_mul_ps(hgt, hgt);
            kept = _mm256_mul_ps(_mm256_div_ps(h2, _mm256_add_ps(h2, vlow2)), vstrength);
        }
        const __m256 boost = _mm256_add_ps(_mm256_div_ps(knee3, _mm256_add_ps(hgt, vknee)), one);
        const __m256 amount = _mm256_mul_ps(kept, boost);
        if (a.minSigma <= 0.0f) {
            _mm256_storeu_ps(a.amount + x, amount);
            continue;
        }
        const __m256 c = _mm256_loadu_ps(sm + x);
        const __m256 dx = _mm256_max_ps(absDiff(c, _mm256_loadu_ps(sm + x - 1)),
                                        absDiff(_mm256_loadu_ps(sm + x + 1), c));
        const __m256 dy = _mm256_max_ps(absDiff(c, _mm256_loadu_ps(su + x)),
                                        absDiff(_mm256_loadu_ps(sd + x), c));
        const __m256 wd =
            _mm256_mul_ps(vsigma, _mm256_sqrt_ps(_mm256_fmadd_ps(dx, dx, _mm256_mul_ps(dy, dy))));
        const __m256 room = _mm256_max_ps(_mm256_sub_ps(_mm256_mul_ps(g, vre), wd), zero);
        // R L / (R + L) with L = room / wd, in one division (R where wd is 0 and g is not).
        const __m256 spared = _mm256_mul_ps(amount, vshare), rest = _mm256_sub_ps(amount, spared);
        const __m256 held = _mm256_div_ps(_mm256_mul_ps(rest, room),
                                          _mm256_add_ps(_mm256_fmadd_ps(rest, wd, room), vtiny));
        _mm256_storeu_ps(a.amount + x, _mm256_add_ps(spared, held));
    }
#endif
    for (; x < a.n; ++x) {
        float dx = 0.0f, dy = 0.0f;
        if (a.minSigma > 0.0f) {
            const float c = sm[x];
            dx = Larger(std::fabs(c - sm[x - 1]), std::fabs(sm[x + 1] - c));
            dy = Larger(std::fabs(c - su[x]), std::fabs(sd[x] - c));
        }
        a.amount[x] = SteepenAmount(0.5f * (mid[x + 1] - mid[x - 1]), 0.5f * (down[x] - up[x]),
                                    a.re, a.low2, a.strength, a.knee, dx, dy, a.minSigma,
                                    a.freeShare);
    }
}

void TextureRow(const float* lum, const float* base, const float* remap, int entries, float tau,
                float gain, float* out, int n) {
    const float fe = static_cast<float>(entries);
    int x = 0;
#if defined(VG_KERNEL_AVX2)
    const __m256 sign = _mm256_set1_ps(-0.0f), zero = _mm256_setzero_ps();
    const __m256 vtau = _mm256_set1_ps(tau), ve = _mm256_set1_ps(fe), vgain = _mm256_set1_ps(gain);
    const __m256 all = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
    for (; x + 8 <= n; x += 8) {
        const __m256 d = _mm256_sub_ps(_mm256_loadu_ps(lum + x), _mm256_loadu_ps(base + x));
        const __m256 a = _mm256_andnot_ps(sign, d);
        const __m256 small = _mm256_cmp_ps(a, vtau, _CMP_LT_OQ);
        // Lanes at or above tau read entry 0 and discard it.
        const __m256 fi = _mm256_and_ps(small, _mm256_mul_ps(_mm256_div_ps(a, vtau), ve));
        const __m256i i = _mm256_cvttps_epi32(fi);
        const __m256 r0 = _mm256_mask_i32gather_ps(zero, remap, i, all, 4);
        const __m256 r1 = _mm256_mask_i32gather_ps(zero, remap + 1, i, all, 4);
        const __m256 rv =
            _mm256_fmadd_ps(_mm256_sub_ps(fi, _mm256_cvtepi32_ps(i)), _mm256_sub_ps(r1, r0), r0);
        const __m256 v = _mm256_blendv_ps(a, rv, small);
        const __m256 sv = _mm256_blendv_ps(v, _mm256_xor_ps(v, sign),
                                           _mm256_cmp_ps(d, zero, _CMP_LT_OQ));
        _mm256_storeu_ps(out + x, _mm256_mul_ps(vgain, sv));
    }
#endif
    for (; x < n; ++x) out[x] = TextureValue(lum[x], base[x], remap, fe, tau, gain);
}

// The sums are added in the same order in every lane and in the tail, so both builds and any
// split of a row give the same weights.
void BoostWeightRow(const float* __restrict sum, int taps, float scale, float* __restrict out,
                    int n) {
    int x = 0;
#if defined(VG_KERNEL_AVX2)
    const __m256 vscale = _mm256_set1_ps(scale), one = _mm256_set1_ps(1.0f);
    for (; x + 8 <= n; x += 8) {
        __m256 e = _mm256_loadu_ps(sum + x);
        for (int j = 1; j < taps; ++j) e = _mm256_add_ps(e, _mm256_loadu_ps(sum + x + j));
        const __m256 q2 = _mm256_mul_ps(e, vscale), q4 = _mm256_mul_ps(q2, q2);
        _mm256_storeu_ps(out + x, _mm256_div_ps(q4, _mm256_add_ps(one, q4)));
    }
#endif
    // Row by row, so that the baseline's loops vectorise.
    for (int i = x; i < n; ++i) out[i] = sum[i];
    for (int j = 1; j < taps; ++j)
        for (int i = x; i < n; ++i) out[i] += sum[i + j];
    for (int i = x; i < n; ++i) {
        const float q2 = out[i] * scale, q4 = q2 * q2;
        out[i] = q4 / (1.0f + q4);
    }
}

}  // namespace

const KernelSet& Kernels() {
    static const KernelSet set = {VG_KERNEL_NAME, FirV,         FirH,         IirRows8,   IirStepV,
                                  MinRow,         MaxRow,       MinMaxRows,   MinMaxWindow, GateRestore,
                                  SteepenRow,     Store8,       Store16,      FlowFieldRow, FlowRow,
                                  ShockRow,       GridSlice,    SteepenAmountRow, TextureRow,
                                  BoostWeightRow, HoldChromaRow, TangentSmoothRow};
    return set;
}

}  // namespace VG_KERNEL_NS
}  // namespace vg
