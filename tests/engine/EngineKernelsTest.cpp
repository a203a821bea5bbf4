// Each row kernel, in every instruction-set build the CPU can run, against a naive reference.
#include "Kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<const vg::KernelSet*> Sets() {
    std::vector<const vg::KernelSet*> sets = {&vg::BaselineKernels()};
    const vg::KernelSet* avx2 = vg::Avx2Kernels();
    if (avx2 != nullptr && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        sets.push_back(avx2);
    }
    return sets;
}

std::vector<float> Random(int n, uint32_t seed, float lo = 0.0f, float hi = 1.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(lo, hi);
    std::vector<float> v(static_cast<std::size_t>(n));
    for (float& x : v) x = u(rng);
    return v;
}

// Odd lengths exercise the scalar tails after the vector bodies.
const int kLengths[] = {1, 7, 8, 33, 1000};

}  // namespace

TEST(EngineKernels, DomainWeightsMatchTheExponential) {
    for (const vg::KernelSet* k : Sets()) {
        for (int nch : {1, 3}) {
            for (int n : kLengths) {
                std::vector<float> a[3], b[3];
                const float* pa[3];
                const float* pb[3];
                for (int c = 0; c < 3; ++c) {
                    a[c] = Random(n, 10 + c);
                    b[c] = Random(n, 20 + c);
                    pa[c] = a[c].data();
                    pb[c] = b[c].data();
                }
                const float s[3] = {40.0f, 25.0f, 7.0f};
                std::vector<float> w(static_cast<std::size_t>(n));
                k->dtWeights(pa, pb, nch, s, 1.41421356f, 0.1f, w.data(), n);
                for (int x = 0; x < n; ++x) {
                    double d = 1.41421356;
                    for (int c = 0; c < nch; ++c) d += s[c] * std::fabs(a[c][x] - b[c][x]);
                    // Weights are never driven below 2^-30, which keeps squarings normal.
                    const double want = std::max(std::exp(-0.1 * d), std::ldexp(1.0, -30));
                    ASSERT_NEAR(w[x], want, want * 2e-6) << k->name << " n " << n << " x " << x;
                }
            }
        }
    }
}

TEST(EngineKernels, RecursionStepsMatchTheNaiveRecurrence) {
    for (const vg::KernelSet* k : Sets()) {
        for (int n : kLengths) {
            for (int squarings : {0, 1, 2}) {
                const std::vector<float> w = Random(n, 3, 0.0f, 1.0f);
                std::vector<float> cur[3], prev[3], want[3];
                float* pc[3];
                const float* pp[3];
                for (int c = 0; c < 3; ++c) {
                    cur[c] = Random(n, 30 + c);
                    prev[c] = Random(n, 40 + c);
                    want[c] = cur[c];
                    for (int x = 0; x < n; ++x) {
                        const double a = std::pow(static_cast<double>(w[x]), 1 << squarings);
                        want[c][x] = static_cast<float>(want[c][x] + a * (prev[c][x] - want[c][x]));
                    }
                    pc[c] = cur[c].data();
                    pp[c] = prev[c].data();
                }
                k->dtStepV(pc, pp, 3, w.data(), squarings, n);
                for (int c = 0; c < 3; ++c)
                    for (int x = 0; x < n; ++x)
                        ASSERT_NEAR(cur[c][x], want[c][x], 2e-6f) << k->name << " sq " << squarings;
            }
        }
    }
}

TEST(EngineKernels, HorizontalSweepsMatchPerRowRecursionForAnyChainCount) {
    for (const vg::KernelSet* k : Sets()) {
        for (int chains : {1, 2, 3, 5, 12}) {
            for (int n : {1, 2, 9, 300}) {
                std::vector<std::vector<float>> rows, ws, want;
                for (int j = 0; j < chains; ++j) {
                    rows.push_back(Random(n, 50 + j));
                    ws.push_back(Random(n, 70 + j / 3, 0.2f, 0.99f));
                    std::vector<float> r = rows.back();
                    const std::vector<float>& wt = ws.back();
                    for (int x = 1; x < n; ++x) r[x] += wt[x] * wt[x] * (r[x - 1] - r[x]);
                    for (int x = n - 2; x >= 0; --x)
                        r[x] += wt[x + 1] * wt[x + 1] * (r[x + 1] - r[x]);
                    want.push_back(r);
                }
                std::vector<float*> pr;
                std::vector<const float*> pw;
                for (int j = 0; j < chains; ++j) {
                    pr.push_back(rows[j].data());
                    pw.push_back(ws[j].data());
                }
                k->dtSweepH(pr.data(), pw.data(), chains, 1, n);
                for (int j = 0; j < chains; ++j)
                    for (int x = 0; x < n; ++x)
                        ASSERT_NEAR(rows[j][x], want[j][x], 1e-5f)
                            << k->name << " chains " << chains << " n " << n;
            }
        }
    }
}

TEST(EngineKernels, FiltersAndMinMaxMatchDirectSums) {
    for (const vg::KernelSet* k : Sets()) {
        for (int n : kLengths) {
            const int ntaps = 7;
            const std::vector<float> taps = Random(ntaps, 5, -0.5f, 1.0f);
            std::vector<std::vector<float>> rows;
            std::vector<const float*> pr;
            for (int t = 0; t < ntaps; ++t) rows.push_back(Random(n, 80 + t));
            for (auto& r : rows) pr.push_back(r.data());
            std::vector<float> dst(static_cast<std::size_t>(n));
            k->firV(pr.data(), taps.data(), ntaps, dst.data(), n);
            for (int x = 0; x < n; ++x) {
                double want = 0;
                for (int t = 0; t < ntaps; ++t) want += taps[t] * rows[t][x];
                ASSERT_NEAR(dst[x], want, 1e-5) << k->name;
            }
            const std::vector<float> src = Random(n + ntaps - 1, 6);
            k->firH(src.data(), taps.data(), ntaps, dst.data(), n);
            for (int x = 0; x < n; ++x) {
                double want = 0;
                for (int t = 0; t < ntaps; ++t) want += taps[t] * src[x + t];
                ASSERT_NEAR(dst[x], want, 1e-5) << k->name;
            }
            std::vector<float> cur = Random(n, 7), p0 = Random(n, 8), p1 = Random(n, 9),
                               p2 = Random(n, 10);
            const float coef[4] = {0.4f, 0.9f, -0.5f, 0.2f};
            std::vector<float> want = cur;
            for (int x = 0; x < n; ++x)
                want[x] = 0.4f * cur[x] + 0.9f * p0[x] - 0.5f * p1[x] + 0.2f * p2[x];
            k->iirStepV(cur.data(), p0.data(), p1.data(), p2.data(), coef, n);
            for (int x = 0; x < n; ++x) ASSERT_NEAR(cur[x], want[x], 1e-6f) << k->name;
            const std::vector<float> orig = Random(n, 11), other = Random(n, 12);
            std::vector<float> lo = orig, hi = orig;
            k->minRow(lo.data(), other.data(), n);
            k->maxRow(hi.data(), other.data(), n);
            for (int x = 0; x < n; ++x) {
                ASSERT_EQ(lo[x], std::min(orig[x], other[x]));
                ASSERT_EQ(hi[x], std::max(orig[x], other[x]));
            }
        }
    }
}
