// The texture band and the output pass (part of the per-instruction-set pipeline, after
// GlazeRunImpl.h and StageCleanImpl.h).

namespace vg {
namespace VG_KERNEL_NS {
namespace {
constexpr int kRemapEntries = 1024;
// Steps lower than this many clean thresholds are steepened less (half at this height): the
// clean stage removed weaker features, and steepening what is left of them is sharpening grain.
constexpr float kSteepenFloor = 2.0f;
// The narrowest edge the steepening aims at, as a Gaussian edge's sigma in pixels, at clean
// strength 8 and sharpness 1: in proportion to the strength, in inverse proportion to the
// sharpness (so each step of the control still steepens more), no limit at strength 0. The
// strong clean stage leaves steep edges whose position moves by a fraction of a pixel with the
// phase of its reduced grids; the unsharp step multiplies their slope, and with it that
// movement's difference between a picture and a shifted copy (three levels at strength 4-8
// without the limit, two with it).
constexpr float kSteepenMinSigma = 1.25f;
// The part of the amount, per unit of sharpness, that is never held back: edges keep some of
// their steepening at every strength (0.35 of the 0.5 + strength / 8 units).
constexpr float kSteepenFreeAmount = 0.35f;
// How much of the steepening's change is replaced by its mean along the edge at sharpness 3
// (none at 1 and below): at high sharpness the step makes smooth slanted edges a pixel wide,
// and a pixel's share of a slanted edge then jumps from one bound to the other as the edge
// runs along, a one-pixel staircase.
constexpr float kSteepenAlongEdge = 0.6f;
// Above sharpness 1 (fully at 3) a steepened edge is also drawn towards a straight ramp this
// many pixels wide across it, placed at the edge's sub-pixel position: a clamped step snaps
// each pixel to one bound or the other, a ramp of 1.25 px or more keeps the half-way crossing
// where the edge is, at every phase of a slanted edge against the pixel grid.
constexpr float kSteepenRampWidth = 1.4f;
// How far from the ramp, in parts of the bounds' range, a steepened pixel may be and still be
// drawn to it (not at all this far): farther, the pixel is not on one clean edge (a thin line,
// lettering, a corner), and the ramp through the bounds' middle would flatten it.
constexpr float kSteepenRampTolerance = 0.35f;
// Up to this share of the tolerance from the ramp a pixel is drawn wholly onto it, and from
// there less, to nothing at the tolerance: drawn only partly, a steep edge's pixels kept part
// of the clamped step's whole-pixel jumps. (Closer to 1 the weight turns so steeply that the
// baseline and AVX2 kernels' rounding came apart by two levels.)
constexpr float kSteepenRampWhole = 0.6f;
// Where every channel's window range is at most this (4 levels), the ramp would move a pixel by
// at most a third of a level (a quarter of the tolerance times the range), and it is skipped.
constexpr float kSteepenRampFloor = 4.0f / 255.0f;
// The ramp's place is the blurred luminance's distance from the bounds' middle over its
// gradient. Across one clean edge at edge scale re that gradient is about the bounds' luminance
// range over re sqrt(2 pi) at the edge's middle; where it is much less, the window holds several
// small edges (grass, feathers, fur), the place turns a level's change of a bound or of the
// blur into a ramp a pixel away, and a picture shifted by a pixel came out up to 17 levels
// apart. There the pixel is drawn to the ramp less: not at all below kSteepenRampSureLow of a
// clean edge's gradient, fully from kSteepenRampSureHigh (within 0.67 re of a sharp step's
// middle, where the ramp lies at every edge radius).
constexpr float kSteepenRampSureLow = 0.5f;
constexpr float kSteepenRampSureHigh = 0.8f;
// On a sure edge (by the same measure, from low to high) the tolerance widens to this many times
// kSteepenRampTolerance, while the part drawn wholly stays kSteepenRampWhole of the narrow one.
// Between the two the draw falls from whole to nothing, and a pixel d off the ramp moves by
// (2 d - whole) / (tolerance - whole) times its steepened value's change: at a third of the
// range 3.4 with the narrow tolerance, 0.6 with the wide one. A soft edge's shoulder, which
// the clamped step leaves about that far off the ramp, lay in the narrow band: a level's
// difference from the clean stage, three after the unsharp step, came out as ten (24 on a
// suit's rim) between a picture and its copy shifted by a pixel. Thin lines and corners are
// not sure edges and keep the narrow tolerance.
constexpr float kSteepenRampSureTolerance = 3.0f;
// The length of that mean along the edge in treads of the staircase (1 / slope pixels, see
// TangentSmoothArgs).
constexpr float kSteepenAlongSpan = 0.5f;
// The noise floor of 8-bit pictures (quantisation, compression), about two levels: texture this
// faint is not boosted, or a clear sky turns into mottle.
constexpr double kTextureFloor = 2.0 / 255.0;
// The reach in pixels (at sampling step 1) of the box over which the texture's RMS tells
// texture from noise.
constexpr float kTextureNoiseReach = 2.0f;
// The texture base's range at most, in 0..1 units (25 levels, twice the default threshold):
// wider, it smooths across edges, which the band then adds back as halos, luminance only (a
// light band beside a dark cable, a pale rim on a saturated colour).
constexpr float kTextureRangeMax = 0.1f;
// Where a pixel's neighbours on opposite sides differ by more than this many of the base's
// ranges, the pixel lies on the slope of a step between two levels that the base keeps apart,
// and its detail, where it would draw the pixel towards the step's middle, is left out (fully
// from kTextureStepHigh on).
constexpr float kTextureStepLow = 2.0f;
constexpr float kTextureStepHigh = 3.0f;
}  // namespace

// The texture band's base at a pixel c with base b on the slope of a step (see TextureBand):
// (l, r), (u, d), (ul, dr), (ur, dl) its opposite neighbours; the pair that differs most gives
// the step and its middle. Where the detail c - b draws the pixel towards that middle, the
// base follows c by smoothstep((span - stepLow) * stepScale). Without branches, so that the
// row loop runs in vectors.
inline __attribute__((always_inline)) float StepBase(float c, float b, float l, float r, float u,
                                                     float d, float ul, float dr, float ur,
                                                     float dl, float stepLow, float stepScale) {
    float span = std::fabs(r - l), middle = 0.5f * (l + r);
    const float s1 = std::fabs(d - u), s2 = std::fabs(dr - ul), s3 = std::fabs(dl - ur);
    middle = s1 > span ? 0.5f * (u + d) : middle;
    span = s1 > span ? s1 : span;
    middle = s2 > span ? 0.5f * (ul + dr) : middle;
    span = s2 > span ? s2 : span;
    middle = s3 > span ? 0.5f * (ur + dl) : middle;
    span = s3 > span ? s3 : span;
    const float v = (span - stepLow) * stepScale;
    const float w = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    const float off = (c - b) * (middle - c) > 0.0f ? w * w * (3.0f - 2.0f * w) : 0.0f;
    return b + off * (c - b);
}

// The rows for RampSpan: the blurred rows y - 1, y, y + 1 of the luminance and of each
// channel (y itself at the image's first and last rows, gyScale then 1 instead of 0.5), each
// channel's window bounds and steepened row.
struct RampRows {
    const float* lum[3];
    const float* blur[3][3];
    const float* mn[3];
    const float* mx[3];
    float* out[3];
    float* placed;  // how much of each pixel the ramp placed (share times the least near)
    float gyScale, share;
    float tol, tolWide, whole;  // the tolerance, its widening on a sure edge, the whole part
    float sure;                 // re sqrt(2 pi) (see kSteepenRampSureLow)
};

// sqrt(gx^2 + gy^2) within 4 %, without a square root (whose errno check would keep the loops
// below from vectorising): 0.96 times the larger component plus 0.398 times the smaller.
inline float GradientLength(float gx, float gy) {
    const float ax = std::fabs(gx), ay = std::fabs(gy);
    const float big = ax > ay ? ax : ay, small = ax > ay ? ay : ax;
    return 0.96f * big + 0.398f * small;
}

// The place across the ramp kSteepenRampWidth wide (0 .. 1, rising with the luminance) of a
// pixel whose blurred luminance is l, g the length of its gradient, midL the luminance of the
// middle of the channels' window bounds.
inline __attribute__((always_inline)) float RampPlace(float l, float g, float midL) {
    const float f = 0.5f + (l - midL) / (g * kSteepenRampWidth + 1e-12f);
    return f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
}

// A channel's steepened value o drawn towards the ramp at place f between its window's bounds
// lo and hi, rising the way the channel rises along the luminance's gradient ((cx, cy) its
// blurred differences, (lx, ly) the luminance's), by share times how near it is, which goes to
// near: wholly up to whole, nothing from tol on (parts of the bounds' range; see
// kSteepenRampTolerance, kSteepenRampWhole, kSteepenRampSureTolerance).
inline __attribute__((always_inline)) float RampChannel(float o, float cx, float cy, float lx,
                                                        float ly, float f, float lo, float hi,
                                                        float tol, float whole, float share,
                                                        float& near) {
    const float fc = cx * lx + cy * ly >= 0.0f ? f : 1.0f - f;
    const float hgt = hi - lo;
    const float toward = lo + hgt * fc - o;
    const float n = (tol * hgt - std::fabs(toward)) / ((tol - whole) * hgt + 1e-12f);
    near = n < 0.0f ? 0.0f : (n > 1.0f ? 1.0f : n);
    return o + share * near * toward;
}

// share where one of the channels' window ranges (lo, hi) is above kSteepenRampFloor (else 0),
// times how surely the pixel lies on one clean edge (q, 0 .. 1): g the luminance's gradient,
// times sure (re sqrt(2 pi)), against the bounds' luminance range (see kSteepenRampSureLow).
inline __attribute__((always_inline)) float RampShare(float lo0, float hi0, float lo1, float hi1,
                                                      float lo2, float hi2, float share, float g,
                                                      float sure, float& q) {
    const bool steep = (hi0 - lo0 > kSteepenRampFloor) | (hi1 - lo1 > kSteepenRampFloor) |
                       (hi2 - lo2 > kSteepenRampFloor);
    const float range = kLumR * (hi0 - lo0) + kLumG * (hi1 - lo1) + kLumB * (hi2 - lo2);
    const float v = (g * sure - kSteepenRampSureLow * range) /
                    ((kSteepenRampSureHigh - kSteepenRampSureLow) * range + 1e-12f);
    q = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return steep ? share * q : 0.0f;
}

// Pixel x of RampRows drawn towards the ramp, its place from the blurred luminance, the same
// for the three channels, so that a two-colour edge's pixels stay mixes of its two colours
// (xl, xr its neighbours, their differences times xs the gradient across the pixel).
inline void RampPixel(const RampRows& r, int x, int xl, int xr, float xs) {
    const float* l = r.lum[1];
    const float lx = (l[xr] - l[xl]) * xs, ly = (r.lum[2][x] - r.lum[0][x]) * r.gyScale;
    const float midL =
        0.5f * (kLumR * (r.mn[0][x] + r.mx[0][x]) + kLumG * (r.mn[1][x] + r.mx[1][x]) +
                kLumB * (r.mn[2][x] + r.mx[2][x]));
    const float g = GradientLength(lx, ly);
    const float f = RampPlace(l[x], g, midL);
    float q;
    const float share = RampShare(r.mn[0][x], r.mx[0][x], r.mn[1][x], r.mx[1][x], r.mn[2][x],
                                  r.mx[2][x], r.share, g, r.sure, q);
    const float tol = r.tol + r.tolWide * q;
    float least = 1.0f;
    for (int c = 0; c < 3; ++c) {
        const float* b = r.blur[c][1];
        float near;
        r.out[c][x] = RampChannel(r.out[c][x], (b[xr] - b[xl]) * xs,
                                  (r.blur[c][2][x] - r.blur[c][0][x]) * r.gyScale, lx, ly, f,
                                  r.mn[c][x], r.mx[c][x], tol, r.whole, share, near);
        least = std::min(least, near);
    }
    r.placed[x] = share * least;
}

// Columns [ja, jb) of RampPixel, each with its neighbours on both sides; runs of 16 columns
// whose pixels all lie in flat windows are passed over (no change there).
inline void RampSpan(const RampRows& r, int ja, int jb) {
    const float* __restrict l0 = r.lum[0];
    const float* __restrict l1 = r.lum[1];
    const float* __restrict l2 = r.lum[2];
    const float* __restrict u0 = r.blur[0][0];
    const float* __restrict m0 = r.blur[0][1];
    const float* __restrict d0 = r.blur[0][2];
    const float* __restrict u1 = r.blur[1][0];
    const float* __restrict m1 = r.blur[1][1];
    const float* __restrict d1 = r.blur[1][2];
    const float* __restrict u2 = r.blur[2][0];
    const float* __restrict m2 = r.blur[2][1];
    const float* __restrict d2 = r.blur[2][2];
    const float* __restrict lo0 = r.mn[0];
    const float* __restrict lo1 = r.mn[1];
    const float* __restrict lo2 = r.mn[2];
    const float* __restrict hi0 = r.mx[0];
    const float* __restrict hi1 = r.mx[1];
    const float* __restrict hi2 = r.mx[2];
    float* __restrict o0 = r.out[0];
    float* __restrict o1 = r.out[1];
    float* __restrict o2 = r.out[2];
    float* __restrict placed = r.placed;
    const float gyScale = r.gyScale, tol = r.tol, tolWide = r.tolWide, whole = r.whole,
                share = r.share, sure = r.sure;
    constexpr int kRun = 16;
    for (int xa = ja; xa < jb; xa += kRun) {
        const int xb = xa + kRun < jb ? xa + kRun : jb;
        int steep = 0;
        for (int x = xa; x < xb; ++x)
            steep |= (hi0[x] - lo0[x] > kSteepenRampFloor) | (hi1[x] - lo1[x] > kSteepenRampFloor) |
                     (hi2[x] - lo2[x] > kSteepenRampFloor);
        if (steep == 0) {
            for (int x = xa; x < xb; ++x) placed[x] = 0.0f;
            continue;
        }
            // No output row is an input row (too many pairs for the compiler to check at run time).
#pragma GCC ivdep
        for (int x = xa; x < xb; ++x) {
            const float lx = 0.5f * (l1[x + 1] - l1[x - 1]), ly = (l2[x] - l0[x]) * gyScale;
            const float midL = 0.5f * (kLumR * (lo0[x] + hi0[x]) + kLumG * (lo1[x] + hi1[x]) +
                                       kLumB * (lo2[x] + hi2[x]));
            const float g = GradientLength(lx, ly);
            const float f = RampPlace(l1[x], g, midL);
            float q;
            const float s =
                RampShare(lo0[x], hi0[x], lo1[x], hi1[x], lo2[x], hi2[x], share, g, sure, q);
            const float t = tol + tolWide * q;
            float n0, n1, n2;
            o0[x] = RampChannel(o0[x], 0.5f * (m0[x + 1] - m0[x - 1]), (d0[x] - u0[x]) * gyScale,
                                lx, ly, f, lo0[x], hi0[x], t, whole, s, n0);
            o1[x] = RampChannel(o1[x], 0.5f * (m1[x + 1] - m1[x - 1]), (d1[x] - u1[x]) * gyScale,
                                lx, ly, f, lo1[x], hi1[x], t, whole, s, n1);
            o2[x] = RampChannel(o2[x], 0.5f * (m2[x + 1] - m2[x - 1]), (d2[x] - u2[x]) * gyScale,
                                lx, ly, f, lo2[x], hi2[x], t, whole, s, n2);
            const float n01 = n0 < n1 ? n0 : n1;
            placed[x] = s * (n01 < n2 ? n01 : n2);
        }
    }
}

// The smooth part of the luminance at the texture size, edge-aware (range twice the
// threshold, at most kTextureRangeMax), so that strong edges stay out of the texture band and
// adding it back cannot make halos.
float CGlazeRun::TextureRange() const {
    return std::clamp(
        2.0f * std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2]}), 0.02f,
        kTextureRangeMax);
}

