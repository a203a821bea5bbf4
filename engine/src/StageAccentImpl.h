// The accent stage (part of the per-instruction-set pipeline, after GlazeRunImpl.h): coherent
// contours from flow smoothing along the structure tensor's tangent and a shock step across
// it, both row kernels.

namespace vg {
namespace VG_KERNEL_NS {
namespace {

// Rows per task of the shock steps: each task makes the rows of the finer scale it needs from
// the filter's reach above its first row, a share that longer tasks keep small.
constexpr int kShockChunk = 64;
// The finer scale's blur is a FIR (GaussFir's) at every edge radius (at most 8).
static_assert(kShockFineScale * 8.0f < kFirSigmaLimit, "the finer scale is filtered by rows");

// The row loops below take their rows as separate restrict parameters: the planes never
// overlap, and without that promise the compiler leaves loops over six or more rows scalar.

// HoldWithinReach's shift of n pixels: lo and hi hold the columnwise least and greatest of the
// reference from the column before the first to the one after the last.
void HoldSpan(float* __restrict red, float* __restrict green, float* __restrict blue,
              const float* __restrict r0, const float* __restrict g0,
              const float* __restrict b0, const float* __restrict lo,
              const float* __restrict hi, int n) {
    // Plain comparisons: they compile to min and max instructions, std::fmin to calls.
    auto least = [](float a, float b) { return b < a ? b : a; };
    auto most = [](float a, float b) { return b > a ? b : a; };
    for (int i = 0; i < n; ++i) {
        const float own = kLumR * r0[i] + kLumG * g0[i] + kLumB * b0[i];
        const float low = least(least(least(lo[i], lo[i + 1]), lo[i + 2]), own);
        const float high = most(most(most(hi[i], hi[i + 1]), hi[i + 2]), own);
        const float l = kLumR * red[i] + kLumG * green[i] + kLumB * blue[i];
        const float d = (l < low ? low : (l > high ? high : l)) - l;
        red[i] += d;
        green[i] += d;
        blue[i] += d;
    }
}

// The flow's change d of each pixel (out less in) becomes d limit2 / (limit2 + |d|^2).
void LimitChangeRow(float* __restrict o0, float* __restrict o1, float* __restrict o2,
                    const float* __restrict i0, const float* __restrict i1,
                    const float* __restrict i2, float limit2, int n) {
    for (int x = 0; x < n; ++x) {
        const float d0 = o0[x] - i0[x], d1 = o1[x] - i1[x], d2 = o2[x] - i2[x];
        const float keep = limit2 / (limit2 + d0 * d0 + d1 * d1 + d2 * d2);
        o0[x] = i0[x] + keep * d0;
        o1[x] = i1[x] + keep * d1;
        o2[x] = i2[x] + keep * d2;
    }
}

// Row n pixels of three planes as r, g, b, 0 per pixel (the flow's band).
void InterleaveRow(const float* __restrict r, const float* __restrict g, const float* __restrict b,
                   float* __restrict out, int n) {
    int x = 0;
#if defined(VG_KERNEL_AVX2)
    // Eight pixels at a time: pairs of channels interleaved, then pixels i and i + 4 share a
    // register until the last step puts them in order.
    const __m256 zero = _mm256_setzero_ps();
    for (; x + 8 <= n; x += 8) {
        const __m256 vr = _mm256_loadu_ps(r + x), vg = _mm256_loadu_ps(g + x),
                     vb = _mm256_loadu_ps(b + x);
        const __m256 rg01 = _mm256_unpacklo_ps(vr, vg), rg23 = _mm256_unpackhi_ps(vr, vg);
        const __m256 b01 = _mm256_unpacklo_ps(vb, zero), b23 = _mm256_unpackhi_ps(vb, zero);
        const __m256 p0 = _mm256_shuffle_ps(rg01, b01, 0x44),
                     p1 = _mm256_shuffle_ps(rg01, b01, 0xee);
        const __m256 p2 = _mm256_shuffle_ps(rg23, b23, 0x44),
                     p3 = _mm256_shuffle_ps(rg23, b23, 0xee);
        float* o = out + 4 * x;
        _mm256_storeu_ps(o, _mm256_permute2f128_ps(p0, p1, 0x20));
        _mm256_storeu_ps(o + 8, _mm256_permute2f128_ps(p2, p3, 0x20));
        _mm256_storeu_ps(o + 16, _mm256_permute2f128_ps(p0, p1, 0x31));
        _mm256_storeu_ps(o + 24, _mm256_permute2f128_ps(p2, p3, 0x31));
    }
#endif
    for (; x < n; ++x) {
        out[4 * x] = r[x];
        out[4 * x + 1] = g[x];
        out[4 * x + 2] = b[x];
        out[4 * x + 3] = 0.0f;
    }
}

// The structure tensor's products of the central differences of a framed luminance.
void TensorRow(const float* __restrict up, const float* __restrict mid,
               const float* __restrict down, float* __restrict a, float* __restrict b,
               float* __restrict c, int n) {
    for (int x = 0; x < n; ++x) {
        const float gx = 0.5f * (mid[x + 1] - mid[x - 1]);
        const float gy = 0.5f * (down[x] - up[x]);
        a[x] = gx * gx;
        b[x] = gx * gy;
        c[x] = gy * gy;
    }
}

// The antialias blur's weight of one pixel (see Accent): m is the change of its luminance at the
// finer scale, blur the blur's change of its luminance, and left and right are its neighbours'
// columns in the 3 x 3 of `up`, `mid` and `down`, the accent's result's luminance.
inline __attribute__((always_inline)) float AntialiasWeight(
    const float* __restrict after, const float* __restrict before, const float* __restrict up,
    const float* __restrict mid, const float* __restrict down, const float* __restrict r,
    const float* __restrict g, const float* __restrict b, const float* __restrict br,
    const float* __restrict bg, const float* __restrict bb, int x, int left, int right, float k2,
    float blurShare2, float featureFrom, float featureSpan) {
    // std::max's and std::min's comparisons on values, and both sides of each choice made
    // before it: the loop over a row then has no branches and runs in whole vectors.
    auto larger = [](float p, float q) { return p < q ? q : p; };
    auto smaller = [](float p, float q) { return q < p ? q : p; };
    const float m = after[x] - before[x];
    const float blur = kLumR * (br[x] - r[x]) + kLumG * (bg[x] - g[x]) + kLumB * (bb[x] - b[x]);
    const float most = larger(
        larger(larger(up[left], up[x]), up[right]),
        larger(larger(mid[left], mid[right]), larger(larger(down[left], down[x]), down[right])));
    const float least = smaller(smaller(smaller(up[left], up[x]), up[right]),
                                smaller(smaller(mid[left], mid[right]),
                                        smaller(smaller(down[left], down[x]), down[right])));
    // How far the pixel lies below the brightest of its 3 x 3 (for a darkening) or above the
    // darkest (for a brightening).
    const float below = blur < 0.0f ? most - mid[x] : mid[x] - least;
    const float ramp =
        smaller(1.0f, larger(0.0f, (below - featureFrom) / (featureSpan + std::fabs(blur))));
    const float blend = m * blur < 0.0f ? 1.0f : ramp;
    return blend * (m * m / (m * m + k2 + blurShare2 * blur * blur));
}

// AntialiasWeight over a row of n pixels, the edge columns repeated beyond the image. The rows
// are separate restrict parameters, and the function stays out of line (inlined into a row
// loop's lambda, the loop lost the promise and stayed scalar), so the inner columns run in
// whole vectors.
__attribute__((noinline)) void AntialiasWeightRow(
    const float* __restrict after, const float* __restrict before, const float* __restrict up,
    const float* __restrict mid, const float* __restrict down, const float* __restrict r,
    const float* __restrict g, const float* __restrict b, const float* __restrict br,
    const float* __restrict bg, const float* __restrict bb, float* __restrict weight, int n,
    float k2, float blurShare2, float featureFrom, float featureSpan) {
    auto at = [&](int x, int left, int right) {
        return AntialiasWeight(after, before, up, mid, down, r, g, b, br, bg, bb, x, left, right,
                               k2, blurShare2, featureFrom, featureSpan);
    };
    if (n == 1) {
        weight[0] = at(0, 0, 0);
        return;
    }
    weight[0] = at(0, 0, 1);
    for (int x = 1; x < n - 1; ++x) {
        weight[x] = AntialiasWeight(after, before, up, mid, down, r, g, b, br, bg, bb, x, x - 1,
                                    x + 1, k2, blurShare2, featureFrom, featureSpan);
    }
    weight[n - 1] = at(n - 1, n - 2, n - 1);
}

}  // namespace

// Shifts row y of s by a grey amount so that its luminance lies within the least and greatest
// of ref over the (2 kAccentReach + 1)^2 pixels about each pixel, widened to the pixel's own
// luminance in `before` (the step's input). ref is the accent's input at the finer scale: a step
// may steepen an edge and move it by the reach, but it cannot grow a feature (an eye, a speck, a
// gap between strands) into the ground beside it.
void CGlazeRun::HoldWithinReach(Planes3& s, const Planes3& before, const float* const ref[3],
                                int y, int thread) {
    static_assert(kAccentReach == 1, "the window below is 3 x 3");
    // Plain comparisons: they compile to min and max instructions, std::fmin to calls.
    auto least = [](float a, float b) { return b < a ? b : a; };
    auto most = [](float a, float b) { return b > a ? b : a; };
    float* lo = Scratch(thread, 0);
    float* hi = Scratch(thread, 1);
    float* __restrict red = s.c[0].Row(y);
    float* __restrict green = s.c[1].Row(y);
    float* __restrict blue = s.c[2].Row(y);
    const float* r0 = before.c[0].Row(y);
    const float* g0 = before.c[1].Row(y);
    const float* b0 = before.c[2].Row(y);
    const float* up = ref[0];
    const float* mid = ref[1];
    const float* down = ref[2];
    for (int x0 = 0; x0 < m_w; x0 += kOutputTile) {
        const int n = std::min(kOutputTile, m_w - x0);
        // Columns x0 - 1 to x0 + n, the image's edge columns repeated beyond it; lo[i] and
        // hi[i] are column x0 - 1 + i's.
        const int first = x0 > 0 ? 0 : 1, last = x0 + n < m_w ? n + 1 : n;
        for (int i = first; i <= last; ++i) {
            const int x = x0 - 1 + i;
            lo[i] = least(least(up[x], mid[x]), down[x]);
            hi[i] = most(most(up[x], mid[x]), down[x]);
        }
        lo[0] = lo[first];
        hi[0] = hi[first];
        lo[n + 1] = lo[last];
        hi[n + 1] = hi[last];
        HoldSpan(red + x0, green + x0, blue + x0, r0 + x0, g0 + x0, b0 + x0, lo, hi, n);
    }
}

// One coherence step per iteration: smooth along the local edge direction (so contours become
// smooth and, with more iterations, flowing), then a shock step across it that moves each
// pixel towards the brighter or darker side with a smooth sign, which steepens edges without
// overshoot and keeps them antialiased.
void CGlazeRun::Accent(Planes3& s) {
    const float re = std::max(0.5f, m_s.edgeRadius / m_n);
    Planes3 flow = NewPlanes(m_w, m_h);
    Plane jxx = NewPlane(m_w, m_h), jxy = NewPlane(m_w, m_h), jyy = NewPlane(m_w, m_h);
    // The Gaussians' spare plane: the first flow plane is free whenever they run (before the
    // flow step of an iteration, and after the last shock step).
    Plane& tmp = flow.c[0];
    // Luminance with a one-pixel frame, continued by odd reflection so that a ramp has no
    // curvature at the border. Its block is not made a plane's: a plane larger than the image
    // would make the workspace give back the full-size planes freed after it instead of keeping
    // them for the next stage.
    Plane framed;
    framed.width = m_w + 2;
    framed.height = m_h + 2;
    framed.stride = static_cast<std::ptrdiff_t>(CWorkspace::PlaneStride(m_w + 2));
    framed.data = NewFloats(static_cast<std::size_t>(framed.stride) *
                            static_cast<std::size_t>(framed.height));
    Plane lum = framed;
    lum.data = framed.data + framed.stride + 1;
    lum.width = m_w;
    lum.height = m_h;
    float taps[kFlowTaps];
    {
        float sum = 0.0f;
        for (int k = 0; k < kFlowTaps; ++k) {
            const float t = static_cast<float>(k - kFlowTaps / 2) / (kFlowTaps / 2) * 2.5f;
            taps[k] = std::exp(-0.5f * t * t);
            sum += taps[k];
        }
        for (float& t : taps) t /= sum;
    }
    const float tangentSigma = re;
    // The accent's input's luminance, from which each shock step reads where a pixel lies
    // against the edge's two sides, and at the finer scale, which every shock step reads and
    // is held to. Only the luminance is kept as a plane: the shock steps make the rows of the
    // finer scale they need as they go, in a ring per thread (the same filter as Gauss, so the
    // same values), which keeps the stage at the planes it held with one of them.
    Plane inputLum = NewPlane(m_w, m_h);
    const float fineSigma = kShockFineScale * re;
    const bool fineBlurred = fineSigma >= kMinBlurSigma;
    float fineTaps[2 * kMaxFirRadius + 1];
    const int fineRadius = fineBlurred ? GaussTaps(fineSigma, fineTaps) : 0;
    // Per thread: the rows of the luminance filtered across (2 radius + 1 of them), then three
    // rows of the finer scale.
    const int hRing = 2 * fineRadius + 1;
    const std::size_t ringStride = CWorkspace::PlaneStride(m_w);
    const std::size_t ringFloats = static_cast<std::size_t>(hRing + 3) * ringStride;
    float* rings = fineBlurred
                       ? NewFloats(static_cast<std::size_t>(m_team.Threads()) * ringFloats)
                       : nullptr;
    FlowRowArgs fa{};
    fa.stride = s.c[0].stride;
    fa.width = m_w;
    fa.height = m_h;
    fa.taps = taps;
    ShockRowArgs sa{};
    sa.stride = s.c[0].stride;
    sa.width = m_w;
    sa.height = m_h;
    sa.re = re;
    sa.knee = m_s.knee;
    sa.shockStep = std::max(0.5f, 0.75f * re);
    sa.rampWidth = kShockRampWidth;
    const float nearShare = std::clamp(
        (m_s.edgeRadius - kShockNearFrom) / (kShockNearTo - kShockNearFrom), 0.0f, 1.0f);
    sa.nearInner = nearShare * kShockNearInner * re;
    sa.nearOuter = nearShare * kShockNearOuter * re;
    for (int c = 0; c < 3; ++c) {
        fa.planes[c] = s.c[c].data;
        sa.planes[c] = flow.c[c].data;
    }
    const float limit2 = (kFlowChangeLimit * m_s.knee) * (kFlowChangeLimit * m_s.knee);
    const float tapStep = tangentSigma * 2.5f / (kFlowTaps / 2);
    // The flow step runs in tiles of rows and column strips. With AVX2 each thread keeps its
    // input interleaved in a ring of rows that follows the rows it smooths (see
    // FlowRowArgs::band), as far about them as the taps reach (a bound the kernel checks); a
    // strip keeps the ring within the processor's second-level cache. Chunks of 32 to 128 rows,
    // about four per thread: each tile fills its ring from the reach above its first row.
    constexpr int kFlowStrip = 1024;
    const int flowChunk = std::max(32, std::min(128, m_h / (4 * m_team.Threads())));
    const int bandReach = static_cast<int>(std::ceil((kFlowTaps / 2) * tapStep)) + 2;
    int ringRows = 1;
    while (ringRows < 2 * bandReach + 1) ringRows *= 2;
    const int bandWidth = std::min(m_w, kFlowStrip + 2 * bandReach);
    const std::ptrdiff_t bandStride = (4 * static_cast<std::ptrdiff_t>(bandWidth) + 15) / 16 * 16;
    float* bands = nullptr;
#if defined(VG_KERNEL_AVX2)
    if (ringRows <= 64) {
        // Optional: without it the kernel samples the planes.
        bands = m_ws.AllocFloats(static_cast<std::size_t>(m_team.Threads()) *
                                 static_cast<std::size_t>(ringRows) *
                                 static_cast<std::size_t>(bandStride));
    }
#endif
    for (int it = 0; it < m_s.edgeAccent; ++it) {
        // The finer scale stays the input's, like the structure tensor: a small feature is
        // kept by its own outline, not by the one an earlier step has grown it to (read afresh
        // each iteration, the kept ring moved out with every step, and five iterations at a
        // wide edge scale made an eye, a speck or a pebble into a disc).
        if (it == 0) {
            Luminance(&s, inputLum);
            Gauss(inputLum, lum, re, tmp);
        } else {
            LuminanceGauss(s, lum, re, tmp);
        }
        ForRows(m_h, [&](int y, int) {
            float* row = lum.Row(y);
            row[-1] = 2.0f * row[0] - row[Mirror(1, m_w)];
            row[m_w] = 2.0f * row[m_w - 1] - row[Mirror(m_w - 2, m_w)];
        });
        for (int y : {-1, m_h}) {
            const int edge = y < 0 ? 0 : m_h - 1;
            const float* e = lum.Row(edge) - 1;
            const float* m = lum.Row(Mirror(y, m_h)) - 1;
            float* o = lum.Row(y) - 1;
            for (int x = 0; x < m_w + 2; ++x) o[x] = 2.0f * e[x] - m[x];
        }
        // The structure tensor of the first iteration's input guides every iteration: the
        // contours it follows are the picture's own, and the later steps only sharpen and
        // smooth along them (recomputing it each time moved no contour visibly). It is kept as
        // the flow field, in place: each pixel's tangent step and blend.
        if (it == 0) {
            ForRows(m_h, [&](int y, int) {
                TensorRow(lum.Row(y - 1), lum.Row(y), lum.Row(y + 1), jxx.Row(y), jxy.Row(y),
                          jyy.Row(y), m_w);
            });
            Gauss(jxx, jxx, re, tmp);
            Gauss(jxy, jxy, re, tmp);
            Gauss(jyy, jyy, re, tmp);
            const float flatEnergy = 0.0625f * m_s.knee * m_s.knee;
            ForRows(m_h, [&](int y, int) {
                m_k.flowField(jxx.Row(y), jxy.Row(y), jyy.Row(y), tapStep, re * 2.5f, flatEnergy,
                              jxx.Row(y), jxy.Row(y), jyy.Row(y), m_w);
            });
        }
        const int chunks = (m_h + flowChunk - 1) / flowChunk;
        const int strips = (m_w + kFlowStrip - 1) / kFlowStrip;
        Check(m_team.ParallelFor(chunks * strips, [&](int i, int thread) {
            const int y0 = i / strips * flowChunk, y1 = std::min(m_h, y0 + flowChunk);
            const int x0 = i % strips * kFlowStrip, x1 = std::min(m_w, x0 + kFlowStrip);
            const int left = std::max(0, x0 - bandReach);
            const int right = std::min(m_w - 1, x1 - 1 + bandReach);
            float* band = bands != nullptr
                              ? bands + static_cast<std::ptrdiff_t>(thread) * ringRows * bandStride
                              : nullptr;
            // The ring holds rows first to next - 1.
            int first = std::max(0, y0 - bandReach), next = first;
            for (int y = y0; y < y1; ++y) {
                // A strip's rows are far apart in memory: the misses of the rows ahead overlap
                // this row's work.
                const std::size_t stripBytes = sizeof(float) * static_cast<std::size_t>(x1 - x0);
                if (y + kPrefetchRows < y1) {
                    const int ahead = y + kPrefetchRows;
                    for (const Plane* p : {&jxx, &jxy, &jyy})
                        PrefetchSpan(p->Row(ahead) + x0, stripBytes, false);
                    for (int c = 0; c < 3; ++c)
                        PrefetchSpan(flow.c[c].Row(ahead) + x0, stripBytes, true);
                }
                if (y + bandReach + kPrefetchRows < m_h) {
                    const int ahead = y + bandReach + kPrefetchRows;
                    for (int c = 0; c < 3; ++c)
                        PrefetchSpan(s.c[c].Row(ahead) + left,
                                     sizeof(float) * static_cast<std::size_t>(right - left + 1),
                                     false);
                }
                FlowRowArgs a = fa;
                if (band != nullptr) {
                    for (const int end = std::min(m_h, y + bandReach + 1); next < end; ++next) {
                        InterleaveRow(s.c[0].Row(next) + left, s.c[1].Row(next) + left,
                                      s.c[2].Row(next) + left,
                                      band + (next & (ringRows - 1)) * bandStride,
                                      right - left + 1);
                    }
                    first = std::max(first, next - ringRows);
                    a.band = band;
                    a.bandStride = bandStride;
                    a.bandMask = ringRows - 1;
                    a.bandFirst = first;
                    a.bandLast = next - 1;
                    a.bandLeft = left;
                    a.bandRight = right;
                }
                a.y = y;
                a.x0 = x0;
                a.x1 = x1;
                a.tx = jxx.Row(y);
                a.ty = jxy.Row(y);
                a.blend = jyy.Row(y);
                for (int c = 0; c < 3; ++c) a.out[c] = flow.c[c].Row(y);
                m_k.flowRow(a);
                // The flow evens out what varies along a contour: roughness, a few levels, is
                // smoothed; a colour that differs by much more is structure that only runs
                // across the tangent at a finer scale than the flow's (lettering along a
                // badge's rim, an eye in the shading of a face) and keeps most of itself: d
                // becomes d L^2 / (L^2 + |d|^2), at most L / 2.
                LimitChangeRow(flow.c[0].Row(y) + x0, flow.c[1].Row(y) + x0, flow.c[2].Row(y) + x0,
                               s.c[0].Row(y) + x0, s.c[1].Row(y) + x0, s.c[2].Row(y) + x0, limit2,
                               x1 - x0);
            }
        }));
        // Chunks of rows longer than ForRows's: each starts its ring of the finer scale afresh
        // from the reach above its first row. A row's result does not depend on the chunks.
        const int shockChunks = (m_h + kShockChunk - 1) / kShockChunk;
        Check(m_team.ParallelFor(shockChunks, [&](int i, int thread) {
            const int y0 = i * kShockChunk, y1 = std::min(m_h, y0 + kShockChunk);
            float* const across =
                fineBlurred ? rings + static_cast<std::size_t>(thread) * ringFloats : nullptr;
            float* const fineRows =
                fineBlurred ? across + static_cast<std::size_t>(hRing) * ringStride : nullptr;
            // Row r of the finer scale, r in [0, m_h): the input's luminance as it is, or
            // filtered across and then down (GaussFir's order, taps and tiles).
            int acrossNext = 0, fineNext = std::max(y0 - 1, 0);
            auto acrossRow = [&](int r) {
                return across + static_cast<std::size_t>(r % hRing) * ringStride;
            };
            auto fineRow = [&](int r) -> const float* {
                if (!fineBlurred) return inputLum.Row(r);
                return fineRows + static_cast<std::size_t>(r % 3) * ringStride;
            };
            auto makeFine = [&](int last) {
                if (!fineBlurred) return;
                for (; fineNext <= last; ++fineNext) {
                    const int reach = std::min(m_h - 1, fineNext + fineRadius);
                    acrossNext = std::max(acrossNext, std::max(0, fineNext - fineRadius));
                    for (; acrossNext <= reach; ++acrossNext) {
                        for (int x0 = 0; x0 < m_w; x0 += kOutputTile) {
                            FirSpan(m_k, inputLum.Row(acrossNext), m_w, x0,
                                    std::min(kOutputTile, m_w - x0), fineTaps, fineRadius, false,
                                    Scratch(thread, 0), acrossRow(acrossNext) + x0);
                        }
                    }
                    const float* rows[2 * kMaxFirRadius + 1];
                    for (int k = 0; k < hRing; ++k) {
                        rows[k] = acrossRow(std::clamp(fineNext + k - fineRadius, 0, m_h - 1));
                    }
                    m_k.firV(rows, fineTaps, hRing,
                             fineRows + static_cast<std::size_t>(fineNext % 3) * ringStride, m_w);
                }
            };
            for (int y = y0; y < y1; ++y) {
                makeFine(std::min(y + 1, m_h - 1));
                ShockRowArgs a = sa;
                a.y = y;
                a.lum[0] = lum.Row(y - 1);
                a.lum[1] = lum.Row(y);
                a.lum[2] = lum.Row(y + 1);
                for (int c = 0; c < 3; ++c) a.out[c] = s.c[c].Row(y);
                a.own = inputLum.Row(y);
                if (y > 0 && y < m_h - 1) {
                    for (int j = 0; j < 3; ++j) a.fine[j] = fineRow(y - 1 + j);
                }
                m_k.shockRow(a);
                const float* const ref[3] = {fineRow(std::max(y - 1, 0)), fineRow(y),
                                             fineRow(std::min(y + 1, m_h - 1))};
                HoldWithinReach(s, flow, ref, y, thread);
            }
        }));
    }
    if (rings != nullptr) m_ws.FreeFloats(rings);
    // The shock steps leave contours one pixel wide: a light blur gives them back an antialiased
    // profile (at the sampling step's scale, so that a preview looks like the full result). It
    // acts by how far the accent moved a pixel (its luminance at the finer scale against the
    // input's, weight m^2 / (m^2 + k^2 + (b/2)^2), b the blur's own change of the pixel's
    // luminance): what the steps left, fine structure they kept beside an edge or ground they
    // did not reach, keeps its crispness. Where the blur would carry a pixel further the way the
    // accent moved it and the pixel is the brightest of its 3 x 3 (for a darkening; the darkest
    // for a brightening) within kAntialiasFeatureFrom knees, it keeps its value, and from
    // kAntialiasFeatureTo knees plus |b| on it is blurred in full: such a pixel is a small
    // feature (a catchlight, the white of an eye, a speck) that the flow dimmed a little, and
    // the blur only washed it into the dark about it (faces came out with dull eyes). A step of
    // a contour's staircase has brighter and darker neighbours and is blurred as before. Both
    // ramps widen with |b| so that the pixel's change, up to b, moves by at most about a level
    // for a level's change of m or of its place against the 3 x 3: with ramps of a fixed width
    // a blur of tens of levels turned a level's difference between a picture and a shifted copy
    // into ten or twenty at a dark blade of grass or a glint.
    const float antialias = kAccentAntialias / m_n;
    if (antialias >= kMinBlurSigma) {
        // The input at the finer scale, now as a plane (the flow field's are free).
        Plane& fine = inputLum;
        Gauss(inputLum, fine, fineSigma, jxx);
        Plane& own = jxy;  // the accent's result's luminance (the flow field is no longer needed)
        Luminance(&s, own);
        Gauss(own, lum, kShockFineScale * re, tmp);
        for (int c = 0; c < 3; ++c) Gauss(s.c[c], flow.c[c], antialias, jxx);
        const float k2 = (kAntialiasChange * m_s.knee) * (kAntialiasChange * m_s.knee);
        const float featureFrom = kAntialiasFeatureFrom * m_s.knee;
        const float featureSpan = (kAntialiasFeatureTo - kAntialiasFeatureFrom) * m_s.knee;
        const float blurShare2 = kAntialiasChangeOfBlur * kAntialiasChangeOfBlur;
        ForRows(m_h, [&](int y, int) {
            float* __restrict weight = jyy.Row(y);
            AntialiasWeightRow(lum.Row(y), fine.Row(y), own.Row(std::max(y - 1, 0)), own.Row(y),
                               own.Row(std::min(y + 1, m_h - 1)), s.c[0].Row(y), s.c[1].Row(y),
                               s.c[2].Row(y), flow.c[0].Row(y), flow.c[1].Row(y), flow.c[2].Row(y),
                               weight, m_w, k2, blurShare2, featureFrom, featureSpan);
            for (int c = 0; c < 3; ++c) {
                float* __restrict o = s.c[c].Row(y);
                const float* __restrict blurred = flow.c[c].Row(y);
                for (int x = 0; x < m_w; ++x) o[x] += weight[x] * (blurred[x] - o[x]);
            }
        });
    }
    if (bands != nullptr)
        m_ws.FreeFloats(bands);
    m_ws.FreePlane(inputLum);
    m_ws.FreeFloats(framed.data);
    m_ws.FreePlanes(flow);
    m_ws.FreePlane(jxx);
    m_ws.FreePlane(jxy);
    m_ws.FreePlane(jyy);
}

}  // namespace VG_KERNEL_NS
}  // namespace vg
