// Each row kernel, in every instruction-set build the CPU can run, against a naive reference.
#include "Kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
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

// The chroma (a channel less the luminance) of steepened rows held within that of the 3 x 3
// unsharp pixels about each: where it left them, the three are held to them after one common
// shift, at the same luminance, so the hue does not turn; elsewhere nothing changes. Steepened
// rows are the unsharp ones moved by up to 0.1, so that both cases are frequent; columns -1 and
// n are read only where the row does not end the image (odd n).
TEST(EngineKernels, HoldChromaKeepsTheNeighboursColours) {
    auto lum = [](const double* v) { return 0.299 * v[0] + 0.587 * v[1] + 0.114 * v[2]; };
    for (const vg::KernelSet* k : Sets()) {
        for (int n : kLengths) {
            const bool ends = n % 2 == 1;
            std::vector<float> rows[3][3], out[3], lo[3], hi[3];
            std::vector<uint8_t> flags(static_cast<std::size_t>(n));
            vg::HoldChromaArgs hc;
            for (int c = 0; c < 3; ++c) {
                for (int j = 0; j < 3; ++j) {
                    rows[c][j] = Random(n + 2, 160 + 3 * c + j);
                    hc.rows[c][j] = rows[c][j].data() + 1;
                }
                const std::vector<float> move = Random(n, 170 + c, -0.1f, 0.1f);
                out[c].resize(static_cast<std::size_t>(n));
                for (int x = 0; x < n; ++x) out[c][x] = rows[c][1][x + 1] + move[x];
                lo[c].resize(static_cast<std::size_t>(n) + 2);
                hi[c].resize(static_cast<std::size_t>(n) + 2);
                hc.lo[c] = lo[c].data();
                hc.hi[c] = hi[c].data();
            }
            const std::vector<float> before[3] = {out[0], out[1], out[2]};
            for (int c = 0; c < 3; ++c) hc.out[c] = out[c].data();
            hc.flags = flags.data();
            hc.n = n;
            hc.first = hc.last = ends;
            k->holdChroma(hc);
            int held = 0;
            for (int x = 0; x < n; ++x) {
                double v[3], o[3], least[3], most[3];
                for (int c = 0; c < 3; ++c) {
                    v[c] = before[c][x];
                    o[c] = out[c][x];
                    least[c] = 1e9;
                    most[c] = -1e9;
                }
                for (int j = x - 1; j <= x + 1; ++j)
                    for (int i = 0; i < 3; ++i) {
                        const int jc = (ends ? std::clamp(j, 0, n - 1) : j) + 1;
                        const double p[3] = {rows[0][i][jc], rows[1][i][jc], rows[2][i][jc]};
                        for (int c = 0; c < 3; ++c) {
                            least[c] = std::min(least[c], p[c] - lum(p));
                            most[c] = std::max(most[c], p[c] - lum(p));
                        }
                    }
                ASSERT_NEAR(lum(o), lum(v), 1e-5) << k->name << " n " << n << " x " << x;
                // Each chroma within its bounds; those not at a bound moved by one common shift.
                bool inside = true;
                double shift = 0.0;
                int free = 0;
                for (int c = 0; c < 3; ++c) {
                    const double q = v[c] - lum(v), h = o[c] - lum(o);
                    ASSERT_GE(h, least[c] - 1e-5) << k->name << " n " << n << " x " << x;
                    ASSERT_LE(h, most[c] + 1e-5) << k->name << " n " << n << " x " << x;
                    inside = inside && q > least[c] + 1e-6 && q < most[c] - 1e-6;
                    if (h > least[c] + 1e-5 && h < most[c] - 1e-5) {
                        if (free++ == 0)
                            shift = q - h;
                        ASSERT_NEAR(q - h, shift, 1e-4) << k->name << " n " << n << " x " << x;
                    }
                }
                if (inside) {
                    for (int c = 0; c < 3; ++c) ASSERT_EQ(out[c][x], before[c][x]);
                }
                held += !inside;
            }
            if (n == 1000) {
                EXPECT_GT(held, 100) << k->name;
                EXPECT_LT(held, 900) << k->name;
            }
        }
    }
}

