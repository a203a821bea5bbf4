// The clean stage (part of the per-instruction-set pipeline, after GlazeRunImpl.h): rolling
// guidance on bilateral grids, then a residual gate that brings back what is both small and
// strong (thin lines, lettering), so that only weak detail stays removed.
//
// A grid smooths in space and in a range coordinate z (a guide in units of the threshold):
// samples are splatted with tent weights into cells of half the spatial sigma and one range
// sigma, the cells are blurred with Gaussians, and each pixel reads its value back at its own
// (x, y, z). Every direction is treated alike (no recursive passes along rows and columns,
// whose streaks built an axis-aligned mosaic). The grid is coarse, so the seed and all guided
// passes but the last run on a 2 x 2 reduced image; the last pass filters the
// full-resolution input along the reduced guide brought back up, which keeps the input's edges
// where they are. A grid is built per tile with aprons, so its memory follows the tile, and
// tiles are fixed by the image, so the result does not depend on the thread count. Outside the
// image the values and the guide continue by odd reflection: a ramp's mean stays on the ramp
// up to the border.

namespace vg {
namespace VG_KERNEL_NS {
namespace {

constexpr int kMaxGridRadius = 8;   // spatial blur taps of the grid, each side
constexpr int kRangeRadius = 2;     // range blur taps, each side
constexpr float kGridReach = 2.0f;  // spatial blur taps reach this many of its sigmas
constexpr std::size_t kGridTileFloats = 1u << 20;  // one of a thread's two grid buffers
// Core cells of a tile side, at most. Larger tiles waste less on aprons but span a wider range
// of the guide, so they store more bins; at 32 the two balance (as fast as 64 on 12 MP), and a
// thread's grids take a third of the memory, i.e. of the page faults of a preview.
constexpr int kMaxTileCells = 32;
// The same for cells a pixel wide (GridJob::pixelCells), whose tiles so span as many pixels as
// those of the usual cells.
constexpr int kMaxPixelTileCells = 64;
constexpr float kGateKnee = 1.3f;        // residual RMS, in thresholds, that is half restored
// The knee in 0..1 units at most: raised by strength and threshold together it would otherwise
// pass every residual a picture can hold (150 levels at the strongest settings), and the
// cleaning would take strong thin lines, eyes and lettering with it.
constexpr float kGateKneeMax = 0.2f;
constexpr float kGateSigma = 1.0f;       // blur of the residual's energy, in pixels
constexpr float kGateLineSigma = 3.0f;   // its averages along lines, in pixels
constexpr float kGateLineBonus = 1.0f;   // a line's energy counts up to this much more
// In dark tones the gate's knee follows the ground's brightness V (the largest channel of the
// cleaned result, so a saturated colour does not count as dark): times (V + kGateToneOffset) /
// (kGateToneFull + kGateToneOffset), at least kGateToneLeast and at most 1, so a line is
// weighed by its contrast relative to the ground it lies on (a vein of 12 levels on a ground of
// 40 is as plain to the eye as one of 50 on a ground of 180). The knee
// never falls below kGateNoiseMargin times the residual's RMS beside the line (across it,
// from kGateBesideFrom pixels out to the line's reach), and a pixel's gain is never less than
// at the full tone: noise in the shadows, which stands no higher than the noise about it,
// stays removed.
constexpr float kGateToneFull = 0.5f;
constexpr float kGateToneOffset = 0.02f;
constexpr float kGateToneLeast = 0.25f;
constexpr float kGateNoiseMargin = 2.0f;
constexpr float kGateBesideFrom = 2.5f;
// Against the lowered knee counts only a dark pixel's line energy in excess of this many times
// the energy beside the line (in full at the least tone factor, none at 1): noise, alike on
// the line and beside it, has none and is restored no more than at the full tone.
constexpr float kGateBesideExcess = 2.0f;
constexpr float kVirtualRange = 3.0f;    // reflected pixels this far beyond the range are left out
constexpr int kZBlock = 16;              // columns of a block of the guide whose range is kept
constexpr float kCellPerSigma = 0.5f;    // spatial cell size in sigmas
constexpr float kGuideLuminance = 0.3f;  // weight of the luminance in each channel's guide
// The last pass's guide follows the input's own, smoothed with this sigma in pixels, where its
// slope is well above kSharpGuideSlope thresholds per pixel (half way at that slope; times
// 1 + strength).
constexpr float kSharpGuideSigma = 2.0f;
constexpr float kSharpGuideSlope = 0.15f;
constexpr float kSharpGuideWeightSigma = 6.0f;  // the weight's blur, in pixels
// Where the input is flat the last pass, with a reduction, reads at the input's smoothed guide held
// within bounds that the guide gives: the least and greatest of the guide, blurred by
// kSliceBoundBlur, within kSliceBoundReach of each pixel, blurred by kSliceBoundSoft (all in
// pixels). Flat regions of the guide so take its level, and about a step the slice's guide goes
// from one level to the other where the input does. The bounds are made on the reduced copy:
// blurred first, the guide's least and greatest over the samples about a pixel are those of a
// smooth field, which do not depend on where the samples fall. (Bounds taken from the raw
// samples about each sample, their step moved by a whole sample with the reduction's phase, and
// a picture shifted by a pixel filtered by up to 6 levels differently.) Within 4 px the bounds
// about broad bands of grey still followed the phase by 3 levels; a wider blur in place of the
// wider reach bled a step's other side further into the flat region beside it. At strength 0 the
// same bounds hold a steep straight edge's guide where the input has it: read as it is, the guide
// brought up from the reduced copy moved such an edge by a few hundredths of a pixel with the
// phase, and a picture shifted by a pixel filtered its pixels up to 13 levels differently.
constexpr float kSliceBoundBlur = 5.0f;
constexpr float kSliceBoundReach = 6.0f;
constexpr float kSliceBoundSoft = 3.0f;
// Where the input's smoothed guide lies e bins off the guide brought up, the input's own takes
// at least f e^4 / (e^4 + k^4) of the slice's guide, k = kSliceGuideApart (1 + s / 8) at clean
// strength s. The guide's steps lie between reduced samples: about a line of a few pixels that
// the guidance left narrower or wider than the input's (a mortar line, a plank's gap), the
// line's profile read at the guide followed the reduction's phase, and a picture shifted by a
// pixel filtered it differently by up to 13 levels at strength 0, 4-5 at strength 2-4 radius
// 8-12. Noise and texture within a bin or so of the guide are still read at it; the knee grows
// with the strength, whose guidance removes more. f is 1 up to strength 4 and falls to 0.5 at
// 8: in full from strength 6 at radius 8 the share itself followed the phase (3-4 levels),
// and without it the gaps between a pier's planks came out 3 levels apart at strength 7-8.
// Above strength 0, f also falls as the robust rule ramps in (see kRobustFrom): the input's
// own guide beside the samples it replaces came out up to 11 levels apart at threshold 0.9.
// (At strength 0 the rule is kept at every threshold: without it a picture shifted by a pixel
// came out up to 5 levels apart at threshold 1.2-1.5.)
constexpr float kSliceGuideApart = 0.7f;
// The clean stage's output is held near the colour line of the pixels within this radius, in
// pixels, about each; what lies off it is taken away up to this many thresholds (RMS), and the
// line is found by three power steps (about an edge one colour dominates and two suffice).
constexpr float kColourLineRadius = 2.0f;
constexpr float kColourLineNoise = 0.6f;
constexpr float kColourLineFlat = 1e-6f;  // a window's variance (0..1 units) that counts as flat
constexpr int kColourLineRows = 64;     // rows done in place together
constexpr int kColourLineTile = 512;  // columns of a tile, at least (but for narrow images)
// The input's colour statistics for the hold at the radius's scale are kept on cells this many
// sigmas wide (then blurred by a sigma and read bilinearly).
constexpr float kLineStatsStepSigmas = 1.0f;
// What the gate restores is the input averaged along the line with this sigma, in pixels.
constexpr float kGateRestoreSigma = 1.0f;
// The lines' middle taps differ with their steps (about 0.40 along the axes, 0.56 diagonally,
// 0.86 along the knight's moves), so where the lines are mixed the pixel's own share would be
// their weighted mean, and a feature of a pixel or two whose energy is alike in every
// direction (a catchlight) would be dimmed by the axes' neighbours. Its share rises towards the
// largest middle tap of the mixed lines by (1 - line) times a ramp of the gain, none up to
// kGateMiddleGainFrom, in full from kGateMiddleGainFull: what is surely kept keeps its middle,
// while noise and texture near the knee are averaged as before.
constexpr float kGateMiddleGainFrom = 0.5f;
constexpr float kGateMiddleGainFull = 0.9f;
// A speck of a pixel or two (a catchlight, a star, a glint) is diluted along every line, so it
// is weighed by itself as well: its blurred energy less kGatePointRing times the mean energy on
// a ring kGatePointRadius pixels about it, times kGatePointGain (at most 1 + kGateLineBonus,
// which keeps the skipping of blocks exact). A grain of noise or texture stands no higher than
// the grains about it and counts nothing. Where this wins the speck's own pixel comes back.
constexpr float kGatePointRadius = 3.0f;
constexpr float kGatePointRing = 2.0f;
constexpr float kGatePointGain = 1.0f;
// The same blurred energy against the ring's mean decides how much a pixel is a speck: none up
// to kGateSpeckFrom times the ring's, fully from kGateSpeckFull times. A grain of noise or of
// texture such as grass, as strong as the grains about it, is none.
constexpr float kGateSpeckFrom = 2.0f;
constexpr float kGateSpeckFull = 4.0f;
// Where a speck's own input stands off its neighbours along every line by more than
// kGateOwnFrom thresholds (RMS over the channels), the gate restores more of the pixel itself
// instead of the average along its line, all of it from kGateOwnFull (times how much it is a
// speck): a pixel of a line or an edge lies near its neighbours along it and noise within a
// threshold or so of them, so both are still averaged, while a catchlight or a star, which no
// line holds, keeps its own value and size.
constexpr float kGateOwnFrom = 1.5f;
constexpr float kGateOwnFull = 3.0f;
// A pixel that stands off its neighbours along every line by more than kGateAloneFrom
// thresholds keeps its own value whatever lies about it (all of it from kGateAloneFull): a
// catchlight within an iris has the iris's edge on the ring about it, so the ring's energy
// does not tell it from texture, but no grain of noise and no pixel of a line stands that far
// off every line.
constexpr float kGateAloneFrom = 2.0f;
constexpr float kGateAloneFull = 4.0f;
// Every direction whose line energy is above this share of the largest takes part in what
// comes back, weighted from none at that share to full at the largest: where directions
// compete (texture rather than a line) the choice would otherwise flip with a small change of
// the energies, and a picture shifted by a pixel would bring back differently averaged detail.
constexpr float kGateDirShare = 0.8f;
// The same share decides how much a speck's own pixel comes back beside the lines' averages:
// none where its energy is at most kGateDirShare times theirs, all of it from their equal on.
// Below this gate gain even a residual of 25 levels comes back as less than half a level: the
// average along the line is skipped there, i.e. in most of a flat picture.
constexpr float kGateNothing = 1.0f / 64.0f;
// The gate's blocks of pixels in a row, left out together where no energy within their lines'
// reach can be restored.
constexpr int kGateBlock = 32;
static_assert(kOutputTile % kGateBlock == 0, "a tile holds whole blocks");
// The gate's bands, in row chunks: the energy of the rows about a border between two bands is
// made twice (once set aside for the band above), so taller bands repeat less of it, and
// shorter ones spread over more threads.
constexpr int kGateBandChunks = 16;

// Robust guided passes (see Clean): a reduced sample kRobustBins / t^2 bins (at least one)
// from the previous result begins to count as that result, fully at kRobustSoft times that.
constexpr float kRobustBins = 0.018f;
constexpr float kRobustSoft = 2.5f;
constexpr float kRobustFrom = 0.05f;  // threshold where the rule begins; in full at twice it
// Most samples lie near the previous result: a robust pass writes its values only over the
// chunks of this many samples where they differ from the reduced copy's.
constexpr int kRobustChunk = 16;

typedef float F4 __attribute__((vector_size(16)));
typedef float F4u __attribute__((vector_size(16), aligned(4)));
// The widest vector of floats the build has (AVX2: 8, baseline: 4).
#if defined(VG_KERNEL_AVX2)
typedef float FV __attribute__((vector_size(32)));
typedef float FVu __attribute__((vector_size(32), aligned(4)));
#else
typedef F4 FV;
typedef F4u FVu;
#endif
constexpr int kLanes = static_cast<int>(sizeof(FV) / sizeof(float));

// The least and the largest of count floats (none NaN) folded into lo and hi, a vector at a
// time: the same values as a scalar scan, in any order. The last vector may overlap the one
// before it, which changes neither.
inline void SpanMinMax(const float* p, int count, float& lo, float& hi) {
    if (count < kLanes) {
        for (int j = 0; j < count; ++j) {
            lo = std::min(lo, p[j]);
            hi = std::max(hi, p[j]);
        }
        return;
    }
    FV vlo = *reinterpret_cast<const FVu*>(p), vhi = vlo;
    for (int j = kLanes;; j += kLanes) {
        const FV v = *reinterpret_cast<const FVu*>(p + std::min(j, count - kLanes));
        vlo = v < vlo ? v : vlo;
        vhi = v > vhi ? v : vhi;
        if (j >= count - kLanes)
            break;
    }
    for (int k = 0; k < kLanes; ++k) {
        lo = std::min(lo, vlo[k]);
        hi = std::max(hi, vhi[k]);
    }
}

// The largest of count floats (none NaN) and m, as SpanMinMax.
inline float SpanMax(const float* p, int count, float m) {
    if (count < kLanes) {
        for (int j = 0; j < count; ++j) m = std::max(m, p[j]);
        return m;
    }
    FV vhi = *reinterpret_cast<const FVu*>(p);
    for (int j = kLanes;; j += kLanes) {
        const FV v = *reinterpret_cast<const FVu*>(p + std::min(j, count - kLanes));
        vhi = v > vhi ? v : vhi;
        if (j >= count - kLanes)
            break;
    }
    for (int k = 0; k < kLanes; ++k) m = std::max(m, vhi[k]);
    return m;
}

// One formula for single samples and a vector of them.
inline float Lanes(float, float v) {
    return v;
}
inline FV Lanes(FV, float v) {
    return FV{} + v;
}
template <typename V>
inline V Max(V a, V b) {
    return a < b ? b : a;
}
template <typename V>
inline V Min(V a, V b) {
    return b < a ? b : a;
}
template <typename V>
inline V Abs(V a) {
    return a < Lanes(a, 0.0f) ? -a : a;
}
inline float Sqrt(float v) { return std::sqrt(v); }
// One instruction for all lanes (the square root is correctly rounded, so each lane is what
// std::sqrt gives; lane by lane, each took a scalar root and a check for a negative argument).
inline FV Sqrt(FV v) {
#if defined(VG_KERNEL_AVX2)
    return reinterpret_cast<FV>(_mm256_sqrt_ps(reinterpret_cast<__m256>(v)));
#else
    return reinterpret_cast<FV>(_mm_sqrt_ps(reinterpret_cast<__m128>(v)));
#endif
}
template <typename V>
inline V Load(const float* p) {
    return *reinterpret_cast<const V*>(p);
}
template <>
inline FV Load<FV>(const float* p) {
    return *reinterpret_cast<const FVu*>(p);
}
template <typename V>
inline void Store(float* p, V v) {
    *reinterpret_cast<V*>(p) = v;
}
template <>
inline void Store<FV>(float* p, FV v) {
    *reinterpret_cast<FVu*>(p) = v;
}

// One row of the residual's energy in threshold units: (q_c (own_c - res_c))^2 added over the
// channels in their order, each square rounded before it is added, but at the columns in
// `fused` (count of them), where the square of channel c > 0 is fused into the sum when
// tail[c - 1][x] is set: the values the guided slice's kernel gives, vector and tail alike.
void GateEnergyRow(const float* const own[3], const float* const res[3], const float q[3],
                   const unsigned char* const tail[2], const int* fused, int count, float* e,
                   int n) {
    int x = 0;
    for (; x + kLanes <= n; x += kLanes) {
        FV sum{};
        for (int c = 0; c < 3; ++c) {
            const FV d = Lanes(FV{}, q[c]) * (Load<FV>(own[c] + x) - Load<FV>(res[c] + x));
            FV sq = d * d;
            asm("" : "+x"(sq));  // not fused into the sum
            sum = c == 0 ? sq : sum + sq;
        }
        Store<FV>(e + x, sum);
    }
    for (; x < n; ++x) {
        float sum = 0.0f;
        for (int c = 0; c < 3; ++c) {
            const float d = q[c] * (own[c][x] - res[c][x]);
            float sq = d * d;
            asm("" : "+x"(sq));
            sum = c == 0 ? sq : sum + sq;
        }
        e[x] = sum;
    }
    for (int i = 0; i < count; ++i) {
        const int f = fused[i];
        float sum = 0.0f;
        for (int c = 0; c < 3; ++c) {
            const float d = q[c] * (own[c][f] - res[c][f]);
            if (c > 0 && tail[c - 1][f] != 0) {
                sum = std::fma(d, d, sum);
            } else {
                float sq = d * d;
                asm("" : "+x"(sq));
                sum = c == 0 ? sq : sum + sq;
            }
        }
        e[f] = sum;
    }
}

// A guided pass's constants: the guide's weights (own, shared, the luminance's lum) and the
// robust average's start a, 1 / (B - A) ia and ramp (see Clean).
struct GuideArgs {
    float own[3], shared[3], lum[3];
    float a, ia, ramp;
};

// The guides of samples r at x: z_c = own_c r_c + shared_c L(r).
template <typename V>
inline void GuideAt(const float* const* r, float* const* z, const GuideArgs& g, int x) {
    const V r0 = Load<V>(r[0] + x), r1 = Load<V>(r[1] + x), r2 = Load<V>(r[2] + x);
    const V l = g.lum[0] * r0 + g.lum[1] * r1 + g.lum[2] * r2;
    Store(z[0] + x, g.own[0] * r0 + g.shared[0] * l);
    Store(z[1] + x, g.own[1] * r1 + g.shared[1] * l);
    Store(z[2] + x, g.own[2] * r2 + g.shared[2] * l);
}

// One row of guides (r: the previous result; z: its guides), and each block of kZBlock
// columns' range widened by the row's (range: lows, then zbw highs).
void GuideRow(const float* const* r, float* const* z, float* const* range, int zbw,
              const GuideArgs& g, int n) {
    static_assert(kZBlock % kLanes == 0, "a block is whole vectors");
    for (int bx = 0; bx < zbw; ++bx) {
        const int x0 = bx * kZBlock, m = std::min(kZBlock, n - x0);
        if (m == kZBlock) {
            for (int x = x0; x < x0 + kZBlock; x += kLanes) GuideAt<FV>(r, z, g, x);
            for (int c = 0; c < 3; ++c) {
                FV lo = Load<FV>(z[c] + x0), hi = lo;
                for (int x = x0 + kLanes; x < x0 + kZBlock; x += kLanes) {
                    const FV u = Load<FV>(z[c] + x);
                    lo = Min(lo, u);
                    hi = Max(hi, u);
                }
                float a = range[c][bx], b = range[c][zbw + bx];
                for (int k = 0; k < kLanes; ++k) {
                    a = std::min(a, lo[k]);
                    b = std::max(b, hi[k]);
                }
                range[c][bx] = a;
                range[c][zbw + bx] = b;
            }
            continue;
        }
        for (int x = x0; x < x0 + m; ++x) {
            GuideAt<float>(r, z, g, x);
            for (int c = 0; c < 3; ++c) {
                range[c][bx] = std::min(range[c][bx], z[c][x]);
                range[c][zbw + bx] = std::max(range[c][zbw + bx], z[c][x]);
            }
        }
    }
}

// The distance D in the guide of samples v from the previous result r (see Clean): the largest
// over the channels of |own_c d_c + shared_c L(d)|, d = v - r.
template <typename V>
inline V RobustDistance(V d0, V d1, V d2, const GuideArgs& g) {
    const V dl = g.lum[0] * d0 + g.lum[1] * d1 + g.lum[2] * d2;
    const V e0 = Abs(g.own[0] * d0 + g.shared[0] * dl), e1 = Abs(g.own[1] * d1 + g.shared[1] * dl);
    return Max(Max(e0, e1), Abs(g.own[2] * d2 + g.shared[2] * dl));
}

// The robust average's weight at distance D: ramp smoothstep((D - a) ia).
template <typename V>
inline V RobustWeightAt(V dist, const GuideArgs& g) {
    const V t = Min(Max((dist - g.a) * g.ia, Lanes(dist, 0.0f)), Lanes(dist, 1.0f));
    return g.ramp * t * t * (3.0f - 2.0f * t);
}

// The robust average's weight of samples v against the previous result r (see Clean).
template <typename V>
inline V RobustWeight(V d0, V d1, V d2, const GuideArgs& g) {
    return RobustWeightAt(RobustDistance(d0, d1, d2, g), g);
}

// One row of a robust pass's values (see Clean): o = v - w (v - r), v the reduced copy, r the
// previous result. o is written only over the chunks of kRobustChunk samples where w > 0
// somewhere or where the row's flag says that o differs from v (from the pass before);
// elsewhere o already holds v. The flags are updated.
void RobustRow(const float* const* v, const float* const* r, float* const* o, unsigned char* flags,
               const GuideArgs& g, int n) {
    constexpr int kVectors = kRobustChunk / kLanes;
    static_assert(kRobustChunk % kLanes == 0, "a chunk is whole vectors");
    for (int x0 = 0, c = 0; x0 < n; x0 += kRobustChunk, ++c) {
        const int m = std::min(kRobustChunk, n - x0);
        bool any = false;
        if (m == kRobustChunk) {
            FV d[kVectors][3];
            FV w[kVectors];
            FV most = FV{};
            for (int h = 0; h < kVectors; ++h) {
                for (int k = 0; k < 3; ++k)
                    d[h][k] = Load<FV>(v[k] + x0 + kLanes * h) - Load<FV>(r[k] + x0 + kLanes * h);
                w[h] = RobustWeight(d[h][0], d[h][1], d[h][2], g);
                most = Max(most, w[h]);
            }
            for (int k = 0; k < kLanes; ++k) any = any || most[k] > 0.0f;
            if (any || flags[c] != 0) {
                for (int h = 0; h < kVectors; ++h)
                    for (int k = 0; k < 3; ++k) {
                        const int x = x0 + kLanes * h;
                        Store(o[k] + x, Load<FV>(v[k] + x) - w[h] * d[h][k]);
                    }
            }
        } else {
            float w[kRobustChunk];
            for (int i = 0; i < m; ++i) {
                const int x = x0 + i;
                w[i] = RobustWeight(v[0][x] - r[0][x], v[1][x] - r[1][x], v[2][x] - r[2][x], g);
                any = any || w[i] > 0.0f;
            }
            if (any || flags[c] != 0) {
                for (int i = 0; i < m; ++i)
                    for (int k = 0; k < 3; ++k) {
                        const int x = x0 + i;
                        o[k][x] = v[k][x] - w[i] * (v[k][x] - r[k][x]);
                    }
            }
        }
        flags[c] = any;
    }
}

// One row of the distances of samples v from the previous result r (see RobustDistance).
void RobustDistanceRow(const float* const* v, const float* const* r, float* dist,
                       const GuideArgs& g, int n) {
    int x = 0;
    for (; x + kLanes <= n; x += kLanes) {
        FV d[3];
        for (int k = 0; k < 3; ++k) d[k] = Load<FV>(v[k] + x) - Load<FV>(r[k] + x);
        Store(dist + x, RobustDistance(d[0], d[1], d[2], g));
    }
    for (; x < n; ++x)
        dist[x] = RobustDistance(v[0][x] - r[0][x], v[1][x] - r[1][x], v[2][x] - r[2][x], g);
}

// One row of the last pass's robust values (see Clean): o = v - w (v - r), each sample's weight
// from the largest distance in its 3 x 3 neighbourhood (dist: the rows above, at and below,
// each n long), every sample written.
void RobustRowNear(const float* const* v, const float* const* r, float* const* o,
                   const float* const* dist, const GuideArgs& g, int n) {
    auto column = [&](int x) { return std::max({dist[0][x], dist[1][x], dist[2][x]}); };
    auto one = [&](int x) {
        float m = column(x);
        if (x > 0)
            m = std::max(m, column(x - 1));
        if (x + 1 < n)
            m = std::max(m, column(x + 1));
        const float w = RobustWeightAt(m, g);
        for (int k = 0; k < 3; ++k) o[k][x] = v[k][x] - w * (v[k][x] - r[k][x]);
    };
    auto columns = [&](int x) {
        return Max(Max(Load<FV>(dist[0] + x), Load<FV>(dist[1] + x)), Load<FV>(dist[2] + x));
    };
    int x = 0;
    if (n > 0)
        one(x++);
    for (; x + kLanes + 1 <= n; x += kLanes) {
        const FV m = Max(Max(columns(x - 1), columns(x)), columns(x + 1));
        const FV w = RobustWeightAt(m, g);
        for (int k = 0; k < 3; ++k) {
            const FV vk = Load<FV>(v[k] + x);
            Store(o[k] + x, vk - w * (vk - Load<FV>(r[k] + x)));
        }
    }
    for (; x < n; ++x) one(x);
}

// Gaussian taps of sigma (in cells) over radius r; r = 0 gives the identity.
void GridTaps(float sigma, int r, float* taps) {
    if (r == 0) {
        taps[0] = 1.0f;
        return;
    }
    double sum = 0.0;
    for (int k = -r; k <= r; ++k) sum += std::exp(-0.5 * k * k / (double(sigma) * sigma));
    for (int k = -r; k <= r; ++k) {
        taps[k + r] = static_cast<float>(std::exp(-0.5 * k * k / (double(sigma) * sigma)) / sum);
    }
}

// Cells along one axis: pixel x lies in cell floor(x / c), with tent weights on it and the next.
struct CellAxis {
    float inv;  // 1 / c
    int CellOf(int x) const { return static_cast<int>(std::floor(static_cast<float>(x) * inv)); }
    float Frac(int x) const { return static_cast<float>(x) * inv - static_cast<float>(CellOf(x)); }
    // The first pixel whose cell is at least ci.
    int FirstPixel(int ci, float c) const {
        int x = static_cast<int>(std::ceil(static_cast<double>(ci) * c));
        while (CellOf(x - 1) >= ci) --x;
        while (CellOf(x) < ci) ++x;
        return x;
    }
};

// Where sample p (p >= n) of an axis of n samples continues by odd reflection about position
// n - 1 + o, o a quarter of a sample either way (Plane::farX): 2 v(n - 1 + o) less the value
// mirrored about it, each read linearly between the two samples about it, so that the
// continuation is the same whichever side of the last sample the border lies. Up to four taps.
struct FarTaps {
    int at[4];
    float w[4];
};
inline FarTaps FarReflection(int p, int n, float o) {
    FarTaps t;
    // v(n - 1 + o) = v(n - 1) + o (v(n - 1) - v(n - 2)); the mirror 2 (n - 1 + o) - p lies
    // half-way between a and a + 1.
    const int a = 2 * n - 2 - p - (o < 0.0f ? 1 : 0);
    t.at[0] = n - 1;
    t.w[0] = 2.0f * (1.0f + o);
    t.at[1] = n - 2;
    t.w[1] = -2.0f * o;
    t.at[2] = Mirror(a, n);
    t.w[2] = -0.5f;
    t.at[3] = Mirror(a + 1, n);
    t.w[3] = -0.5f;
    return t;
}

// FarReflection's sum for count columns whose first mirrored pair is row[a], row[a + 1], the
// pair stepping back one sample per column (a - count + 1 >= 0, so no mirror folds), written
// as that function's callers write it, so that the sums are the same to the bit. Kept out of
// line so that the restrict promise holds and the loop runs in vectors.
__attribute__((noinline)) void FarBorderRow(float* __restrict o, const float* __restrict row, int a,
                                            float w0, float r0, float w1, float r1, int count) {
    for (int j = 0; j < count; ++j)
        o[j] = (w0 * r0 + w1 * r1) + (-0.5f * row[a - j] + -0.5f * row[a - j + 1]);
}

// Odd reflection about the sample e for count columns whose mirrored samples are row[a],
// row[a - 1], ... (a - count + 1 >= 0): 2 e less the mirrored sample.
__attribute__((noinline)) void MirrorBorderRow(float* __restrict o, const float* __restrict row,
                                               int a, float e, int count) {
    for (int j = 0; j < count; ++j) o[j] = 2.0f * e - row[a - j];
}

// Row y (any integer) of a plane over columns [xa, xa + n): the plane's own memory where that
// lies inside, else the row continued by odd reflection about the border pixels (beyond the
// far border of a reduced plane, about the full-size border's place: FarReflection), written to
// buf (tmp holds n floats).
const float* RowSpan(const Plane& p, int y, int xa, int n, float* buf, float* tmp) {
    const int w = p.width, h = p.height;
    if (y >= 0 && y < h && xa >= 0 && xa + n <= w)
        return p.Row(y) + xa;
    // Columns [in0, in1) of the span lie inside.
    const int in0 = std::clamp(-xa, 0, n), in1 = std::clamp(w - xa, in0, n);
    const bool farX = p.farX != 0.0f && w >= 3, farY = p.farY != 0.0f && h >= 3;
    auto fill = [&](int yy, float* o) {
        const float* row = p.Row(yy);
        // Before the first column: column -x mirrors to x, stepping back one per column once
        // the mirror lies inside the row.
        const int jl = std::clamp(1 - w - xa, 0, in0);
        for (int j = 0; j < jl; ++j) o[j] = 2.0f * row[0] - row[Mirror(xa + j, w)];
        if (in0 > jl)
            MirrorBorderRow(o + jl, row, -xa - jl, row[0], in0 - jl);
        std::memcpy(o + in0, row + xa + in0, sizeof(float) * static_cast<std::size_t>(in1 - in0));
        if (farX) {
            // FarReflection's taps: the last two samples with the same weights for every
            // column, and two mirrored samples that step back by one per column until the
            // mirror passes the first sample.
            const int first = 2 * w - 2 - xa - (p.farX < 0.0f ? 1 : 0);  // a at j = 0
            const int j1 = std::clamp(first + 1, in1, n);
            if (j1 > in1) {
                const FarTaps t = FarReflection(xa + in1, w, p.farX);
                FarBorderRow(o + in1, row, first - in1, t.w[0], row[t.at[0]], t.w[1], row[t.at[1]],
                             j1 - in1);
            }
            for (int j = j1; j < n; ++j) {
                const FarTaps t = FarReflection(xa + j, w, p.farX);
                o[j] = (t.w[0] * row[t.at[0]] + t.w[1] * row[t.at[1]]) +
                       (t.w[2] * row[t.at[2]] + t.w[3] * row[t.at[3]]);
            }
            return;
        }
        // Beyond the last column: column x mirrors to 2 (w - 1) - x while that is not negative.
        const int jm = std::clamp(2 * w - 1 - xa, in1, n);
        if (jm > in1)
            MirrorBorderRow(o + in1, row, 2 * (w - 1) - xa - in1, row[w - 1], jm - in1);
        for (int j = jm; j < n; ++j) o[j] = 2.0f * row[w - 1] - row[Mirror(xa + j, w)];
    };
    if (y >= 0 && y < h) {
        fill(y, buf);
        return buf;
    }
    if (y >= h && farY) {
        const FarTaps t = FarReflection(y, h, p.farY);
        fill(t.at[0], buf);
        for (int j = 0; j < n; ++j) buf[j] *= t.w[0];
        for (int k = 1; k < 4; ++k) {
            fill(t.at[k], tmp);
            for (int j = 0; j < n; ++j) buf[j] += t.w[k] * tmp[j];
        }
        return buf;
    }
    fill(y < 0 ? 0 : h - 1, buf);
    fill(Mirror(y, h), tmp);
    for (int j = 0; j < n; ++j) buf[j] = 2.0f * buf[j] - tmp[j];
    return buf;
}

// Adds one row of samples of three values to an unguided grid of red, green, blue and weight:
// cell column cx[j] with weight 1 - fx[j] and the next, into the cell rows at g0 (weight
// 1 - fy) and g0 + sy. Runs of samples in the same cell column are summed in registers first.
void SplatRow3(float* g0, std::size_t sy, std::size_t sz, const int* cx, const float* fx,
               const float* const* vals, float fy, int n) {
    const float wy0 = 1.0f - fy, wy1 = fy;
    const float* r = vals[0];
    const float* g = vals[1];
    const float* b = vals[2];
    int at = -1;
    F4 u0 = {0, 0, 0, 0}, u1 = u0;  // the run's sums for its column and the next
    auto flush = [&] {
        if (at < 0)
            return;
        float* p = g0 + static_cast<std::size_t>(at) * sz;
        *reinterpret_cast<F4u*>(p) += wy0 * u0;
        *reinterpret_cast<F4u*>(p + sz) += wy0 * u1;
        *reinterpret_cast<F4u*>(p + sy) += wy1 * u0;
        *reinterpret_cast<F4u*>(p + sy + sz) += wy1 * u1;
    };
    for (int j = 0; j < n; ++j) {
        const F4 v = {r[j], g[j], b[j], 1.0f};
        const float wx0 = 1.0f - fx[j], wx1 = fx[j];
        if (cx[j] != at) {
            flush();
            at = cx[j];
            u0 = wx0 * v;
            u1 = wx1 * v;
        } else {
            u0 += wx0 * v;
            u1 += wx1 * v;
        }
    }
    flush();
}

// Adds one row of samples of one value to an unguided grid of value and weight (cells of two
// floats): cell column cx[j] with weight 1 - fx[j] and the next, into the cell rows at g0
// (weight 1 - fy) and g0 + sy.
void SplatRow1(float* g0, std::size_t sy, const int* cx, const float* fx, const float* a, float fy,
               int n) {
    const float wy0 = 1.0f - fy, wy1 = fy;
    for (int j = 0; j < n; ++j) {
        const float wx0 = 1.0f - fx[j], wx1 = fx[j];
        const F4 t = {a[j] * wx0, wx0, a[j] * wx1, wx1};
        float* p = g0 + static_cast<std::size_t>(cx[j]) * 2;
        *reinterpret_cast<F4u*>(p) += wy0 * t;
        *reinterpret_cast<F4u*>(p + sy) += wy1 * t;
    }
}

// *p += w u, with p's two cells (two floats each) read and written one at a time: the next run
// of a row usually adds to the next column, whose first cell is this one's second, and a load
// that only partly overlaps a recent store cannot take its data from the store but waits.
inline void AddHalves(float* p, float w, F4 u) {
#if defined(__SSE2__)
    const __m128 lo = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(p)));
    const F4 s = F4(_mm_loadh_pi(lo, reinterpret_cast<const __m64*>(p + 2))) + w * u;
    _mm_storel_pi(reinterpret_cast<__m64*>(p), __m128(s));
    _mm_storeh_pi(reinterpret_cast<__m64*>(p + 2), __m128(s));
#else
    *reinterpret_cast<F4u*>(p) += w * u;
#endif
}

// Adds one row of samples of one value to a guided grid, laid out per cell row as one row of
// cells (value and weight, two floats each) per range bin, sb floats apart: bins z - zlo and the
// next with tent weights, where z is the guide times zs, cell column cx[j] and the next (tent
// weights wx[4 j..4 j + 3] = {1 - f, 1 - f, f, f}), cell rows at g0 and g0 + sy. Samples whose z
// lies outside [zmin, zmax] are left out; only reflected samples can. A run of samples in the same
// cell column and bin (neighbours usually are) is summed in registers and added to the grid
// once. Returns the lowest and highest bin written through lo and hi.
// Each bin and offset is found for a chunk of samples first, eight at a time where the
// instruction set has it, so that the loop over runs does little more than add.
void SplatRowZ(float* g0, std::size_t sy, std::size_t sb, const int* cx, const float* wx,
               const float* a, const float* z, float zs, float zlo, float zmin, float zmax,
               float fy, int n, int& lo, int& hi) {
    const float wy0 = 1.0f - fy, wy1 = fy;
    std::ptrdiff_t at = -1;         // grid offset of the run, bin iz and column cx
    F4 u0 = {0, 0, 0, 0}, u1 = u0;  // the run's sums at bins iz and iz + 1
    auto flush = [&] {
        if (at < 0)
            return;
        float* p = g0 + at;
        AddHalves(p, wy0, u0);
        AddHalves(p + sb, wy0, u1);
        if (wy1 == 0.0f)
            return;  // the row lies on its cell row (always with cells a pixel wide)
        AddHalves(p + sy, wy1, u0);
        AddHalves(p + sy + sb, wy1, u1);
    };
    constexpr int kChunk = 64;
    alignas(32) int off[kChunk], bin[kChunk];  // off: -1 where the sample is left out
    alignas(32) float frac[kChunk];
    const int sbi = static_cast<int>(sb);
    int l = lo, h = hi;
    for (int j0 = 0; j0 < n; j0 += kChunk) {
        const int m = std::min(kChunk, n - j0);
        const float* zc = z + j0;
        const int* cc = cx + j0;
        int k = 0;
#if defined(VG_KERNEL_AVX2)
        const __m256 vzs = _mm256_set1_ps(zs), vlo = _mm256_set1_ps(zlo);
        const __m256 vmin = _mm256_set1_ps(zmin), vmax = _mm256_set1_ps(zmax);
        const __m256i vsb = _mm256_set1_epi32(sbi), none = _mm256_set1_epi32(-1);
        for (; k + 8 <= m; k += 8) {
            const __m256 zz = _mm256_mul_ps(vzs, _mm256_loadu_ps(zc + k));
            const __m256 in = _mm256_and_ps(_mm256_cmp_ps(zz, vmin, _CMP_GE_OQ),
                                            _mm256_cmp_ps(zz, vmax, _CMP_LE_OQ));
            const __m256 zf = _mm256_and_ps(in, _mm256_sub_ps(zz, vlo));
            const __m256i iz = _mm256_cvttps_epi32(zf);
            _mm256_store_si256(reinterpret_cast<__m256i*>(bin + k), iz);
            _mm256_store_ps(frac + k, _mm256_sub_ps(zf, _mm256_cvtepi32_ps(iz)));
            const __m256i c2 =
                _mm256_slli_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(cc + k)), 1);
            const __m256i o = _mm256_add_epi32(c2, _mm256_mullo_epi32(iz, vsb));
            _mm256_store_si256(reinterpret_cast<__m256i*>(off + k),
                               _mm256_blendv_epi8(none, o, _mm256_castps_si256(in)));
        }
#endif
        for (; k < m; ++k) {
            const float zz = zs * zc[k];
            const bool in = zz >= zmin && zz <= zmax;
            const float zf = in ? zz - zlo : 0.0f;
            const int iz = static_cast<int>(zf);
            bin[k] = iz;
            frac[k] = zf - static_cast<float>(iz);
            off[k] = in ? cc[k] * 2 + iz * sbi : -1;
        }
        for (k = 0; k < m; ++k) {
            const int o = off[k];
            if (o < 0)
                continue;
            const int j = j0 + k;
            const float b1 = frac[k], b0 = 1.0f - b1;
            const F4 t = F4{a[j], 1.0f, a[j], 1.0f} * *reinterpret_cast<const F4u*>(wx + 4 * j);
            if (o != at) {
                flush();
                at = o;
                u0 = b0 * t;
                u1 = b1 * t;
                l = std::min(l, bin[k]);
                h = std::max(h, bin[k] + 1);
            } else {
                u0 += b0 * t;
                u1 += b1 * t;
            }
        }
    }
    flush();
    lo = l;
    hi = h;
}

