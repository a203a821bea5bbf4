// Row kernels of the engine. Each exists in a baseline x86-64 build and an AVX2+FMA build;
// GetKernels picks one at run time. The pipeline calls them through this table only.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace vg {

constexpr float kLumR = 0.299f, kLumG = 0.587f, kLumB = 0.114f;  // luminance weights

// One row of the accent's flow smoothing: each pixel of the three planes averaged along the
// local edge tangent, as far as the structure there is coherent.
struct FlowRowArgs {
    const float* planes[3];  // the image, all planes with the same stride
    std::ptrdiff_t stride;
    int width, height, y;
    // Row y of the flow field (see FlowField): the step between taps along the tangent, and
    // how far each pixel is drawn to the average (0 where there is no contour to follow).
    const float* tx;
    const float* ty;
    const float* blend;
    const float* taps;  // kFlowTaps weights, centred
    float* out[3];      // row y of the result
    int x0, x1;         // the columns to smooth, x0 to x1 - 1 (out, tx, ty, blend by column)
    // Optional: the same image interleaved as r, g, b, 0 per pixel, for rows bandFirst to
    // bandLast and columns bandLeft to bandRight, pixel (x, r) at band + (r & bandMask) *
    // bandStride + 4 (x - bandLeft) (a ring of rows). The AVX2 kernel samples it where every
    // tap's pixels lie in it (one load per pixel and row instead of one per plane); the result
    // is the same to the bit.
    const float* band;
    std::ptrdiff_t bandStride;
    int bandMask, bandFirst, bandLast, bandLeft, bandRight;
};
constexpr int kFlowTaps = 7;
// The finer curvature against the edge from which the shock step keeps a pixel wholly, in
// knees at the edge scale (curvature x re^2); below it the pixel takes part of its step.
constexpr float kShockFineDisagree = 4.0f;
// That span widens by this share of the step's own change of the pixel's luminance: over a span
// of fixed width, a level's difference of the finer curvature (which a level's difference of the
// picture can make) moved a step of tens of levels by several.
constexpr float kShockFineOfStep = 1.0f;
// The side of the edge the finer curvature is judged against: the edge scale's curvature in
// the shock sign's units (u below), times this, clamped to -1..1. Near the edge's middle that
// curvature is as small as a level's difference, and its plain sign made a pixel kept in one
// crop of a picture and moved in a shifted one.
constexpr float kShockFineSide = 2.0f;
// AcrossAgreement's ramp (in squared half-differences of the shock step's two samples) and the
// share of the knee added to that half-difference.
constexpr float kShockAcrossFrom = 0.25f, kShockAcrossTo = 0.6f, kShockAcrossKnee = 0.1f;
// The shock step's sign is also smooth in the distance to the edge's middle (the zero of the
// second derivative across it), over this many pixels: a sign that follows the contrast alone
// flips within a tenth of a pixel on a strong edge, so every pixel went wholly to one side and
// contours became staircases of whole pixels (curves at every edge scale, straight slanted
// edges at the wide ones).
constexpr float kShockRampWidth = 0.7f;
// At wide edge scales the finer curvature's disagreement near the edge's middle does not count
// by as much as the contour's curvature explains: a contour curving by k (its curvature along the
// edge over the slope) has its middle at the edge scale k re^2 pixels from the finer scale's, and
// the pixels between the two, kept or moved by their phase against the grid, made small circles
// wobble. Only for offsets up to kShockNearInner edge scales (none from kShockNearOuter): a
// feature smaller than the edge scale (a speck, an eye, a dark patch) curves more and stays
// kept; so does a straight bar narrower than the edge scale, whose contours do not curve. From
// edge radius kShockNearFrom (as set, like the preview's) to kShockNearTo this comes in: at
// narrow edge scales the pixels beside a catchlight lie that close. kShockNearSlack (pixels)
// keeps the ramp finite on straight contours.
constexpr float kShockNearInner = 0.5f, kShockNearOuter = 0.75f, kShockNearSlack = 0.1f;
constexpr float kShockNearFrom = 2.0f, kShockNearTo = 3.0f;
// A pixel beyond both of the shock step's samples (darker than the darker, or brighter than
// the brighter: a feature's core against the ground beside it) takes its step by k^2 / (k^2 +
// e^2), e how far beyond, k this many knees: with a share of the step it was drawn to the
// sample, and a small dark patch's rim washed into the skin about it once the flow had lifted
// it within reach.
constexpr float kShockBeyondKnee = 0.5f;