void CGlazeRun::TextureBase(const Plane& lum, Plane& base) {
    const float t = TextureRange();
    GridJob job;
    job.nv = 1;
    job.values[0] = &lum;
    job.own[0] = &lum;
    job.zSplat = &lum;
    job.zScale = 1.0f / t;
    job.sigmaS = std::max(0.5f, m_s.textureSize / m_n);
    job.out[0] = &base;
    GridFilter(job);
}

// The texture band, gain included, in place of its smooth part: the luminance's detail above
// base, small detail remapped by a power (|d| < tau becomes tau * (|d| / tau)^gamma), so that
// the output reads one plane and the luminance plane is free before the accent.
void CGlazeRun::TextureBand(Plane& lum, Plane& base, float gain) {
    // A pixel on the slope of a step of several ranges (an edge's few middle pixels) has few
    // neighbours of its own level, and the base there is the level of the step's nearer side:
    // its detail is the edge itself, which added back drew each slanted edge's middle pixels
    // towards the step's middle by whole levels, so the edge followed the pixel grid (a
    // staircase). Such a pixel's neighbours on opposite sides differ by the step; where its
    // detail draws it towards their middle, the base follows the luminance and the detail fades
    // out. The crest of a thin line, whose neighbours on both sides lie on the ground, keeps its
    // detail, and so does a small bright (dark) feature whose detail lifts (lowers) it further
    // from the step's middle (the white of an eye beside the iris).
    //
    // With a boost, whether a pixel lies in texture is judged from the detail about it as it
    // was before (kept in `before`): a small feature's rim, left out here, would otherwise lower
    // the boost of its own detail inside it (a small dark patch came out lighter).
    const bool boost = m_s.textureGamma < 1.0f;
    Plane before = boost ? NewPlane(m_w, m_h) : Plane{};
    const float t = TextureRange();
    const float stepLow = kTextureStepLow * t,
                stepScale = 1.0f / ((kTextureStepHigh - kTextureStepLow) * t);
    ForRows(m_h, [&](int y, int) {
        const float* __restrict up = lum.Row(std::max(0, y - 1));
        const float* __restrict mid = lum.Row(y);
        const float* __restrict down = lum.Row(std::min(m_h - 1, y + 1));
        float* __restrict b = base.Row(y);
        if (boost) {
            float* __restrict p = before.Row(y);
            for (int x = 0; x < m_w; ++x) p[x] = mid[x] - b[x];
        }
        auto across = [&](int x, int xl, int xr) {
            b[x] = StepBase(mid[x], b[x], mid[xl], mid[xr], up[x], down[x], up[xl], down[xr],
                            up[xr], down[xl], stepLow, stepScale);
        };
        across(0, 0, std::min(1, m_w - 1));
#pragma GCC ivdep
        for (int x = 1; x < m_w - 1; ++x) across(x, x - 1, x + 1);
        if (m_w > 1)
            across(m_w - 1, m_w - 2, m_w - 1);
    });
    float remap[kRemapEntries + 2];
    const float tau = m_s.knee;
    for (int i = 0; i <= kRemapEntries + 1; ++i) {
        const double u = std::min(1.0, static_cast<double>(i) / kRemapEntries);
        double v = tau * std::pow(u, static_cast<double>(m_s.textureGamma));
        if (m_s.textureGamma < 1.0f) {
            // Below the noise floor the boost eases into the identity (see kTextureFloor).
            const double q = u * tau / kTextureFloor, w = q * q / (1.0 + q * q);
            v = w * v + (1.0 - w) * tau * u;
        }
        remap[i] = static_cast<float>(v);
    }
    if (m_s.textureGamma >= 1.0f) {
        ForRows(m_h, [&](int y, int) {
            m_k.textureRow(lum.Row(y), base.Row(y), remap, kRemapEntries, tau, gain, base.Row(y),
                           m_w);
        });
        return;
    }
    // The boost lifts faint texture, but a pixel's own detail cannot tell texture from noise:
    // both pass through small values. Their surroundings can: the detail's RMS over a few
    // pixels is about a level in a clear sky and many levels in grass, fur or skin. The boost
    // acts by the weight q^4 / (1 + q^4), q = that RMS over the noise floor, and below it the
    // band is the detail as it is. The detail goes in place of lum, and the band, made tile by
    // tile with its weights, in place of base, which nothing reads any more.
    ForRows(m_h, [&](int y, int) {
        float* d = lum.Row(y);
        const float* b = base.Row(y);
        for (int x = 0; x < m_w; ++x) d[x] -= b[x];
    });
    const int k = std::max(1, static_cast<int>(std::lround(kTextureNoiseReach / m_n)));
    const float scale = 1.0f / (static_cast<float>((2 * k + 1) * (2 * k + 1)) *
                                static_cast<float>(kTextureFloor * kTextureFloor));
    ForRows(m_h, [&](int y, int thread) {
        float* sum = Scratch(thread, 0);
        float* weight = Scratch(thread, 1);
        float* boosted = Scratch(thread, 2);
        float* zero = Scratch(thread, 3);
        const float* d = lum.Row(y);
        float* band = base.Row(y);
        for (int x0 = 0; x0 < m_w; x0 += kOutputTile) {
            const int n = std::min(kOutputTile, m_w - x0);
            // sum[i] holds column x0 - k + i; columns outside the image repeat the border's.
            const int xa = std::max(0, x0 - k), xb = std::min(m_w, x0 + n + k);
            float* s = sum + (xa - (x0 - k));
            for (int x = xa; x < xb; ++x) s[x - xa] = 0.0f;
            for (int dy = -k; dy <= k; ++dy) {
                const float* r = before.Row(std::clamp(y + dy, 0, m_h - 1));
                for (int x = xa; x < xb; ++x) s[x - xa] += r[x] * r[x];
            }
            std::fill(sum, s, s[0]);
            std::fill(s + (xb - xa), sum + n + 2 * k, s[xb - xa - 1]);
            m_k.boostWeightRow(sum, 2 * k + 1, scale, weight, n);
            std::fill(zero, zero + n, 0.0f);
            m_k.textureRow(d + x0, zero, remap, kRemapEntries, tau, gain, boosted, n);
            for (int i = 0; i < n; ++i) {
                const float plain = gain * d[x0 + i];
                band[x0 + i] = plain + weight[i] * (boosted[i] - plain);
            }
        }
    });
    m_ws.FreePlane(before);
}