TEST(EngineKernels, SteepenAndStoreMatchPlainFormulas) {
    for (const vg::KernelSet* k : Sets()) {
        for (int n : kLengths) {
            const std::vector<float> row = Random(n, 130), blur = Random(n, 131),
                                     amount = Random(n, 132, 0.0f, 3.0f),
                                     lo = Random(n, 133, 0.0f, 0.4f), hi = Random(n, 134, 0.6f, 1.0f);
            std::vector<float> out(static_cast<std::size_t>(n));
            k->steepenRow(row.data(), blur.data(), amount.data(), lo.data(), hi.data(), out.data(), n);
            for (int x = 0; x < n; ++x) {
                const double v = row[x] + amount[x] * (row[x] - blur[x]);
                ASSERT_NEAR(out[x], std::min<double>(std::max<double>(v, lo[x]), hi[x]), 1e-6);
            }
            // The amount from the luminance rows (mid read at -1 and n), gradients about the
            // knee, with and without a floor for weak steps; without the limit, and with it the
            // unsharp rows' one-pixel differences from none (not held) to many times the
            // blurred gradient (held to the free quarter).
            const std::vector<float> up = Random(n, 135, 0.0f, 0.02f),
                                     mid = Random(n + 2, 136, 0.0f, 0.02f),
                                     down = Random(n, 137, 0.0f, 0.02f);
            for (float sharpness : {0.0f, 0.05f, 0.5f}) {
                for (float minSigma : {0.0f, 0.6f}) {
                    const std::vector<float> su = Random(n, 138, 0.0f, sharpness),
                                             sm = Random(n + 2, 139, 0.0f, sharpness),
                                             sd = Random(n, 140, 0.0f, sharpness);
                    for (float low2 : {0.0f, 0.0025f}) {
                        std::vector<float> am(static_cast<std::size_t>(n));
                        vg::SteepenAmountArgs a;
                        a.up = up.data();
                        a.mid = mid.data() + 1;
                        a.down = down.data();
                        a.sUp = su.data();
                        a.sMid = sm.data() + 1;
                        a.sDown = sd.data();
                        a.re = 4.0f;
                        a.low2 = low2;
                        a.strength = 1.5f;
                        a.knee = 0.025f;
                        a.minSigma = minSigma;
                    a.freeShare = 0.25f;
                        a.amount = am.data();
                        a.n = n;
                        k->steepenAmount(a);
                        for (int x = 0; x < n; ++x) {
                            const double gx = 0.5 * (mid[x + 2] - mid[x]),
                                         gy = 0.5 * (down[x] - up[x]);
                            const double g = std::sqrt(gx * gx + gy * gy), h = g * 4.0 * 2.5;
                            const double kept = low2 > 0 ? h * h / (h * h + low2) : 1.0;
                            double want = kept * 1.5 * (1 + 3 * 0.025 / (0.025 + h));
                            const double dx = std::max(std::fabs(sm[x + 1] - sm[x]),
                                                       std::fabs(sm[x + 2] - sm[x + 1]));
                            const double dy = std::max(std::fabs(sm[x + 1] - su[x]),
                                                       std::fabs(sd[x] - sm[x + 1]));
                            const double wd = minSigma * std::sqrt(dx * dx + dy * dy);
                            if (wd > 0) {
                                const double lim = std::max(0.0, g * 4.0 - wd) / wd;
                                const double rest = 0.75 * want;
                            want = 0.25 * want + rest * lim / (rest + lim);
                            }
                            ASSERT_NEAR(am[x], want, 2e-6 * (1 + want))
                                << k->name << " n " << n << " x " << x << " low2 " << low2
                                << " sharpness " << sharpness << " minSigma " << minSigma;
                        }
                    }
                }
            }
            // Values beyond 0..1 (texture added to an edge) clamp; 1.0 with the largest dither
            // stays 255; the dither decides only between the two nearest levels.
            std::vector<float> rgb[3] = {Random(n, 140, -0.2f, 1.2f), Random(n, 141), Random(n, 142)};
            const float* pr[3] = {rgb[0].data(), rgb[1].data(), rgb[2].data()};
            if (n > 1) rgb[1][0] = 1.0f;
            const std::vector<float> tex = Random(n, 143, -0.05f, 0.05f);
            std::vector<float> dither = Random(n, 144, 0.0f, 0.999f);
            if (n > 1) dither[0] = 0.99999994f;
            std::vector<uint8_t> b8(3 * static_cast<std::size_t>(n)), b16(6 * static_cast<std::size_t>(n));
            k->store8(pr, nullptr, dither.data(), b8.data(), n);
            k->store16(pr, tex.data(), b16.data(), n);
            for (int x = 0; x < n; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const double u = std::min(1.0, std::max(0.0, double(rgb[c][x])));
                    ASSERT_EQ(b8[3 * x + c], static_cast<int>(std::floor(u * 255 + dither[x])))
                        << k->name << " x " << x << " c " << c;
                    const double t = std::min(1.0, std::max(0.0, double(rgb[c][x]) + tex[x]));
                    uint16_t q;
                    std::memcpy(&q, &b16[6 * x + 2 * c], 2);
                    ASSERT_NEAR(q, t * 32768, 0.51) << k->name;
                }
            }
        }
    }
}