// The flow field of one pixel from its smoothed structure tensor (a, b, c): the tangent step
// (tx, ty) of tapStep pixels and the blend. A tensor trace below flatEnergy / stepScale^2, or
// an incoherent one, is flat: blend 0 and no step. The baseline's formula for flowField.
inline void FlowField(float a, float b, float c, float tapStep, float stepScale, float flatEnergy,
                      float& tx, float& ty, float& blend) {
    const float d = a - c;
    const float root = std::sqrt(d * d + 4.0f * b * b);
    // Eigenvector of the larger eigenvalue: the gradient direction.
    const float vx = d < 0.0f ? 2.0f * b : d + root;
    const float vy = d < 0.0f ? root - d : 2.0f * b;
    const float len = std::sqrt(vx * vx + vy * vy);
    const float coherence = root / (a + c + 1e-12f);
    const float energy = (a + c) * stepScale * stepScale;
    if (!(len >= 1e-12f && coherence >= 0.05f && energy >= flatEnergy)) {
        tx = ty = blend = 0.0f;
        return;
    }
    const float step = tapStep / len;
    tx = -vy * step;
    ty = vx * step;
    // Only coherent structures are drawn along; isotropic areas stay as they are.
    blend = std::fmin(1.0f, coherence * 1.25f);
}

// One row of the accent's shock step: each pixel moves towards the brighter or the darker
// side of its edge, by a smooth sign of the second derivative across it. Where the luminance
// at a finer scale curves the other way across the edge, the pixel lies beside a feature
// smaller than the edge scale (a speck, an eye, a gap between two strands) and is kept, wholly
// from a clear disagreement on and partly below it: the step would otherwise grow the feature
// into a plateau of the edge scale (a disc).
struct ShockRowArgs {
    const float* planes[3];  // the flow-smoothed image, all planes with the same stride
    std::ptrdiff_t stride;
    int width, height, y;
    // Rows y - 1, y, y + 1 of the smoothed luminance, each readable at -1 and width (the
    // border continued by odd reflection, so that a ramp has no curvature there).
    const float* lum[3];
    float re;         // edge scale in pixels
    float knee;       // weak-edge knee
    float shockStep;  // distance of the samples either side of the edge
    // The width over which the sign is smooth in the distance to the edge's middle, in pixels;
    // 0 leaves the sign to the contrast alone.
    float rampWidth;
    // The offsets between the two scales' middles (in pixels) up to which the finer curvature's
    // disagreement between them does not count, and from which it counts in full (see
    // kShockNearInner); nearOuter 0 counts it everywhere.
    float nearInner, nearOuter;
    float* out[3];    // row y of the result
    // Optional: rows y - 1, y, y + 1 of the luminance at the finer scale (none on the image's
    // first and last rows; its first and last columns are not checked).
    const float* fine[3];
    // Optional: row y of the luminance of the accent's input, from which the step reads where
    // a pixel lies against its two samples (see AcrossAgreement); without it, from the pixel.
    const float* own;
};

// One row read back from a bilateral grid that holds a value and its weight per cell and range
// bin; a row of cells is stored bin by bin, each bin a row of cells two floats apart. Pixel x
// reads cell columns cx[x] and cx[x] + 1 (tent weights 1 - fx[x] and fx[x]) of the cell rows
// at g0 (weight 1 - fy) and g0 + sy (fy), at range bin z[x] - zlo and the next (tent weights
// likewise), and divides the value by the weight. Where the weight is tiny the pixel keeps its
// own value, and where z[x] - zlo lies outside [0, zlast) (past the stored bins, where the grid
// is empty) it keeps it wholly.
struct GridSliceArgs {
    const float* g0;
    int sy, sb;       // floats per row of cells and per bin of a row
    const int* cx;    // cell column per pixel
    const float* fx;  // tent weight of the next column
    float fy;         // tent weight of the next cell row
    const float* z;   // range coordinate per pixel, or, with zcol, samples to interpolate:
    const int* zcol;  // optional: z[x] is read as z[zcol[x]] + zfrac[x] (z[zcol[x] + 1] - ...)
    const float* zfrac;
    int zn;  // with zcol: floats readable at z (past the samples used, their values do not matter)
    bool oneRow;  // g0 is one row of cells with the rows' tent already applied (sy, fy unused)
    float zlo, zlast;
    float eps;         // weight below which a pixel keeps its own value
    const float* own;  // the pixel's own value
    float* out;
    float* energy;  // optional: (q (own - out))^2, added to what is there when energyAdd
    float q;
    bool energyAdd;
    int n;
};

