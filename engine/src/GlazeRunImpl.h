// One call of the glaze filter, compiled once per instruction set into namespace VG_KERNEL_NS
// (after KernelsImpl.h): the run's planes, threads and parallel loops, and the helpers the
// stages share. The stages themselves are in Stage*Impl.h, the order of the run in
// PipelineImpl.h.
#include "Glaze.h"
#include "Kernels.h"
#include "Plane.h"
#include "WorkerTeam.h"
#include "Workspace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>

namespace vg {
namespace VG_KERNEL_NS {
namespace {

constexpr int kRowsPerChunk = 16;
constexpr int kMinVerticalStrip = 256;  // columns of a pass down the image, at least
constexpr int kPrefetchRows = 2;  // rows ahead that tiled loops ask the cache for
constexpr int kOutputTile = 512;        // columns of an output tile
constexpr int kMaxFirRadius = 12;
constexpr float kFirSigmaLimit = 3.0f;    // above this the recursive Gaussian is used
constexpr float kMinBlurSigma = 0.3f;     // below this a Gaussian leaves the plane as it is
constexpr float kAccentAntialias = 0.8f;  // blur of the accent's contours, in pixels
// The accent's change of a pixel's finer-scale luminance, in knees, at which that blur acts by half.
constexpr float kAntialiasChange = 0.5f;
// The share of the blur's own luminance change added to that knee: the blur acts by half where
// the accent moved the pixel by about twice as much as the blur would move it back.
constexpr float kAntialiasChangeOfBlur = 0.5f;
// Within this many knees of being the brightest (or darkest) of its 3 x 3, a pixel that the blur
// would carry further the way the accent moved it keeps its value; from the second on, plus the
// blur's own luminance change, it is blurred in full (see Accent).
constexpr float kAntialiasFeatureFrom = 1.5f, kAntialiasFeatureTo = 2.5f;
// The scale, in edge radii, of the luminance whose curvature the shock step checks its own
// against, so that it leaves features smaller than the edge scale their size.
constexpr float kShockFineScale = 0.25f;
// How far, in pixels, the accent may carry a luminance beyond where its input has it: each shock
// step's result is held within the input's finer luminance over this reach.
constexpr int kAccentReach = 1;
// The flow step's change that counts as structure along the contour (in knees, of the colour
// difference): a change this large keeps half of itself, much larger ones almost none.
constexpr float kFlowChangeLimit = 1.0f;
// The residual gate's reach in pixels at sampling step 1: the small blur of its energy and the
// line averages along eight directions (see Gate).
constexpr int kMaxGateBlur = 3;
constexpr int kMaxGateReach = 8;
// Working rows per thread, each as wide as an output tile plus its aprons: the output pass
// uses 73; the gate a row chunk with the aprons of its blur and of its line averages, the same
// blurred, and six.
constexpr int kScratchRows =
    std::max(73, 2 * kRowsPerChunk + 4 * kMaxGateReach + 2 * kMaxGateBlur + 6);
// A thread costs its own scratch and grid tiles: images below this many pixels per thread
// get fewer threads.
constexpr long long kPixelsPerThread = 128 * 1024;

// Asks for the cache lines of [p, p + bytes) ahead of their use.
inline void PrefetchSpan(const void* p, std::size_t bytes, bool write) {
    const char* c = static_cast<const char*>(p);
    for (std::size_t i = 0; i < bytes; i += 64) {
        if (write)
            __builtin_prefetch(c + i, 1, 3);
        else
            __builtin_prefetch(c + i, 0, 3);
    }
}

inline float Clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Index of x mirrored back into [0, n): -1 -> 1, n -> n - 2 (clamped for tiny n).
inline int Mirror(int x, int n) {
    if (x < 0)
        x = -x;
    if (x >= n)
        x = 2 * (n - 1) - x;
    return std::clamp(x, 0, n - 1);
}

// Thrown inside the pipeline only, turned into a result code by RunPipeline.
struct Stop {
    int32_t code;
};

// Normalised Gaussian taps of radius min(kMaxFirRadius, ceil(3 sigma)); returns the radius.
int GaussTaps(float sigma, float* taps) {
    const int radius = std::min(kMaxFirRadius, static_cast<int>(std::ceil(3.0f * sigma)));
    double sum = 0.0;
    for (int k = -radius; k <= radius; ++k) {
        sum += std::exp(-0.5 * k * k / (static_cast<double>(sigma) * sigma));
    }
    for (int k = -radius; k <= radius; ++k) {
        taps[k + radius] =
            static_cast<float>(std::exp(-0.5 * k * k / (static_cast<double>(sigma) * sigma)) / sum);
    }
    return radius;
}

// Horizontal FIR of columns [x0, x0 + n) of a row of width w. The border is continued by odd
// reflection (a ramp stays a ramp) when `odd` is set, by its edge value otherwise. pad holds
// n + 2 radius floats.
void FirSpan(const KernelSet& k, const float* row, int w, int x0, int n, const float* taps,
             int radius, bool odd, float* pad, float* out) {
    const int end = x0 + n + radius;
    if (x0 - radius >= 0 && end <= w) {
        k.firH(row + x0 - radius, taps, 2 * radius + 1, out, n);  // no border within reach
        return;
    }
    int j = 0;
    for (int x = x0 - radius; x < end;) {
        if (x >= 0 && x < w) {
            const int m = std::min(end, w) - x;
            std::memcpy(pad + j, row + x, sizeof(float) * static_cast<std::size_t>(m));
            j += m;
            x += m;
        } else {
            const int edge = x < 0 ? 0 : w - 1;
            pad[j++] = odd ? 2.0f * row[edge] - row[Mirror(x, w)] : row[edge];
            ++x;
        }
    }
    k.firH(pad, taps, 2 * radius + 1, out, n);
}

class CGlazeRun {
public:
    CGlazeRun(const EngineImage& image, const GlazeSettings& s, int threads)
        : m_image(image),
          m_s(s),
          m_k(Kernels()),
          m_ws(image.allocProc, image.freeProc, image.hostContext),
          m_team(ThreadsFor(image, threads), image.progressCallback, image.hostContext),
          m_w(image.width),
          m_h(image.height),
          m_n(static_cast<float>(std::max(1, s.sampleStep))) {}