// The gate's restore against a direct sum in double precision, in every build: rows as narrow
// as one pixel and spans that start or end on either border (clamped columns) or inside,
// with every pixel, none or a mix above the gain that counts, over the engine's eight lines and
// the pixel's own value (line 8), each pixel taking one line or a weighted mix of two, moved
// towards the pixel where it is a speck off every line or far off every line.
TEST(EngineKernels, GateRestoreMatchesTheLineAverage) {
    const int dirs[9][2] = {{1, 0},  {2, 1},  {1, 1},  {1, 2}, {0, 1},
                            {-1, 2}, {-1, 1}, {-2, 1}, {0, 0}};
    float taps[9][5];
    const int R = vg::kMaxGateRestore, H = 4 * R + 1;
    for (const vg::KernelSet* k : Sets()) {
        // width, x0, n, share of pixels restored
        for (auto [w, x0, n, on] : {std::tuple{1, 0, 1, 0.5f}, {9, 0, 9, 1.0f}, {40, 0, 40, 0.5f},
                                    {40, 3, 30, 1.0f}, {40, 3, 30, 0.0f}, {64, 17, 47, 0.7f},
                                    {1000, 0, 1000, 0.3f}, {1000, 500, 500, 1.0f}}) {
            std::vector<float> in[3], base[3];
            vg::GateRestoreArgs a{};
            for (int c = 0; c < 3; ++c) {
                in[c] = Random(w * H, 200 + c);
                base[c] = Random(n, 210 + c);
                for (int j = 0; j < H; ++j) a.rows[c][j] = in[c].data() + j * w;
                a.base[c] = base[c].data();
            }
            std::vector<float> g = Random(n, 220, 1.0f, 5.0f), best = Random(n, 221, 0.0f, 9.0f);
            std::vector<float> speck = Random(n, 224, -1.0f, 1.5f);
            const std::vector<float> off = Random(n, 222), mix = Random(n, 223, -0.5f, 0.5f);
            // Each pixel's lines: one, or two mixed (a second one on half the pixels).
            std::vector<float> weight[9];
            for (int d = 0; d < 9; ++d) weight[d].assign(n, 0.0f);
            for (int x = 0; x < n; ++x) {
                if (off[x] >= on) g[x] = 0.01f;  // gain below 1/64
                best[x] = std::floor(std::min(best[x], 8.0f));
                speck[x] = std::clamp(speck[x], 0.0f, 1.0f);
                const int d = static_cast<int>(best[x]), e = (d + 1 + x % 3) % 9;
                const float m = std::max(0.0f, mix[x]);
                weight[d][x] = 1.0f - m;
                weight[e][x] = m;
            }
            for (int d = 0; d < 8; ++d) {
                a.dx[d] = dirs[d][0];
                a.dy[d] = dirs[d][1];
                a.k[d] = 2 - d % 2;
                const float sum = (2 * a.k[d] + 1) * (1.0f + a.k[d] * (d + 1));
                for (int j = 0; j <= 2 * a.k[d]; ++j) taps[d][j] = (1.0f + j * (d + 1)) / sum;
                a.taps[d] = taps[d] + a.k[d];
                a.apart[d] = 1.0f / (1.0f - taps[d][a.k[d]]);
            }
            taps[8][0] = 1.0f;
            a.taps[8] = taps[8];
            a.q[0] = 3.0f;
            a.q[1] = 4.0f;
            a.q[2] = 2.5f;
            a.own0 = 1.0f;
            a.ownScale = 0.5f;
            a.alone0 = 6.0f;
            a.aloneScale = 0.1f;
            a.g = g.data();
            for (int d = 0; d < 9; ++d) a.w[d] = weight[d].data();
            a.speck = speck.data();
            a.t2 = 2.0f;
            a.least = 1.0f / 64;
            a.x0 = x0;
            a.width = w;
            a.n = n;
            const std::vector<float> before[3] = {base[0], base[1], base[2]};
            k->gateRestore(a);
            for (int x = 0; x < n; ++x) {
                const double gain = g[x] / (g[x] + 2.0);
                auto lineAverage = [&](int d, int c, bool middle = true) {
                    double v = 0;
                    for (int j = -a.k[d]; j <= a.k[d]; ++j)
                        v += (j != 0 || middle ? a.taps[d][j] : 0.0) *
                             in[c][(2 * R + j * dirs[d][1]) * w +
                                   std::clamp(x0 + x + j * dirs[d][0], 0, w - 1)];
                    return v;
                };
                auto own = [&](int c) { return static_cast<double>(in[c][2 * R * w + x0 + x]); };
                double d2 = 1e30;
                for (int e = 0; e < 8; ++e) {
                    double de = 0;
                    for (int c = 0; c < 3; ++c) {
                        const double qd = a.q[c] * (own(c) - lineAverage(e, c, false) * a.apart[e]);
                        de += qd * qd;
                    }
                    d2 = std::min(d2, de);
                }
                const double toOwn =
                    std::max(speck[x] * std::clamp((d2 - a.own0) * a.ownScale, 0.0, 1.0),
                             std::clamp((d2 - a.alone0) * a.aloneScale, 0.0, 1.0));
                for (int c = 0; c < 3; ++c) {
                    double line = 0;
                    for (int d = 0; d < 9; ++d) line += weight[d][x] * lineAverage(d, c);
                    const double v = line + toOwn * (own(c) - line);
                    const double want = gain < 1.0 / 64 ? before[c][x] : before[c][x] + gain * (v - before[c][x]);
                    ASSERT_NEAR(base[c][x], want, 2e-6) << k->name << " w " << w << " x " << x << " c " << c;
                }
            }
        }
    }
}