// A reduced sample whose z differs from a neighbour's by this many bins or more, counted a
// quarter of the way, is splatted as its four pixels (SplatRowZSpread). A whole sample holds the
// reduced input (the binomial about its block) at its pixels' mean guide; on texture whose guide
// varies by a bin or so between samples the grid's bins so held a mix that followed the reduction's
// phase, and the split flipped with it: a picture shifted by a pixel came out about 1.5 levels
// apart (99.9th percentile), which the accent and the sharpening multiplied to 3-5. Split from 0.1
// bins that was about 0.6, but printed text on paper, whose ground varies by less between samples,
// still came out 3-4 levels apart at the defaults (4-5 at radius 6, 7-8 with accent 5); split from
// 0.05, 2 (3 and 5). Splitting from 0.02 gains a little more at radius 6 but costs 13 % of a
// preview of a soft background (40 % under Wine), where many samples split; from 0.05, 2-3 %.
// The same held at strengths 1-8 (printed text at strength 2 radius 8: 5-8 levels, now 2).
constexpr float kSpreadBinsFlat = 0.05f;
// Where the robust rule averages samples far from the previous result as that result (wide
// thresholds, strength > 0), a split sample's pixels bypass it: from 0.02 bins the sky beside a
// dark cable darkened by 6 levels at the strongest settings. There samples split from this
// many bins. The split rises to it over the rule's ramp from half to 0.8: at clean threshold 0.75
// (half the ramp), of 35 photographs shifted by a pixel, splitting from 0.05 left 2 more than 2
// levels apart, from 0.2 6 and from 0.35 11; at 0.9 anything below 0.35 only moved which failed.
constexpr float kSpreadBinsRobust = 0.35f;
// The last pass splats a sample at the slice's guide (its 2 x 2 means), which follows the input's
// own guide on slopes and the guide brought up on flats (see MakeSliceGuides). On a slope a
// sample's own value belongs where it is splatted, and the pixels of a thin strong feature read
// it there; a value replaced by the robust rule would reach them instead, and whether it is
// replaced follows the reduction's phase at the feature's edge samples (a picture shifted by a
// pixel came out 3-5 levels apart at clean threshold 0.9-1 on 6 of 35 photographs). So a sample
// keeps its own value in the share min(1, this times the own guide's weight) of it; on flats,
// where the guide brought up has lost the feature, the replaced value stays.
constexpr float kKeepOwnOnSlopes = 2.0f;
constexpr float kSpreadRiseFrom = 0.5f;
constexpr float kSpreadRiseOver = 0.3f;

// The input's rows 2 y and 2 y + 1 of one channel, over the pixels of the span's samples:
// span column j's pixels at 2 j and 2 j + 1, for columns [a, b) (the samples inside the image).
struct FullRows {
    const float* row[2] = {};
    int a = 0, b = 0;
    int end = 0;         // row[.][i] is a pixel of the image for i < end
    bool second = true;  // row[1] is a row of the image
};

// Adds one row of a reduced image to a guided grid that is read at full size (GridJob::down =
// 2): each sample stands for the 2 x 2 pixels about it, whose guide the slice sees interpolated
// between it and its neighbours. Where the guide is steep, the sample alone would put all four
// at its own z: the middle of a ramp would hold only the samples that happen to fall on it, and
// what a pixel there reads back would follow the reduction's phase. There the sample is
// splatted as its four pixels, each with a quarter of its weight, at the z the slice reads
// there (a quarter of the way towards the neighbours across and down), clamped to [zcl, zch]
// (the tile's bins: the neighbours may lie outside the tile), with the pixel's own value from
// full() (called once per row, at the first such sample), or for samples outside the image the
// value interpolated as z is. A sample splits where its z differs from a neighbour's by
// spreadBins bins or more a quarter of the way. Samples outside [zmin, zmax] stay whole and are
// left out by SplatRowZ. v and z: rows y - 1, y, y + 1 over the span and one column beyond it
// either side (span column j at j + 1). Arguments otherwise as SplatRowZ's.
template <typename Full>
void SplatRowZSpread(float* g0, std::size_t sy, std::size_t sb, const int* cx, const float* wx,
                     const float* const* v, const float* const* z, float zs, float zlo, float zmin,
                     float zmax, float zcl, float zch, float fy, int n, int& lo, int& hi,
                     float* masked, float spreadBins, const Full& full) {
    constexpr int kChunk = 64;
    static_assert(kChunk <= 64, "a chunk's samples fit one mask");
    alignas(32) float spread[kChunk];
    // The split samples' quarters, splatted kChunk samples at a time.
    alignas(32) int qcx[4 * kChunk];
    alignas(32) float qwx[16 * kChunk], qa[4 * kChunk], qz[4 * kChunk];
    int q = 0;
    const float clampLo = std::max(zcl, zmin), clampHi = std::max(clampLo, std::min(zch, zmax));
    const float least = spreadBins / (0.25f * std::fabs(zs));  // in units of z
    const float* zu = z[0] + 1;
    const float* zc = z[1] + 1;
    const float* zd = z[2] + 1;
    // The row's z, where split samples are replaced by a value SplatRowZ leaves out.
    const float* zrow = zc;
    const float outside = zs > 0.0f ? 2.0f * std::fabs(zmax / zs) + 1.0f : 0.0f;
    FullRows own;
    bool fetched = false;
    for (int j0 = 0; j0 < n; j0 += kChunk) {
        const int m = std::min(kChunk, n - j0);
        for (int i = 0; i < m; ++i) {
            const int j = j0 + i;
            const float z0 = zc[j];
            spread[i] = std::max(std::max(std::fabs(zc[j - 1] - z0), std::fabs(zc[j + 1] - z0)),
                                 std::max(std::fabs(zu[j] - z0), std::fabs(zd[j] - z0)));
        }
        // One bit per sample that splits (kChunk is 64), so that the loop below visits only
        // those.
        std::uint64_t split = 0;
        int i = 0;
#if defined(VG_KERNEL_AVX2)
        const __m256 vleast = _mm256_set1_ps(least);
        for (int b = 0; b < kChunk / 8 && i + 8 <= m; ++b, i += 8) {
            const __m256 ge = _mm256_cmp_ps(_mm256_load_ps(spread + i), vleast, _CMP_GE_OQ);
            split |= static_cast<std::uint64_t>(_mm256_movemask_ps(ge)) << i;
        }
#endif
        for (; i < m; ++i) {
            if (spread[i] >= least)
                split |= std::uint64_t{1} << i;
        }
        for (; split != 0; split &= split - 1) {
            const int j = j0 + __builtin_ctzll(split);
            const float z0 = zc[j], zz0 = zs * z0;
            if (!(zz0 >= zmin && zz0 <= zmax))
                continue;
            if (!fetched) {
                own = full();
                fetched = true;
                std::memcpy(masked, zc, sizeof(float) * static_cast<std::size_t>(n));
                zrow = masked;
            }
            masked[j] = outside;
            const float v0 = v[1][j + 1];
            const float dz[4] = {0.25f * (zc[j - 1] - z0), 0.25f * (zc[j + 1] - z0),
                                 0.25f * (zu[j] - z0), 0.25f * (zd[j] - z0)};
            const float dv[4] = {0.25f * (v[1][j] - v0), 0.25f * (v[1][j + 2] - v0),
                                 0.25f * (v[0][j + 1] - v0), 0.25f * (v[2][j + 1] - v0)};
            const bool inside = j >= own.a && j < own.b;
            const F4 wq = 0.25f * *reinterpret_cast<const F4u*>(wx + 4 * j);
            for (int k = 0; k < 4; ++k, ++q) {
                const int a = k >> 1, b = k & 1;
                qcx[q] = cx[j];
                const bool beyond = inside && ((b == 1 && !own.second) || 2 * j + a >= own.end);
                *reinterpret_cast<F4u*>(qwx + 4 * q) = beyond ? F4{} : wq;
                qa[q] = inside ? own.row[b][2 * j + a] : v0 + dv[a] + dv[2 + b];
                qz[q] = std::clamp(zz0 + zs * (dz[a] + dz[2 + b]), clampLo, clampHi) / zs;
            }
            if (q == 4 * kChunk) {
                SplatRowZ(g0, sy, sb, qcx, qwx, qa, qz, zs, zlo, zmin, zmax, fy, q, lo, hi);
                q = 0;
            }
        }
    }
    if (q > 0)
        SplatRowZ(g0, sy, sb, qcx, qwx, qa, qz, zs, zlo, zmin, zmax, fy, q, lo, hi);
    SplatRowZ(g0, sy, sb, cx, wx, v[1] + 1, zrow, zs, zlo, zmin, zmax, fy, n, lo, hi);
}