    int32_t Run();

private:
    static int ThreadsFor(const EngineImage& image, int requested) {
        // Small and thin images (thumbnails, previews of tiny selections) are not worth a
        // thread start, nor a thread's working memory.
        const long long pixels = static_cast<long long>(image.width) * image.height;
        const int most = static_cast<int>(std::min<long long>(64, 1 + pixels / kPixelsPerThread));
        if (requested <= 0) {
            requested = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        }
        return std::min(requested, most);
    }

    void Need(bool ok) {
        if (!ok) {
            throw Stop{VWGLAZE_NO_MEMORY};
        }
    }
    void Check(bool notCancelled) {
        if (!notCancelled) {
            throw Stop{VWGLAZE_CANCELLED};
        }
    }
    Plane NewPlane(int w, int h) {
        Plane p;
        Need(m_ws.AllocPlane(p, w, h));
        return p;
    }
    Planes3 NewPlanes(int w, int h) {
        Planes3 p;
        Need(m_ws.AllocPlanes(p, w, h));
        return p;
    }
    // An aligned block of floats for the whole call.
    float* NewFloats(std::size_t count) {
        float* p = m_ws.AllocFloats(count);
        Need(p != nullptr);
        return p;
    }

    template <class Body>
    void ForRowChunks(int h, const Body& body) {
        const int chunks = (h + kRowsPerChunk - 1) / kRowsPerChunk;
        Check(m_team.ParallelFor(chunks, [&](int i, int thread) {
            const int y0 = i * kRowsPerChunk;
            body(y0, std::min(h, y0 + kRowsPerChunk), thread);
        }));
    }
    template <class Body>
    void ForRows(int h, const Body& body) {
        ForRowChunks(h, [&](int y0, int y1, int thread) {
            for (int y = y0; y < y1; ++y) {
                body(y, thread);
            }
        });
    }
    // Fixed column strips: the partition never depends on the thread count.
    template <class Body>
    void ForStrips(int w, int strip, const Body& body) {
        const int chunks = (w + strip - 1) / strip;
        Check(m_team.ParallelFor(chunks, [&](int i, int thread) {
            const int x0 = i * strip;
            body(x0, std::min(w, x0 + strip) - x0, thread);
        }));
    }
    // Tiles of kRowsPerChunk rows and kOutputTile columns, row-major.
    template <class Body>
    void ForTiles(int w, int h, const Body& body) {
        const int across = (w + kOutputTile - 1) / kOutputTile;
        const int down = (h + kRowsPerChunk - 1) / kRowsPerChunk;
        Check(m_team.ParallelFor(across * down, [&](int i, int thread) {
            const int y0 = (i / across) * kRowsPerChunk, x0 = (i % across) * kOutputTile;
            body(x0, std::min(w, x0 + kOutputTile), y0, std::min(h, y0 + kRowsPerChunk), thread);
        }));
    }
    // Per-thread rows of scratch, each m_scratchStride floats: a tile's width plus aprons.
    float* Scratch(int thread, int slot) {
        return m_scratch +
               (static_cast<std::size_t>(thread) * kScratchRows + slot) * m_scratchStride;
    }