// One row of the clean stage's residual gate: where gain = g[x] / (g[x] + t2) is at least
// least, base[c][x] += gain * (v - base[c][x]), with v the sum over the lines d (0..8; 8 is
// a speck's own pixel, k[8] = 0) of w[d][x] times the input averaged along d:
// sum over j in [-k[d], k[d]] of taps[d][j] * rows[c][2 R + j dy[d]][X + j dx[d]],
// X = x0 + x, columns clamped into [0, width). R is kMaxGateRestore; a line's step is at most
// 2 pixels across and 1 down, or the reverse, and k[d] at most R. Where the pixel's own input
// u stands off its neighbours along every line e (0..7) by D^2 above own0, with
// D^2 = sum of (q[c] (u_c - n_e,c))^2 and n_e the average along e without the middle tap (the
// other taps' sum times apart[e], 1 / their weight), v moves to u by the larger of
// speck[x] min(1, (D^2 - own0) ownScale) and min(1, (D^2 - alone0) aloneScale)
// (alone0 >= own0): a speck that no line holds keeps its own value. (The clean stage passes
// the lines' taps without their middle one and gives the pixel's share as line 8's weight.)
constexpr int kMaxGateRestore = 2;
struct GateRestoreArgs {
    const float* rows[3][4 * kMaxGateRestore + 1];  // rows y - 2 R .. y + 2 R of each channel
    const float* g;
    const float* w[9];   // per line, the weight of its average (they sum to 1)
    const float* speck;  // 0..1: how much the pixel stands above the energy about it
    float t2, least;
    float q[3], own0, ownScale, alone0, aloneScale, apart[8];
    int dx[9], dy[9], k[9];
    const float* taps[9];  // centred: taps[d][0] is the middle tap
    int x0, width;
    float* base[3];  // row y of the result, from column x0
    int n;
};

// The steepening amount of one pixel from the luminance gradient (gx, gy) of the output's
// blurred rows: the step height h = |g| re 2.5 (independent of the sampling step), steps below
// the floor (low2 its square, 0 for none) kept less, weak ones steepened more. The unsharp step
// multiplies an edge's slope by about 1 + amount; with minSigma > 0, an edge about
// w = re |g| / d px wide (d the largest one-pixel luminance difference of the unsharp rows at
// the pixel: dx, dy the larger of the two differences in x and in y) may be made minSigma
// wide, an amount of L = w / minSigma - 1: the amount's share freeShare is kept, the rest R
// becomes R L / (R + L), which still grows with the control but never passes L. The
// baseline's formula for steepenAmount.
inline float SteepenAmount(float gx, float gy, float re, float low2, float strength, float knee,
                           float dx, float dy, float minSigma, float freeShare) {
    const float g = std::sqrt(gx * gx + gy * gy);
    const float hgt = g * re * 2.5f;
    const float kept = low2 > 0.0f ? hgt * hgt / (hgt * hgt + low2) : 1.0f;
    const float amount = kept * strength * (1.0f + 3.0f * knee / (knee + hgt));
    if (minSigma <= 0.0f)
        return amount;
    const float wd = minSigma * std::sqrt(dx * dx + dy * dy);
    // R L / (R + L) with L = room / wd, in one division (R where wd is 0 and g is not).
    const float room = std::max(g * re - wd, 0.0f);
    const float spared = amount * freeShare, rest = amount - spared;
    return spared + rest * room / (rest * wd + room + 1e-20f);
}

// One pixel of the texture band: d = lum - base, |d| below tau remapped by the table (remap[i]
// at |d| = i tau / entries, linear between; entries + 2 values), at or above it kept, then
// gain times the result with d's sign. The baseline's formula for textureRow.
inline float TextureValue(float lum, float base, const float* remap, float entries, float tau,
                          float gain) {
    const float d = lum - base;
    const float a = std::fabs(d);
    float v = a;
    if (a < tau) {
        const float fi = a / tau * entries;
        const int i = static_cast<int>(fi);
        v = remap[i] + (fi - static_cast<float>(i)) * (remap[i + 1] - remap[i]);
    }
    return gain * (d < 0.0f ? -v : v);
}

// The chroma (a channel less the luminance) of three steepened rows out, held where it left
// its least and greatest over the 3 x 3 pixels about it before the steepening (rows: the
// unsharp rows y - 1, y, y + 1 of each channel, read at -1 .. n except where first / last say
// that the image ends there): the three chromas are held to those bounds after one common
// shift, at the same luminance. lo and hi are n + 2 values of work each, flags n bytes.
struct HoldChromaArgs {
    const float* rows[3][3];
    float* out[3];
    float* lo[3];
    float* hi[3];
    uint8_t* flags;
    int n;
    bool first, last;  // column 0 is the image's first, n - 1 its last
};