// Everything a row of the slice needs besides the grid.
struct SliceRowArgs {
    const float* g0;  // the upper cell row
    std::size_t sy, sz;
    const int* cx;    // cell column per pixel, in the tile's grid
    const float* fx;  // tent weight of the next column
    float fy;         // tent weight of the next cell row
    float eps;        // weight below which a pixel keeps its own value
    const float* own[3];
    float* out[3];
    float* energy;  // optional: (q (own - out))^2, for one value
    float q;
    bool energyAdd;  // add to the energy the other channels left
    int n;
};

// Reads one row of pixels back from an unguided grid of red, green, blue and weight and
// normalises by the weight; where the weight is tiny the pixel keeps its own value.
void SliceRow3(const SliceRowArgs& a) {
    const float wy0 = 1.0f - a.fy, wy1 = a.fy;
    for (int j = 0; j < a.n; ++j) {
        const float* p = a.g0 + static_cast<std::size_t>(a.cx[j]) * a.sz;
        const float wx0 = 1.0f - a.fx[j], wx1 = a.fx[j];
        const F4 acc = (wy0 * wx0) * *reinterpret_cast<const F4u*>(p) +
                       (wy0 * wx1) * *reinterpret_cast<const F4u*>(p + a.sz) +
                       (wy1 * wx0) * *reinterpret_cast<const F4u*>(p + a.sy) +
                       (wy1 * wx1) * *reinterpret_cast<const F4u*>(p + a.sy + a.sz);
        const float inv = 1.0f / (acc[3] + a.eps);
        for (int v = 0; v < 3; ++v) a.out[v][j] = (acc[v] + a.eps * a.own[v][j]) * inv;
    }
}

// Reads one row back from an unguided grid of value and weight (see SplatRow1); where the
// weight is tiny the pixel keeps its own value. Guided grids are read by the gridSlice kernel.
void SliceRow1(const SliceRowArgs& a) {
    const float wy0 = 1.0f - a.fy, wy1 = a.fy;
    for (int j = 0; j < a.n; ++j) {
        const float* q = a.g0 + static_cast<std::size_t>(a.cx[j]) * a.sz;
        const float wx0 = 1.0f - a.fx[j], wx1 = a.fx[j];
        const float v = (wy0 * wx0) * q[0] + (wy0 * wx1) * q[a.sz] + (wy1 * wx0) * q[a.sy] +
                        (wy1 * wx1) * q[a.sy + a.sz];
        const float wt = (wy0 * wx0) * q[1] + (wy0 * wx1) * q[a.sz + 1] +
                         (wy1 * wx0) * q[a.sy + 1] + (wy1 * wx1) * q[a.sy + a.sz + 1];
        const float own = a.own[0][j];
        const float o = (v + a.eps * own) / (wt + a.eps);
        a.out[0][j] = o;
        if (a.energy != nullptr) {
            const float d = a.q * (own - o);
            a.energy[j] = (a.energyAdd ? a.energy[j] : 0.0f) + d * d;
        }
    }
}

}  // namespace

// One bilateral grid filter: three values without a guide (the seed), or one value with a
// guide, which gives the range coordinate: z = zScale * zSplat.
struct CGlazeRun::GridJob {
    int nv = 3;                     // values per pixel: 3 without a guide, 1 with one
    const Plane* values[3] = {};    // what is averaged
    const Plane* zSplat = nullptr;  // the guide; null: none
    float zScale = 1.0f;
    float sigmaS = 1.0f;  // spatial sigma in pixels of the values
    // The result may be `down` times larger than the values: output pixel X sits at position
    // (X + 0.5) / down - 0.5 among them, the centre of its box, and reads the grid at the guide
    // interpolated there, continued by odd reflection.
    int down = 1;
    const Plane* own[3] = {};  // output size: kept where the grid is empty
    int ownInput = -1;         // or this channel of the host's rows (one value, down > 1)
    Plane* out[3] = {};        // the result; no input plane
    Plane* energy = nullptr;   // optional: (q (own - out))^2, added over channels
    float q = 0.0f;
    bool energyAdd = false;  // add to the energy already there
    // Optional: the guide's least and greatest value in each block of kRowsPerChunk rows and
    // kZBlock columns; per chunk of rows, the minima of its blocks, then their maxima.
    const float* zRanges = nullptr;
    // Optional, one byte per output column: 1 where the guided slice's vector kernel reads the
    // pixel in its one-at-a-time tail (see GateEnergyRow), else 0.
    unsigned char* sliceTail = nullptr;
    // Optional, output size (down > 1): the guide the slice reads at, instead of zSplat
    // interpolated.
    const Plane* zSlice = nullptr;
    float spreadBins = kSpreadBinsFlat;  // down > 1, guided: see SplatRowZSpread
    bool pixelCells = false;         // cells one pixel wide, whatever the sigma (see Clean)
};

void CGlazeRun::GridFilter(const GridJob& job) {
    // The values set the grid; the output may be larger (see GridJob::down).
    const int nv = job.nv, V = nv == 3 ? 4 : 2;
    const bool ranged = job.zSplat != nullptr;
    const float c = job.pixelCells ? 1.0f : std::max(1.0f, kCellPerSigma * job.sigmaS);
    const CellAxis axis{1.0f / c};
    // The tents of splat and slice each add a variance of c^2 / 6.
    const float blur2 = job.sigmaS * job.sigmaS - c * c / 3.0f;
    const float sb = blur2 > 0.0f ? std::sqrt(blur2) / c : 0.0f;
    const int r =
        sb < 0.15f ? 0 : std::min(kMaxGridRadius, static_cast<int>(std::ceil(kGridReach * sb)));
    float taps[2 * kMaxGridRadius + 1];
    GridTaps(sb, r, taps);
    const int rz = ranged ? kRangeRadius : 0;
    float ztaps[2 * kRangeRadius + 1];
    GridTaps(std::sqrt(2.0f / 3.0f), rz, ztaps);
    const float zs = job.zScale;

    // The guide's range over the image: reflected samples far outside it would only widen the
    // grid, for weights that are negligible anyway.
    // Also the range of each block of kRowsPerChunk rows and kZBlock columns, from which an
    // inner tile takes its own without reading its samples twice.
    float zmin = 0.0f, zmax = 0.0f;
    const int zbw = ranged ? (job.zSplat->width + kZBlock - 1) / kZBlock : 0;
    float* zblocks = nullptr;  // per chunk of rows, zbw minima then zbw maxima
    if (ranged) {
        const int gw = job.zSplat->width, gh = job.zSplat->height;
        const int chunks = (gh + kRowsPerChunk - 1) / kRowsPerChunk;
        zblocks = NewFloats(2 * static_cast<std::size_t>(chunks) * zbw);
        if (job.zRanges != nullptr) {
            for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(chunks) * zbw; ++i)
                zblocks[i] = job.zRanges[i] * zs;
        } else {
            ForRowChunks(gh, [&](int y0, int y1, int) {
                float* lo = zblocks + 2 * static_cast<std::size_t>(y0 / kRowsPerChunk) * zbw;
                float* hi = lo + zbw;
                for (int bx = 0; bx < zbw; ++bx) {
                    float a = 1e30f, b = -1e30f;
                    const int x1 = std::min(gw, (bx + 1) * kZBlock);
                    for (int y = y0; y < y1; ++y)
                        SpanMinMax(job.zSplat->Row(y) + bx * kZBlock, x1 - bx * kZBlock, a, b);
                    lo[bx] = a * zs;
                    hi[bx] = b * zs;
                }
            });
        }
        float a = 1e30f, b = -1e30f;
        for (int k = 0; k < chunks; ++k) {
            const float* lo = zblocks + 2 * static_cast<std::size_t>(k) * zbw;
            a = std::min(a, *std::min_element(lo, lo + zbw));
            b = std::max(b, *std::max_element(lo + zbw, lo + 2 * zbw));
        }
        zmin = a - kVirtualRange;
        zmax = b + kVirtualRange;
    }
    const int zbins =
        ranged ? static_cast<int>(std::floor(zmax) - std::floor(zmin)) + 2 * rz + 4 : 1;
    // Core cells per tile side, so that a tile's grid fits its buffer.
    const std::size_t perCell = static_cast<std::size_t>(zbins) * V;
    int tc =
        static_cast<int>(std::sqrt(static_cast<double>(kGridTileFloats) / perCell)) - 2 * r - 3;
    tc = std::clamp(tc, 4, job.pixelCells ? kMaxPixelTileCells : kMaxTileCells);
    // Cell and tent weight of every output column and row: output pixels are assigned to the
    // tile of their cell, so every pixel is written by exactly one tile.
    const int wo = job.out[0]->width, ho = job.out[0]->height;
    const float scaleDown = static_cast<float>(job.down);
    auto posOf = [&](int X) { return (static_cast<float>(X) + 0.5f) / scaleDown - 0.5f; };
    const int cellX0 = static_cast<int>(std::floor(posOf(0) * axis.inv));
    const int cellY0 = static_cast<int>(std::floor(posOf(0) * axis.inv));
    const int cellsX = static_cast<int>(std::floor(posOf(wo - 1) * axis.inv)) - cellX0 + 1;
    const int cellsY = static_cast<int>(std::floor(posOf(ho - 1) * axis.inv)) - cellY0 + 1;
    const int gx = std::min(tc, cellsX) + 2 * r + 3, gy = std::min(tc, cellsY) + 2 * r + 3;
    const std::size_t gridFloats = static_cast<std::size_t>(gx) * gy * perCell;
    const int span = std::max(
        static_cast<int>(std::ceil((gx + 1) * c)) + 2,
        static_cast<int>(std::ceil((std::min(tc, cellsX) + 1) * c * scaleDown)) + 2 * job.down + 2);
    const std::size_t rowFloats = (static_cast<std::size_t>(span) + 15) & ~std::size_t{15};
    // Values (3), z, spare, cells, tents, guide columns and weights, tents of four floats (4);
    // read at full size, the input's two rows under a reduced row, each two rows long.
    const bool spread = ranged && job.down > 1;
    const int kRows = spread ? 18 : 13;
    const std::size_t fullFloats = 2 * rowFloats;
    const std::size_t perThread = 2 * gridFloats + static_cast<std::size_t>(kRows) * rowFloats;
    float* block = GridBlock(perThread * static_cast<std::size_t>(m_team.Threads()) +
                             2 * static_cast<std::size_t>(wo + ho));
    float* tables = block + perThread * static_cast<std::size_t>(m_team.Threads());
    int* colCell = reinterpret_cast<int*>(tables);
    float* colFrac = tables + wo;
    int* rowCell = reinterpret_cast<int*>(tables + 2 * wo);
    float* rowFrac = tables + 2 * wo + ho;
    for (int X = 0; X < wo; ++X) {
        const float p = posOf(X) * axis.inv;
        colCell[X] = static_cast<int>(std::floor(p));
        colFrac[X] = p - static_cast<float>(colCell[X]);
    }
    for (int Y = 0; Y < ho; ++Y) {
        const float p = posOf(Y) * axis.inv;
        rowCell[Y] = static_cast<int>(std::floor(p));
        rowFrac[Y] = p - static_cast<float>(rowCell[Y]);
    }
    const int across = (cellsX + tc - 1) / tc, down = (cellsY + tc - 1) / tc;
    const float eps = 1e-3f * c * c;
    if (job.sliceTail != nullptr) {
        std::memset(job.sliceTail, 0, static_cast<std::size_t>(wo));
#if defined(VG_KERNEL_AVX2)
        // The kernel takes each tile's row eight pixels at a time, then the rest one by one.
        if (ranged && nv == 1) {
            for (int i = 0; i < across; ++i) {
                const int ci0 = cellX0 + i * tc, ci1 = std::min(cellX0 + cellsX, ci0 + tc);
                const int px0 =
                    static_cast<int>(std::lower_bound(colCell, colCell + wo, ci0) - colCell);
                const int px1 =
                    static_cast<int>(std::lower_bound(colCell, colCell + wo, ci1) - colCell);
                for (int x = px0 + (px1 - px0) / 8 * 8; x < px1; ++x) job.sliceTail[x] = 1;
            }
        }
#endif
    }
    Check(m_team.ParallelFor(across * down, [&](int tile, int thread) {
        float* ga = block + perThread * static_cast<std::size_t>(thread);
        float* gb = ga + gridFloats;
        float* rows = gb + gridFloats;
        float* vbuf[3] = {rows, rows + rowFloats, rows + 2 * rowFloats};
        float* zrow = rows + 3 * rowFloats;
        float* spare = rows + 4 * rowFloats;
        int* cxs = reinterpret_cast<int*>(rows + 5 * rowFloats);
        float* fxs = rows + 6 * rowFloats;
        int* gcol = reinterpret_cast<int*>(rows + 7 * rowFloats);
        float* gfrac = rows + 8 * rowFloats;
        float* wxs = rows + 9 * rowFloats;
        float* fullBuf = rows + 13 * rowFloats;
        const int ci0 = cellX0 + (tile % across) * tc, ci1 = std::min(cellX0 + cellsX, ci0 + tc);
        const int cj0 = cellY0 + (tile / across) * tc, cj1 = std::min(cellY0 + cellsY, cj0 + tc);
        const int ox = ci0 - r - 1, oy = cj0 - r - 1;  // grid origin in cells
        const int nx = ci1 - ci0 + 2 * r + 3, ny = cj1 - cj0 + 2 * r + 3;
        const int xa = axis.FirstPixel(ox, c), xb = axis.FirstPixel(ci1 + r + 1, c);
        const int ya = axis.FirstPixel(oy, c), yb = axis.FirstPixel(cj1 + r + 1, c);
        const int n = xb - xa;
        // The range of this tile's guide, which sets its bins; cells sit on integer z
        // everywhere, so a tile's bins never change a value.
        int zlo = 0, nz = 1;
        if (ranged) {
            float a = zmax, b = zmin;
            const int gw = job.zSplat->width, gh = job.zSplat->height;
            if (xa >= 0 && ya >= 0 && xb <= gw && yb <= gh) {
                // Inside the image: the blocks that hold the tile's samples (a range a little
                // wider than the samples' own costs a few empty bins, no value).
                for (int k = ya / kRowsPerChunk; k <= (yb - 1) / kRowsPerChunk; ++k) {
                    const float* lo = zblocks + 2 * static_cast<std::size_t>(k) * zbw;
                    for (int bx = xa / kZBlock; bx <= (xb - 1) / kZBlock; ++bx) {
                        a = std::min(a, lo[bx]);
                        b = std::max(b, lo[zbw + bx]);
                    }
                }
            } else {
                // Reflected samples beyond the border reach values the image does not have:
                // those outside [zmin, zmax] are left out. Rows inside the image are read in
                // place over their columns inside it, the rest continued by RowSpan.
                auto scan = [&](const float* g, int count) {
                    int j = 0;
#if defined(VG_KERNEL_AVX2)
                    if (count >= 8) {
                        const __m256 vzs = _mm256_set1_ps(zs);
                        const __m256 vmin = _mm256_set1_ps(zmin), vmax = _mm256_set1_ps(zmax);
                        __m256 va = _mm256_set1_ps(a), vb = _mm256_set1_ps(b);
                        for (; j + 8 <= count; j += 8) {
                            const __m256 z = _mm256_mul_ps(vzs, _mm256_loadu_ps(g + j));
                            const __m256 in = _mm256_and_ps(_mm256_cmp_ps(z, vmin, _CMP_GE_OQ),
                                                            _mm256_cmp_ps(z, vmax, _CMP_LE_OQ));
                            va = _mm256_blendv_ps(va, _mm256_min_ps(va, z), in);
                            vb = _mm256_blendv_ps(vb, _mm256_max_ps(vb, z), in);
                        }
                        alignas(32) float la[8], lb[8];
                        _mm256_store_ps(la, va);
                        _mm256_store_ps(lb, vb);
                        for (int k = 0; k < 8; ++k) {
                            a = std::min(a, la[k]);
                            b = std::max(b, lb[k]);
                        }
                    }
#endif
                    for (; j < count; ++j) {
                        const float z = zs * g[j];
                        if (z >= zmin && z <= zmax) {
                            a = std::min(a, z);
                            b = std::max(b, z);
                        }
                    }
                };
                const int in0 = std::clamp(-xa, 0, n), in1 = std::clamp(gw - xa, in0, n);
                for (int y = ya; y < yb; ++y) {
                    if (y < 0 || y >= gh) {
                        scan(RowSpan(*job.zSplat, y, xa, n, zrow, spare), n);
                        continue;
                    }
                    scan(job.zSplat->Row(y) + xa + in0, in1 - in0);
                    if (in0 > 0)
                        scan(RowSpan(*job.zSplat, y, xa, in0, zrow, spare), in0);
                    if (in1 < n)
                        scan(RowSpan(*job.zSplat, y, xa + in1, n - in1, zrow, spare), n - in1);
                }
            }
            if (a > b)
                a = b = 0.0f;  // no sample in range (cannot happen inside the image)
            // One empty bin below and above what the blur reaches, so that a slice past the
            // stored bins reads an empty grid, as it would from a larger tile.
            zlo = static_cast<int>(std::floor(a)) - rz - 1;
            nz = static_cast<int>(std::floor(b)) - zlo + rz + 3;
        }
        // A cell row holds one row of cells per range bin (bin-major within the row), so that
        // the bins a row of cells uses are one span: the blurs run over those spans only.
        const std::size_t sbin = static_cast<std::size_t>(nx) * V;  // floats per bin of a row
        const std::size_t sy = sbin * nz;                            // floats per row of cells
        std::memset(ga, 0, sizeof(float) * sy * ny);
        // Bins each cell row holds, [rowLo, rowHi]; empty where rowLo > rowHi.
        int rowLo[kMaxPixelTileCells + 2 * kMaxGridRadius + 3];
        int rowHi[kMaxPixelTileCells + 2 * kMaxGridRadius + 3];
        for (int ly = 0; ly < ny; ++ly) {
            rowLo[ly] = ranged ? nz : 0;
            rowHi[ly] = ranged ? -1 : nz - 1;
        }
        // Splat. Cell columns and tent weights are the same for every row.
        for (int j = 0; j < n; ++j) {
            cxs[j] = axis.CellOf(xa + j) - ox;
            fxs[j] = axis.Frac(xa + j);
            *reinterpret_cast<F4u*>(wxs + 4 * j) = F4{1.0f - fxs[j], 1.0f - fxs[j], fxs[j], fxs[j]};
        }
        const float zlof = static_cast<float>(zlo);
        // The tile's bins, less the empty ones either side (see zlo, nz): split samples stay in
        // them.
        const float zSpreadLo = static_cast<float>(zlo + rz + 1);
        const float zSpreadHi = static_cast<float>(zlo + nz - rz - 3) + 0.999f;
        float* vb[3] = {};
        float* zb[3] = {zrow, rows + 7 * rowFloats, rows + 8 * rowFloats};
        const float* vwin[3] = {};
        const float* zwin[3] = {};
        for (int y = ya; y < yb; ++y) {
            const int ly = axis.CellOf(y) - oy;
            float* g0 = ga + static_cast<std::size_t>(ly) * sy;
            const float fy = axis.Frac(y);
            if (nv == 3) {
                const float* vrow[3];
                for (int v = 0; v < 3; ++v)
                    vrow[v] = RowSpan(*job.values[v], y, xa, n, vbuf[v], spare);
                SplatRow3(g0, sy, V, cxs, fxs, vrow, fy, n);
            } else if (!ranged) {
                SplatRow1(g0, sy, cxs, fxs, RowSpan(*job.values[0], y, xa, n, vbuf[0], spare), fy,
                          n);
            } else if (spread) {
                // Rows y - 1 .. y + 1, a column beyond the span either side, each fetched once:
                // the window moves down a row at a time and its buffers with it (the z rows use
                // the slice's column rows, free until it runs).
                if (y == ya) {
                    for (int k = 0; k < 3; ++k) {
                        vb[k] = vbuf[k];
                        vwin[k] = RowSpan(*job.values[0], y - 1 + k, xa - 1, n + 2, vb[k], spare);
                        zwin[k] = RowSpan(*job.zSplat, y - 1 + k, xa - 1, n + 2, zb[k], spare);
                    }
                } else {
                    float* const v0b = vb[0];
                    float* const z0b = zb[0];
                    for (int k = 0; k < 2; ++k) {
                        vb[k] = vb[k + 1];
                        zb[k] = zb[k + 1];
                        vwin[k] = vwin[k + 1];
                        zwin[k] = zwin[k + 1];
                    }
                    vb[2] = v0b;
                    zb[2] = z0b;
                    vwin[2] = RowSpan(*job.values[0], y + 1, xa - 1, n + 2, vb[2], spare);
                    zwin[2] = RowSpan(*job.zSplat, y + 1, xa - 1, n + 2, zb[2], spare);
                }
                if (y >= 0 && y + 1 + kPrefetchRows < job.zSplat->height) {
                    const int a = std::clamp(-xa, 0, n), b = std::clamp(job.zSplat->width - xa, a, n);
                    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(b - a);
                    PrefetchSpan(job.values[0]->Row(y + 1 + kPrefetchRows) + xa + a, bytes, false);
                    PrefetchSpan(job.zSplat->Row(y + 1 + kPrefetchRows) + xa + a, bytes, false);
                }
                if (job.ownInput >= 0 && y + kPrefetchRows < yb) {
                    // The host's rows under a reduced row ahead, far apart in memory.
                    const int wl = job.values[0]->width, ahead = y + kPrefetchRows;
                    const int a = std::clamp(-xa, 0, n), b = std::clamp(wl - xa, a, n);
                    const int X0 = 2 * (xa + a), X1 = std::min(m_w, 2 * (xa + b));
                    if (X1 > X0) {
                        for (int k = 0; k < 2; ++k)
                            PrefetchSpan(InputRow(std::min(m_h - 1, 2 * ahead + k), X0),
                                         InputBytes(X1 - X0), false);
                    }
                }
                // The input's two rows under reduced row y, over the span's samples inside.
                auto full = [&] {
                    FullRows f;
                    const int wl = job.values[0]->width, hl = job.values[0]->height;
                    if (y < 0 || y >= hl)
                        return f;
                    f.a = std::clamp(-xa, 0, n);
                    f.b = std::clamp(wl - xa, f.a, n);
                    const int X0 = 2 * (xa + f.a), X1 = std::min(m_w, 2 * (xa + f.b));
                    // Pixels beyond the border (the last sample's second row or column at an
                    // odd height or width) are not splatted: as many of the image's own pixels
                    // count there whatever the parity.
                    f.end = X1 - 2 * xa;
                    f.second = 2 * y + 1 < m_h;
                    for (int b = 0; b < 2; ++b) {
                        const int Y = std::min(m_h - 1, 2 * y + b);
                        float* o = fullBuf + static_cast<std::size_t>(b) * fullFloats;
                        if (X1 > X0) {
                            if (job.ownInput >= 0) {
                                float* outs[3] = {nullptr, nullptr, nullptr};
                                outs[job.ownInput] = o + 2 * f.a;
                                InputSpan(Y, X0, X1 - X0, outs);
                            } else {
                                std::memcpy(o + 2 * f.a, job.own[0]->Row(Y) + X0,
                                            sizeof(float) * static_cast<std::size_t>(X1 - X0));
                            }
                        }
                        // An odd width: the last sample's second pixel (not splatted) is its
                        // first.
                        if (f.b > f.a && X1 < 2 * (xa + f.b))
                            o[2 * f.b - 1] = o[2 * f.b - 2];
                        f.row[b] = o;
                    }
                    return f;
                };
                int lo = nz, hi = -1;
                SplatRowZSpread(g0, sy, sbin, cxs, wxs, vwin, zwin, zs, zlof, zmin, zmax, zSpreadLo,
                                zSpreadHi, fy, n, lo, hi, rows + 17 * rowFloats, job.spreadBins,
                                full);
                for (int k = ly; k <= ly + 1; ++k) {
                    rowLo[k] = std::min(rowLo[k], lo);
                    rowHi[k] = std::max(rowHi[k], hi);
                }
            } else {
                if (y + kPrefetchRows < std::min(yb, job.zSplat->height) && y >= 0) {
                    // A tile's rows are far apart in memory: the misses of the rows ahead
                    // overlap this row's work.
                    const int a = std::clamp(-xa, 0, n), b = std::clamp(job.zSplat->width - xa, a, n);
                    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(b - a);
                    PrefetchSpan(job.values[0]->Row(y + kPrefetchRows) + xa + a, bytes, false);
                    PrefetchSpan(job.zSplat->Row(y + kPrefetchRows) + xa + a, bytes, false);
                }
                const float* vrow = RowSpan(*job.values[0], y, xa, n, vbuf[0], spare);
                const float* zr = RowSpan(*job.zSplat, y, xa, n, zrow, spare);
                int lo = nz, hi = -1;
                SplatRowZ(g0, sy, sbin, cxs, wxs, vrow, zr, zs, zlof, zmin, zmax, fy, n, lo, hi);
                for (int k = ly; k <= ly + 1; ++k) {
                    rowLo[k] = std::min(rowLo[k], lo);
                    rowHi[k] = std::max(rowHi[k], hi);
                }
            }
        }
        // Blur down the cell rows (a -> b), across them (b -> a) and along the range (a -> b),
        // each only where the core's slice will read, and each row of cells only over the bins
        // its neighbours within the blur's reach hold; the rest of a row is zero in a (it was
        // never splatted to) and is set to zero in b below.
        const int ly0 = r + 1, ly1 = r + 1 + (cj1 - cj0) + 1;  // rows [ly0, ly1)
        const int lx0 = r + 1, lx1 = r + 1 + (ci1 - ci0) + 1;
        int useLo[kMaxPixelTileCells + 2 * kMaxGridRadius + 3];
        int useHi[kMaxPixelTileCells + 2 * kMaxGridRadius + 3];
        const float* rowPtr[2 * kMaxGridRadius + 1];
        for (int ly = ly0; ly < ly1; ++ly) {
            int lo = nz, hi = -1;
            for (int k = ly - r; k <= ly + r; ++k) {
                lo = std::min(lo, rowLo[k]);
                hi = std::max(hi, rowHi[k]);
            }
            useLo[ly] = lo;
            useHi[ly] = hi;
            if (lo > hi)
                continue;
            const std::size_t o = static_cast<std::size_t>(lo) * sbin;
            for (int k = 0; k <= 2 * r; ++k)
                rowPtr[k] = ga + static_cast<std::size_t>(ly - r + k) * sy + o;
            m_k.firV(rowPtr, taps, 2 * r + 1, gb + static_cast<std::size_t>(ly) * sy + o,
                     static_cast<int>(static_cast<std::size_t>(hi - lo + 1) * sbin));
        }
        // Across: one FIR over the row's bins; the columns outside [lx0, lx1) of each bin get
        // sums that run into the next bin, which nothing reads.
        for (int ly = ly0; ly < ly1; ++ly) {
            const int lo = useLo[ly], hi = useHi[ly];
            if (lo > hi)
                continue;
            const std::size_t o = static_cast<std::size_t>(ly) * sy + static_cast<std::size_t>(lo) * sbin;
            for (int k = 0; k <= 2 * r; ++k)
                rowPtr[k] = gb + o + static_cast<std::size_t>(lx0 - r + k) * V;
            m_k.firV(rowPtr, taps, 2 * r + 1, ga + o + static_cast<std::size_t>(lx0) * V,
                     static_cast<int>(static_cast<std::size_t>(hi - lo) * sbin +
                                      static_cast<std::size_t>(lx1 - lx0) * V));
        }
        const float* grid = ga;
        if (ranged) {
            // Along the range: bins rz either side of what the row holds; the row's lowest and
            // highest rz + 1 bins stay empty in every tile (see zlo, nz), so taps reaching past
            // either end read zeros, of this row or of the next. The rest of the row is cleared.
            for (int ly = ly0; ly < ly1; ++ly) {
                float* dst = gb + static_cast<std::size_t>(ly) * sy;
                const int lo = std::max(0, useLo[ly] - rz), hi = std::min(nz - 1, useHi[ly] + rz);
                if (lo > hi) {
                    std::memset(dst, 0, sizeof(float) * sy);
                    continue;
                }
                std::memset(dst, 0, sizeof(float) * static_cast<std::size_t>(lo) * sbin);
                std::memset(dst + static_cast<std::size_t>(hi + 1) * sbin, 0,
                            sizeof(float) * static_cast<std::size_t>(nz - 1 - hi) * sbin);
                const float* src = ga + static_cast<std::size_t>(ly) * sy;
                for (int k = 0; k <= 2 * rz; ++k)
                    rowPtr[k] = src + (static_cast<std::ptrdiff_t>(lo) + k - rz) *
                                          static_cast<std::ptrdiff_t>(sbin);
                m_k.firV(rowPtr, ztaps, 2 * rz + 1, dst + static_cast<std::size_t>(lo) * sbin,
                         static_cast<int>(static_cast<std::size_t>(hi - lo + 1) * sbin));
            }
            grid = gb;
        }
        // Slice the core's output pixels: those whose cell lies in [ci0, ci1) and [cj0, cj1)
        // (cells grow with the pixel, so a binary search finds them).
        auto first = [](const int* cell, int count, int ci) {
            return static_cast<int>(std::lower_bound(cell, cell + count, ci) - cell);
        };
        const int px0 = first(colCell, wo, ci0), px1 = first(colCell, wo, ci1);
        const int py0 = first(rowCell, ho, cj0), py1 = first(rowCell, ho, cj1);
        const int m = px1 - px0;
        if (m <= 0)
            return;
        for (int j = 0; j < m; ++j) cxs[j] = colCell[px0 + j] - ox;
        SliceRowArgs sa{};
        sa.sy = sy;
        sa.sz = static_cast<std::size_t>(V);
        sa.cx = cxs;
        sa.fx = colFrac + px0;
        sa.eps = eps;
        sa.q = job.q;
        sa.energyAdd = job.energyAdd;
        sa.n = m;
        GridSliceArgs gs{};
        gs.sy = static_cast<int>(sy);
        gs.sb = static_cast<int>(sbin);
        gs.cx = cxs;
        gs.fx = sa.fx;
        if (job.down > 1 && job.zSlice == nullptr) {
            gs.zcol = gcol;
            gs.zfrac = gfrac;
            gs.zn = static_cast<int>(rowFloats);
        }
        gs.zlo = zlof;
        gs.zlast = static_cast<float>(nz - 1);
        gs.eps = eps;
        gs.q = job.q;
        gs.energyAdd = job.energyAdd;
        gs.n = m;
        // Where the output is larger, the guide's columns around the span and each output
        // pixel's place among them.
        const int gx0 = static_cast<int>(std::floor(posOf(px0)));
        const int gn = static_cast<int>(std::floor(posOf(px1 - 1))) + 2 - gx0;
        if (job.down > 1) {
            for (int j = 0; j < m; ++j) {
                const float p = posOf(px0 + j);
                const int xl = static_cast<int>(std::floor(p));
                gcol[j] = xl - gx0;
                gfrac[j] = p - static_cast<float>(xl);
            }
        }
        // Where the output is larger, several output rows read the same two rows of cells:
        // each blends them first (ga is free by now), over the bins they hold, so that the
        // kernel reads one row per pixel. Bins outside stay zero from the row before.
        const bool blend = ranged && job.down > 1;
        int blendLo = nz, blendHi = -1;
        if (blend)
            std::memset(ga, 0, sizeof(float) * sy);
        for (int y = py0; y < py1; ++y) {
            if (job.down > 1 && y + kPrefetchRows < py1) {
                // The rows ahead that the slice reads and writes, far apart in memory: their
                // misses overlap this row's work.
                const int ahead = y + kPrefetchRows;
                if (job.zSlice != nullptr)
                    PrefetchSpan(job.zSlice->Row(ahead) + px0, sizeof(float) * m, false);
                PrefetchSpan(job.out[0]->Row(ahead) + px0, sizeof(float) * m, true);
                if (job.ownInput >= 0)
                    PrefetchSpan(InputRow(ahead, px0), InputBytes(m), false);
            }
            sa.g0 = grid + static_cast<std::size_t>(rowCell[y] - oy) * sy;
            sa.fy = rowFrac[y];
            if (ranged && job.down > 1 && job.zSlice != nullptr) {
                const float* g = job.zSlice->Row(y) + px0;
                float* zl = vbuf[2];
                for (int j = 0; j < m; ++j) zl[j] = zs * g[j];
            } else if (ranged && job.down > 1) {
                // The guide between the two nearest rows of samples (the kernel interpolates
                // it along x).
                const float py = posOf(y);
                const int yl = static_cast<int>(std::floor(py));
                const float fyl = py - static_cast<float>(yl);
                const float* a = RowSpan(*job.zSplat, yl, gx0, gn, vbuf[0], spare);
                const float* b = RowSpan(*job.zSplat, yl + 1, gx0, gn, vbuf[1], spare);
                float* zl = vbuf[2];
                for (int j = 0; j < gn; ++j) zl[j] = zs * (a[j] + fyl * (b[j] - a[j]));
            }
            if (blend) {
                const int r0 = rowCell[y] - oy;
                int lo = std::max(0, std::min(useLo[r0], useLo[r0 + 1]) - rz);
                int hi = std::min(nz - 1, std::max(useHi[r0], useHi[r0 + 1]) + rz);
                // Only the bins the row's pixels read (iz and iz + 1 of each, a bin to spare
                // either side for the rounding of the kernel's interpolation) are blended;
                // the kernel reads any other bin with weight zero, if at all.
                const float* zl = vbuf[2];
                float zlow = zl[0], zhigh = zl[0];
                SpanMinMax(zl, job.zSlice != nullptr ? m : gn, zlow, zhigh);
                const float bins = static_cast<float>(nz);
                lo = std::max(lo, static_cast<int>(std::floor(
                                      std::clamp(zlow - zlof, -2.0f, bins))) - 1);
                hi = std::min(hi, static_cast<int>(std::floor(
                                      std::clamp(zhigh - zlof, -2.0f, bins))) + 2);
                if (lo > hi) {
                    lo = nz;
                    hi = -1;
                }
                for (int k = blendLo; k <= blendHi; ++k) {
                    if (k < lo || k > hi)
                        std::memset(ga + static_cast<std::size_t>(k) * sbin, 0, sizeof(float) * sbin);
                }
                blendLo = lo;
                blendHi = hi;
                if (lo <= hi) {
                    const std::size_t o = static_cast<std::size_t>(lo) * sbin;
                    const float* two[2] = {sa.g0 + o, sa.g0 + sy + o};
                    const float tent[2] = {1.0f - sa.fy, sa.fy};
                    m_k.firV(two, tent, 2, ga + o,
                             static_cast<int>(static_cast<std::size_t>(hi - lo + 1) * sbin));
                }
            }
            for (int v = 0; v < nv; ++v) {
                sa.out[v] = job.out[v]->Row(y) + px0;
                if (job.ownInput >= 0) {
                    // zrow holds the guide only where the output is not larger.
                    float* own[3] = {};
                    own[job.ownInput] = zrow;
                    InputSpan(y, px0, m, own);
                    sa.own[v] = zrow;
                } else {
                    sa.own[v] = job.own[v]->Row(y) + px0;
                }
            }
            sa.energy = job.energy != nullptr ? job.energy->Row(y) + px0 : nullptr;
            if (nv == 3) {
                SliceRow3(sa);
                continue;
            }
            if (ranged && job.down == 1) {
                const float* g = job.zSplat->Row(y) + px0;
                for (int j = 0; j < m; ++j) zrow[j] = zs * g[j];
            }
            if (!ranged) {
                SliceRow1(sa);
                continue;
            }
            // Where the output is larger, the kernel interpolates the guide's row along x.
            gs.z = job.down > 1 ? vbuf[2] : zrow;
            gs.g0 = blend ? ga : sa.g0;
            gs.oneRow = blend;
            gs.fy = sa.fy;
            gs.own = sa.own[0];
            gs.out = sa.out[0];
            gs.energy = sa.energy;
            m_k.gridSlice(gs);
        }
    }));
    if (zblocks != nullptr)
        m_ws.FreeFloats(zblocks);
}