// The accent kernels against each other across builds, and on a ramp in every direction: a
// ramp has no edge to move, so both leave it as it is up to the border.
TEST(EngineKernels, AccentRowsLeaveRampsAloneUpToTheBorder) {
    const int w = 23, h = 17;
    for (const vg::KernelSet* k : Sets()) {
        for (auto [ax, ay] : {std::pair{0.02f, 0.0f}, {0.0f, 0.03f}, {0.015f, -0.02f}}) {
            std::vector<float> plane[3], out[3], lum((w + 2) * (h + 2)), tx(w), ty(w), blend(w);
            for (int c = 0; c < 3; ++c) {
                plane[c].resize(w * h);
                out[c].assign(w, -1.0f);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) plane[c][y * w + x] = 0.3f + c * 0.1f + ax * x + ay * y;
            }
            for (int y = -1; y <= h; ++y)
                for (int x = -1; x <= w; ++x) lum[(y + 1) * (w + 2) + x + 1] = 0.4f + ax * x + ay * y;
            for (int x = 0; x < w; ++x)
                vg::FlowField(ax * ax, ax * ay, ay * ay, 1.2f, 3.0f, 1e-12f, tx[x], ty[x], blend[x]);
            float taps[vg::kFlowTaps];
            for (float& t : taps) t = 1.0f / vg::kFlowTaps;
            for (int y : {0, h / 2, h - 1}) {
                vg::FlowRowArgs f{};
                vg::ShockRowArgs s{};
                for (int c = 0; c < 3; ++c) {
                    f.planes[c] = s.planes[c] = plane[c].data();
                    f.out[c] = s.out[c] = out[c].data();
                }
                f.stride = s.stride = w;
                f.width = s.width = w;
                f.height = s.height = h;
                f.y = s.y = y;
                f.tx = tx.data();
                f.ty = ty.data();
                f.blend = blend.data();
                f.taps = taps;
                f.x1 = w;
                for (int j = 0; j < 3; ++j) s.lum[j] = lum.data() + (y + j) * (w + 2) + 1;
                s.re = 1.5f;
                s.knee = 0.025f;
                s.shockStep = 1.1f;
                for (auto run : {0, 1}) {
                    if (run == 0) k->flowRow(f); else k->shockRow(s);
                    for (int c = 0; c < 3; ++c)
                        for (int x = 0; x < w; ++x)
                            ASSERT_NEAR(out[c][x], plane[c][y * w + x], 2e-5)
                                << k->name << (run ? " shock" : " flow") << " x " << x << " y " << y;
                }
            }
        }
    }
}

// The rows' recursive Gaussian against a direct recursion in double precision, over lengths
// with and without a tail after the blocks of eight, with a row given twice (short groups
// repeat their last row).
TEST(EngineKernels, RecursiveRowsMatchDirectRecursion) {
    const float coef[4] = {0.3f, 1.2f, -0.7f, 0.2f};
    for (const vg::KernelSet* k : Sets()) {
        for (int n : {1, 7, 8, 9, 33, 1000}) {
            std::vector<std::vector<float>> rows;
            for (int j = 0; j < 7; ++j) rows.push_back(Random(n, 60 + j));
            std::vector<std::vector<double>> want;
            for (const auto& row : rows) {
                std::vector<double> v(row.begin(), row.end());
                for (int pass = 0; pass < 2; ++pass) {
                    const int from = pass == 0 ? 0 : n - 1, step = pass == 0 ? 1 : -1;
                    double p0 = v[from], p1 = p0, p2 = p0;
                    for (int x = from; x >= 0 && x < n; x += step) {
                        const double r = coef[1] * p0 + coef[2] * p1 + coef[3] * p2 + coef[0] * v[x];
                        p2 = p1;
                        p1 = p0;
                        p0 = v[x] = r;
                    }
                }
                want.push_back(v);
            }
            float* r[8];
            for (int j = 0; j < 8; ++j) r[j] = rows[std::min(j, 6)].data();
            k->iirRows8(r, coef, n);
            for (int j = 0; j < 7; ++j)
                for (int x = 0; x < n; ++x)
                    ASSERT_NEAR(rows[j][x], want[j][x], 1e-5) << k->name << " n " << n << " row " << j << " x " << x;
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
            // The extremes over 1 to 17 rows, and over windows of radius 0 to 8 clipped to the
            // row (wider than short rows).
            for (int m : {1, 2, 9, 17}) {
                std::vector<std::vector<float>> rs;
                std::vector<const float*> rp;
                for (int t = 0; t < m; ++t) rs.push_back(Random(n, 40 + t));
                for (auto& r : rs) rp.push_back(r.data());
                std::vector<float> mn(static_cast<std::size_t>(n)), mx(static_cast<std::size_t>(n));
                k->minMaxRows(rp.data(), m, mn.data(), mx.data(), n);
                for (int x = 0; x < n; ++x) {
                    float a = rs[0][x], b = rs[0][x];
                    for (int t = 1; t < m; ++t) {
                        a = std::min(a, rs[t][x]);
                        b = std::max(b, rs[t][x]);
                    }
                    ASSERT_EQ(mn[x], a) << k->name << " rows " << m << " x " << x;
                    ASSERT_EQ(mx[x], b) << k->name << " rows " << m << " x " << x;
                }
            }
            for (int r : {0, 1, 4, 8}) {
                std::vector<float> mn(static_cast<std::size_t>(n)), mx(static_cast<std::size_t>(n));
                k->minMaxWindow(orig.data(), other.data(), r, mn.data(), mx.data(), n);
                for (int x = 0; x < n; ++x) {
                    float a = orig[x], b = other[x];
                    for (int j = std::max(0, x - r); j <= std::min(n - 1, x + r); ++j) {
                        a = std::min(a, orig[j]);
                        b = std::max(b, other[j]);
                    }
                    ASSERT_EQ(mn[x], a) << k->name << " radius " << r << " x " << x;
                    ASSERT_EQ(mx[x], b) << k->name << " radius " << r << " x " << x;
                }
            }
        }
    }
}