// How far, in pixels, the steepening's change is evened out along an edge (see
// TangentSmoothArgs), and the rows of change that takes about a pixel.
constexpr int kTangentReach = 3;
constexpr int kTangentRows = 2 * kTangentReach + 1;

// The steepening's change d of one channel, evened out along the edge: out = s + d + w (m - d),
// m the mean of d at the points where the tangent of the blurred luminance (rows lum, gradient
// by central differences) crosses the columns x +- k (the rows y +- k where it runs more
// across than along), k = 1 .. reach, each read between the two pixels there. The reach is
// span over the tangent's slope q re that axis, between 1 and kTangentReach, the last point
// weighted by its fraction: a staircase's tread is 1 / q pixels long, so an edge a few degrees
// off the rows is evened out over several pixels, one at 45 degrees over its neighbours only,
// and every point stays within a row (column) of the pixel's own. w = lambda h^2 / (h^2 +
// knee^2), h = |gradient| re 2.5 the step height as in SteepenAmount. A steep edge's pixels
// then change with the edge's position along it, not by whole pixels. d holds the rows
// y - reach .. y + reach; left and right (0 .. kTangentReach) columns beyond the tile are read
// on each side, 0 where the image ends there, the last of them where the formula reaches
// farther (lum likewise, one column at most). Where the change already placed the pixel on a
// ramp at the edge's sub-pixel position (placed, 0 .. 1 per pixel), w is that much smaller: the
// mean, read between pixels, would only bend a straight ramp by the steepened edge's phase.
struct TangentSmoothArgs {
    const float* lum[3];
    const float* d[kTangentRows];
    const float* s;
    const float* placed;
    float* out;
    float lambda, knee, re, span;
    int n;
    int left, right;
};

// f(1), f(2), .. f(n) for the sequence 0 .. n - 1, written out.
template <class F, int... k>
inline void ForEachK(F& f, std::integer_sequence<int, k...>) {
    (f(k + 1), ...);
}

// One pixel of TangentSmoothArgs: lx, ly the luminance differences over two pixels in x and y;
// v[i][j] the change at row y - reach + i, column x - reach + j, read only in the rows y - 1 ..
// y + 1 and the columns x - 1 .. x + 1. The baseline's formula for tangentSmooth.
inline float TangentSmoothValue(float s, float lx, float ly,
                                const float (&v)[kTangentRows][kTangentRows], float lambda,
                                float knee, float re, float span) {
    auto at = [&](int i, int j) { return v[kTangentReach + i][kTangentReach + j]; };
    const float ax = std::fabs(lx), ay = std::fabs(ly);
    const float g2 = 0.25f * (lx * lx + ly * ly);
    const float h2 = g2 * (2.5f * re) * (2.5f * re);
    const float w = lambda * h2 / (h2 + knee * knee);
    // The tangent (-gy, gx) crosses column x + k (or row y + k, where it runs more across) at
    // k q from the pixel's own row (column), q = the smaller over the larger gradient component.
    const bool alongRows = ax < ay;
    const float q = (alongRows ? ax : ay) / ((alongRows ? ay : ax) + 1e-30f);
    // The points up to the reach count fully, the next one by the reach's fraction, the first
    // always.
    float reach = span / (q + 1e-30f);
    reach = reach < static_cast<float>(kTangentReach) ? reach : static_cast<float>(kTangentReach);
    // The tangent's x and y have the same sign where gx and gy have opposite ones.
    const bool same = lx * ly <= 0.0f;
    float sum = 0.0f, wsum = 0.0f;
    auto point = [&](int k) {
        float wk = reach - static_cast<float>(k - 1);
        wk = k == 1 || wk > 1.0f ? 1.0f : (wk < 0.0f ? 0.0f : wk);
        float f = static_cast<float>(k) * q;
        f = f < 1.0f ? f : 1.0f;
        // Every value is read, then chosen, so that the loop over pixels vectorises.
        const float rowSame = at(1, k) + at(-1, -k), rowOther = at(-1, k) + at(1, -k);
        const float colSame = at(k, 1) + at(-k, -1), colOther = at(k, -1) + at(-k, 1);
        const float rowPair =
            (1.0f - f) * (at(0, k) + at(0, -k)) + f * (same ? rowSame : rowOther);
        const float colPair =
            (1.0f - f) * (at(k, 0) + at(-k, 0)) + f * (same ? colSame : colOther);
        sum += wk * (alongRows ? rowPair : colPair);
        wsum += wk;
    };
    // k = 1 .. kTangentReach, written out (a loop here would stop the pixels' loop vectorising).
    ForEachK(point, std::make_integer_sequence<int, kTangentReach>());
    const float d = at(0, 0);
    const float m = 0.5f * sum / wsum;
    return s + d + w * (m - d);
}