// The last pass, in tiles small enough for the cache: clamped steepening (an unsharp step
// limited to each pixel's local minimum and maximum, so edges get steeper but never overshoot;
// weak edges get more of it than strong ones, down to steps of a few clean thresholds), the
// remapped texture band, and the conversion to the host's format, dithered by position for 8
// bits. A tile reads only s and the texture band, so
// the destination may be the source. Each tile works on its columns plus an apron wide enough
// that every value it writes is the one a whole-row computation would give. The blur of the
// steepening continues the image by odd reflection, so a ramp is not bent at the border.
void CGlazeRun::Output(const Planes3& s, const Plane* tex) {
    const bool steepen = m_s.edgeSharpness > 0.0f && m_s.edgeGain > 0.0f;
    const float re = std::max(0.5f, m_s.edgeRadius / m_n);
    constexpr int kMaxWindowRadius = 8;  // the edge radius is at most 8 pixels
    const int r = std::clamp(static_cast<int>(std::lround(re)), 1, kMaxWindowRadius);
    const float strength = m_s.edgeSharpness * m_s.edgeGain;
    const float minSigma = steepen ? kSteepenMinSigma * static_cast<float>(m_s.cleanStrength) /
                                         (8.0f * m_s.edgeSharpness)
                                   : 0.0f;
    const float knee = m_s.knee;
    // Above sharpness 1 the steepening's change is evened out along edges, fully at 3.
    const float smoothShare =
        steepen ? kSteepenAlongEdge * std::clamp(0.5f * (m_s.edgeSharpness - 1.0f), 0.0f, 1.0f)
                : 0.0f;
    const bool smooth = smoothShare > 0.0f;
    const float rampShare =
        steepen ? std::clamp(0.5f * (m_s.edgeSharpness - 1.0f), 0.0f, 1.0f) : 0.0f;
    const float rampTol = kSteepenRampTolerance;
    const float lowStep =
        kSteepenFloor * std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2]});
    const float low2 = lowStep * lowStep;  // 0 without the clean stage
    float taps[2 * kMaxFirRadius + 1];
    const int fr = GaussTaps(re, taps);
    // The blur is exact fr columns inside the span; the amount reads one column beyond the
    // pixel, and with the change evened out along edges it is needed kTangentReach columns
    // beyond the tile too (> r as well).
    const int apron = fr + 1 + kTangentReach;
    const bool wide = m_image.pixelFormat == VWGLAZE_FORMAT_RGB16;
    const float* mask = wide ? nullptr : BlueNoiseMask();
    auto* dst = static_cast<unsigned char*>(m_image.dstData);
    const std::ptrdiff_t stride = m_image.dstRowBytes;
    const int w = m_w, h = m_h;
    ForTiles(w, h, [&](int tx0, int tx1, int y0, int y1, int thread) {
        // The span [sx0, sx1) of columns worked on; arrays below are indexed from sx0.
        const int sx0 = std::max(0, tx0 - apron), sx1 = std::min(w, tx1 + apron);
        const int sw = sx1 - sx0;
        const int o0 = tx0 - sx0, tw = tx1 - tx0;  // the tile within the span
        // Slots: rings of kRing rows (y-1 .. y+reach+1 when the change is evened out along
        // edges, y-1 .. y+1 otherwise) of the blurred rows of each channel, their luminance and
        // the luminance of the unsharp rows; then the steepened rows, dither, FIR padding,
        // column sums, amount, min/max, column min/max, each channel's chroma bounds, flags, and
        // the steepening's change of rows y-reach .. y+reach of each channel (a ring) when it
        // is evened out along edges.
        constexpr int kRing = kTangentReach + 3;
        constexpr int kOut = 5 * kRing, kChange = kOut + 18, kPlaced = kChange + 3 * kTangentRows;
        static_assert(kPlaced + kTangentReach + 1 <= kScratchRows,
                      "the output pass's rows fit the scratch rows");
        auto ring = [](int yy) { return (yy % kRing + kRing) % kRing; };
        auto blurSlot = [&](int yy, int c) { return Scratch(thread, ring(yy) * 3 + c); };
        auto lumSlot = [&](int yy) { return Scratch(thread, 3 * kRing + ring(yy)); };
        auto sharpLumSlot = [&](int yy) { return Scratch(thread, 4 * kRing + ring(yy)); };
        // What the ramp placed of rows y .. y + reach (only row y is read).
        auto placedSlot = [&](int yy) {
            return Scratch(thread, kPlaced + std::clamp(yy, 0, h - 1) % (kTangentReach + 1));
        };
        auto changeSlot = [&](int yy, int c) {
            return Scratch(thread,
                           kChange + (std::clamp(yy, 0, h - 1) % kTangentRows) * 3 + c);
        };
        float* dither = Scratch(thread, kOut + 3);
        float* pad = Scratch(thread, kOut + 4);
        float* col = Scratch(thread, kOut + 5);
        float* amount = Scratch(thread, kOut + 6);
        float* mn = Scratch(thread, kOut + 7);
        float* mx = Scratch(thread, kOut + 8);
        float* cmn = Scratch(thread, kOut + 9);
        float* cmx = Scratch(thread, kOut + 10);
        // Blur of row yy (clamped into the image) into its ring slots, and its luminance. Rows
        // beyond the border enter as 2 * edge - mirror, folded into the tap list.
        auto blurRow = [&](int yy) {
            const int yc = std::clamp(yy, 0, h - 1);
            // A tile's rows are far apart in memory: the misses of the rows ahead overlap this
            // row's work.
            for (int c = 0; c < 3; ++c)
                PrefetchSpan(s.c[c].Row(std::min(h - 1, yc + fr + kPrefetchRows)) + sx0,
                             sizeof(float) * static_cast<std::size_t>(sw), false);
            const float* rows[4 * kMaxFirRadius + 2];
            float wts[4 * kMaxFirRadius + 2];
            for (int c = 0; c < 3; ++c) {
                int m = 0;
                for (int j = 0; j <= 2 * fr; ++j) {
                    const int y = yc + j - fr;
                    if (y >= 0 && y < h) {
                        rows[m] = s.c[c].Row(y) + sx0;
                        wts[m++] = taps[j];
                    } else {
                        rows[m] = s.c[c].Row(y < 0 ? 0 : h - 1) + sx0;
                        wts[m++] = 2.0f * taps[j];
                        rows[m] = s.c[c].Row(Mirror(y, h)) + sx0;
                        wts[m++] = -taps[j];
                    }
                }
                m_k.firV(rows, wts, m, col, sw);
                FirSpan(m_k, col, sw, 0, sw, taps, fr, true, pad, blurSlot(yy, c));
            }
            const float* br = blurSlot(yy, 0);
            const float* bg = blurSlot(yy, 1);
            const float* bb = blurSlot(yy, 2);
            float* l = lumSlot(yy);
            for (int x = 0; x < sw; ++x) {
                l[x] = kLumR * br[x] + kLumG * bg[x] + kLumB * bb[x];
            }
            if (minSigma > 0.0f) {
                const float* sr = s.c[0].Row(yc) + sx0;
                const float* sg = s.c[1].Row(yc) + sx0;
                const float* sb = s.c[2].Row(yc) + sx0;
                float* sl = sharpLumSlot(yy);
                for (int x = 0; x < sw; ++x) {
                    sl[x] = kLumR * sr[x] + kLumG * sg[x] + kLumB * sb[x];
                }
            }
        };
        // Each channel's window bounds, least and greatest, when the ramp follows: the chroma
        // hold's rows, free until the hold of the row is made, after the steepening.
        float* bounds[6];
        for (int k = 0; k < 6; ++k) bounds[k] = Scratch(thread, kOut + 11 + k);
        // Row y over span columns [a, b) (out[c][0 ..]: channel c's steepened values, bounds
        // its window's bounds) drawn towards the ramp kSteepenRampWidth wide across the edge,
        // its middle where the blurred luminance crosses the luminance of the bounds' middle:
        // the pixel's distance from there is that difference over the luminance's gradient
        // (image borders: one-sided differences).
        auto rampAt = [&](int y, int a, int b, float* const* out) {
            RampRows rr;
            const int yu = y == 0 ? y : y - 1, yd = y == h - 1 ? y : y + 1;
            rr.lum[0] = lumSlot(yu);
            rr.lum[1] = lumSlot(y);
            rr.lum[2] = lumSlot(yd);
            for (int c = 0; c < 3; ++c) {
                rr.blur[c][0] = blurSlot(yu, c);
                rr.blur[c][1] = blurSlot(y, c);
                rr.blur[c][2] = blurSlot(yd, c);
                rr.mn[c] = bounds[2 * c];
                rr.mx[c] = bounds[2 * c + 1];
                rr.out[c] = out[c] - a;
            }
            rr.placed = placedSlot(y);
            rr.gyScale = y == 0 || y == h - 1 ? 1.0f : 0.5f;
            rr.tol = rampTol;
            rr.tolWide = rampTol * (kSteepenRampSureTolerance - 1.0f);
            rr.whole = rampTol * kSteepenRampWhole;
            rr.share = rampShare;
            rr.sure = re * 2.5066283f;
            const int ia = std::max(a, 1), ib = std::max(ia, std::min(b, sw - 1));
            if (a < ia)
                RampPixel(rr, a, a, std::min(a + 1, sw - 1), 1.0f);
            RampSpan(rr, ia, ib);
            if (ib < b)
                RampPixel(rr, ib, ib - 1, ib, 1.0f);
        };
        // The clamped steepening of row y (inside the image; its blurred rows y-1 .. y+1 made)
        // over span columns [a, b) into dst[c] + a - from.
        auto steepenAt = [&](int y, int a, int b, float* const* dstRows, int from) {
            SteepenAmountArgs sa;
            sa.up = lumSlot(y - 1);
            sa.mid = lumSlot(y);
            sa.down = lumSlot(y + 1);
            sa.sUp = sharpLumSlot(y - 1);
            sa.sMid = sharpLumSlot(y);
            sa.sDown = sharpLumSlot(y + 1);
            if (y == 0) {
                sa.up = sa.mid;
                sa.sUp = sa.sMid;
            }
            if (y == h - 1) {
                sa.down = sa.mid;
                sa.sDown = sa.sMid;
            }
            sa.re = re;
            sa.low2 = low2;
            sa.strength = strength;
            sa.knee = knee;
            sa.minSigma = minSigma;
            sa.freeShare = std::min(1.0f, kSteepenFreeAmount / m_s.edgeGain);
            // Image borders use the one-sided neighbour; the span's inside needs no test.
            auto amountAt = [&](int x, int xl, int xr) {
                const float gx =
                    (sa.mid[xr] - sa.mid[xl]) / static_cast<float>(std::max(1, xr - xl));
                const float* sm = sa.sMid;
                float dx = 0.0f, dy = 0.0f;
                if (minSigma > 0.0f) {
                    dx = std::max(std::fabs(sm[x] - sm[xl]), std::fabs(sm[xr] - sm[x]));
                    dy = std::max(std::fabs(sm[x] - sa.sUp[x]), std::fabs(sa.sDown[x] - sm[x]));
                }
                amount[x] = SteepenAmount(gx, 0.5f * (sa.down[x] - sa.up[x]), re, low2,
                                          strength, knee, dx, dy, sa.minSigma, sa.freeShare);
            };
            const int xa = a + (sx0 + a == 0 ? 1 : 0);
            const int xb = b - (sx0 + b == w ? 1 : 0);
            if (xa > a)
                amountAt(a, a, std::min(a + 1, sw - 1));
            if (xb > xa) {
                SteepenAmountArgs span = sa;
                span.up += xa;
                span.mid += xa;
                span.down += xa;
                span.sUp += xa;
                span.sMid += xa;
                span.sDown += xa;
                span.amount = amount + xa;
                span.n = xb - xa;
                m_k.steepenAmount(span);
            }
            if (xb < b)
                amountAt(xb, std::max(xb - 1, 0), xb);
            for (int c = 0; c < 3; ++c) {
                // Local minimum and maximum over the (2r + 1)^2 window: columns, then rows.
                const float* row = s.c[c].Row(y) + sx0;
                const float* rows[2 * kMaxWindowRadius + 1];
                int m = 0;
                for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r); ++yy) {
                    rows[m++] = s.c[c].Row(yy) + sx0;
                }
                float* lo = rampShare > 0.0f ? bounds[2 * c] : mn;
                float* hi = rampShare > 0.0f ? bounds[2 * c + 1] : mx;
                m_k.minMaxRows(rows, m, cmn, cmx, sw);
                m_k.minMaxWindow(cmn, cmx, r, lo, hi, sw);
                m_k.steepenRow(row + a, blurSlot(y, c) + a, amount + a, lo + a, hi + a,
                               dstRows[c] + (a - from), b - a);
            }
            if (rampShare > 0.0f) {
                float* out[3] = {dstRows[0] + (a - from), dstRows[1] + (a - from),
                                 dstRows[2] + (a - from)};
                rampAt(y, a, b, out);
            }
        };
        // With the steepening evened out along edges, row y + reach is steepened before row y
        // is written (the change kept in a ring of 2 reach + 1 rows), over reach columns more
        // on each side inside the image.
        const int ca = o0 - std::min(kTangentReach, tx0);
        const int cb = o0 + tw + std::min(kTangentReach, w - tx1);
        auto steepenAhead = [&](int yy) {
            float* ch[3] = {changeSlot(yy, 0), changeSlot(yy, 1), changeSlot(yy, 2)};
            steepenAt(yy, ca, cb, ch, 0);
            for (int c = 0; c < 3; ++c) {
                const float* row = s.c[c].Row(yy) + sx0;
                for (int x = ca; x < cb; ++x) ch[c][x] -= row[x];
            }
        };
        if (steepen) {
            if (smooth) {
                blurRow(y0 - kTangentReach - 1);
                blurRow(y0 - kTangentReach);
                for (int yy = y0 - kTangentReach; yy < y0 + kTangentReach; ++yy) {
                    blurRow(yy + 1);
                    if (yy >= 0 && yy < h)
                        steepenAhead(yy);
                }
            } else {
                blurRow(y0 - 1);
                blurRow(y0);
            }
        }
        for (int y = y0; y < y1; ++y) {
            const float* texRow = tex != nullptr ? tex->Row(y) + tx0 : nullptr;
            const float* out[3];
            if (steepen) {
                float* o[3] = {Scratch(thread, kOut), Scratch(thread, kOut + 1),
                               Scratch(thread, kOut + 2)};
                if (smooth) {
                    blurRow(y + kTangentReach + 1);
                    if (y + kTangentReach < h)
                        steepenAhead(y + kTangentReach);
                    for (int c = 0; c < 3; ++c) {
                        TangentSmoothArgs ts;
                        ts.lum[0] = lumSlot(y == 0 ? y : y - 1) + o0;
                        ts.lum[1] = lumSlot(y) + o0;
                        ts.lum[2] = lumSlot(y == h - 1 ? y : y + 1) + o0;
                        for (int k = 0; k < kTangentRows; ++k)
                            ts.d[k] = changeSlot(y - kTangentReach + k, c) + o0;
                        ts.s = s.c[c].Row(y) + tx0;
                        ts.placed = placedSlot(y) + o0;
                        ts.out = o[c];
                        ts.lambda = smoothShare;
                        ts.knee = knee;
                        ts.re = re;
                        ts.span = kSteepenAlongSpan;
                        ts.n = tw;
                        ts.left = o0 - ca;
                        ts.right = cb - o0 - tw;
                        m_k.tangentSmooth(ts);
                    }
                } else {
                    blurRow(y + 1);
                    steepenAt(y, o0, o0 + tw, o, o0);
                }
                for (int c = 0; c < 3; ++c) out[c] = o[c];
                // Each channel clamped alone meets its bounds at its own pixels, and the hue
                // turns (an orange line where brown hair meets a grey wall): the chroma is held
                // within that of the 3 x 3 pixels about it.
                HoldChromaArgs hc;
                for (int c = 0; c < 3; ++c) {
                    for (int k = 0; k < 3; ++k) {
                        hc.rows[c][k] = s.c[c].Row(std::clamp(y - 1 + k, 0, h - 1)) + tx0;
                    }
                    hc.out[c] = Scratch(thread, kOut + c);
                    hc.lo[c] = Scratch(thread, kOut + 11 + 2 * c);
                    hc.hi[c] = Scratch(thread, kOut + 12 + 2 * c);
                }
                hc.flags = reinterpret_cast<uint8_t*>(Scratch(thread, kOut + 17));
                hc.n = tw;
                hc.first = tx0 == 0;
                hc.last = tx1 == w;
                m_k.holdChroma(hc);
            } else {
                for (int c = 0; c < 3; ++c) out[c] = s.c[c].Row(y) + tx0;
            }
            unsigned char* drow = dst + static_cast<std::ptrdiff_t>(y) * stride +
                                  static_cast<std::ptrdiff_t>(tx0) * (wide ? 6 : 3);
            if (y + kPrefetchRows < y1)
                PrefetchSpan(drow + kPrefetchRows * stride,
                             static_cast<std::size_t>(tw) * (wide ? 6 : 3), true);
            if (wide) {
                m_k.store16(out, texRow, drow, tw);
            } else {
                const float* maskRow = mask + (y % kBlueNoiseSize) * kBlueNoiseSize;
                // The mask's row repeated from column tx0 on, a run of columns at a time.
                for (int x = 0; x < tw;) {
                    const int at = (tx0 + x) % kBlueNoiseSize;
                    const int run = std::min(kBlueNoiseSize - at, tw - x);
                    std::memcpy(dither + x, maskRow + at,
                                sizeof(float) * static_cast<std::size_t>(run));
                    x += run;
                }
                m_k.store8(out, texRow, dither, drow, tw);
            }
        }
    });
}

}  // namespace VG_KERNEL_NS
}  // namespace vg