// The vector accent kernels against the baseline on a picture with edges in every direction, a
// flat patch and contours that run off the image, for every row, so that the gathered groups,
// the groups near the border that reflect their samples and the tails are all compared: the flow field from
// the structure tensor, the flow and shock rows, the shock row also with a finer luminance
// whose ripples curve against the edges in places (pixels it keeps).
TEST(EngineKernels, VectorAccentRowsMatchBaseline) {
    const vg::KernelSet* avx2 = vg::Avx2Kernels();
    if (avx2 == nullptr) GTEST_SKIP() << "no AVX2 kernels on this CPU";
    const vg::KernelSet& base = vg::BaselineKernels();
    for (auto [w, h, re] : {std::tuple{61, 29, 1.5f}, {45, 40, 4.0f}, {9, 5, 0.7f}}) {
        std::vector<float> plane[3], lum((w + 2) * (h + 2)), fine(w * h), jxx(w * h), jxy(w * h),
            jyy(w * h), field[2][3];
        auto at = [&](float x, float y) {
            if (x < w / 4 && y < h / 4) return 0.5f;  // flat: both kernels copy
            const float ring = std::sqrt((x - w * 0.6f) * (x - w * 0.6f) + (y - h * 0.4f) * (y - h * 0.4f));
            return 0.5f + 0.4f * std::tanh((ring - h * 0.3f) / re) + 0.05f * std::sin(0.7f * x + 0.3f * y);
        };
        for (int c = 0; c < 3; ++c) {
            plane[c].resize(w * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) plane[c][y * w + x] = (0.6f + 0.2f * c) * at(x, y);
        }
        for (int y = -1; y <= h; ++y)
            for (int x = -1; x <= w; ++x) lum[(y + 1) * (w + 2) + x + 1] = at(x, y);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                fine[y * w + x] = at(x, y) + 0.1f * std::sin(2.1f * x) * std::cos(1.7f * y);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const float gx = at(x + 0.5f, y) - at(x - 0.5f, y), gy = at(x, y + 0.5f) - at(x, y - 0.5f);
                jxx[y * w + x] = gx * gx + 1e-5f;
                jxy[y * w + x] = gx * gy;
                jyy[y * w + x] = gy * gy;
            }
        for (int set = 0; set < 2; ++set) {
            const vg::KernelSet& k = set == 0 ? base : *avx2;
            for (auto& f : field[set]) f.assign(w * h, -1.0f);
            for (int y = 0; y < h; ++y)
                k.flowField(&jxx[y * w], &jxy[y * w], &jyy[y * w], re * 2.5f / 3, re * 2.5f, 1e-6f,
                            &field[set][0][y * w], &field[set][1][y * w], &field[set][2][y * w], w);
        }
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < w * h; ++j)
                ASSERT_NEAR(field[1][i][j], field[0][i][j], 1e-5f) << "field " << i << " at " << j;
        float taps[vg::kFlowTaps];
        for (int k = 0; k < vg::kFlowTaps; ++k) taps[k] = (k == 3 ? 0.25f : 0.125f);
        std::vector<float> out[2][3], shock;
        int kept = 0;  // pixels the finer luminance kept
        for (int y = 0; y < h; ++y) {
            for (int run = 0; run < 3; ++run) {
                for (int set = 0; set < 2; ++set) {
                    const vg::KernelSet& k = set == 0 ? base : *avx2;
                    vg::FlowRowArgs f{};
                    vg::ShockRowArgs s{};
                    for (int c = 0; c < 3; ++c) out[set][c].assign(w, -1.0f);
                    for (int c = 0; c < 3; ++c) {
                        f.planes[c] = s.planes[c] = plane[c].data();
                        f.out[c] = s.out[c] = out[set][c].data();
                    }
                    if (run == 2 && y > 0 && y < h - 1) {
                        for (int j = 0; j < 3; ++j) s.fine[j] = &fine[(y - 1 + j) * w];
                    }
                    f.stride = s.stride = w;
                    f.width = s.width = w;
                    f.height = s.height = h;
                    f.y = s.y = y;
                    f.tx = &field[0][0][y * w];
                    f.ty = &field[0][1][y * w];
                    f.blend = &field[0][2][y * w];
                    f.taps = taps;
                    f.x1 = w;
                    for (int j = 0; j < 3; ++j) s.lum[j] = lum.data() + (y + j) * (w + 2) + 1;
                    s.re = re;
                    s.knee = 0.025f;
                    s.shockStep = std::max(0.5f, 0.75f * re);
                    s.rampWidth = y % 2 ? vg::kShockRampWidth : 0.0f;  // with and without
                    if (run == 0) k.flowRow(f); else k.shockRow(s);
                }
                for (int c = 0; c < 3; ++c)
                    for (int x = 0; x < w; ++x) {
                        ASSERT_NEAR(out[1][c][x], out[0][c][x], 1e-5f)
                            << (run ? "shock" : "flow") << " w " << w << " x " << x << " y " << y;
                        if (run == 2 && c == 0 && out[0][0][x] != shock[x]) ++kept;
                    }
                if (run == 1) shock = out[0][0];
            }
        }
        EXPECT_GT(kept, 0) << "the finer luminance never disagreed";
    }
}