// The grids' working memory, kept from one grid filter to the next: fresh host memory costs a
// page fault per page on first touch, as much as a small image's whole filter.
float* CGlazeRun::GridBlock(std::size_t floats) {
    if (floats > m_gridFloats) {
        if (m_grid != nullptr)
            m_ws.FreeFloats(m_grid);
        m_grid = nullptr;
        m_gridFloats = 0;
        m_grid = NewFloats(floats);
        m_gridFloats = floats;
    }
    return m_grid;
}

// The 2 x 2 reduction of the input (the host's rows where in is null): each sample is the
// input filtered by the binomial (1 5 10 10 5 1) / 32 in x and in y, centred on its block's
// centre. A box average would alias: a feature of a pixel or two then comes out whole or split
// in half depending on where the blocks fall, and the passes that read it follow, so a picture
// shifted by one pixel would filter differently. Outside the image the input continues by odd
// reflection, so each sample sits at its block's centre even on a ramp.
void CGlazeRun::ReduceDown(const Planes3* in, Planes3& lo) {
    constexpr int kTaps = 6;
    static constexpr float kBinomial[kTaps] = {1.0f / 32,  5.0f / 32, 10.0f / 32,
                                               10.0f / 32, 5.0f / 32, 1.0f / 32};
    // Without planes, the host's rows a tile reads are converted once each, all three
    // channels, into a ring of kRing rows per channel. The rows one reduced row reads (its six,
    // and those its reflections beyond the border take) lie within kRing consecutive rows, so
    // none of them evicts another.
    constexpr int kRing = 8;
    static_assert(5 + 3 * kRing <= kScratchRows, "the ring fits the scratch rows");
    const int wl = lo.c[0].width, hl = lo.c[0].height;
    // Strips of reduced columns whose input span fits a scratch row, kTall reduced rows high:
    // a tile converts 2 kTall + 4 rows.
    constexpr int kTall = 64;
    const int strip = std::max(1, static_cast<int>(m_scratchStride / 2) - 8);
    const int across = (wl + strip - 1) / strip;
    const int chunks = (hl + kTall - 1) / kTall;
    Check(m_team.ParallelFor(across * chunks, [&](int tile, int thread) {
        const int x0 = (tile % across) * strip, x1 = std::min(wl, x0 + strip);
        const int y0 = (tile / across) * kTall, y1 = std::min(hl, y0 + kTall);
        // Input columns [xa, xb) feed the strip; inside the image they read columns [ca, cb)
        // (with the mirrors of those beyond the border).
        const int xa = 2 * x0 - 2, xb = 2 * x1 + 2;
        int ca = m_w, cb = 0;
        for (int x = xa; x < xb; ++x) {
            const int src = x < 0 || x >= m_w ? Mirror(x, m_w) : x;
            ca = std::min(ca, src);
            cb = std::max(cb, src + 1);
        }
        if (xa < 0)
            ca = 0;
        if (xb > m_w)
            cb = m_w;
        const int cn = cb - ca;
        float* column = Scratch(thread, 0);  // the columns filtered down, [ca, cb)
        float* row = Scratch(thread, 1);     // the same over [xa, xb), continued by reflection
        float* edge[3] = {Scratch(thread, 2), Scratch(thread, 3), Scratch(thread, 4)};
        int ringY[kRing];
        std::fill(ringY, ringY + kRing, -1);
        // Columns [ca, cb) of channel c of input row y (inside the image).
        auto inputRow = [&](int c, int y) -> const float* {
            if (in != nullptr)
                return in->c[c].Row(y) + ca;
            const int slot = y % kRing;
            if (ringY[slot] != y) {
                float* const rgb[3] = {Scratch(thread, 5 + slot), Scratch(thread, 5 + kRing + slot),
                                       Scratch(thread, 5 + 2 * kRing + slot)};
                InputSpan(y, ca, cn, rgb);
                ringY[slot] = y;
            }
            return Scratch(thread, 5 + c * kRing + slot);
        };
        const float* rows[kTaps];
        for (int yl = y0; yl < y1; ++yl) {
            for (int c = 0; c < 3; ++c) {
                int spare = 0;
                for (int k = 0; k < kTaps; ++k) {
                    const int y = 2 * yl - 2 + k;
                    if (y >= 0 && y < m_h) {
                        rows[k] = inputRow(c, y);
                        continue;
                    }
                    const float* e = inputRow(c, y < 0 ? 0 : m_h - 1);
                    const float* m = inputRow(c, Mirror(y, m_h));
                    float* o = edge[spare++];
                    for (int j = 0; j < cn; ++j) o[j] = 2.0f * e[j] - m[j];
                    rows[k] = o;
                }
                m_k.firV(rows, kBinomial, kTaps, column, cn);
                const float* span = column;  // columns [xa, xb)
                if (xa < 0 || xb > m_w) {
                    // The columns inside copied, those beyond the border reflected.
                    const int ia = std::max(xa, 0), ib = std::min(xb, m_w);
                    std::memcpy(row + (ia - xa), column + (ia - ca),
                                sizeof(float) * static_cast<std::size_t>(ib - ia));
                    auto outside = [&](int x) {
                        row[x - xa] = 2.0f * column[(x < 0 ? 0 : m_w - 1) - ca] -
                                      column[Mirror(x, m_w) - ca];
                    };
                    for (int x = xa; x < ia; ++x) outside(x);
                    for (int x = ib; x < xb; ++x) outside(x);
                    span = row;
                }
                float* o = lo.c[c].Row(yl);
                for (int x = x0; x < x1; ++x) {
                    const float* r = span + 2 * (x - x0);
                    o[x] = kBinomial[0] * (r[0] + r[5]) + kBinomial[1] * (r[1] + r[4]) +
                           kBinomial[2] * (r[2] + r[3]);
                }
            }
        }
    }));
}