    int EstimatePasses() const;
    // Whether the stages read the host's rows where they need the input, instead of planes
    // of it: with a reduced clean stage only its reduction, the last pass's slice, the
    // gate and the texture's luminance read the input, all before the output is written.
    bool ReadsHostRows() const { return m_s.cleanIterations > 0 && CleanReduction() > 1; }
    void InputSpan(int y, int x0, int n, float* const out[3]) const;
    const void* InputRow(int y, int x) const;
    std::size_t InputBytes(int n) const;
    void ReadInput(Planes3& rgb);
    // dst = Gauss(src) with the border continued by its edge value; dst may be src; tmp is a
    // spare plane of the same size.
    void Gauss(const Plane& src, Plane& dst, float sigma, Plane& tmp);
    // Accent stage (StageAccentImpl.h): row y of s held within the range of ref (rows y - 1,
    // y, y + 1, the image's edge rows repeated beyond it) over kAccentReach and its own value
    // before the step.
    void HoldWithinReach(Planes3& s, const Planes3& before, const float* const ref[3], int y,
                         int thread);
    void GaussFir(const Plane& src, Plane& dst, float sigma, Plane& tmp);
    // With lumOf, src is not read: each row starts as lumOf's luminance.
    void GaussIir(const Plane& src, Plane& dst, float sigma, const Planes3* lumOf = nullptr);
    // src null: the host's rows.
    void Luminance(const Planes3* src, Plane& dst);
    // dst = Gauss(Luminance(src)); one loop fewer than the two apart where sigma takes the
    // recursive Gaussian (LuminanceGaussLoops).
    void LuminanceGauss(const Planes3& src, Plane& dst, float sigma, Plane& tmp);
    static int LuminanceGaussLoops(float sigma) { return sigma >= kFirSigmaLimit ? 2 : 3; }