struct SteepenAmountArgs {
    const float* up;  // the blurred luminance rows y - 1, y, y + 1
    const float* mid;
    const float* down;
    const float* sUp;  // the unsharp luminance rows y - 1, y, y + 1
    const float* sMid;
    const float* sDown;
    float re, low2, strength, knee, minSigma, freeShare;  // minSigma 0: no limit, s rows unread
    float* amount;
    int n;
};

struct KernelSet {
    const char* name;
    // dst[x] = sum_k taps[k] * rows[k][x].
    void (*firV)(const float* const* rows, const float* taps, int ntaps, float* dst, int n);
    // dst[x] = sum_k taps[k] * src[x + k], where src holds ntaps - 1 extra samples.
    void (*firH)(const float* src, const float* taps, int ntaps, float* dst, int n);
    // The recursive Gaussian along eight rows of n values, in place: forwards, each step
    // v = c0 * p0 + c1 * p1 + c2 * p2 + b * value from the previous three results p0, p1, p2,
    // which start at the first value, then backwards likewise from the last; coef holds b, c0,
    // c1, c2. A row may be given more than once.
    void (*iirRows8)(float* const* rows, const float* coef, int n);
    // One vertical recursive-Gaussian step: cur = b * cur + c0 * p0 + c1 * p1 + c2 * p2.
    void (*iirStepV)(float* cur, const float* p0, const float* p1, const float* p2,
                     const float* coef, int n);
    // dst = min or max of dst and src.
    void (*minRow)(float* dst, const float* src, int n);
    void (*maxRow)(float* dst, const float* src, int n);
    // mn[x] and mx[x] = the least and the greatest rows[k][x], k < nrows (at least 1).
    void (*minMaxRows)(const float* const* rows, int nrows, float* mn, float* mx, int n);
    // mn[x] = the least srcMin[j] and mx[x] the greatest srcMax[j] for j in [x - r, x + r]
    // inside [0, n).
    void (*minMaxWindow)(const float* srcMin, const float* srcMax, int r, float* mn, float* mx,
                         int n);
    void (*gateRestore)(const GateRestoreArgs& a);
    // Clamped steepening: out = min(max(row + amount * (row - blur), lo), hi).
    void (*steepenRow)(const float* row, const float* blur, const float* amount, const float* lo,
                       const float* hi, float* out, int n);
    // 8-bit output: dst[3x + c] = floor(clamp(rgb[c][x] + tex[x], 0, 1) * 255 + dither[x]),
    // dither in [0, 1); a null tex adds nothing.
    void (*store8)(const float* const* rgb, const float* tex, const float* dither, uint8_t* dst,
                   int n);
    // 16-bit output in the host's range 0..32768, rounded; samples stored little-endian.
    void (*store16)(const float* const* rgb, const float* tex, uint8_t* dst, int n);
    // The flow field of n pixels (FlowField); the outputs may be the inputs.
    void (*flowField)(const float* jxx, const float* jxy, const float* jyy, float tapStep,
                      float stepScale, float flatEnergy, float* tx, float* ty, float* blend,
                      int n);
    void (*flowRow)(const FlowRowArgs& a);
    void (*shockRow)(const ShockRowArgs& a);
    void (*gridSlice)(const GridSliceArgs& a);
    // amount[x] = SteepenAmount((mid[x + 1] - mid[x - 1]) / 2, (down[x] - up[x]) / 2, ...,
    // dx, dy, minSigma, freeShare) with dx, dy the larger one-pixel differences of the unsharp luminance
    // rows sUp, sMid, sDown about x; mid and sMid are read at -1 and n (when minSigma > 0).
    void (*steepenAmount)(const SteepenAmountArgs& a);
    // out[x] = TextureValue(lum[x], base[x], ...); out may be lum or base.
    void (*textureRow)(const float* lum, const float* base, const float* remap, int entries,
                       float tau, float gain, float* out, int n);
    // The texture boost's weight: out[x] = q^4 / (1 + q^4), q^2 = scale * (sum[x] + sum[x + 1]
    // + ... + sum[x + taps - 1]) added in that order; sum holds taps - 1 values more than n.
    void (*boostWeightRow)(const float* sum, int taps, float scale, float* out, int n);
    void (*holdChroma)(const HoldChromaArgs& a);
    void (*tangentSmooth)(const TangentSmoothArgs& a);
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