// Rolling guidance: a Gaussian seed forgets every structure smaller than the radius, then each
// joint pass averages the input under the previous result, which brings back the edges of the
// large structures while features below the threshold stay flat. The range coordinate is the
// guide's luminance in thresholds (each channel weighted by its factor over its threshold). The
// passes run on a reduced copy; the last one is read back at full resolution at the
// input's own z, so edges keep the input's position and sharpness. The residual gate, which
// reads all three channels, brings back strong small detail and colour edges of equal
// luminance.
void CGlazeRun::Clean(const Planes3* in, Planes3& out) {
    const float sigma = std::max(0.5f, m_s.cleanRadius / m_n);
    const int d = CleanReduction();
    const int wl = (m_w + d - 1) / d, hl = (m_h + d - 1) / d;
    // Fresh host memory costs a page fault per page, so planes share blocks where their lives
    // allow. The latest result (the seed, then each guided pass but the last) is not read by
    // the last pass: where the reduced planes fit, they lie in a full plane's block that the
    // last pass then takes for one of its results. The reduced copies and guides of the first two
    // channels are dead once the last pass has read them: where they hold a full plane, they
    // lie in one block that then takes the third channel's result. At full resolution the
    // same is done by freeing planes into the workspace's spares as they die.
    const std::size_t planeFloats = CWorkspace::PlaneStride(m_w) * static_cast<std::size_t>(m_h);
    const std::size_t jStride = CWorkspace::PlaneStride(wl);
    const std::size_t jFloats = (jStride * static_cast<std::size_t>(hl) + 15) & ~std::size_t{15};
    // Sample k of a reduced plane stands at d k + (d - 1) / 2 of the image: where the image's
    // last column and row lie beyond the last sample, in samples (see Plane::farX).
    auto farOf = [&](int size, int samples) {
        return d > 1 ? (static_cast<float>(size - 1 - d * (samples - 1)) - 0.5f * (d - 1)) / d
                     : 0.0f;
    };
    const float farX = farOf(m_w, wl), farY = farOf(m_h, hl);
    auto far = [&](Plane p) {
        p.farX = farX;
        p.farY = farY;
        return p;
    };
    auto farAll = [&](Planes3 p) {
        for (Plane& q : p.c) q = far(q);
        return p;
    };
    auto reduced = [&](float* at) {
        Plane p;
        p.data = at;
        p.width = wl;
        p.height = hl;
        p.stride = static_cast<std::ptrdiff_t>(jStride);
        return far(p);
    };
    const bool early = d > 1 && 4 * jFloats >= planeFloats;
    float* earlyBlock = early ? NewFloats(4 * jFloats) : nullptr;
    Planes3 lo = d > 1 ? Planes3{} : *in;
    if (d > 1) {
        if (early) {
            lo.c[0] = reduced(earlyBlock);
            lo.c[1] = reduced(earlyBlock + jFloats);
            lo.c[2] = far(NewPlane(wl, hl));
        } else {
            lo = farAll(NewPlanes(wl, hl));
        }
        ReduceDown(in, lo);
    }
    LineStats lineStats;
    // At strength 0 the guidance has two passes and its fringes stay narrow; there the hold
    // would cost about a tenth of the run.
    const bool inputLines = d > 1 && m_s.cleanStrength > 0;
    if (inputLines)
        MakeLineStats(lo, d, lineStats);
    // The seed of all three channels in one unguided pass.
    // A guided pass reads only the guides made from the result before it, so one set of
    // planes serves every pass.
    const bool jInHome = 3 * jFloats <= planeFloats;
    Plane home;
    Planes3 j;
    if (jInHome) {
        home = NewPlane(m_w, m_h);
        for (int c = 0; c < 3; ++c)
            j.c[c] = reduced(home.data + static_cast<std::size_t>(c) * jFloats);
    } else {
        j = farAll(NewPlanes(wl, hl));
    }
    if (d > 1) {
        GridJob seed;
        for (int c = 0; c < 3; ++c) {
            seed.values[c] = &lo.c[c];
            seed.own[c] = &lo.c[c];
            seed.out[c] = &j.c[c];
        }
        seed.sigmaS = sigma / static_cast<float>(d);
        GridFilter(seed);
    } else {
        // At full size a grid's cells are two or three pixels wide, and its tents' blur
        // changes with where a pixel falls in its cell: the seed would follow the picture's
        // phase, and the guided passes would carry that into where an edge's step lands. A
        // Gaussian is the same for every pixel.
        Plane tmp = NewPlane(m_w, m_h);
        for (int c = 0; c < 3; ++c) Gauss(lo.c[c], j.c[c], sigma, tmp);
        m_ws.FreePlane(tmp);
    }
    // Each channel's range coordinate: the channel plus the luminance, each weighted by its
    // factor, in units of the channel's threshold. The channel's own term keeps edges between
    // colours of equal luminance; the luminance term keeps every channel's edges where the
    // luminance has one, so that a channel of little contrast there does not bleed across it
    // (a colour fringe).
    constexpr float kLum[3] = {kLumR, kLumG, kLumB};
    float own[3], shared[3], lumWeight[3];
    for (int c = 0; c < 3; ++c) {
        const float inv = 1.0f / std::max(m_s.thresholds[c], 0.004f);
        own[c] = m_s.factors[c] * inv;
        shared[c] = kGuideLuminance * inv;  // times the factor-weighted luminance
        lumWeight[c] = kLum[c] * m_s.factors[c];
    }
    // Without any factor there is no edge to keep: plain blurs.
    const bool ranged = m_s.factors[0] + m_s.factors[1] + m_s.factors[2] > 0.0f;
    Planes3 guides;
    if (early) {
        guides.c[0] = reduced(earlyBlock + 2 * jFloats);
        guides.c[1] = reduced(earlyBlock + 3 * jFloats);
        guides.c[2] = far(NewPlane(wl, hl));
    } else {
        guides = farAll(NewPlanes(wl, hl));
    }
    // Each guide's range per block, found as the guides are made (GridJob::zRanges), so
    // that the grids need not read the guides once more for it.
    const int zbw = (wl + kZBlock - 1) / kZBlock;
    const std::size_t zRangeFloats =
        2 * static_cast<std::size_t>((hl + kRowsPerChunk - 1) / kRowsPerChunk) * zbw;
    float* zRanges = NewFloats(3 * zRangeFloats);
    // At wide thresholds a small strong feature that the seed has blurred away (a dark cable
    // across a sky) would keep spreading its mass into the ground about it: a guide without
    // it splats its samples into the ground's bins, and every pass reproduces the seed's
    // average. From the second guided pass on (the first one's guide is the seed, which has no
    // edges yet) a reduced sample far from the previous result in the guide, D bins in its
    // farthest channel, is averaged as that result's value instead, with weight
    // smoothstep((D - A) / (B - A)). A rises as 1 / t^2 so that only features of several
    // thresholds count, and the weight ramps in from threshold 0.05 to 0.1: at 0.05 and below
    // the last pass's own-slope weight separates thin lines from the ground, and there the
    // weight would follow the reduction's phase on 1-2 px features (shifted pictures filtered
    // differently).
    const float tTop = std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2], 0.004f});
    const float robustRamp = RobustRamp();
    const bool robust = ranged && d > 1 && robustRamp > 0.0f && m_s.cleanIterations >= 2;
    const float robustA = std::max(1.0f, kRobustBins / (tTop * tTop));
    const float robustInvAB = 1.0f / ((kRobustSoft - 1.0f) * robustA);
    // The values the next pass averages (robust passes only), made with its guides, and
    // which of their chunks differ from the reduced copy (at first all: rv is not yet a copy).
    Planes3 rv;
    float* rvBlock = nullptr;
    float* rvFlagBlock = nullptr;
    unsigned char* rvFlags = nullptr;
    const std::size_t rvChunks = static_cast<std::size_t>((wl + kRobustChunk - 1) / kRobustChunk);
    GuideArgs ga;
    for (int c = 0; c < 3; ++c) {
        ga.own[c] = own[c];
        ga.shared[c] = shared[c];
        ga.lum[c] = lumWeight[c];
    }
    ga.a = robustA;
    ga.ia = robustInvAB;
    ga.ramp = robustRamp;
    // The last pass's robust values weigh each sample by the farthest distance about it (see
    // RobustRowNear): a thin strong feature's edge samples hold too little of it to count as
    // far, yet they carry its darkness into the bins of the ground about it. With the own
    // values kept on slopes (kKeepOwnOnSlopes) and each sample's own distance, the sky beside
    // two dark cables darkened by 3.5 levels at the strongest settings (2.3 before), with the
    // farthest neighbour's by 2. The distances, made with the guides, lie in nearDist until the
    // values are made.
    Plane nearDist;
    auto makeGuides = [&](const Planes3& res, bool robustValues, bool near) {
        ForRowChunks(hl, [&](int y0, int y1, int) {
            float* range[3];
            for (int c = 0; c < 3; ++c) {
                range[c] = zRanges + c * zRangeFloats +
                           2 * static_cast<std::size_t>(y0 / kRowsPerChunk) * zbw;
                std::fill_n(range[c], zbw, 1e30f);
                std::fill_n(range[c] + zbw, zbw, -1e30f);
            }
            for (int y = y0; y < y1; ++y) {
                const float* r[3] = {res.c[0].Row(y), res.c[1].Row(y), res.c[2].Row(y)};
                float* z[3] = {guides.c[0].Row(y), guides.c[1].Row(y), guides.c[2].Row(y)};
                GuideRow(r, z, range, zbw, ga, wl);
                const float* v[3] = {lo.c[0].Row(y), lo.c[1].Row(y), lo.c[2].Row(y)};
                if (robustValues && near) {
                    RobustDistanceRow(v, r, nearDist.Row(y), ga, wl);
                } else if (robustValues) {
                    float* o[3] = {rv.c[0].Row(y), rv.c[1].Row(y), rv.c[2].Row(y)};
                    RobustRow(v, r, o, rvFlags + static_cast<std::size_t>(y) * rvChunks, ga, wl);
                }
            }
        });
        if (!(robustValues && near))
            return;
        ForRows(hl, [&](int y, int) {
            const float* r[3] = {res.c[0].Row(y), res.c[1].Row(y), res.c[2].Row(y)};
            const float* v[3] = {lo.c[0].Row(y), lo.c[1].Row(y), lo.c[2].Row(y)};
            float* o[3] = {rv.c[0].Row(y), rv.c[1].Row(y), rv.c[2].Row(y)};
            const float* dist[3] = {nearDist.Row(std::max(0, y - 1)), nearDist.Row(y),
                                    nearDist.Row(std::min(hl - 1, y + 1))};
            RobustRowNear(v, r, o, dist, ga, wl);
        });
    };
    makeGuides(j, false, false);
    // The last pass reads the grid at the reduced guide brought back up, which is blurred where
    // the guidance left an edge of a few thresholds soft: the grid then mixes both sides there.
    // Where the input's own guide (lightly smoothed) has a slope, the slice reads at it instead;
    // where the input is flat it reads at the guide, so flat regions stay flat. The pass also
    // splats at that guide (its 2 x 2 means), so that around an edge the grid holds the samples
    // of each side where the pixels of that side read it. The smoothed guide is made at full
    // size, one channel at a time in the plane of its result (see MakeFullSliceGuide); the
    // reduced guide and the weight, which vary slowly, on the reduced copy, and the weight from
    // the slope there. The reduced guides (then their means) and the weight live through the
    // last pass. The first two channels' guides lie in the
    // second channel's result block, which is written only after the first channel is done;
    // then the second channel's moves to the first channel's reduced copy, dead by then. Only the
    // third channel's takes fresh memory: everything touched is in use while it is sliced.
    // Where the slice's kernel took each channel's pixels one at a time (see GateEnergyRow).
    float* const tailBlock = NewFloats((2 * static_cast<std::size_t>(m_w) + 3) / 4);
    unsigned char* const sliceTail = reinterpret_cast<unsigned char*>(tailBlock);
    std::memset(sliceTail, 0, 2 * static_cast<std::size_t>(m_w));
    const bool sharpGuide = ranged;
    const bool zsInOut = sharpGuide && 2 * jFloats <= planeFloats;
    Planes3 zs;
    float* zsBlock = nullptr;
    // The weight of the input's own guide in the slice's (see MakeFullSliceGuide).
    Plane slopeWeight;
    float* weightBlock = nullptr;
    // With a reduction the slice guide's lower bounds lie in zs, the upper ones here, one
    // channel's at a time (see MakeSliceBounds).
    const bool bounded = sharpGuide && d > 1;
    Plane upper;
    float* upperBlock = nullptr;
    for (int pass = 1; pass <= m_s.cleanIterations; ++pass) {
        const bool last = pass == m_s.cleanIterations;
        if (last) {
            // The latest result is dead: its memory takes the last pass's results.
            if (jInHome)
                m_ws.FreePlane(home);
            else
                m_ws.FreePlanes(j);
        }
        if (last && sharpGuide) {
            if (d == 1) {
                // At full size the guides take the latest result's planes, and the pass's
                // results theirs once these are made.
                zs = NewPlanes(m_w, m_h);
            } else if (zsInOut) {
                out.c[1] = NewPlane(m_w, m_h);
                zs.c[0] = reduced(out.c[1].data);
                zs.c[1] = reduced(out.c[1].data + jFloats);
                zsBlock = NewFloats(jFloats);
                zs.c[2] = reduced(zsBlock);
            } else {
                zsBlock = NewFloats(3 * jFloats);
                for (int c = 0; c < 3; ++c)
                    zs.c[c] = reduced(zsBlock + static_cast<std::size_t>(c) * jFloats);
            }
            // The guides' ranges are not read again: they take these guides' (GridJob::zRanges).
            if (d == 1) {
                // At full size the guides are made whole here, with their ranges.
                MakeSliceGuides(lo, guides, own, shared, lumWeight, zs, slopeWeight, zRanges);
                m_ws.FreePlanes(guides);
            } else {
                weightBlock = NewFloats(jFloats);
                slopeWeight = reduced(weightBlock);
                MakeSliceGuides(lo, guides, own, shared, lumWeight, zs, slopeWeight, nullptr);
                if (bounded) {
                    upperBlock = NewFloats(jFloats);
                    upper = reduced(upperBlock);
                }
            }
        }
        for (int c = 0; c < 3; ++c) {
            if (last && bounded) {
                // The bounds' scratch: from the second channel on, the previous channel's
                // reduced copy and guide, dead once its grid has run (with an early block they
                // lie in the third channel's result, not yet written).
                float* tmpBlock = c == 0 ? NewFloats(2 * jFloats) : nullptr;
                Plane tmp[2] = {c == 0 ? reduced(tmpBlock) : lo.c[c - 1],
                                c == 0 ? reduced(tmpBlock + jFloats) : guides.c[c - 1]};
                MakeSliceBounds(guides.c[c], zs.c[c], upper, tmp);
                if (tmpBlock != nullptr)
                    m_ws.FreeFloats(tmpBlock);
            }
            GridJob job;
            job.nv = 1;
            job.values[0] = pass >= 2 && robust ? &rv.c[c] : &lo.c[c];
            job.own[0] = &lo.c[c];
            job.zSplat = ranged ? &guides.c[c] : nullptr;
            job.zRanges = zRanges + c * zRangeFloats;
            job.sigmaS = sigma / static_cast<float>(d);
            // At full size, from three passes on, the cells are a pixel wide: with wider ones
            // what a pixel reads back depends a little on where it falls in its cell, and every
            // pass built on the last one's guide multiplied that (a picture shifted by a pixel
            // came out up to 15 levels apart at strength 8 radius 4, 3 at strength 3). This
            // doubles the run's time at strength 8 radius 4; two passes stay within a level
            // or two with the usual cells, and the reduced path holds the phase by other means.
            job.pixelCells = d == 1 && m_s.cleanIterations >= 3;
            job.out[0] = &j.c[c];
            if (last) {
                // The last pass is read back at full resolution, at the guide interpolated
                // there: edges come back where the guide has them, without the blocks of the
                // reduced copy.
                if (early && c == 2) {
                    out.c[c].data = earlyBlock;
                    out.c[c].width = m_w;
                    out.c[c].height = m_h;
                    out.c[c].stride = static_cast<std::ptrdiff_t>(CWorkspace::PlaneStride(m_w));
                } else if (!(zsInOut && c == 1)) {
                    out.c[c] = NewPlane(m_w, m_h);
                }
                if (zsInOut && c == 1) {
                    // The first channel's reduced copy is dead; its rows take this guide, which
                    // would otherwise be overwritten by this channel's result.
                    Plane moved = lo.c[0];
                    const std::size_t rowBytes = sizeof(float) * static_cast<std::size_t>(wl);
                    for (int y = 0; y < hl; ++y)
                        std::memcpy(moved.Row(y), zs.c[1].Row(y), rowBytes);
                    zs.c[1] = moved;
                }
                job.out[0] = &out.c[c];
                job.sliceTail = c > 0 ? sliceTail + static_cast<std::size_t>(c - 1) * m_w : nullptr;
                job.down = d;
                if (in != nullptr)
                    job.own[0] = &in->c[c];
                else
                    job.ownInput = c;
                if (sharpGuide && d == 1) {
                    job.zSplat = &zs.c[c];  // splatted and read at the same guide
                } else if (sharpGuide) {
                    // Splatted where it is read: the grid's values around an edge then come
                    // from the samples on the same side of it as the pixels that read them.
                    // The slice reads the guide at full size, made in the result's plane (each
                    // pixel's guide is read before its result is written); the grid is
                    // splatted at its 2 x 2 means.
                    MakeFullSliceGuide(in, c, own, shared, lumWeight, zs.c[c],
                                       bounded ? &upper : nullptr, slopeWeight, out.c[c]);
                    if (robust)
                        KeepOwnOnSlopes(lo.c[c], slopeWeight, rv.c[c]);
                    job.zSplat = &zs.c[c];
                    job.zRanges = nullptr;
                    job.zSlice = &out.c[c];
                    // Towards wide thresholds split samples, which take their pixels,
                    // would bypass the robust rule (see kSpreadBinsRobust).
                    if (m_s.cleanStrength > 0) {
                        const float rise = std::clamp(
                            (robustRamp - kSpreadRiseFrom) / kSpreadRiseOver, 0.0f, 1.0f);
                        job.spreadBins =
                            kSpreadBinsFlat + (kSpreadBinsRobust - kSpreadBinsFlat) * rise;
                    }
                }
            }
            GridFilter(job);
            if (last && d == 1) {
                // Spares for the next channel's result (the guides are freed already where
                // there are slice guides).
                m_ws.FreePlane(zs.c[c]);
                m_ws.FreePlane(guides.c[c]);
            }
        }
        if (!last) {
            if (robust && rvBlock == nullptr) {
                rvBlock = NewFloats(3 * jFloats);
                for (int c = 0; c < 3; ++c)
                    rv.c[c] = reduced(rvBlock + static_cast<std::size_t>(c) * jFloats);
                const std::size_t flagBytes = rvChunks * static_cast<std::size_t>(hl);
                rvFlagBlock = NewFloats((flagBytes + sizeof(float) - 1) / sizeof(float));
                rvFlags = reinterpret_cast<unsigned char*>(rvFlagBlock);
                std::memset(rvFlags, 1, flagBytes);
            }
            const bool near = robust && pass + 1 == m_s.cleanIterations;
            if (near)
                nearDist = reduced(NewFloats(jFloats));
            makeGuides(j, robust, near);
            if (near)
                m_ws.FreeFloats(nearDist.data);
        }
    }
    if (rvBlock != nullptr) {
        m_ws.FreeFloats(rvFlagBlock);
        m_ws.FreeFloats(rvBlock);
    }
    if (zsBlock != nullptr)
        m_ws.FreeFloats(zsBlock);
    if (weightBlock != nullptr)
        m_ws.FreeFloats(weightBlock);
    if (upperBlock != nullptr)
        m_ws.FreeFloats(upperBlock);
    m_ws.FreeFloats(zRanges);
    m_ws.FreePlanes(guides);  // no-ops for planes freed already or lying in a shared block
    if (d > 1)
        m_ws.FreePlanes(lo);
    Gate(in, out, sliceTail);  // the stage's last read of the input
    m_ws.FreeFloats(tailBlock);
    if (inputLines) {
        InputLines(in, out, lineStats);
        for (int k = 0; k < 9; ++k) m_ws.FreePlane(lineStats.m[k]);
    }
    ColourLines(out);
}

void CGlazeRun::KeepOwnOnSlopes(const Plane& own, const Plane& slopeWeight, Plane& values) {
    const int n = values.width;
    ForRows(values.height, [&](int y, int) {
        const float* v = own.Row(y);
        const float* sw = slopeWeight.Row(y);
        float* o = values.Row(y);
        auto keep = [&](auto s, int x) {
            using V = decltype(s);
            const V k = Min(Lanes(s, kKeepOwnOnSlopes) * Load<V>(sw + x), Lanes(s, 1.0f));
            const V ox = Load<V>(o + x);
            Store(o + x, ox + k * (Load<V>(v + x) - ox));
        };
        int x = 0;
        for (; x + kLanes <= n; x += kLanes) keep(FV{}, x);
        for (; x < n; ++x) keep(0.0f, x);
    });
}

// Helpers that read alike for one float and a vector of them (ColourLinePixel).
inline float LineGreater(float a, float b) { return a > b ? 1.0f : 0.0f; }
inline FV LineGreater(FV a, FV b) { return a > b ? FV{} + 1.0f : FV{}; }
inline float LineMax(float a, float b) { return a > b ? a : b; }
inline FV LineMax(FV a, FV b) { return a > b ? a : b; }

// One pixel (or a vector of them) of ColourLines: the window's means a, b, g and its sums of products
// over the pixel count (s..), the pixel's own colour i0..i2; the result in o0..o2.
template <typename T>
inline void ColourLinePixel(T a, T b, T g, T s00, T s01, T s02, T s11, T s12, T s22, T i0, T i1,
                            T i2, float n2, T& o0, T& o1, T& o2) {
    // The covariance over its trace, so the power steps neither overflow nor vanish. The
    // variances are sums of squares less squared means, which rounding can leave slightly
    // negative: they are held at 0, and the trace at kColourLineFlat at least (in a window that
    // flat the pixels lie within a quarter of a level of each other anyway).
    const T zero = T{} + 0.0f;
    const T t00 = LineMax(zero, s00 - a * a), t11 = LineMax(zero, s11 - b * b);
    const T t22 = LineMax(zero, s22 - g * g);
    const T trueTrace = t00 + t11 + t22;
    const T trace = LineMax(trueTrace, T{} + kColourLineFlat);
    const T unit = 1.0f / trace;
    const T c00 = t00 * unit, c01 = (s01 - a * b) * unit, c02 = (s02 - a * g) * unit;
    const T c11 = t11 * unit, c12 = (s12 - b * g) * unit, c22 = t22 * unit;
    // The principal axis by three power steps from the column of the largest variance.
    const T top01 = LineGreater(c11, c00);
    const T top2 = LineGreater(c22, LineMax(c00, c11));
    T v0 = c00 + top01 * (c01 - c00);
    T v1 = c01 + top01 * (c11 - c01);
    T v2 = c02 + top01 * (c12 - c02);
    v0 += top2 * (c02 - v0);
    v1 += top2 * (c12 - v1);
    v2 += top2 * (c22 - v2);
    for (int step = 0; step < 3; ++step) {
        const T u0 = c00 * v0 + c01 * v1 + c02 * v2;
        const T u1 = c01 * v0 + c11 * v1 + c12 * v2;
        const T u2 = c02 * v0 + c12 * v1 + c22 * v2;
        v0 = u0;
        v1 = u1;
        v2 = u2;
    }
    // With q = |v|^2 and l1 = v'Cv / q the largest eigenvalue's share of the trace, the mean
    // variance off the line is rest = trace (1 - l1) / 2, and the pixel's off-line part
    // d - (d.v) v / q is shrunk by take = n2 / max(rest, n2): all in one division.
    const T q = v0 * v0 + v1 * v1 + v2 * v2;
    const T cv = v0 * (c00 * v0 + c01 * v1 + c02 * v2) + v1 * (c01 * v0 + c11 * v1 + c12 * v2) +
                 v2 * (c02 * v0 + c12 * v1 + c22 * v2);
    const T rest = LineMax(zero, 0.5f * trace * (trueTrace * unit * q - cv));  // times q
    const T scale = n2 / (LineMax(rest, n2 * q) + 1e-30f);
    const T d0 = i0 - a, d1 = i1 - b, d2 = i2 - g;
    const T dv = d0 * v0 + d1 * v1 + d2 * v2;
    o0 = i0 - scale * (q * d0 - dv * v0);
    o1 = i1 - scale * (q * d1 - dv * v1);
    o2 = i2 - scale * (q * d2 - dv * v2);
}