    // Clean stage (StageCleanImpl.h).
    struct GridJob;
    void GridFilter(const GridJob& job);
    float* GridBlock(std::size_t floats);
    // in null (here and below): the host's rows.
    void ReduceDown(const Planes3* in, Planes3& lo);
    int CleanReduction() const;
    float SliceGuideSigma() const;
    // Makes out: full-size planes, some of which may lie in blocks that held its own working data.
    void Clean(const Planes3* input, Planes3& out);
    // Holds out near the colour line of each pixel's neighbourhood (see StageCleanImpl.h).
    void ColourLines(Planes3& out);
    // The input's local colour statistics about each pixel (see InputLines), from its reduced
    // copy lo (d: the reduction); then out held near the line they give.
    struct LineStats {
        Plane m[9];  // means of r, g, b, rr, rg, rb, gg, gb, bb, every `step` samples of lo
        int step = 1;
        int down = 1;
    };
    void MakeLineStats(const Planes3& lo, int d, LineStats& st);
    void InputLines(const Planes3* input, Planes3& out, const LineStats& st);
    void MakeSliceGuides(const Planes3& lo, const Planes3& guides, const float* own,
                         const float* shared, const float* lumWeight, Planes3& zs, Plane& weight,
                         float* zRanges);
    void MakeSliceBounds(const Plane& guide, Plane& lower, Plane& upper, Plane* tmp);
    // values drawn towards own where the slice's guide follows the input's (see kKeepOwnOnSlopes).
    void KeepOwnOnSlopes(const Plane& own, const Plane& slopeWeight, Plane& values);
    // How far the robust rule of the guided passes has ramped in, 0..1 (see kRobustFrom).
    float RobustRamp() const;
    // Channel c's guide of the last pass's slice at full size into z (see Clean).
    void MakeFullSliceGuide(const Planes3* input, int c, const float* own, const float* shared,
                            const float* lumWeight, Plane& jz, const Plane* upper,
                            const Plane& weight, Plane& z);
    // sliceTail: see GateEnergyRow, two rows of m_w bytes.
    void Gate(const Planes3* input, Planes3& base, const unsigned char* sliceTail);
    // Accent stage (StageAccentImpl.h).
    void Accent(Planes3& s);
    // Texture band and output (StageOutputImpl.h).
    float TextureRange() const;
    void TextureBase(const Plane& lum, Plane& base);
    void TextureBand(Plane& lum, Plane& base, float gain);
    void Output(const Planes3& s, const Plane* tex);