// The AVX2 flow row with its input also given interleaved in a ring of rows, strip by strip
// of columns, gives the result of the whole row without it to the bit: rings that hold every
// tap's pixels (which must then be read: a ring holding other values changes the result),
// rings that hold too few rows or columns for the taps' reach (their other slots hold NaN or
// other rows), rings that wrap, rows and strips at the image's edges, steps too long for the
// image and flat pixels.
TEST(EngineKernels, FlowFromTheInterleavedRingMatchesThePlanes) {
    const vg::KernelSet* avx2 = vg::Avx2Kernels();
    if (avx2 == nullptr || !__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma"))
        GTEST_SKIP() << "no AVX2 kernels on this CPU";
    // Image size, tap step, pixels held about the strip, ring rows, strip width.
    for (auto [w, h, step, reach, ring, strip] : {std::tuple{61, 40, 1.25f, 6, 16, 61},
                                                  {45, 70, 3.3f, 12, 32, 45},
                                                  {45, 70, 3.3f, 12, 32, 16},
                                                  {45, 70, 3.3f, 3, 8, 45},
                                                  {19, 20, 0.6f, 3, 8, 8},
                                                  {64, 9, 0.9f, 5, 16, 24},
                                                  {40, 30, 1.0f, 4, 16, 13}}) {
        const bool covered = reach > 3 * step + 1;
        std::vector<float> plane[3], tx(w * h), ty(w * h), blend(w * h);
        for (int c = 0; c < 3; ++c) plane[c] = Random(w * h, 90 + c);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int i = y * w + x;
                const float a = 0.37f * x + 0.91f * y;
                // A few steps ten times too long: their taps leave the image.
                const float len = (x * 7 + y * 3) % 23 == 0 ? 10.0f * step : step;
                tx[i] = len * std::cos(a);
                ty[i] = len * std::sin(a);
                blend[i] = (x + y) % 9 == 0 ? 0.0f : 0.2f + 0.8f * ((x * y) % 5) / 4.0f;
            }
        float taps[vg::kFlowTaps];
        for (int k = 0; k < vg::kFlowTaps; ++k) taps[k] = 0.1f + 0.05f * k;
        const int stride = 4 * (strip + 2 * reach) + 4;  // padded like the engine's rings
        // Slots of pixels the ring does not hold keep NaN or another row's values.
        std::vector<float> band(static_cast<std::size_t>(ring) * stride, std::nanf(""));
        std::vector<float> want[3], got[3];
        int poisonedDiffer = 0;
        for (int y = 0; y < h; ++y) {
            vg::FlowRowArgs f{};
            for (int c = 0; c < 3; ++c) {
                f.planes[c] = plane[c].data();
                want[c].assign(w, -1.0f);
            }
            f.stride = w;
            f.width = w;
            f.height = h;
            f.y = y;
            f.tx = &tx[y * w];
            f.ty = &ty[y * w];
            f.blend = &blend[y * w];
            f.taps = taps;
            f.x1 = w;
            for (int c = 0; c < 3; ++c) f.out[c] = want[c].data();
            avx2->flowRow(f);
            const int first = std::max(0, y - reach), last = std::min(h - 1, y + reach);
            for (int poison : {0, 1}) {
                for (int c = 0; c < 3; ++c) got[c].assign(w, -2.0f);
                for (int x0 = 0; x0 < w; x0 += strip) {
                    const int x1 = std::min(w, x0 + strip);
                    const int left = std::max(0, x0 - reach),
                              right = std::min(w - 1, x1 - 1 + reach);
                    for (int r = first; r <= last; ++r)
                        for (int x = left; x <= right; ++x)
                            for (int c = 0; c < 4; ++c)
                                band[(r & (ring - 1)) * stride + 4 * (x - left) + c] =
                                    c < 3 ? plane[c][r * w + x] + 0.25f * poison : 0.0f;
                    f.band = band.data();
                    f.bandStride = stride;
                    f.bandMask = ring - 1;
                    f.bandFirst = first;
                    f.bandLast = last;
                    f.bandLeft = left;
                    f.bandRight = right;
                    f.x0 = x0;
                    f.x1 = x1;
                    for (int c = 0; c < 3; ++c) f.out[c] = got[c].data();
                    avx2->flowRow(f);
                }
                for (int c = 0; c < 3; ++c) {
                    const bool same =
                        std::memcmp(got[c].data(), want[c].data(), w * sizeof(float)) == 0;
                    if (poison == 0) {
                        ASSERT_TRUE(same)
                            << "w " << w << " strip " << strip << " y " << y << " channel " << c;
                    } else {
                        poisonedDiffer += same ? 0 : 1;
                    }
                }
            }
        }
        if (covered) {
            EXPECT_GT(poisonedDiffer, 0) << "w " << w << ": the ring was never read";
        }
    }
}