// Holds each pixel near the line in colour space that its neighbourhood lies on. About an edge
// between two colours every pixel is a mix of the two, so the colours of the (2 r + 1)^2 pixels
// about it lie on one line (the principal axis of their covariance); what the pixel has off
// that line is noise or a fringe (the channels' grids mix the two sides by different amounts).
// The off-line part is shrunk by max(0, v - n) / v, v its variance in the window (the mean of
// the two lesser eigenvalues), n = (kColourLineNoise t)^2: where a third colour meets the two
// (a junction, a coloured speck) the spread off the line is well above the noise and stays.
// The pixel's part along the line, and with it the edge's position and steepness, is kept.
// Rows are done in place in chunks of kColourLineRows: each chunk's first and last r rows are
// copied aside first, so that a chunk reads its neighbours' rows as they were; within a chunk a
// ring keeps the rows the window still needs. Outside the image rows and columns are mirrored.
void CGlazeRun::ColourLines(Planes3& out) {
    const float t = std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2]});
    const float noise = kColourLineNoise * t;
    const float n2 = noise * noise;
    const int r = std::max(1, static_cast<int>(kColourLineRadius / m_n + 0.5f));
    const int w = m_w, h = m_h;
    if (n2 <= 0.0f || h < 2 || w < 2)
        return;
    const int chunks = (h + kColourLineRows - 1) / kColourLineRows;
    const int edge = std::min(r, kColourLineRows);
    const std::size_t rowFloats = static_cast<std::size_t>(w);
    // Per chunk: its first `edge` rows, then its last, of each channel.
    const std::size_t asideChunk = 2 * static_cast<std::size_t>(edge) * 3 * rowFloats;
    // The grids' memory is free by now and already touched: it takes the rows set aside and
    // the threads' working rows.
    const std::size_t asideFloats = (asideChunk * static_cast<std::size_t>(chunks) + 15) & ~std::size_t{15};
    // Each chunk is done in tiles of whole columns (the working rows then stay in the cache), at
    // least kColourLineTile wide, so a column mirrored at the image's border lies in the tile
    // itself. Before a tile is written, the last r columns of its rows (the next tile's left
    // apron) are copied aside ("seam").
    const int tiles = std::max(1, w / kColourLineTile);
    const int tileW = (w + tiles - 1) / tiles;
    // Per thread: a ring of 2 r + 1 rows of the three channels over the tile and r columns
    // either side, the sums down the ring of the nine terms (the channels and their six
    // products), the row coming in and two seams.
    const int ring = 2 * r + 1;
    const std::size_t span = (static_cast<std::size_t>(tileW) + 2 * r + kLanes + 15) & ~std::size_t{15};
    const std::size_t seamFloats = 3 * static_cast<std::size_t>(r) * kColourLineRows;
    const std::size_t perThread = span * (3 * static_cast<std::size_t>(ring) + 9 + 3) + 2 * seamFloats;
    float* const aside = GridBlock(asideFloats + perThread * static_cast<std::size_t>(m_team.Threads()));
    float* const work = aside + asideFloats;
    ForRowChunks(chunks, [&](int c0, int c1, int) {
        for (int ci = c0; ci < c1; ++ci) {
            const int y0 = ci * kColourLineRows, y1 = std::min(h, y0 + kColourLineRows);
            float* a = aside + asideChunk * static_cast<std::size_t>(ci);
            for (int k = 0; k < 2 * edge; ++k) {
                const int y = k < edge ? std::min(y1 - 1, y0 + k) : std::max(y0, y1 - 2 * edge + k);
                for (int c = 0; c < 3; ++c)
                    std::memcpy(a + (static_cast<std::size_t>(k) * 3 + c) * rowFloats,
                                out.c[c].Row(y), sizeof(float) * rowFloats);
            }
        }
    });
    // Row y's original channel c as chunk ci sees it.
    auto original = [&](int ci, int y, int c) -> const float* {
        y = Mirror(y, h);
        const int y0 = ci * kColourLineRows, y1 = std::min(h, y0 + kColourLineRows);
        if (y >= y0 && y < y1)
            return out.c[c].Row(y);  // not written yet: the ring is filled ahead of the writes
        const int cj = y / kColourLineRows;
        const int z0 = cj * kColourLineRows, z1 = std::min(h, z0 + kColourLineRows);
        const float* a = aside + asideChunk * static_cast<std::size_t>(cj);
        const int k = y - z0 < edge ? y - z0 : 2 * edge - (z1 - y);
        return a + (static_cast<std::size_t>(k) * 3 + c) * rowFloats;
    };
    const float inv = 1.0f / static_cast<float>(ring * ring);
    Check(m_team.ParallelFor(chunks, [&](int ci, int thread) {
        const int y0 = ci * kColourLineRows, y1 = std::min(h, y0 + kColourLineRows);
        float* base = work + perThread * static_cast<std::size_t>(thread);
        auto term = [&](int y, int k) {
            return base + (static_cast<std::size_t>((y + ring) % ring) * 3 + k) * span;
        };
        float* down = base + 3 * static_cast<std::size_t>(ring) * span;
        float* chan = down + 9 * span;  // the row's three channels
        float* seams[2] = {chan + 3 * span, chan + 3 * span + seamFloats};
        // Column j of a seam's row y, channel c.
        auto seamAt = [&](float* seam, int y, int c) {
            return seam + (static_cast<std::size_t>(y - y0) * 3 + c) * r;
        };
        for (int tile = 0; tile < tiles; ++tile) {
            const int x0 = static_cast<int>(static_cast<long long>(w) * tile / tiles);
            const int x1 = static_cast<int>(static_cast<long long>(w) * (tile + 1) / tiles);
            const int n = x1 - x0, wide = n + 2 * r;
            float* leftSeam = tile > 0 ? seams[(tile + 1) & 1] : nullptr;
            float* rightSeam = seams[tile & 1];
            if (tile + 1 < tiles) {
                for (int y = y0; y < y1; ++y)
                    for (int c = 0; c < 3; ++c)
                        std::memcpy(seamAt(rightSeam, y, c), out.c[c].Row(y) + x1 - r,
                                    sizeof(float) * r);
            }
            // Row y's channels into its slot of the ring, which held the row leaving the window:
            // the sums down the window take the difference of the terms, so they are kept running.
            // fresh: the slot holds nothing yet (its contents are left out).
            auto load = [&](int y, bool fresh) {
                const int ym = Mirror(y, h);
                const bool inside = ym >= y0 && ym < y1;
                // A tile's rows are far apart in memory: the misses of the rows ahead overlap
                // this row's work.
                for (int c = 0; c < 3; ++c)
                    PrefetchSpan(out.c[c].Row(std::clamp(y + kPrefetchRows, 0, h - 1)) + x0,
                                 sizeof(float) * static_cast<std::size_t>(n), false);
                for (int c = 0; c < 3; ++c) {
                    const float* src = original(ci, y, c);
                    float* __restrict d = chan + static_cast<std::size_t>(c) * span;
                    std::memcpy(d + r, src + x0, sizeof(float) * n);
                    for (int j = 0; j < r; ++j) {
                        if (x0 == 0)
                            d[j] = src[Mirror(j - r, w)];
                        else if (inside)
                            d[j] = seamAt(leftSeam, ym, c)[j];
                        else
                            d[j] = src[x0 - r + j];
                        d[n + r + j] = src[Mirror(x1 + j, w)];
                    }
                }
                const float* __restrict p = chan;
                const float* __restrict q = chan + span;
                const float* __restrict u = chan + 2 * span;
                float* const t0 = term(y, 0);
                float* const t1 = term(y, 1);
                float* const t2 = term(y, 2);
                float* d9[9];
                for (int k = 0; k < 9; ++k) d9[k] = down + static_cast<std::size_t>(k) * span;
                // Whole vectors: the rows are padded (span), and what lies beyond the tile's
                // columns is never read back. The leaving row's products are made again from
                // its channels (the same products, so the running sums are as if kept).
                for (int j = 0; j < wide; j += kLanes) {
                    auto at = [j](const float* v) { return *reinterpret_cast<const FVu*>(v + j); };
                    auto add = [j, &d9](int k, FV v) {
                        FVu* d = reinterpret_cast<FVu*>(d9[k] + j);
                        *d += v;
                    };
                    FVu* s0 = reinterpret_cast<FVu*>(t0 + j);
                    FVu* s1 = reinterpret_cast<FVu*>(t1 + j);
                    FVu* s2 = reinterpret_cast<FVu*>(t2 + j);
                    const FV pj = at(p), qj = at(q), uj = at(u);
                    // Each product rounded on its own, not fused into a sum, so that the one
                    // coming in and the same one leaving cancel exactly.
                    FV pp = pj * pj, pq = pj * qj, pu = pj * uj;
                    FV qq = qj * qj, qu = qj * uj, uu = uj * uj;
                    asm("" : "+x"(pp), "+x"(pq), "+x"(pu), "+x"(qq), "+x"(qu), "+x"(uu));
                    if (fresh) {
                        add(0, pj);
                        add(1, qj);
                        add(2, uj);
                        add(3, pp);
                        add(4, pq);
                        add(5, pu);
                        add(6, qq);
                        add(7, qu);
                        add(8, uu);
                    } else {
                        const FV po = *s0, qo = *s1, uo = *s2;
                        FV opp = po * po, opq = po * qo, opu = po * uo;
                        FV oqq = qo * qo, oqu = qo * uo, ouu = uo * uo;
                        asm("" : "+x"(opp), "+x"(opq), "+x"(opu), "+x"(oqq), "+x"(oqu), "+x"(ouu));
                        add(0, pj - po);
                        add(1, qj - qo);
                        add(2, uj - uo);
                        add(3, pp - opp);
                        add(4, pq - opq);
                        add(5, pu - opu);
                        add(6, qq - oqq);
                        add(7, qu - oqu);
                        add(8, uu - ouu);
                    }
                    *s0 = pj;
                    *s1 = qj;
                    *s2 = uj;
                }
            };
            std::fill_n(down, 9 * span, 0.0f);
            for (int y = y0 - r; y < y0 + r; ++y) load(y, true);
            for (int y = y0; y < y1; ++y) {
                load(y + r, y == y0);
                float* __restrict p0 = out.c[0].Row(y) + x0;
                float* __restrict p1 = out.c[1].Row(y) + x0;
                float* __restrict p2 = out.c[2].Row(y) + x0;
                const float* __restrict i0 = term(y, 0) + r;
                const float* __restrict i1 = term(y, 1) + r;
                const float* __restrict i2 = term(y, 2) + r;
                const float* dk[9];
                for (int k = 0; k < 9; ++k) dk[k] = down + static_cast<std::size_t>(k) * span;
                int x = 0;
                for (; x + kLanes <= n; x += kLanes) {
                    auto at = [x](const float* v) { return *reinterpret_cast<const FVu*>(v + x); };
                    // The window's sum across (r = 2, the defaults', written out).
                    auto box = [&](int k) {
                        const float* v = dk[k];
                        FV sum = at(v);
                        if (r == 2) {
                            sum += at(v + 1) + at(v + 2) + at(v + 3) + at(v + 4);
                        } else {
                            for (int dx = 1; dx < ring; ++dx) sum += at(v + dx);
                        }
                        return sum * inv;
                    };
                    FV o0, o1, o2;
                    ColourLinePixel<FV>(box(0), box(1), box(2), box(3), box(4), box(5), box(6),
                                        box(7), box(8), at(i0), at(i1), at(i2), n2, o0, o1, o2);
                    *reinterpret_cast<FVu*>(p0 + x) = o0;
                    *reinterpret_cast<FVu*>(p1 + x) = o1;
                    *reinterpret_cast<FVu*>(p2 + x) = o2;
                }
                for (; x < n; ++x) {
                    float sum[9];
                    for (int k = 0; k < 9; ++k) {
                        sum[k] = dk[k][x];
                        for (int dx = 1; dx < ring; ++dx) sum[k] += dk[k][x + dx];
                        sum[k] *= inv;
                    }
                    ColourLinePixel<float>(sum[0], sum[1], sum[2], sum[3], sum[4], sum[5], sum[6],
                                           sum[7], sum[8], i0[x], i1[x], i2[x], n2, p0[x], p1[x],
                                           p2[x]);
                }
            }
        }
    }));
}

// Holds the result near the colour line of the input about each pixel at the radius's scale.
// Each channel's grid holds an edge by its own contrast, so about a feature narrower than the
// radius they mix the two sides by different shares: a white stripe on a sky came out pink
// and green, far wider than ColourLines' window. The reduced input's channels and products are
// averaged over cells a sigma wide and blurred by a sigma; each cell's hold (ColourLinePixel
// with the input's line and spread) is affine, o = M i + c, kept as M's six terms and c, and
// read bilinearly at full size. Of the hold's move of a pixel only what exceeds the move it
// would give the input's own pixel is taken: a thin line of a third colour lies off the line
// in the input too and keeps its colour, and noise is left to ColourLines.
void CGlazeRun::MakeLineStats(const Planes3& lo, int d, LineStats& st) {
    const int wl = lo.c[0].width, hl = lo.c[0].height;
    const float sigma = std::max(0.5f, m_s.cleanRadius / m_n) / static_cast<float>(d);
    const int step = std::max(1, static_cast<int>(sigma / kLineStatsStepSigmas));
    const int ws = (wl + step - 1) / step, hs = (hl + step - 1) / step;
    st.step = step;
    st.down = d;
    Plane across[9];
    for (int k = 0; k < 9; ++k) {
        st.m[k] = NewPlane(ws, hs);
        across[k] = NewPlane(ws, hs);
    }
    float taps[2 * kMaxFirRadius + 1];
    const int radius = GaussTaps(sigma / static_cast<float>(step), taps);
    // Each cell's means of the channels and their products over its step x step samples,
    // blurred along the row.
    ForRows(hs, [&](int cy, int) {
        float* o[9];
        for (int k = 0; k < 9; ++k) o[k] = st.m[k].Row(cy);
        const int y0 = cy * step, y1 = std::min(hl, y0 + step);
        for (int cx = 0; cx < ws; ++cx) {
            const int x0 = cx * step, x1 = std::min(wl, x0 + step);
            float sum[9] = {};
            for (int y = y0; y < y1; ++y) {
                const float* r = lo.c[0].Row(y);
                const float* g = lo.c[1].Row(y);
                const float* b = lo.c[2].Row(y);
                for (int x = x0; x < x1; ++x) {
                    sum[0] += r[x];
                    sum[1] += g[x];
                    sum[2] += b[x];
                    sum[3] += r[x] * r[x];
                    sum[4] += r[x] * g[x];
                    sum[5] += r[x] * b[x];
                    sum[6] += g[x] * g[x];
                    sum[7] += g[x] * b[x];
                    sum[8] += b[x] * b[x];
                }
            }
            const float inv = 1.0f / static_cast<float>((y1 - y0) * (x1 - x0));
            for (int k = 0; k < 9; ++k) o[k][cx] = sum[k] * inv;
        }
        for (int k = 0; k < 9; ++k) {
            float* h = across[k].Row(cy);
            for (int cx = 0; cx < ws; ++cx) {
                float acc = 0.0f;
                for (int j = -radius; j <= radius; ++j)
                    acc += taps[j + radius] * o[k][std::clamp(cx + j, 0, ws - 1)];
                h[cx] = acc;
            }
        }
    });
    // Down the columns; then each cell's hold, which is affine, o = M i + c: M and c found by
    // holding the mean and the mean plus each unit colour.
    const float t = std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2]});
    const float noise = kColourLineNoise * t;
    const float n2 = noise * noise;
    ForRows(hs, [&](int cy, int) {
        float* v[9];
        for (int k = 0; k < 9; ++k) {
            v[k] = st.m[k].Row(cy);
            for (int cx = 0; cx < ws; ++cx) v[k][cx] = 0.0f;
            for (int j = -radius; j <= radius; ++j) {
                const float* h = across[k].Row(std::clamp(cy + j, 0, hs - 1));
                const float w = taps[j + radius];
                for (int cx = 0; cx < ws; ++cx) v[k][cx] += w * h[cx];
            }
        }
        for (int cx = 0; cx < ws; ++cx) {
            float s[9];
            for (int k = 0; k < 9; ++k) s[k] = v[k][cx];
            float o[4][3];
            for (int e = 0; e < 4; ++e) {
                const float i0 = s[0] + (e == 1 ? 1.0f : 0.0f);
                const float i1 = s[1] + (e == 2 ? 1.0f : 0.0f);
                const float i2 = s[2] + (e == 3 ? 1.0f : 0.0f);
                ColourLinePixel<float>(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], i0,
                                       i1, i2, n2, o[e][0], o[e][1], o[e][2]);
            }
            // Columns of M: o(mean + e_k) - o(mean); c = o(mean) - M mean.
            float m[3][3];
            for (int k = 0; k < 3; ++k)
                for (int j = 0; j < 3; ++j) m[j][k] = o[k + 1][j] - o[0][j];
            v[0][cx] = m[0][0];
            v[1][cx] = m[0][1];
            v[2][cx] = m[0][2];
            v[3][cx] = m[1][1];
            v[4][cx] = m[1][2];
            v[5][cx] = m[2][2];
            for (int j = 0; j < 3; ++j)
                v[6 + j][cx] = o[0][j] - (m[j][0] * s[0] + m[j][1] * s[1] + m[j][2] * s[2]);
        }
    });
    for (int k = 0; k < 9; ++k) m_ws.FreePlane(across[k]);
}

void CGlazeRun::InputLines(const Planes3* in, Planes3& out, const LineStats& st) {
    const int ws = st.m[0].width, hs = st.m[0].height;
    // Full-size pixel x lies at reduced sample (x - (d - 1) / 2) / d, the cells' centres at
    // cx step + (step - 1) / 2.
    const float scale = 1.0f / static_cast<float>(st.down * st.step);
    const float offset = (-0.5f * static_cast<float>(st.down - 1) / static_cast<float>(st.down) -
                          0.5f * static_cast<float>(st.step - 1)) /
                         static_cast<float>(st.step);
    auto place = [&](int x, int n, int& i0, float& f) {
        if (n < 2) {
            i0 = 0;
            f = 0.0f;
            return;
        }
        const float u = std::clamp(x * scale + offset, 0.0f, static_cast<float>(n - 1));
        i0 = std::min(n - 2, static_cast<int>(u));
        f = u - static_cast<float>(i0);
    };
    // In tiles: each column's cell and weight are found once per tile, and each row of cells
    // the tile's rows lie between is spread along the columns once (rows of cells 0 and 1 in
    // the scratch rows `spread`, slots 2.. and 11..); a pixel's row then only mixes the two.
    static_assert(2 + 2 * 9 + 3 <= kScratchRows, "the spread and input rows fit the scratch rows");
    ForTiles(m_w, m_h, [&](int x0, int x1, int y0, int y1, int thread) {
        const int n = x1 - x0;
        int* const at = reinterpret_cast<int*>(Scratch(thread, 0));
        float* const frac = Scratch(thread, 1);
        for (int x = 0; x < n; ++x) place(x0 + x, ws, at[x], frac[x]);
        float* spread[2][9];
        int held[2] = {-1, -1};
        for (int k = 0; k < 9; ++k) {
            spread[0][k] = Scratch(thread, 2 + k);
            spread[1][k] = Scratch(thread, 11 + k);
        }
        auto spreadRow = [&](int slot, int j) {
            for (int k = 0; k < 9; ++k) {
                const float* r = st.m[k].Row(j);
                float* __restrict e = spread[slot][k];
                for (int x = 0; x < n; ++x) {
                    const int i0 = at[x], i1 = std::min(ws - 1, i0 + 1);
                    e[x] = r[i0] + frac[x] * (r[i1] - r[i0]);
                }
            }
            held[slot] = j;
        };
        for (int y = y0; y < y1; ++y) {
            int j0;
            float fy;
            place(y, hs, j0, fy);
            const int j1 = std::min(hs - 1, j0 + 1);
            if (held[0] != j0) {
                if (held[1] == j0) {
                    std::swap(spread[0], spread[1]);
                    std::swap(held[0], held[1]);
                } else {
                    spreadRow(0, j0);
                }
            }
            if (held[1] != j1)
                spreadRow(1, j1);
            float* __restrict p0 = out.c[0].Row(y) + x0;
            float* __restrict p1 = out.c[1].Row(y) + x0;
            float* __restrict p2 = out.c[2].Row(y) + x0;
            const float* const* e0 = spread[0];
            const float* const* e1 = spread[1];
            float* const src[3] = {Scratch(thread, 20), Scratch(thread, 21), Scratch(thread, 22)};
            if (in != nullptr) {
                for (int c = 0; c < 3; ++c)
                    std::memcpy(src[c], in->c[c].Row(y) + x0, sizeof(float) * static_cast<std::size_t>(n));
            } else {
                InputSpan(y, x0, n, src);
            }
            auto apply = [&](auto z, int x) {
                using V = decltype(z);
                V v[9];
                for (int k = 0; k < 9; ++k) {
                    const V top = Load<V>(e0[k] + x);
                    v[k] = top + fy * (Load<V>(e1[k] + x) - top);
                }
                // The hold's move of the pixel (M - I) o + c, and the move it would give the
                // input's own pixel: only what the result has off the line beyond the input
                // goes (a thin line of a third colour keeps its colour, noise is left to the
                // finer hold below).
                const V a = Load<V>(p0 + x), b = Load<V>(p1 + x), g = Load<V>(p2 + x);
                const V d0 = v[0] * a + v[1] * b + v[2] * g + v[6] - a;
                const V d1 = v[1] * a + v[3] * b + v[4] * g + v[7] - b;
                const V d2 = v[2] * a + v[4] * b + v[5] * g + v[8] - g;
                const V ia = Load<V>(src[0] + x), ib = Load<V>(src[1] + x), ic = Load<V>(src[2] + x);
                const V e0v = v[0] * ia + v[1] * ib + v[2] * ic + v[6] - ia;
                const V e1v = v[1] * ia + v[3] * ib + v[4] * ic + v[7] - ib;
                const V e2v = v[2] * ia + v[4] * ib + v[5] * ic + v[8] - ic;
                const V out2 = d0 * d0 + d1 * d1 + d2 * d2;
                const V in2 = e0v * e0v + e1v * e1v + e2v * e2v;
                // The share of the move that goes: 1 - |in| / |out| where positive.
                const V ro = Sqrt(out2), ri = Sqrt(in2);
                const V gain = Max(ro - ri, Lanes(a, 0.0f)) / (ro + Lanes(a, 1e-12f));
                Store(p0 + x, a + gain * d0);
                Store(p1 + x, b + gain * d1);
                Store(p2 + x, g + gain * d2);
            };
            int xv = 0;
            for (; xv + kLanes <= n; xv += kLanes) apply(FV{}, xv);
            for (; xv < n; ++xv) apply(0.0f, xv);
        }
    });
}