    const EngineImage& m_image;
    const GlazeSettings& m_s;
    const KernelSet& m_k;
    CWorkspace m_ws;
    CWorkerTeam m_team;
    const int m_w;
    const int m_h;
    const float m_n;
    float* m_scratch = nullptr;
    std::size_t m_scratchStride = 0;
    float* m_grid = nullptr;  // see GridBlock
    std::size_t m_gridFloats = 0;
};

// Where column x of the host's row y starts, and the bytes of n pixels.
inline const void* CGlazeRun::InputRow(int y, int x) const {
    const int bytes = m_image.pixelFormat == VWGLAZE_FORMAT_RGB16 ? 6 : 3;
    return static_cast<const unsigned char*>(m_image.srcData) +
           static_cast<std::ptrdiff_t>(y) * m_image.srcRowBytes + bytes * static_cast<std::ptrdiff_t>(x);
}
inline std::size_t CGlazeRun::InputBytes(int n) const {
    return static_cast<std::size_t>(n) * (m_image.pixelFormat == VWGLAZE_FORMAT_RGB16 ? 6 : 3);
}

// Columns [x0, x0 + n) of the host's row y, as 0..1 floats: channel c into out[c] where that
// is not null.
void CGlazeRun::InputSpan(int y, int x0, int n, float* const out[3]) const {
    const auto* row = static_cast<const unsigned char*>(m_image.srcData) +
                      static_cast<std::ptrdiff_t>(y) * m_image.srcRowBytes;
    if (m_image.pixelFormat == VWGLAZE_FORMAT_RGB16) {
        const float scale = 1.0f / VWGLAZE_RGB16_MAX;
        row += 6 * static_cast<std::ptrdiff_t>(x0);
        for (int c = 0; c < 3; ++c) {
            float* o = out[c];
            if (o == nullptr)
                continue;
            for (int x = 0; x < n; ++x) {
                uint16_t v;
                std::memcpy(&v, row + 6 * static_cast<std::ptrdiff_t>(x) + 2 * c, sizeof v);
                o[x] = std::min(1.0f, v * scale);
            }
        }
    } else {
        constexpr float scale = 1.0f / 255.0f;
        row += 3 * static_cast<std::ptrdiff_t>(x0);
        for (int c = 0; c < 3; ++c) {
            float* o = out[c];
            if (o == nullptr)
                continue;
            int x = 0;
#if defined(VG_KERNEL_AVX2)
            // Eight pixels' 24 bytes at a time: the channel's bytes picked out of the first 16
            // and the last 8 (a byte index with its top bit set gives zero).
            alignas(16) signed char pick[2][16];
            for (int k = 0; k < 16; ++k) {
                const int b = 3 * k + c;
                pick[0][k] = static_cast<signed char>(k < 8 && b < 16 ? b : -1);
                pick[1][k] = static_cast<signed char>(k < 8 && b >= 16 ? b - 16 : -1);
            }
            const __m128i pickLo = _mm_load_si128(reinterpret_cast<const __m128i*>(pick[0]));
            const __m128i pickHi = _mm_load_si128(reinterpret_cast<const __m128i*>(pick[1]));
            const __m256 vscale = _mm256_set1_ps(scale);
            for (; x + 8 <= n; x += 8) {
                const unsigned char* p = row + 3 * static_cast<std::ptrdiff_t>(x);
                const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                const __m128i hi = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16));
                const __m128i bytes =
                    _mm_or_si128(_mm_shuffle_epi8(lo, pickLo), _mm_shuffle_epi8(hi, pickHi));
                const __m256 f = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
                _mm256_storeu_ps(o + x, _mm256_mul_ps(f, vscale));
            }
#endif
            for (; x < n; ++x) o[x] = row[3 * static_cast<std::ptrdiff_t>(x) + c] * scale;
        }
    }
}

void CGlazeRun::ReadInput(Planes3& rgb) {
    ForRows(m_h, [&](int y, int) {
        float* const out[3] = {rgb.c[0].Row(y), rgb.c[1].Row(y), rgb.c[2].Row(y)};
        InputSpan(y, 0, m_w, out);
    });
}

void LumRow(const float* r, const float* g, const float* b, float* o, int n) {
    for (int x = 0; x < n; ++x) {
        o[x] = kLumR * r[x] + kLumG * g[x] + kLumB * b[x];
    }
}

void CGlazeRun::Gauss(const Plane& src, Plane& dst, float sigma, Plane& tmp) {
    if (sigma < kMinBlurSigma) {
        if (src.data != dst.data) {
            ForRows(src.height, [&](int y, int) {
                std::memcpy(dst.Row(y), src.Row(y),
                            sizeof(float) * static_cast<std::size_t>(src.width));
            });
        }
    } else if (sigma < kFirSigmaLimit) {
        GaussFir(src, dst, sigma, tmp);
    } else {
        GaussIir(src, dst, sigma);
    }
}

void CGlazeRun::GaussFir(const Plane& plane, Plane& dst, float sigma, Plane& tmp) {
    const int w = plane.width, h = plane.height;
    float taps[2 * kMaxFirRadius + 1];
    const int radius = GaussTaps(sigma, taps);
    const int ntaps = 2 * radius + 1;
    ForTiles(w, h, [&](int x0, int x1, int y0, int y1, int thread) {
        for (int y = y0; y < y1; ++y) {
            FirSpan(m_k, plane.Row(y), w, x0, x1 - x0, taps, radius, false, Scratch(thread, 0),
                    tmp.Row(y) + x0);
        }
    });
    ForRows(h, [&](int y, int) {
        const float* rows[2 * kMaxFirRadius + 1];
        for (int k = 0; k < ntaps; ++k) {
            rows[k] = tmp.Row(std::clamp(y + k - radius, 0, h - 1));
        }
        m_k.firV(rows, taps, ntaps, dst.Row(y), w);
    });
}

// Young and van Vliet's third-order recursive Gaussian, run forwards and backwards in each
// direction, with each border continued by its edge value.
void CGlazeRun::GaussIir(const Plane& src, Plane& plane, float sigma, const Planes3* lumOf) {
    const int w = plane.width, h = plane.height;
    const double q = sigma >= 2.5f ? 0.98711 * sigma - 0.96330
                                   : 3.97156 - 4.14554 * std::sqrt(1.0 - 0.26891 * sigma);
    const double b0 = 1.57825 + 2.44413 * q + 1.4281 * q * q + 0.422205 * q * q * q;
    const double b1 = 2.44413 * q + 2.85619 * q * q + 1.26661 * q * q * q;
    const double b2 = -(1.4281 * q * q + 1.26661 * q * q * q);
    const double b3 = 0.422205 * q * q * q;
    const float c0 = static_cast<float>(b1 / b0);
    const float c1 = static_cast<float>(b2 / b0);
    const float c2 = static_cast<float>(b3 / b0);
    const float bb = 1.0f - (c0 + c1 + c2);
    const float coef[4] = {bb, c0, c1, c2};
    // Eight rows at a time: their recursions are independent, which hides each one's latency.
    ForRowChunks(h, [&](int y0, int y1, int) {
        constexpr int kTogether = 8;
        for (int y = y0; y < y1; y += kTogether) {
            const int m = std::min(kTogether, y1 - y);
            float* r[kTogether];
            for (int j = 0; j < kTogether; ++j) {
                // Short groups repeat their last row, whose result is written twice alike.
                r[j] = plane.Row(y + std::min(j, m - 1));
            }
            if (lumOf != nullptr) {
                // The luminance made here is still in the cache for the recursion.
                for (int j = 0; j < m; ++j) {
                    LumRow(lumOf->c[0].Row(y + j), lumOf->c[1].Row(y + j),
                           lumOf->c[2].Row(y + j), r[j], w);
                }
            } else if (src.data != plane.data) {
                for (int j = 0; j < m; ++j) {
                    std::memcpy(r[j], src.Row(y + j), sizeof(float) * static_cast<std::size_t>(w));
                }
            }
            m_k.iirRows8(r, coef, w);
        }
    });
    ForStrips(w, kMinVerticalStrip, [&](int x0, int n, int) {
        auto at = [&](int y) { return plane.Row(std::clamp(y, 0, h - 1)) + x0; };
        for (int y = 1; y < h; ++y) {
            m_k.iirStepV(at(y), at(y - 1), at(y - 2), at(y - 3), coef, n);
        }
        for (int y = h - 2; y >= 0; --y) {
            m_k.iirStepV(at(y), at(y + 1), at(y + 2), at(y + 3), coef, n);
        }
    });
}

void CGlazeRun::LuminanceGauss(const Planes3& src, Plane& dst, float sigma, Plane& tmp) {
    if (sigma >= kFirSigmaLimit) {
        GaussIir(dst, dst, sigma, &src);
    } else {
        Luminance(&src, dst);
        Gauss(dst, dst, sigma, tmp);
    }
}

void CGlazeRun::Luminance(const Planes3* src, Plane& dst) {
    const int w = dst.width;
    ForRows(dst.height, [&](int y, int thread) {
        if (src != nullptr) {
            LumRow(src->c[0].Row(y), src->c[1].Row(y), src->c[2].Row(y), dst.Row(y), w);
            return;
        }
        float* const rgb[3] = {Scratch(thread, 0), Scratch(thread, 1), Scratch(thread, 2)};
        for (int x0 = 0; x0 < w; x0 += kOutputTile) {
            const int n = std::min(kOutputTile, w - x0);
            InputSpan(y, x0, n, rgb);
            LumRow(rgb[0], rgb[1], rgb[2], dst.Row(y) + x0, n);
        }
    });
}

}  // namespace
}  // namespace VG_KERNEL_NS
}  // namespace vg