// The grid slice against a direct sum over its four cells and two bins, with range
// coordinates inside, on the edges of and outside the stored bins, given or interpolated
// between samples, and the energy written, added to or left alone.
TEST(EngineKernels, GridSliceMatchesTheTentSum) {
    // Per row of cells, one row of nx cells (value, weight) per bin.
    const int nz = 6, nx = 9, sb = 2 * nx, sy = sb * nz;
    const std::vector<float> grid = Random(2 * sy, 20, 0.0f, 2.0f);
    for (const vg::KernelSet* k : Sets()) {
        for (int n : kLengths) {
            std::vector<int> cx(static_cast<std::size_t>(n));
            std::mt19937 rng(21);
            for (int& c : cx) c = static_cast<int>(rng() % (nx - 1));
            const std::vector<float> fx = Random(n, 22);
            std::vector<float> z = Random(n, 23, 2.5f, 9.5f);  // bins [3, 3 + nz - 1) inside
            if (n > 2) {
                z[0] = 3.0f;        // the first stored bin
                z[1] = 8.0f;        // one past the last readable one: kept
            }
            const std::vector<float> own = Random(n, 24);
            // The same range coordinates as interpolations: z[x] lies a fraction f between two
            // samples that are 2 apart.
            std::vector<int> zcol(static_cast<std::size_t>(n));
            std::vector<float> zsamples(2 * static_cast<std::size_t>(n) + 1), zfrac = Random(n, 26);
            for (int x = 0; x < n; ++x) {
                zcol[x] = 2 * x;
                zsamples[2 * x] = z[x] - 2.0f * zfrac[x];
                zsamples[2 * x + 1] = zsamples[2 * x] + 2.0f;
            }
            // Samples shared by neighbours, as an enlarged row reads them: two pixels per
            // sample, with a jump past eight samples at x = 37.
            std::vector<int> shcol(static_cast<std::size_t>(n));
            const std::vector<float> shared = Random(n / 2 + 12, 27, 2.5f, 9.5f);
            std::vector<float> zshared(static_cast<std::size_t>(n));
            for (int x = 0; x < n; ++x) {
                shcol[x] = x / 2 + (x >= 37 ? 9 : 0);
                const double s0 = shared[shcol[x]], s1 = shared[shcol[x] + 1];
                zshared[x] = static_cast<float>(s0 + zfrac[x] * (s1 - s0));
            }
            // No energy, energy written, added; z interpolated between samples of its own or
            // shared; one row of cells, blended already.
            for (int mode : {0, 1, 2, 3, 4, 5}) {
                std::vector<float> out(static_cast<std::size_t>(n)), energy = Random(n, 25);
                const std::vector<float> before = energy;
                vg::GridSliceArgs a{};
                a.g0 = grid.data();
                a.sy = sy;
                a.sb = sb;
                a.cx = cx.data();
                a.fx = fx.data();
                a.fy = 0.3f;
                a.z = z.data();
                a.zlo = 3.0f;
                a.zlast = static_cast<float>(nz - 1);
                a.eps = 0.01f;
                a.own = own.data();
                a.out = out.data();
                a.energy = mode == 1 || mode == 2 ? energy.data() : nullptr;
                if (mode == 3) {
                    a.z = zsamples.data();
                    a.zcol = zcol.data();
                    a.zfrac = zfrac.data();
                    a.zn = static_cast<int>(zsamples.size());
                }
                if (mode == 4) {
                    a.z = shared.data();
                    a.zcol = shcol.data();
                    a.zfrac = zfrac.data();
                    a.zn = static_cast<int>(shared.size());
                }
                a.oneRow = mode == 5;
                a.q = 2.0f;
                a.energyAdd = mode == 2;
                a.n = n;
                k->gridSlice(a);
                for (int x = 0; x < n; ++x) {
                    const double zf = (mode == 4 ? zshared[x] : z[x]) - 3.0;
                    double v = 0, w = 0;
                    if (zf >= 0 && zf < nz - 1) {
                        const int iz = static_cast<int>(zf);
                        for (int cy = 0; cy < 2; ++cy)
                            for (int c = 0; c < 2; ++c)
                                for (int b = 0; b < 2; ++b) {
                                    const double wy = mode == 5 ? (cy ? 0.0 : 1.0) : (cy ? 0.3 : 0.7);
                                    const double t = wy * (c ? fx[x] : 1.0 - fx[x]) *
                                                     (b ? zf - iz : 1.0 - (zf - iz));
                                    const float* p = &grid[cy * sy + (iz + b) * sb + (cx[x] + c) * 2];
                                    v += t * p[0];
                                    w += t * p[1];
                                }
                    }
                    const double want = (v + 0.01 * own[x]) / (w + 0.01);
                    if (mode >= 3 && std::fabs(zf - std::round(zf)) < 1e-5)
                        continue;  // rounding of the interpolation may pick the other bin
                    ASSERT_NEAR(out[x], want, 2e-5 * (1.0 + std::fabs(want))) << k->name << " x " << x;
                    const double d = 2.0 * (own[x] - out[x]);
                    const double e = mode == 0 || mode >= 3 ? before[x]
                                                            : (mode == 2 ? before[x] : 0.0) + d * d;
                    ASSERT_NEAR(energy[x], e, 1e-4 * (1.0 + e)) << k->name << " mode " << mode;
                }
            }
        }
    }
}