// The parts of the guides the last pass reads at (see Clean and MakeFullSliceGuide), on the
// reduced copy: j, the guide, into zs (at strength > 0 MakeSliceBounds then puts the guide's
// lower bound there); and into weight w = m / (1 + m), m = (|grad g| / slope)^2 (the largest
// over the channels), g the reduced input's guide smoothed so that, with the reduction and a
// bilinear reading, it is smoothed by kSharpGuideSigma at full size, blurred by
// kSharpGuideWeightSigma: a weight that changes within a reduced pixel would move with the
// reduction's phase.
// One loop over tall tiles that keep g and the weight in the grids' memory with the aprons the
// slope and the weight's blur need, so that only the reduced input and the guide are read and
// j and w written.
// The guide's blur is linear: each row blurs the reduced input down its columns and mixes the
// guides from that. Rows and columns outside the image repeat the border's. Without a reduction
// (d = 1, zRanges given) all this runs on the input itself, j is the guide as it is (it has no
// steps between reduced samples), and the guide itself, z = j + w (g - j), is written to zs with
// its ranges per block (as the guides' were, GridJob::zRanges); weight is not written.
void CGlazeRun::MakeSliceGuides(const Planes3& lo, const Planes3& guides, const float* own,
                                const float* shared, const float* lumWeight, Planes3& zs,
                                Plane& weight, float* zRanges) {
    const int wl = lo.c[0].width, hl = lo.c[0].height;
    static_assert(kOutputTile % kZBlock == 0, "a tile holds whole blocks");
    const int zbw = (wl + kZBlock - 1) / kZBlock;
    const std::size_t zRangeFloats =
        2 * static_cast<std::size_t>((hl + kRowsPerChunk - 1) / kRowsPerChunk) * zbw;
    const float d = static_cast<float>(CleanReduction());
    float taps[2 * kMaxFirRadius + 1] = {1.0f};
    const float sigma = SliceGuideSigma();
    const int r = sigma >= kMinBlurSigma ? GaussTaps(sigma, taps) : 0;
    float wtaps[2 * kMaxFirRadius + 1] = {1.0f};
    const float wsigma = kSharpGuideWeightSigma / (m_n * d);
    const int rw = wsigma >= kMinBlurSigma ? GaussTaps(wsigma, wtaps) : 0;
    // Slope per pixel of the original picture, also in a preview's sampled one. Stronger
    // cleaning asks for flat regions: the input's guide then takes over at steep edges only.
    const float slope = kSharpGuideSlope * (1.0f + static_cast<float>(m_s.cleanStrength));
    const float k = 0.5f / (slope * m_n * d);
    // Columns [ca, cb) of a span starting at xa are inside; the rest continues the edge values.
    auto padEdges = [](float* row, int xa, int ca, int cb, int wide) {
        for (int j = 0; j < ca - xa; ++j) row[j] = row[ca - xa];
        for (int j = cb - xa; j < wide; ++j) row[j] = row[cb - 1 - xa];
    };
    constexpr int kTall = 64;  // rows of a tile: the aprons cost (64 + 2 rw + 2) / 64
    static_assert(kTall % kRowsPerChunk == 0, "a tile holds whole chunks of rows");
    const int across = (wl + kOutputTile - 1) / kOutputTile, down = (hl + kTall - 1) / kTall;
    const int tileW = std::min(wl, kOutputTile);
    const std::size_t sstride = (static_cast<std::size_t>(tileW) + 2 * rw + 2 + 15) & ~std::size_t{15};
    const int sRows = kTall + 2 * rw + 2, wRows = kTall + 2 * rw;
    const std::size_t perThread = sstride * (3 * static_cast<std::size_t>(sRows) + wRows);
    // The grids' memory is free until the pass reads these guides, and already touched.
    float* sbuf = GridBlock(perThread * static_cast<std::size_t>(m_team.Threads()));
    Check(m_team.ParallelFor(across * down, [&](int tile, int thread) {
        const int x0 = (tile % across) * kOutputTile, x1 = std::min(wl, x0 + kOutputTile);
        const int y0 = (tile / across) * kTall, y1 = std::min(hl, y0 + kTall);
        const int n = x1 - x0;
        // g over rows [gy0, gy1] and columns [sa, sb), made from the reduced input's columns
        // [ca, cb), the part inside of [xa, xa + wide); the weight over rows [wy0, wy1].
        const int wy0 = std::max(0, y0 - rw), wy1 = std::min(hl - 1, y1 - 1 + rw);
        const int gy0 = std::max(0, wy0 - 1), gy1 = std::min(hl - 1, wy1 + 1);
        const int sa = std::max(0, x0 - rw - 1), sb = std::min(wl, x1 + rw + 1), sn = sb - sa;
        const int xa = sa - r, wide = sn + 2 * r;
        const int ca = std::max(0, xa), cb = std::min(wl, sb + r);
        float* v[3] = {Scratch(thread, 0), Scratch(thread, 1), Scratch(thread, 2)};
        float* lum = Scratch(thread, 3);
        float* g = Scratch(thread, 4);
        float* raw = Scratch(thread, 5);
        float* wt = Scratch(thread, 6);
        float* buf = sbuf + perThread * static_cast<std::size_t>(thread);
        // Row y of g's channel c and of the weight blurred across (column x at x - sa).
        auto grow = [&](int c, int y) {
            return buf + static_cast<std::size_t>((y - gy0) * 3 + c) * sstride;
        };
        float* wbuf = buf + 3 * static_cast<std::size_t>(sRows) * sstride;
        auto wrow = [&](int y) { return wbuf + static_cast<std::size_t>(y - wy0) * sstride; };
        const float* rows[2 * kMaxFirRadius + 1];
        for (int y = gy0; y <= gy1; ++y) {
            for (int c = 0; c < 3; ++c) {
                for (int t = 0; t <= 2 * r; ++t)
                    rows[t] = lo.c[c].Row(std::clamp(y + t - r, 0, hl - 1)) + ca;
                m_k.firV(rows, taps, 2 * r + 1, v[c] + (ca - xa), cb - ca);
                padEdges(v[c], xa, ca, cb, wide);
            }
            for (int j = 0; j < wide; ++j)
                lum[j] = lumWeight[0] * v[0][j] + lumWeight[1] * v[1][j] + lumWeight[2] * v[2][j];
            for (int c = 0; c < 3; ++c) {
                for (int j = 0; j < wide; ++j) g[j] = own[c] * v[c][j] + shared[c] * lum[j];
                m_k.firH(g, taps, 2 * r + 1, grow(c, y), sn);
            }
        }
        // The weight over columns [wa, wb), continued by its edge values to [x0 - rw, x1 + rw).
        const int wa = std::max(0, x0 - rw), wb = std::min(wl, x1 + rw), wx = x0 - rw;
        // Columns [ia, ib) have both neighbours inside; the image's first and last clamp.
        const int ia = std::max(wa, 1), ib = std::min(wb, wl - 1);
        for (int y = wy0; y <= wy1; ++y) {
            float* __restrict o = raw + (wa - wx);
            for (int c = 0; c < 3; ++c) {
                const float* __restrict s0 = grow(c, std::max(0, y - 1));
                const float* __restrict s1 = grow(c, y);
                const float* __restrict s2 = grow(c, std::min(hl - 1, y + 1));
                auto slope2 = [&](int x) {
                    const float gx =
                        k * (s1[std::min(wl - 1, x + 1) - sa] - s1[std::max(0, x - 1) - sa]);
                    const float gy = k * (s2[x - sa] - s0[x - sa]);
                    return gx * gx + gy * gy;
                };
                const int left = std::min(ia, wb);
                for (int x = wa; x < left; ++x)
                    o[x - wa] = c == 0 ? slope2(x) : std::max(o[x - wa], slope2(x));
                for (int x = ia; x < ib; ++x) {
                    const float gx = k * (s1[x + 1 - sa] - s1[x - 1 - sa]);
                    const float gy = k * (s2[x - sa] - s0[x - sa]);
                    const float m = gx * gx + gy * gy;
                    o[x - wa] = c == 0 ? m : std::max(o[x - wa], m);
                }
                for (int x = std::max(ib, left); x < wb; ++x)
                    o[x - wa] = c == 0 ? slope2(x) : std::max(o[x - wa], slope2(x));
            }
            for (int x = 0; x < wb - wa; ++x) o[x] = o[x] / (1.0f + o[x]);
            padEdges(raw, wx, wa, wb, n + 2 * rw);
            m_k.firH(raw, wtaps, 2 * rw + 1, wrow(y), n);
        }
        // The tile holds whole blocks of zRanges (kOutputTile and kTall are multiples of theirs).
        const int bx0 = x0 / kZBlock, bx1 = (x1 + kZBlock - 1) / kZBlock;
        for (int y = y0; y < y1; ++y) {
            for (int t = 0; t <= 2 * rw; ++t) rows[t] = wrow(std::clamp(y + t - rw, 0, hl - 1));
            m_k.firV(rows, wtaps, 2 * rw + 1, wt, n);
            for (int c = 0; c < 3; ++c) {
                const float* jr = guides.c[c].Row(y) + x0;
                if (zRanges != nullptr) {
                    const float* gr = grow(c, y) + (x0 - sa);
                    float* z = zs.c[c].Row(y) + x0;
                    for (int x = 0; x < n; ++x) z[x] = jr[x] + wt[x] * (gr[x] - jr[x]);
                    float* least = zRanges + c * zRangeFloats +
                                   2 * static_cast<std::size_t>(y / kRowsPerChunk) * zbw;
                    float* most = least + zbw;
                    if (y % kRowsPerChunk == 0) {
                        std::fill(least + bx0, least + bx1, 1e30f);
                        std::fill(most + bx0, most + bx1, -1e30f);
                    }
                    for (int bx = bx0; bx < bx1; ++bx) {
                        float a = least[bx], b = most[bx];
                        const int xs = std::max(x0, bx * kZBlock);
                        const int xe = std::min(x1, (bx + 1) * kZBlock);
                        SpanMinMax(z + (xs - x0), xe - xs, a, b);
                        least[bx] = a;
                        most[bx] = b;
                    }
                    continue;
                }
                std::memcpy(zs.c[c].Row(y) + x0, jr, sizeof(float) * static_cast<std::size_t>(n));
                if (c == 0)
                    std::memcpy(weight.Row(y) + x0, wt,
                                sizeof(float) * static_cast<std::size_t>(n));
            }
        }
    }));
}

// The bounds of the last pass's slice guide for one channel (see kSliceBoundBlur), on the
// reduced copy: the channel's guide blurred, its least and greatest over the (2 r + 1)^2
// samples about each sample, r = kSliceBoundReach, into lower and upper, both then blurred.
// Rows and columns beyond the border repeat the border's. tmp holds two reduced planes.
void CGlazeRun::MakeSliceBounds(const Plane& guide, Plane& lower, Plane& upper, Plane* tmp) {
    const int wl = guide.width, hl = guide.height;
    const float scale = 1.0f / (m_n * static_cast<float>(CleanReduction()));
    // The reduced copy holds at least 2 x 2 pixels per sample, so r is at most kMaxReach.
    constexpr int kMaxReach = static_cast<int>(kSliceBoundReach / 2.0f + 0.5f);
    const int r = std::clamp(static_cast<int>(std::lround(kSliceBoundReach * scale)), 1, kMaxReach);
    Plane& u = tmp[0];
    Gauss(guide, u, kSliceBoundBlur * scale, tmp[1]);
    // Down the columns into lower and upper, then across into tmp.
    ForRows(hl, [&](int y, int) {
        const float* rows[2 * kMaxReach + 1];
        for (int t = -r; t <= r; ++t) rows[t + r] = u.Row(std::clamp(y + t, 0, hl - 1));
        m_k.minMaxRows(rows, 2 * r + 1, lower.Row(y), upper.Row(y), wl);
    });
    ForRows(hl, [&](int y, int) {
        m_k.minMaxWindow(lower.Row(y), upper.Row(y), r, tmp[0].Row(y), tmp[1].Row(y), wl);
    });
    Gauss(tmp[0], lower, kSliceBoundSoft * scale, upper);
    Gauss(tmp[1], upper, kSliceBoundSoft * scale, tmp[0]);
}

float CGlazeRun::RobustRamp() const {
    const float tTop = std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2], 0.004f});
    return std::clamp((tTop - kRobustFrom) / kRobustFrom, 0.0f, 1.0f);
}

// Channel c's guide of the last pass's slice at full size, into z: z = j + w (g - j), g the
// input's guide (the channel and the luminance, see Clean) smoothed by kSharpGuideSigma, made
// from the full-size input, j (in jz) and w (see MakeSliceGuides) brought up bilinearly, by odd
// reflection beyond the border as the slice reads. With upper bounds (a reduction), jz holds
// the lower ones, and j is g held within the two brought up (see MakeSliceBounds). Made on the
// reduced copy and brought up, g's
// value on a line of a pixel or two would follow the reduction's phase (the binomial leaves part
// of such a line aliased, and a bilinear reading smooths it more or less with its place among
// the samples), and in units of the threshold a small error there is another bin: a picture
// shifted by one pixel would filter differently on fine strong detail. A Gaussian of 2 px is
// smooth enough for its samples to hold all of it. Then jz takes the means of z's 2 x 2 blocks,
// at which the grid is splatted. Rows and columns beyond the border repeat the border's.
void CGlazeRun::MakeFullSliceGuide(const Planes3* in, int c, const float* own, const float* shared,
                                   const float* lumWeight, Plane& jz, const Plane* upper,
                                   const Plane& weight, Plane& z) {
    float taps[2 * kMaxFirRadius + 1] = {1.0f};
    const float sigma = kSharpGuideSigma / m_n;
    const int r = sigma >= kMinBlurSigma ? GaussTaps(sigma, taps) : 0;
    const int d = CleanReduction();
    const float scaleDown = static_cast<float>(d);
    auto posOf = [&](int X) { return (static_cast<float>(X) + 0.5f) / scaleDown - 0.5f; };
    // The input's own guide's least share where it departs from the guide brought up: at most
    // apartTop, knee^4 (see kSliceGuideApart); a top of 0 leaves it out.
    const float strength = static_cast<float>(m_s.cleanStrength);
    const float knee = kSliceGuideApart * (1.0f + strength / 8.0f);
    const float knee2 = knee * knee;
    const float apart = knee2 * knee2;
    float apartTop = 1.0f - 0.5f * std::clamp((strength - 4.0f) / 4.0f, 0.0f, 1.0f);
    if (m_s.cleanStrength > 0)
        apartTop *= 1.0f - RobustRamp();
    // The input's weights in channel c's guide.
    float mix[3];
    for (int k = 0; k < 3; ++k) mix[k] = shared[c] * lumWeight[k] + (k == c ? own[c] : 0.0f);
    // Tiles of kTall rows: their rows of the guide blurred across, with the blur's aprons, take
    // scratch rows [0, kTall + 2 r) (r is at most 6); the next eleven hold the input's rows, the
    // parts' and the columns' places among them.
    constexpr int kTall = 48;
    static_assert(kTall + 2 * 6 + 11 <= kScratchRows, "a tile's rows fit the scratch rows");
    const int across = (m_w + kOutputTile - 1) / kOutputTile, down = (m_h + kTall - 1) / kTall;
    Check(m_team.ParallelFor(across * down, [&](int tile, int thread) {
        const int x0 = (tile % across) * kOutputTile, x1 = std::min(m_w, x0 + kOutputTile);
        const int y0 = (tile / across) * kTall, y1 = std::min(m_h, y0 + kTall);
        const int n = x1 - x0;
        const int xa = x0 - r, wide = n + 2 * r;
        const int ca = std::max(0, xa), cb = std::min(m_w, x1 + r);
        const int base = kTall + 2 * r;
        float* const host[3] = {Scratch(thread, base), Scratch(thread, base + 1),
                                Scratch(thread, base + 2)};
        float* raw = Scratch(thread, base + 3);
        auto blurred = [&](int y) { return Scratch(thread, y - (y0 - r)); };
        const float* ch[3];
        for (int y = y0 - r; y < y1 + r; ++y) {
            const int Y = std::clamp(y, 0, m_h - 1);
            if (in != nullptr) {
                for (int k = 0; k < 3; ++k) ch[k] = in->c[k].Row(Y) + ca;
            } else {
                // A tile's rows are far apart in memory: the misses of the rows ahead overlap
                // this row's work.
                PrefetchSpan(InputRow(std::clamp(y + kPrefetchRows, 0, m_h - 1), ca),
                             InputBytes(cb - ca), false);
                InputSpan(Y, ca, cb - ca, host);
                for (int k = 0; k < 3; ++k) ch[k] = host[k];
            }
            float* o = raw + (ca - xa);
            for (int x = 0; x < cb - ca; ++x)
                o[x] = mix[0] * ch[0][x] + mix[1] * ch[1][x] + mix[2] * ch[2][x];
            for (int j = 0; j < ca - xa; ++j) raw[j] = raw[ca - xa];
            for (int j = cb - xa; j < wide; ++j) raw[j] = raw[cb - 1 - xa];
            m_k.firH(raw, taps, 2 * r + 1, blurred(y), n);
        }
        // The parts' columns about the tile and each pixel's place among them.
        const int gx0 = static_cast<int>(std::floor(posOf(x0)));
        const int gn = static_cast<int>(std::floor(posOf(x1 - 1))) + 2 - gx0;
        float* pr[2] = {Scratch(thread, base + 4), Scratch(thread, base + 5)};
        float* spare = Scratch(thread, base + 6);
        float* jrow = Scratch(thread, base + 7);
        float* hrow = Scratch(thread, base + 10);
        // Each pixel's column among the parts' and its weight, the same for every row.
        int* colAt = reinterpret_cast<int*>(Scratch(thread, base + 8));
        float* colFrac = Scratch(thread, base + 9);
        for (int x = 0; x < n; ++x) {
            const float p = posOf(x0 + x);
            const int xl = static_cast<int>(std::floor(p));
            colAt[x] = xl - gx0;
            colFrac[x] = p - static_cast<float>(xl);
        }
        // Halved from an even column (as the tiles are wherever this runs), pixels 2m and
        // 2m + 1 lie at 0.75 between samples m and m + 1 and at 0.25 between m + 1 and m + 2:
        // a vector of pixels then takes its samples from one load of the row (below).
        bool paired = true;
        for (int x = 0; x < n && paired; ++x)
            paired = colAt[x] == (x + 1) / 2 && colFrac[x] == ((x & 1) != 0 ? 0.25f : 0.75f);
        const float* rows[2 * kMaxFirRadius + 1];
        for (int y = y0; y < y1; ++y) {
            for (int t = 0; t <= 2 * r; ++t) rows[t] = blurred(y + t - r);
            if (y + kPrefetchRows < y1)
                PrefetchSpan(z.Row(y + kPrefetchRows) + x0, sizeof(float) * n, true);
            float* zo = z.Row(y) + x0;
            m_k.firV(rows, taps, 2 * r + 1, zo, n);
            const float py = posOf(y);
            const int yl = static_cast<int>(std::floor(py));
            const float fy = py - static_cast<float>(yl);
            // j (the lower bound where there are bounds), the upper bound and w between the two
            // nearest rows of samples, then along x.
            float* jw[3] = {jrow, hrow, pr[0]};
            for (int k = 0; k < 3; ++k) {
                if (k == 1 && upper == nullptr)
                    continue;
                const Plane& p = k == 0 ? jz : k == 1 ? *upper : weight;
                const float* a = RowSpan(p, yl, gx0, gn, pr[0], spare);
                const float* b = RowSpan(p, yl + 1, gx0, gn, pr[1], spare);
                // jw[1] may be a: each entry is read before it is written.
                float* o = jw[k];
                for (int j = 0; j < gn; ++j) o[j] = a[j] + fy * (b[j] - a[j]);
            }
            const float* jr = jw[0];
            const float* hr = jw[1];
            const float* wr = jw[2];
            // j (held within the bounds where there are bounds) and w along x first (the rows b
            // and spare are free now), then the mix in whole vectors: lane by lane its division
            // held up every pixel.
            float* __restrict jx = pr[1];
            float* __restrict wx = spare;
            int xs = 0;  // the columns the vectors made
            if (paired) {
                // The same operations as the loop below, lane by lane: Max and Min are
                // std::max's and std::min's comparisons, and the clamp is std::clamp's.
#if defined(VG_KERNEL_AVX2)
                typedef int IV __attribute__((vector_size(32)));
                const IV lower = {0, 1, 1, 2, 2, 3, 3, 4}, higher = {1, 2, 2, 3, 3, 4, 4, 5};
                const FV f = {0.75f, 0.25f, 0.75f, 0.25f, 0.75f, 0.25f, 0.75f, 0.25f};
#else
                typedef int IV __attribute__((vector_size(16)));
                const IV lower = {0, 1, 1, 2}, higher = {1, 2, 2, 3};
                const FV f = {0.75f, 0.25f, 0.75f, 0.25f};
#endif
                const FV zero = Lanes(FV{}, 0.0f), one = Lanes(FV{}, 1.0f);
                auto up = [&](const float* row, int q) {
                    const FV v = Load<FV>(row + q);
                    const FV a = __builtin_shuffle(v, lower), b = __builtin_shuffle(v, higher);
                    return a + f * (b - a);
                };
                // A vector reads samples q to q + kLanes - 1, all within the gn brought up.
                for (; xs + kLanes <= n && xs / 2 + kLanes <= gn; xs += kLanes) {
                    const int q = xs / 2;
                    FV jv = up(jr, q);
                    if (upper != nullptr)
                        jv = Min(Max(Load<FV>(zo + xs), jv), up(hr, q));
                    Store(jx + xs, jv);
                    const FV wv = up(wr, q);
                    const FV high = one < wv ? one : wv;
                    Store(wx + xs, wv < zero ? zero : high);
                }
            }
            for (int x = xs; x < n; ++x) {
                const int i = colAt[x];
                const float f = colFrac[x];
                float jv = jr[i] + f * (jr[i + 1] - jr[i]);
                if (upper != nullptr) {
                    const float hv = hr[i] + f * (hr[i + 1] - hr[i]);
                    jv = std::min(std::max(zo[x], jv), hv);
                }
                jx[x] = jv;
                wx[x] = std::clamp(wr[i] + f * (wr[i + 1] - wr[i]), 0.0f, 1.0f);
            }
            auto mixAt = [&](auto v, int x) {
                using V = decltype(v);
                const V jv = Load<V>(jx + x), zv = Load<V>(zo + x);
                V wv = Load<V>(wx + x);
                if (apartTop > 0.0f) {
                    const V e = zv - jv;
                    const V e4 = (e * e) * (e * e);
                    wv = Max(wv, apartTop * e4 / (e4 + apart));
                }
                Store(zo + x, jv + wv * (zv - jv));
            };
            int xv = 0;
            for (; xv + kLanes <= n; xv += kLanes) mixAt(FV{}, xv);
            for (; xv < n; ++xv) mixAt(0.0f, xv);
        }
    }));
    // The 2 x 2 means. The second row or column of an odd height or width lies beyond the
    // border, where z continues by odd reflection (twice the border's less the one before, as
    // the input does in the reduction), so that the last mean stands at its sample's place
    // whatever the parity.
    const int wl = jz.width, hl = jz.height;
    const bool oddW = d * wl > m_w && m_w >= 2;
    ForRowChunks(hl, [&](int ya, int yb, int) {
        for (int y = ya; y < yb; ++y) {
            const bool below = d * y + 1 >= m_h && m_h >= 2;
            const float* r0 = z.Row(std::min(m_h - 1, d * y));
            const float* r1 = z.Row(below ? m_h - 2 : std::min(m_h - 1, d * y + 1));
            float* o = jz.Row(y);
            const int inner = oddW ? wl - 1 : wl;
            // Both columns of these means lie in the image (d is 2 here), so the loop needs
            // no clamp and runs in whole vectors.
            for (int x = 0; x < inner; ++x)
                o[x] = 0.25f * ((r0[2 * x] + r0[2 * x + 1]) + (r1[2 * x] + r1[2 * x + 1]));
            if (oddW) {
                auto pair = [&](const float* row) { return 3.0f * row[m_w - 1] - row[m_w - 2]; };
                o[wl - 1] = 0.25f * (pair(r0) + pair(r1));
            }
            if (below) {
                for (int x = 0; x < wl; ++x) {
                    // Row pairs r0 + (2 r0 - r1): the mean above with r1's part taken twice
                    // from r0's.
                    const int x0 = std::min(m_w - 1, d * x), x1 = std::min(m_w - 1, d * x + 1);
                    const bool last = oddW && x == wl - 1;
                    const float a0 = last ? 3.0f * r0[m_w - 1] - r0[m_w - 2] : r0[x0] + r0[x1];
                    const float a1 = last ? 3.0f * r1[m_w - 1] - r1[m_w - 2] : r1[x0] + r1[x1];
                    o[x] = 0.25f * (3.0f * a0 - a1);
                }
            }
        }
    });
}

// The blur of the last pass's smoothed guide on the reduced copy, in its pixels. Variances at
// full size: with a reduction, its binomial's 5 / 4 and the slice's tent's d^2 / 6 are part of it.
float CGlazeRun::SliceGuideSigma() const {
    const float d = static_cast<float>(CleanReduction());
    const float full = kSharpGuideSigma / m_n;
    const float rest = full * full - (d > 1.0f ? 1.25f + d * d / 6.0f : 0.0f);
    return rest > 0.0f ? std::sqrt(rest) / d : 0.0f;
}

// The reduction of the clean stage's guidance passes: the grid's cells are half a sigma
// wide, so a reduced copy with a few samples per cell loses nothing the grid would keep.
int CGlazeRun::CleanReduction() const {
    const float sigma = m_s.cleanRadius / m_n;
    int d = sigma >= 6.0f ? 2 : 1;
    while (d > 1 && (m_w < 2 * d || m_h < 2 * d)) d /= 2;
    return d;
}

