// Row kernels of the engine. Each exists in a baseline x86-64 build and an AVX2+FMA build;
// GetKernels picks one at run time. The pipeline calls them through this table only.
#pragma once

namespace vg {

struct KernelSet {
    const char* name;
    // Domain-transform link weights between paired samples a and b of nch channels:
    // w[x] = exp(-k * (base + sum_c s[c] * |a_c[x] - b_c[x]|)), never below about 2^-30.
    void (*dtWeights)(const float* const* a, const float* const* b, int nch, const float* s,
                      float base, float k, float* w, int n);
    // One vertical recursion step of nch channels: cur += w^(2^squarings) * (prev - cur).
    void (*dtStepV)(float* const* cur, const float* const* prev, int nch, const float* w,
                    int squarings, int n);
    // The forward and backward horizontal recursion of `chains` rows at once, each with its
    // own weights; w[j][x] links x-1 and x of row[j].
    void (*dtSweepH)(float* const* row, const float* const* w, int chains, int squarings, int n);
    // dst[x] = sum_k taps[k] * rows[k][x].
    void (*firV)(const float* const* rows, const float* taps, int ntaps, float* dst, int n);
    // dst[x] = sum_k taps[k] * src[x + k], where src holds ntaps - 1 extra samples.
    void (*firH)(const float* src, const float* taps, int ntaps, float* dst, int n);
    // One vertical recursive-Gaussian step: cur = b * cur + c0 * p0 + c1 * p1 + c2 * p2.
    void (*iirStepV)(float* cur, const float* p0, const float* p1, const float* p2,
                     const float* coef, int n);
    // dst = min or max of dst and src.
    void (*minRow)(float* dst, const float* src, int n);
    void (*maxRow)(float* dst, const float* src, int n);
};

const KernelSet& BaselineKernels();
// Null when the build has no AVX2 kernels or the CPU cannot run them (AVX2 and FMA).
const KernelSet* Avx2Kernels();
// The AVX2 set when the CPU has AVX2 and FMA, the baseline otherwise.
const KernelSet& GetKernels();

// Fast exp2 for y <= 0, limited to 2^-30 below; relative error below 2e-7. Shared by both
// kernel builds. Written so that loops calling it vectorise (with -fno-trapping-math).
inline float FastExp2(float y) {
    y = y > -30.0f ? y : -30.0f;
    const int n = static_cast<int>(y - 0.5f);
    const float f = (y - static_cast<float>(n)) * 0.69314718f;
    float p = 1.0f / 720.0f;
    p = p * f + 1.0f / 120.0f;
    p = p * f + 1.0f / 24.0f;
    p = p * f + 1.0f / 6.0f;
    p = p * f + 0.5f;
    p = p * f + 1.0f;
    p = p * f + 1.0f;
    const unsigned bits = static_cast<unsigned>(n + 127) << 23;
    return p * __builtin_bit_cast(float, bits);
}

}  // namespace vg