// The boost's weights: equal to the same float sums taken in order (so both builds, and any
// split of a row into tiles, give the same bytes) and within float rounding of the formula,
// over 3 and 5 taps, sums from zero to far above the noise floor.
TEST(EngineKernels, BoostWeightRowSumsInOrder) {
    for (const vg::KernelSet* k : Sets()) {
        for (int taps : {3, 5}) {
            for (int n : kLengths) {
                std::vector<float> sum = Random(n + taps - 1, 160, 0.0f, 1e-3f);
                for (int i = 0; i < n + taps - 1; i += 11) sum[i] = i % 2 ? 0.0f : 0.5f;
                const float scale = 650.0f / taps;
                std::vector<float> out(static_cast<std::size_t>(n));
                k->boostWeightRow(sum.data(), taps, scale, out.data(), n);
                for (int x = 0; x < n; ++x) {
                    float e = sum[x];
                    double exact = sum[x];
                    for (int j = 1; j < taps; ++j) {
                        e += sum[x + j];
                        exact += sum[x + j];
                    }
                    const float q2 = e * scale, q4 = q2 * q2;
                    ASSERT_EQ(out[x], q4 / (1.0f + q4)) << k->name << " taps " << taps << " x " << x;
                    const double p2 = exact * scale, p4 = p2 * p2;
                    ASSERT_NEAR(out[x], p4 / (1.0 + p4), 1e-6) << k->name;
                }
            }
        }
    }
}

// The texture band against its formula in double precision: steep and linear remap tables,
// differences of either sign below, at and above tau (the table's last entries included),
// written in place over base as the pipeline does.
TEST(EngineKernels, TextureRowMatchesTheRemap) {
    constexpr int kEntries = 64;
    for (auto [tau, power, gain] : {std::tuple{0.025f, 0.25, 1.0f}, {0.1f, 1.0, 2.5f}}) {
        std::vector<float> remap(kEntries + 2);
        for (int i = 0; i < kEntries + 2; ++i)
            remap[i] = static_cast<float>(tau * std::pow(std::min(1.0, i / double(kEntries)), power));
        for (const vg::KernelSet* k : Sets()) {
            for (int n : kLengths) {
                const std::vector<float> lum = Random(n, 150);
                std::vector<float> d = Random(n, 151, -2.0f * tau, 2.0f * tau);
                const float edge[] = {0.0f, tau, -tau, std::nextafter(tau, 0.0f),
                                      -std::nextafter(tau, 0.0f), 0.5f * tau / kEntries};
                for (int i = 0; i < n && i < 6; ++i) d[5 * i % n] = edge[i];
                std::vector<float> base(static_cast<std::size_t>(n));
                for (int x = 0; x < n; ++x) base[x] = lum[x] - d[x];
                const std::vector<float> in = base;
                k->textureRow(lum.data(), base.data(), remap.data(), kEntries, tau, gain,
                              base.data(), n);
                for (int x = 0; x < n; ++x) {
                    const double dd = static_cast<double>(lum[x] - in[x]), a = std::fabs(dd);
                    double v = a;
                    if (a < tau) {
                        const double fi = a / tau * kEntries;
                        const int i = static_cast<int>(fi);
                        v = remap[i] + (fi - i) * (remap[i + 1] - remap[i]);
                    }
                    ASSERT_NEAR(base[x], gain * (dd < 0 ? -v : v), 2e-7 * gain)
                        << k->name << " n " << n << " x " << x << " d " << dd;
                }
            }
        }
    }
}