// Brings back the part of the residual (input minus the smoothed base) whose local RMS, in
// units of the threshold, is well above one: thin lines and lettering of high contrast come
// back, weak texture and noise stay removed. Stronger clean settings raise the knee, up to
// kGateKneeMax.
// The energy is measured along lines: after a small blur, it is averaged along each of eight
// directions of the pixel grid (0, 27, 45, 63 degrees and so on) and the largest average
// counts: a thin line's contrast is so pooled along its length, and the line is kept or
// softened as a whole rather than kept where its contrast clears the knee and dropped where it
// does not (dashes), while an isolated speck of noise is diluted in every direction. Energy
// that lies along one direction (the largest average well above the smallest) counts up to
// twice, so faint veins between strong ones come back softly; noise, whose averages differ
// little between directions, hardly gains. The gain,
// RMS^4 / (RMS^4 + knee^4), is gentle enough that a line whose contrast wavers about the knee
// is softened there, not cut. What comes back is the input averaged along the directions whose
// energy is near the largest (a Gaussian of sigma 1 px along each, see kGateDirShare and
// kGateMiddleGainFrom): an edge or a line is the same along its own direction, so it comes
// back as sharp as it is, without the noise and grain beside it.
// The energy is made from the input and base row by row as the bands reach it; each tile
// works in scratch rows with aprons.
void CGlazeRun::Gate(const Planes3* in, Planes3& base, const unsigned char* sliceTail) {
    float taps[2 * kMaxFirRadius + 1];
    const int rb = GaussTaps(std::max(0.3f, kGateSigma / m_n), taps);  // <= kMaxGateBlur
    // The lines: lattice steps and the Gaussian weights of their taps.
    static constexpr int kDirs[8][2] = {{1, 0}, {2, 1}, {1, 1}, {1, 2},
                                        {0, 1}, {-1, 2}, {-1, 1}, {-2, 1}};
    const float sl = kGateLineSigma / m_n;
    float lineTaps[8][2 * kMaxGateReach + 1];
    int lineK[8];
    int reach = 0;
    for (int d = 0; d < 8; ++d) {
        const float step = std::sqrt(static_cast<float>(kDirs[d][0] * kDirs[d][0] +
                                                        kDirs[d][1] * kDirs[d][1]));
        const int m = std::max(std::abs(kDirs[d][0]), std::abs(kDirs[d][1]));
        int k = static_cast<int>(std::ceil(2.5f * sl / step));
        k = std::clamp(k, 1, kMaxGateReach / m);
        lineK[d] = k;
        reach = std::max(reach, k * m);
        double sum = 0.0;
        for (int j = -k; j <= k; ++j) sum += std::exp(-0.5 * (j * step / sl) * (j * step / sl));
        for (int j = -k; j <= k; ++j)
            lineTaps[d][j + k] =
                static_cast<float>(std::exp(-0.5 * (j * step / sl) * (j * step / sl)) / sum);
    }
    // Taps of the input's average along each direction.
    const float sr = std::max(0.25f, kGateRestoreSigma / m_n);
    float restoreTaps[8][2 * kMaxGateRestore + 1];
    int restoreK[8];
    for (int d = 0; d < 8; ++d) {
        const float step = std::sqrt(static_cast<float>(kDirs[d][0] * kDirs[d][0] +
                                                        kDirs[d][1] * kDirs[d][1]));
        const int k = std::clamp(static_cast<int>(std::ceil(2.0f * sr / step)), 1, kMaxGateRestore);
        restoreK[d] = k;
        double sum = 0.0;
        for (int j = -k; j <= k; ++j) sum += std::exp(-0.5 * (j * step / sr) * (j * step / sr));
        for (int j = -k; j <= k; ++j)
            restoreTaps[d][j + k] =
                static_cast<float>(std::exp(-0.5 * (j * step / sr) * (j * step / sr)) / sum);
    }
    const float threshold = std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2]});
    const float knee = std::min(kGateKnee * (1.0f + static_cast<float>(m_s.cleanStrength) / 4.0f),
                                kGateKneeMax / std::max(threshold, 0.004f));
    const float k2 = knee * knee, t2 = k2 * k2;
    // A line's average is at most the largest pooled energy m within its reach (the taps sum
    // to 1) and the line bonus raises it at most (1 + kGateLineBonus) times, so where
    // m^2 < hopeless the gain stays below kGateNothing whatever the lines (1 % to spare for
    // rounding).
    const float hopeless = t2 * kGateNothing / (1.0f - kGateNothing) /
                           (1.01f * (1.0f + kGateLineBonus) * (1.0f + kGateLineBonus));
    const float toneScale = 1.0f / (kGateToneFull + kGateToneOffset);
    // Below the full tone the knee is lowered only where the line's energy (at most the
    // largest pooled energy within reach) is above the level that skips a block, so the
    // skipping stays exact and costs no more blocks in dark pictures.
    const float invDarkFloor = 1.0f / std::sqrt(hopeless);
    const float noise2 = kGateNoiseMargin * kGateNoiseMargin;
    // The first tap beside the line, across each direction.
    int besideFrom[8];
    for (int d = 0; d < 8; ++d) {
        const float step =
            std::sqrt(static_cast<float>(kDirs[d][0] * kDirs[d][0] + kDirs[d][1] * kDirs[d][1]));
        besideFrom[d] =
            std::clamp(static_cast<int>(std::ceil(kGateBesideFrom / m_n / step)), 1, lineK[d]);
    }
    // Their count, and the noise margin squared over it (the energy beside is their mean).
    int besideTaps[8];
    float besideNoise[8], besideExcess[8];
    for (int d = 0; d < 8; ++d) {
        besideTaps[d] = 2 * (lineK[d] - besideFrom[d] + 1);
        besideNoise[d] = noise2 / static_cast<float>(besideTaps[d]);
        besideExcess[d] =
            kGateBesideExcess / (1.0f - kGateToneLeast) / static_cast<float>(besideTaps[d]);
    }
    // The ring about a speck: eight points at about kGatePointRadius, within the lines' reach.
    const int pr = std::clamp(static_cast<int>(std::lround(kGatePointRadius / m_n)), 1, reach);
    const int pd = std::max(1, static_cast<int>(std::lround(pr * 0.70710678f)));
    const int ringAt[8][2] = {{pr, 0},  {-pr, 0},  {0, pr},   {0, -pr},
                              {pd, pd}, {-pd, pd}, {pd, -pd}, {-pd, -pd}};
    static constexpr float kOwnTap = 1.0f;
    float restoreMiddle[8];  // each line's middle tap
    const float middleGainScale = 1.0f / (kGateMiddleGainFull - kGateMiddleGainFrom);
    GateRestoreArgs proto{};
    proto.t2 = t2;
    proto.least = kGateNothing;
    proto.width = m_w;
    for (int d = 0; d < 8; ++d) {
        proto.dx[d] = kDirs[d][0];
        proto.dy[d] = kDirs[d][1];
        proto.k[d] = restoreK[d];
        proto.taps[d] = restoreTaps[d] + restoreK[d];
        float rest = 0.0f;  // the weight of the taps beside the middle one (never 0)
        for (int j = 0; j <= 2 * restoreK[d]; ++j)
            rest += j == restoreK[d] ? 0.0f : restoreTaps[d][j];
        proto.apart[d] = 1.0f / rest;
        // The kernel sums a line's neighbours alone; the middle comes with the own pixel's
        // weight (line 8).
        restoreMiddle[d] = restoreTaps[d][restoreK[d]];
        restoreTaps[d][restoreK[d]] = 0.0f;
    }
    proto.own0 = kGateOwnFrom * kGateOwnFrom;
    proto.ownScale = 1.0f / (kGateOwnFull * kGateOwnFull - proto.own0);
    proto.alone0 = kGateAloneFrom * kGateAloneFrom;
    proto.aloneScale = 1.0f / (kGateAloneFull * kGateAloneFull - proto.alone0);
    proto.dx[8] = proto.dy[8] = proto.k[8] = 0;  // a speck: its own pixel
    proto.taps[8] = &kOwnTap;
    // The image is worked in bands of whole row chunks, each by one thread from the top down.
    // The energy of a row is made from the input and the result before the gate restores that
    // row: in a ring of rows per band, and, for the rows within reach of a band's border that
    // its neighbour reads, set aside before any band starts. With the input's rows (converted
    // from the host's where there are no planes) in a ring beside it, no full-size plane of the
    // energy is needed.
    constexpr int kReach = 2 * kMaxGateRestore;
    const int halo = reach + rb;  // energy rows beyond a chunk that its tiles read
    const int ring = kRowsPerChunk + 2 * std::max(halo, kReach) + 1;
    const int bandRows = kGateBandChunks * kRowsPerChunk;
    const int bands = (m_h + bandRows - 1) / bandRows;
    const std::size_t stride = CWorkspace::PlaneStride(m_w);
    const std::size_t asideFloats = 2 * static_cast<std::size_t>(halo) * stride;
    const std::size_t perThread = (in != nullptr ? 1 : 4) * static_cast<std::size_t>(ring) * stride;
    float* const aside = GridBlock(asideFloats * static_cast<std::size_t>(bands - 1) +
                                   perThread * static_cast<std::size_t>(m_team.Threads()));
    float* const work = aside + asideFloats * static_cast<std::size_t>(bands - 1);
    float q[3];
    for (int c = 0; c < 3; ++c)
        q[c] = 1.0f / (std::max(m_s.thresholds[c], 0.004f) * std::sqrt(3.0f));
    for (int c = 0; c < 3; ++c) proto.q[c] = q[c];
    const unsigned char* const tail[2] = {sliceTail, sliceTail + m_w};
    int* const fused = reinterpret_cast<int*>(NewFloats(static_cast<std::size_t>(m_w)));
    float* const dirBlock = NewFloats(9 * static_cast<std::size_t>(kOutputTile) *
                                      static_cast<std::size_t>(m_team.Threads()));
    int fusedCount = 0;
    for (int x = 0; x < m_w; ++x) {
        if ((tail[0][x] | tail[1][x]) != 0)
            fused[fusedCount++] = x;
    }
    // Energy row y from the input's rows and the result's (not yet restored).
    auto energyOf = [&](int y, const float* const own[3], float* e) {
        const float* res[3] = {base.c[0].Row(y), base.c[1].Row(y), base.c[2].Row(y)};
        GateEnergyRow(own, res, q, tail, fused, fusedCount, e, m_w);
    };
    // Rows [border - halo, border + halo) of each inner border, from their first row on.
    auto asideRow = [&](int border, int y) {
        return aside + asideFloats * static_cast<std::size_t>(border - 1) +
               static_cast<std::size_t>(y - (border * bandRows - halo)) * stride;
    };
    // One tile of the gate: rows [y0, y1), columns [x0, x1).
    auto gateTile = [&](int x0, int x1, int y0, int y1, int thread, const auto& energyRow,
                        const auto& inputRow) {
        const int n = x1 - x0, wide = n + 2 * reach;
        GateRestoreArgs ra = proto;
        // Rows [y0 - reach - rb, y1 + reach + rb) blurred across into slots 0.., then down into
        // the slots after them: blurred row y0 - reach + k is slot `pooled + k`, column j is
        // x0 - reach + j.
        const int across = y1 - y0 + 2 * (reach + rb);
        const int pooled = across;
        for (int k = 0; k < across; ++k) {
            const int y = std::clamp(y0 - reach - rb + k, 0, m_h - 1);
            FirSpan(m_k, energyRow(y), m_w, x0 - reach, wide, taps, rb, false,
                    Scratch(thread, kScratchRows - 4), Scratch(thread, k));
        }
        const float* window[2 * kMaxGateReach + 1];
        for (int k = 0; k < y1 - y0 + 2 * reach; ++k) {
            for (int j = 0; j <= 2 * rb; ++j) window[j] = Scratch(thread, k + j);
            m_k.firV(window, taps, 2 * rb + 1, Scratch(thread, pooled + k), wide);
        }
        float* least = Scratch(thread, kScratchRows - 3);
        float* acc = Scratch(thread, kScratchRows - 2);
        float* g = Scratch(thread, kScratchRows - 1);
        float* speck = Scratch(thread, kScratchRows - 6);
        // Each line's energy, then its weight (line 8: a speck's own pixel).
        float* dirW[9];
        for (int d = 0; d < 9; ++d)
            dirW[d] = dirBlock + (static_cast<std::size_t>(thread) * 9 + d) * kOutputTile;
        ra.g = g;
        for (int d = 0; d < 9; ++d) ra.w[d] = dirW[d];
        ra.speck = speck;
        // The knee's tone factor of each pixel of the row (see kGateToneFull).
        float tone[kOutputTile];
        float lineOf[kOutputTile];  // how much the energy is a line's, per pixel of the row
        // The taps beside the line across each direction (see kGateToneFull), for one row.
        const float* side[8][2 * kMaxGateReach];
        // g (the line energy, RMS^4 against knee^4) and the lines' weights for pixels [xs, xe) of
        // the tile's row r.
        auto lineEnergy = [&](int r, int xs, int xe) {
            const int m = xe - xs;
            for (int d = 0; d < 8; ++d) {
                const int dx = kDirs[d][0], dy = kDirs[d][1];
                int i = 0;
                for (int j = besideFrom[d]; j <= lineK[d]; ++j) {
                    side[d][i++] = Scratch(thread, pooled + r + reach + j * dy) + reach + j * dx;
                    side[d][i++] = Scratch(thread, pooled + r + reach - j * dy) + reach - j * dx;
                }
            }
            for (int d = 0; d < 8; ++d) {
                const int k = lineK[d], dx = kDirs[d][0], dy = kDirs[d][1];
                for (int j = -k; j <= k; ++j)
                    window[j + k] = Scratch(thread, pooled + r + reach + j * dy) + reach + xs +
                                    j * dx;
                float* const line = dirW[d];
                m_k.firV(window, lineTaps[d], 2 * k + 1, line + xs, m);
                if (d == 0) {
                    std::copy(line + xs, line + xe, g + xs);
                    std::copy(line + xs, line + xe, least + xs);
                } else {
                    for (int x = xs; x < xe; ++x) g[x] = line[x] > g[x] ? line[x] : g[x];
                    m_k.minRow(least + xs, line + xs, m);
                }
            }
            const float invShare = 1.0f / (1.0f - kGateDirShare);
            // The directions' weights (see kGateDirShare), here times the largest energy, which
            // the sum divides out; the largest always counts. Line by line over the row, so the
            // loops run along the rows (their sums, in speck's row until it is made, in the
            // same order as pixel by pixel).
            float* const wsum = speck;
            std::fill(wsum + xs, wsum + xe, 0.0f);
            for (int d = 0; d < 8; ++d) {
                float* const wd = dirW[d];
                const float lone = d == 0 ? 1.0f : 0.0f;
                for (int x = xs; x < xe; ++x) {
                    const float top = g[x];
                    const float w =
                        top > 0.0f ? std::clamp((wd[x] - kGateDirShare * top) * invShare, 0.0f, top)
                                   : lone;
                    wd[x] = w;
                    wsum[x] += w;
                }
            }
            for (int x = xs; x < xe; ++x) wsum[x] = 1.0f / wsum[x];
            for (int d = 0; d < 8; ++d) {
                float* const wd = dirW[d];
                for (int x = xs; x < xe; ++x) wd[x] *= wsum[x];
            }
            for (int x = xs; x < xe; ++x) {
                // How much the energy is a line's: 0 alike in every direction, 1 along one.
                const float line = (g[x] - least[x]) / (g[x] + 1e-6f);
                lineOf[x] = line;
                const float v = g[x] * (1.0f + kGateLineBonus * line * line);
                float scale = 1.0f;  // (knee / the pixel's knee)^4
                float lineV = v;
                const float f = tone[x];
                // The lowered knee takes over from the floor (none below it, in full from 1.5
                // times it): a block whose energy stays below it is skipped as at the full tone.
                const float dark = std::min(1.0f, 2.0f * (g[x] * invDarkFloor - 1.0f));
                if (f < 1.0f && dark > 0.0f) {
                    // The residual's energy beside the line: across the winning direction, on
                    // both sides, from kGateBesideFrom pixels out.
                    // Weighted as the directions are.
                    float noise = 0.0f, excess = 0.0f;
                    for (int d = 0; d < 8; ++d) {
                        const float w = dirW[d][x];
                        if (!(w > 0.0f))
                            continue;
                        const int p = (d + 4) & 7;
                        float sum = 0.0f;
                        for (int i = 0; i < besideTaps[p]; ++i) sum += side[p][i][x];
                        noise += w * besideNoise[p] * sum;
                        excess += w * besideExcess[p] * sum;
                    }
                    const float kp2 = std::min(k2, std::max(k2 * f * f, noise));
                    const float ratio = k2 / kp2;
                    scale = dark * ratio * ratio;
                    lineV = std::max(0.0f, v - (1.0f - f) * excess);
                }
                // RMS^4 against knee^4; never less than at the full tone.
                g[x] = std::max(v * v, lineV * lineV * scale);
            }
            // A speck against the ring about it (see kGatePointRadius).
            const float* ctr = Scratch(thread, pooled + r + reach) + reach;
            const float* around[8];
            for (int i = 0; i < 8; ++i)
                around[i] =
                    Scratch(thread, pooled + r + reach + ringAt[i][1]) + reach + ringAt[i][0];
            // Whole vectors where they fit (one square root instruction for all lanes), the
            // rest pixel by pixel; the same arithmetic either way.
            auto speckAt = [&](auto z, int x) {
                using V = decltype(z);
                const V zero = Lanes(z, 0.0f), one = Lanes(z, 1.0f);
                V ringSum = zero;
                for (int i = 0; i < 8; ++i) ringSum += Load<V>(around[i] + x);
                const V about = 0.125f * ringSum;
                const V c = Load<V>(ctr + x);
                Store(speck + x,
                      Min(one, Max(zero, (c - kGateSpeckFrom * about) /
                                             ((kGateSpeckFull - kGateSpeckFrom) * about + 1e-6f))));
                const V p = kGatePointGain * Max(zero, c - kGatePointRing * about);
                // The lines' energy (RMS^2) against the speck's, then their weights shared.
                const V gx = Load<V>(g + x);
                const V lines = Sqrt(gx);
                const V part = (p - kGateDirShare * lines) * invShare / lines;
                const V share = part < zero ? zero : (one < part ? one : part);  // as std::clamp
                const V alone = p > zero ? one : zero;
                Store(dirW[8] + x, lines > zero ? share : alone);
                Store(g + x, Max(gx, p * p));
            };
            int xv = xs;
            for (; xv + kLanes <= xe; xv += kLanes) speckAt(FV{}, xv);
            for (; xv < xe; ++xv) speckAt(0.0f, xv);
            // The mixed lines' share of the pixel itself (see kGateMiddleGainFrom): c0, the
            // weighted mean of their middle taps, raised towards the largest middle tap of
            // the lines (each times its weight against the largest weight, so it follows the
            // weights continuously) where the energy is alike in every direction and well
            // above the knee. The lines bring their neighbours as they would (each line's
            // weight times 1 - its middle tap), scaled to the rest.
            float* const mid = least;
            for (int x = xs; x < xe; ++x) {
                acc[x] = 0.0f;
                mid[x] = 0.0f;
            }
            for (int d = 0; d < 8; ++d) {
                const float* const wd = dirW[d];
                for (int x = xs; x < xe; ++x) acc[x] = std::max(acc[x], wd[x]);
            }
            for (int d = 0; d < 8; ++d) {
                const float* const wd = dirW[d];
                const float md = restoreMiddle[d];
                for (int x = xs; x < xe; ++x) mid[x] = std::max(mid[x], md * wd[x] / acc[x]);
            }
            for (int x = xs; x < xe; ++x) acc[x] = 0.0f;  // the lines' neighbours: 1 - c0
            for (int d = 0; d < 8; ++d) {
                const float* const wd = dirW[d];
                const float rest = 1.0f - restoreMiddle[d];
                for (int x = xs; x < xe; ++x) acc[x] += wd[x] * rest;
            }
            float* const ownW = dirW[8];
            for (int x = xs; x < xe; ++x) {
                const float c0 = 1.0f - acc[x];
                const float gain = g[x] / (g[x] + t2);
                const float raise =
                    (1.0f - lineOf[x]) *
                    std::clamp((gain - kGateMiddleGainFrom) * middleGainScale, 0.0f, 1.0f);
                const float c = c0 + raise * std::max(0.0f, mid[x] - c0);
                // The neighbours' weights times (1 - c) / (1 - c0), at most 1; where the lines'
                // middle taps hold nearly all (preview steps) the pixel itself.
                const bool apart = acc[x] > 1e-6f;
                acc[x] = apart ? (1.0f - ownW[x]) * (1.0f - c) / acc[x] : 0.0f;
                mid[x] = apart ? c : 1.0f;
            }
            for (int d = 0; d < 8; ++d) {
                float* const wd = dirW[d];
                for (int x = xs; x < xe; ++x) wd[x] *= acc[x];
            }
            for (int x = xs; x < xe; ++x) ownW[x] += (1.0f - ownW[x]) * mid[x];
        };
        // The largest pooled energy within reach of each block of kGateBlock pixels, per pooled
        // row: a block whose lines reach nothing above `hopeless` restores nothing.
        const int blocks = (n + kGateBlock - 1) / kGateBlock;
        float blockMax[kRowsPerChunk + 2 * kMaxGateReach][kOutputTile / kGateBlock];
        for (int k = 0; k < y1 - y0 + 2 * reach; ++k) {
            const float* row = Scratch(thread, pooled + k);
            for (int b = 0; b < blocks; ++b) {
                const int end = std::min(n, (b + 1) * kGateBlock) + 2 * reach;
                const int j0 = b * kGateBlock;
                blockMax[k][b] = SpanMax(row + j0, end - j0, 0.0f);
            }
        }
        for (int y = y0; y < y1; ++y) {
            // The largest pooled energy within reach of each block, from the rows about y.
            float reachMax[kOutputTile / kGateBlock] = {};
            for (int k = y - y0; k <= y - y0 + 2 * reach; ++k) {
                for (int b = 0; b < blocks; ++b)
                    reachMax[b] = std::max(reachMax[b], blockMax[k][b]);
            }
            {
                const float* rgb[3] = {base.c[0].Row(y) + x0, base.c[1].Row(y) + x0,
                                       base.c[2].Row(y) + x0};
                for (int x = 0; x < n; ++x) {
                    const float v = std::max(rgb[0][x], std::max(rgb[1][x], rgb[2][x]));
                    tone[x] =
                        std::min(1.0f, std::max(kGateToneLeast, (v + kGateToneOffset) * toneScale));
                }
            }
            // Runs [xs, xe) of blocks that may restore something; the rest get g = 0.
            int xs = 0;
            for (int b = 0; b <= blocks; ++b) {
                bool hope = false;
                if (b < blocks) {
                    const float m = reachMax[b];
                    hope = !(m * m < hopeless);
                }
                const int xe = std::min(n, b * kGateBlock);
                if (hope)
                    continue;
                if (xe > xs)
                    lineEnergy(y - y0, xs, xe);
                if (b < blocks) {
                    const int end = std::min(n, (b + 1) * kGateBlock);
                    std::fill(g + xe, g + end, 0.0f);
                    std::fill(speck + xe, speck + end, 0.0f);
                    for (int d = 0; d < 9; ++d)
                        std::fill(dirW[d] + xe, dirW[d] + end, d == 0 ? 1.0f : 0.0f);
                    xs = end;
                }
            }
            for (int c = 0; c < 3; ++c) {
                for (int j = -kReach; j <= kReach; ++j)
                    ra.rows[c][j + kReach] = inputRow(c, std::clamp(y + j, 0, m_h - 1));
                ra.base[c] = base.c[c].Row(y) + x0;
            }
            ra.x0 = x0;
            ra.width = m_w;
            ra.n = n;
            m_k.gateRestore(ra);
        }
    };
    Check(m_team.ParallelFor(bands - 1, [&](int i, int thread) {
        const int border = i + 1, yb = border * bandRows;
        float* conv = work + perThread * static_cast<std::size_t>(thread);
        for (int y = std::max(0, yb - halo); y < std::min(m_h, yb + halo); ++y) {
            const float* own[3];
            if (in != nullptr) {
                for (int c = 0; c < 3; ++c) own[c] = in->c[c].Row(y);
            } else {
                float* const rgb[3] = {conv, conv + stride, conv + 2 * stride};
                InputSpan(y, 0, m_w, rgb);
                for (int c = 0; c < 3; ++c) own[c] = rgb[c];
            }
            energyOf(y, own, asideRow(border, y));
        }
    }));
    Check(m_team.ParallelFor(bands, [&](int band, int thread) {
        const int top = band * bandRows, bottom = std::min(m_h, top + bandRows);
        float* const energyRing = work + perThread * static_cast<std::size_t>(thread);
        float* const inputRing = energyRing + static_cast<std::size_t>(ring) * stride;
        auto ringRow = [&](int c, int y) {
            return inputRing + (static_cast<std::size_t>(c) * ring + y % ring) * stride;
        };
        auto inputRow = [&](int c, int y) -> const float* {
            return in != nullptr ? in->c[c].Row(y) : ringRow(c, y);
        };
        auto energyRow = [&](int y) -> const float* {
            if (y < top)
                return asideRow(band, y);
            if (y >= bottom)
                return asideRow(band + 1, y);
            return energyRing + static_cast<std::size_t>(y % ring) * stride;
        };
        int converted = std::max(0, top - kReach) - 1;  // input rows in the ring up to this one
        int made = top - 1;                             // energy rows in the ring up to this one
        for (int y0 = top; y0 < bottom; y0 += kRowsPerChunk) {
            const int y1 = std::min(bottom, y0 + kRowsPerChunk);
            const int madeTo = std::min(bottom - 1, y1 - 1 + halo);
            if (in == nullptr) {
                const int to = std::min(m_h - 1, std::max(madeTo, y1 - 1 + kReach));
                for (int y = converted + 1; y <= to; ++y) {
                    float* const rgb[3] = {ringRow(0, y), ringRow(1, y), ringRow(2, y)};
                    InputSpan(y, 0, m_w, rgb);
                }
                converted = std::max(converted, to);
            }
            for (int y = made + 1; y <= madeTo; ++y) {
                const float* own[3] = {inputRow(0, y), inputRow(1, y), inputRow(2, y)};
                energyOf(y, own, energyRing + static_cast<std::size_t>(y % ring) * stride);
            }
            made = std::max(made, madeTo);
            for (int x0 = 0; x0 < m_w; x0 += kOutputTile)
                gateTile(x0, std::min(m_w, x0 + kOutputTile), y0, y1, thread, energyRow, inputRow);
        }
    }));
    m_ws.FreeFloats(dirBlock);
    m_ws.FreeFloats(reinterpret_cast<float*>(fused));
}

}  // namespace VG_KERNEL_NS
}  // namespace vg
