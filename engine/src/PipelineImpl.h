// The glaze pipeline, compiled once per instruction set into namespace VG_KERNEL_NS (after
// KernelsImpl.h): clean (rolling guidance on a joint domain transform), edges (coherent shock
// accents and clamped steepening), texture (edge-aware detail band with a power remap).
//
// Memory traffic, not arithmetic, sets the speed, and every full-size plane also costs a page
// fault per page on first touch. So the large stages keep few planes: the domain transform
// computes its link weights row by row from the guide (for coarse-to-fine runs straight from
// the low-resolution result, brought up as each row is needed), passes down the image run in
// narrow column strips whose backward half still sits in cache, and steepening, texture and
// the output conversion are one streaming pass over rows.
#include "Glaze.h"
#include "Kernels.h"
#include "Plane.h"
#include "WorkerTeam.h"
#include "Workspace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace vg {
namespace VG_KERNEL_NS {
namespace {

constexpr int kRowsPerChunk = 16;
constexpr int kMinVerticalStrip = 256;  // columns of a pass down the image, at least
constexpr int kDiagonalStrip = 1024;   // columns of a diagonal pass; links across are left out
constexpr int kDtIterations = 3;
constexpr int kOutputTile = 512;  // columns of an output tile
constexpr int kMaxFirRadius = 12;
constexpr float kFirSigmaLimit = 3.0f;  // above this the recursive Gaussian is used
constexpr int kRemapEntries = 1024;
constexpr float kLumR = 0.299f, kLumG = 0.587f, kLumB = 0.114f;

inline float Clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Thrown inside the pipeline only, turned into a result code by RunPipeline.
struct Stop {
    int32_t code;
};

// Where a joint filter's guide comes from: nch planes of the working size, or (f > 1) a
// result at 1/f resolution, interpolated bilinearly from its block centres row by row.
struct GuideSource {
    const Plane* planes[3] = {};
    int nch = 0;
    int f = 1;  // 1, 2 or 4
};

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
        // Small images (thumbnails, previews of tiny selections) are not worth a thread start.
        const long long pixels = static_cast<long long>(image.width) * image.height;
        if (requested <= 0 && pixels < 32 * 1024) {
            return 1;
        }
        return requested;
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
    // Per-thread rows of scratch, each m_scratchStride floats.
    float* Scratch(int thread, int slot) {
        return m_scratch +
               (static_cast<std::size_t>(thread) * kScratchRows + slot) * m_scratchStride;
    }

    int EstimatePasses() const;
    int CleanScale(float radius) const;
    void ReadRow(int y, float* r, float* g, float* b) const;
    void ReadInput(Planes3* full, Planes3* low, int f, Plane* lum);
    void Copy(const Planes3& from, Planes3& to);
    // dst = Gauss(src); dst may be src; tmp is a spare plane of the same size.
    void Gauss(const Plane& src, Plane& dst, float sigma, Plane& tmp);
    void GaussFir(const Plane& src, Plane& dst, float sigma, Plane& tmp);
    void GaussIir(const Plane& src, Plane& dst, float sigma);
    void Luminance(const Planes3& src, Plane& dst);
    void GuideRows(const GuideSource& g, int y, int x0, int n, float* buf, float* line,
                   const float** rows) const;
    void DtFilter(Plane* const* planes, int nch, float sigmaS, const GuideSource& guide,
                  const float* rangeScale, bool diagonal);
    void DtRows(Plane* const* planes, int nch, const Plane& wt, int squarings);
    void DtColumns(Plane* const* planes, int nch, const Plane& wt, int squarings);
    void DtDiagonal(Plane* const* planes, int nch, const GuideSource& guide, const float* scale,
                    float k, int dx);
    void Clean(Planes3& out);
    void Downsample(const Plane& src, Plane& dst, int f);
    void Accent(Planes3& s);
    void Output(const Planes3& s, const Plane* lum, const Plane* base, float gain);

    static constexpr int kScratchRows = 28;

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
};

// The number of parallel loops Run will make, for the progress total; it follows the stages
// below loop for loop (a Gaussian is 2 per plane, a domain transform 6 or 8).
int CGlazeRun::EstimatePasses() const {
    int passes = 2;  // input and output
    if (m_s.cleanIterations > 0) {
        const int k = m_s.cleanIterations;
        const float radius = std::max(0.5f, m_s.cleanRadius / m_n);
        const int f = CleanScale(radius);
        passes += 6 + (k - 1) * (3 + 8) + 8 + (f > 1 ? 0 : 3);
    }
    passes += m_s.edgeAccent * 12;
    if (m_s.textureStrength > 0.0f) {
        passes += 6;
    }
    return passes;
}

int CGlazeRun::CleanScale(float radius) const {
    int f = m_s.cleanIterations >= 2 ? (radius >= 12.0f ? 4 : (radius >= 6.0f ? 2 : 1)) : 1;
    if ((m_w + f - 1) / f < 8 || (m_h + f - 1) / f < 8) {
        f = 1;
    }
    return f;
}

void CGlazeRun::ReadRow(int y, float* r, float* g, float* b) const {
    const auto* row = static_cast<const unsigned char*>(m_image.srcData) +
                      static_cast<std::ptrdiff_t>(y) * m_image.srcRowBytes;
    if (m_image.pixelFormat == VWGLAZE_FORMAT_RGB16) {
        const float scale = 1.0f / VWGLAZE_RGB16_MAX;
        for (int x = 0; x < m_w; ++x) {
            uint16_t v[3];
            std::memcpy(v, row + 6 * static_cast<std::ptrdiff_t>(x), sizeof v);
            r[x] = std::min(1.0f, v[0] * scale);
            g[x] = std::min(1.0f, v[1] * scale);
            b[x] = std::min(1.0f, v[2] * scale);
        }
    } else {
        constexpr float scale = 1.0f / 255.0f;
        for (int x = 0; x < m_w; ++x) {
            const unsigned char* p = row + 3 * static_cast<std::ptrdiff_t>(x);
            r[x] = p[0] * scale;
            g[x] = p[1] * scale;
            b[x] = p[2] * scale;
        }
    }
}

// Converts the source into `full` and, in the same pass, into its f x f block means `low`
// and its luminance `lum` (each when given).
void CGlazeRun::ReadInput(Planes3* full, Planes3* low, int f, Plane* lum) {
    const int groups = low != nullptr ? (m_h + f - 1) / f : m_h;
    const int rowsPer = low != nullptr ? f : 1;
    ForRows(groups, [&](int gy, int thread) {
        float* acc[3] = {};
        if (low != nullptr) {
            for (int c = 0; c < 3; ++c) {
                acc[c] = Scratch(thread, 3 + c);
                std::memset(acc[c], 0, sizeof(float) * static_cast<std::size_t>(low->c[0].width));
            }
        }
        const int y0 = gy * rowsPer, y1 = std::min(m_h, y0 + rowsPer);
        for (int y = y0; y < y1; ++y) {
            float* rgb[3];
            for (int c = 0; c < 3; ++c) {
                rgb[c] = full != nullptr ? full->c[c].Row(y) : Scratch(thread, c);
            }
            ReadRow(y, rgb[0], rgb[1], rgb[2]);
            if (lum != nullptr) {
                float* o = lum->Row(y);
                for (int x = 0; x < m_w; ++x) {
                    o[x] = kLumR * rgb[0][x] + kLumG * rgb[1][x] + kLumB * rgb[2][x];
                }
            }
            if (low != nullptr) {
                const int lw = low->c[0].width;
                for (int c = 0; c < 3; ++c) {
                    const float* src = rgb[c];
                    float* a = acc[c];
                    const int whole = m_w / f;
                    for (int x = 0; x < whole; ++x) {
                        float sum = 0.0f;
                        for (int j = 0; j < f; ++j) sum += src[x * f + j];
                        a[x] += sum;
                    }
                    if (whole < lw) {
                        float sum = 0.0f;
                        for (int xx = whole * f; xx < m_w; ++xx) sum += src[xx];
                        a[whole] += sum;
                    }
                }
            }
        }
        if (low != nullptr) {
            const int lw = low->c[0].width;
            const float rows = static_cast<float>(y1 - y0);
            const int lastCols = m_w - (lw - 1) * f;
            for (int c = 0; c < 3; ++c) {
                float* o = low->c[c].Row(gy);
                const float inv = 1.0f / (rows * static_cast<float>(f));
                for (int x = 0; x < lw - 1; ++x) o[x] = acc[c][x] * inv;
                o[lw - 1] = acc[c][lw - 1] / (rows * static_cast<float>(lastCols));
            }
        }
    });
}

void CGlazeRun::Copy(const Planes3& from, Planes3& to) {
    const int w = from.c[0].width;
    ForRows(from.c[0].height, [&](int y, int) {
        for (int c = 0; c < 3; ++c) {
            std::memcpy(to.c[c].Row(y), from.c[c].Row(y),
                        sizeof(float) * static_cast<std::size_t>(w));
        }
    });
}

void CGlazeRun::Gauss(const Plane& src, Plane& dst, float sigma, Plane& tmp) {
    if (sigma < 0.3f) {
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

// Horizontal FIR of one row with the border continued by its edge values.
void FirRow(const KernelSet& k, const float* row, int w, const float* taps, int radius, float* pad,
            float* out) {
    for (int j = 0; j < radius; ++j) {
        pad[j] = row[0];
        pad[radius + w + j] = row[w - 1];
    }
    std::memcpy(pad + radius, row, sizeof(float) * static_cast<std::size_t>(w));
    k.firH(pad, taps, 2 * radius + 1, out, w);
}

void CGlazeRun::GaussFir(const Plane& plane, Plane& dst, float sigma, Plane& tmp) {
    const int w = plane.width, h = plane.height;
    float taps[2 * kMaxFirRadius + 1];
    const int radius = GaussTaps(sigma, taps);
    const int ntaps = 2 * radius + 1;
    ForRows(h, [&](int y, int thread) {
        FirRow(m_k, plane.Row(y), w, taps, radius, Scratch(thread, 0), tmp.Row(y));
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
void CGlazeRun::GaussIir(const Plane& src, Plane& plane, float sigma) {
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
    // Eight rows at a time: their recursions are independent, which hides each one's latency,
    // and the newest value enters each step last, so one multiply-add waits for it.
    ForRowChunks(h, [&](int y0, int y1, int) {
        constexpr int kTogether = 8;
        for (int y = y0; y < y1; y += kTogether) {
            const int m = std::min(kTogether, y1 - y);
            float* r[kTogether];
            float p0[kTogether], p1[kTogether], p2[kTogether];
            for (int j = 0; j < kTogether; ++j) {
                // Short groups repeat their last row, whose result is written twice alike.
                r[j] = plane.Row(y + std::min(j, m - 1));
            }
            if (src.data != plane.data) {
                for (int j = 0; j < m; ++j) {
                    std::memcpy(r[j], src.Row(y + j), sizeof(float) * static_cast<std::size_t>(w));
                }
            }
            auto sweep = [&](int from, int to, int step) {
                for (int j = 0; j < kTogether; ++j) {
                    p0[j] = p1[j] = p2[j] = r[j][from];
                }
                for (int x = from;; x += step) {
                    for (int j = 0; j < kTogether; ++j) {
                        const float v = c0 * p0[j] + (c1 * p1[j] + (c2 * p2[j] + bb * r[j][x]));
                        p2[j] = p1[j];
                        p1[j] = p0[j];
                        p0[j] = v;
                    }
                    for (int j = 0; j < kTogether; ++j) {
                        r[j][x] = p0[j];
                    }
                    if (x == to) break;
                }
            };
            sweep(0, w - 1, 1);
            sweep(w - 1, 0, -1);
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

void CGlazeRun::Luminance(const Planes3& src, Plane& dst) {
    const int w = dst.width;
    ForRows(dst.height, [&](int y, int) {
        const float* r = src.c[0].Row(y);
        const float* g = src.c[1].Row(y);
        const float* b = src.c[2].Row(y);
        float* o = dst.Row(y);
        for (int x = 0; x < w; ++x) {
            o[x] = kLumR * r[x] + kLumG * g[x] + kLumB * b[x];
        }
    });
}

// Linear interpolation along a row from the centres of blocks of F samples: out[x - x0] for
// x in [x0, x0 + n) from line[j - lx0] for block j in [lx0, lx1], which must cover the span.
// Sample x = F j + F/2 + p (p < F) lies between blocks j and j + 1 at (p + 0.5) / F.
template <int F>
void UpsampleSpan(const float* line, int lx0, int lx1, int x0, int n, float* out) {
    constexpr int s0 = F / 2;
    const float* l = line - lx0;  // indexed by block
    const int lastBlock = lx1;    // the span's last block (clamped at the image's last)
    auto one = [&](int x) {
        const int j = (x - s0) / F;
        if (x < s0) return l[lx0];
        if (j >= lastBlock) return l[lastBlock];
        const float a = (static_cast<float>((x - s0) % F) + 0.5f) / F;
        return l[j] + a * (l[j + 1] - l[j]);
    };
    int x = x0;
    const int end = x0 + n;
    while (x < end && (x < s0 || (x - s0) % F != 0)) {
        out[x - x0] = one(x);
        ++x;
    }
    float wp[F];
    for (int p = 0; p < F; ++p) wp[p] = (static_cast<float>(p) + 0.5f) / F;
    for (int j = (x - s0) / F; j < lastBlock && x + F <= end; ++j, x += F) {
        const float a = l[j], d = l[j + 1] - l[j];
        for (int p = 0; p < F; ++p) out[x - x0 + p] = a + wp[p] * d;
    }
    for (; x < end; ++x) {
        out[x - x0] = one(x);
    }
}

// The guide's row y over columns [x0, x0 + n): pointers into its planes, or interpolated into
// buf (3 * n floats) through line (a row of the low-resolution width).
void CGlazeRun::GuideRows(const GuideSource& g, int y, int x0, int n, float* buf, float* line,
                          const float** rows) const {
    if (g.f == 1) {
        for (int c = 0; c < g.nch; ++c) {
            rows[c] = g.planes[c]->Row(y) + x0;
        }
        return;
    }
    const Plane& p0 = *g.planes[0];
    const float offset = 0.5f * static_cast<float>(g.f - 1);
    const float fy = Clampf((static_cast<float>(y) - offset) / static_cast<float>(g.f), 0.0f,
                            static_cast<float>(p0.height - 1));
    const int ly0 = std::min(static_cast<int>(fy), p0.height - 1);
    const int ly1 = std::min(ly0 + 1, p0.height - 1);
    const float ay = fy - static_cast<float>(ly0);
    const int lw = p0.width;
    const int lx0 = std::min(std::max(0, (x0 - g.f / 2) / g.f), lw - 1);
    const int lx1 = std::min(lx0 + n / g.f + 2, lw - 1);
    for (int c = 0; c < g.nch; ++c) {
        const float* r0 = g.planes[c]->Row(ly0);
        const float* r1 = g.planes[c]->Row(ly1);
        for (int x = lx0; x <= lx1; ++x) {
            line[x - lx0] = r0[x] + ay * (r1[x] - r0[x]);
        }
        float* o = buf + static_cast<std::ptrdiff_t>(c) * n;
        if (g.f == 2) {
            UpsampleSpan<2>(line, lx0, lx1, x0, n, o);
        } else {
            UpsampleSpan<4>(line, lx0, lx1, x0, n, o);
        }
        rows[c] = o;
    }
}

// Domain transform, recursive form, with the link weights taken from `guide` (which may be
// `planes` themselves): kDtIterations passes, each along rows and columns and, when
// `diagonal` is set, once along both diagonals too, which keeps the axis-aligned streaks of
// the plain separable filter out of flattened areas. The row and column weights are made once
// (each guide row is read or brought up once); iteration i uses them to the power 2^i.
void CGlazeRun::DtFilter(Plane* const* planes, int nch, float sigmaS, const GuideSource& guide,
                         const float* rangeScale, bool diagonal) {
    const int w = planes[0]->width, h = planes[0]->height;
    const double n = kDtIterations;
    const double sigmaH1 =
        sigmaS * std::sqrt(3.0) * std::pow(2.0, n - 1) / std::sqrt(std::pow(4.0, n) - 1.0);
    float scale[3];
    for (int c = 0; c < nch; ++c) {
        scale[c] = sigmaS * rangeScale[c];
    }
    const float k = static_cast<float>(std::sqrt(2.0) / sigmaH1);
    Plane wH = NewPlane(w, h), wV = NewPlane(w, h);
    ForRowChunks(h, [&](int y0, int y1, int thread) {
        float* buf[2] = {Scratch(thread, 0), Scratch(thread, 3)};
        float* line = Scratch(thread, 6);
        const float* g[2][3];
        int prev = 0;
        if (y0 > 0) {
            GuideRows(guide, y0 - 1, 0, w, buf[0], line, g[0]);
        }
        for (int y = y0; y < y1; ++y) {
            const int here = 1 - prev;
            GuideRows(guide, y, 0, w, buf[here], line, g[here]);
            float* rowH = wH.Row(y);
            rowH[0] = 0.0f;
            if (w > 1) {
                const float* a[3];
                for (int c = 0; c < nch; ++c) a[c] = g[here][c] + 1;
                m_k.dtWeights(a, g[here], nch, scale, 1.0f, k, rowH + 1, w - 1);
            }
            if (y > 0) {
                m_k.dtWeights(g[here], g[prev], nch, scale, 1.0f, k, wV.Row(y), w);
            } else {
                std::memset(wV.Row(0), 0, sizeof(float) * static_cast<std::size_t>(w));
            }
            prev = here;
        }
    });
    for (int it = 0; it < kDtIterations; ++it) {
        DtRows(planes, nch, wH, it);
        DtColumns(planes, nch, wV, it);
        // Streaks come from the long reach of the first iteration; later ones reach a half
        // and a quarter as far and keep to rows and columns.
        if (diagonal && it == 0) {
            DtDiagonal(planes, nch, guide, scale, k, -1);
            DtDiagonal(planes, nch, guide, scale, k, 1);
        }
    }
    m_ws.FreePlane(wV);
    m_ws.FreePlane(wH);
}

// The recursion along every row, forwards and back, four rows at a time; wt[y][x] links x - 1
// and x and is used to the power 2^squarings.
void CGlazeRun::DtRows(Plane* const* planes, int nch, const Plane& wt, int squarings) {
    const int w = planes[0]->width;
    ForRowChunks(planes[0]->height, [&](int y0, int y1, int) {
        constexpr int kTogether = 4;
        for (int y = y0; y < y1; y += kTogether) {
            const int m = std::min(kTogether, y1 - y);
            float* rows[3 * kTogether];
            const float* weights[3 * kTogether];
            int chains = 0;
            for (int j = 0; j < m; ++j) {
                for (int c = 0; c < nch; ++c) {
                    rows[chains] = planes[c]->Row(y + j);
                    weights[chains] = wt.Row(y + j);
                    ++chains;
                }
            }
            m_k.dtSweepH(rows, weights, chains, squarings, w);
        }
    });
}

// The recursion down every column and back up; wt[y][x] links rows y - 1 and y. Columns are
// independent, so the strip width does not change the result: wide strips keep each row's
// access long and sequential, which the hardware prefetches well.
void CGlazeRun::DtColumns(Plane* const* planes, int nch, const Plane& wt, int squarings) {
    const int w = planes[0]->width, h = planes[0]->height;
    const int parts = 2 * m_team.Threads();
    const int strip = std::max(kMinVerticalStrip, ((w + parts - 1) / parts + 15) & ~15);
    ForStrips(w, strip, [&](int x0, int n, int) {
        float* cur[3];
        const float* other[3];
        for (int y = 1; y < h; ++y) {
            for (int c = 0; c < nch; ++c) {
                cur[c] = planes[c]->Row(y) + x0;
                other[c] = planes[c]->Row(y - 1) + x0;
            }
            m_k.dtStepV(cur, other, nch, wt.Row(y) + x0, squarings, n);
        }
        for (int y = h - 2; y >= 0; --y) {
            for (int c = 0; c < nch; ++c) {
                cur[c] = planes[c]->Row(y) + x0;
                other[c] = planes[c]->Row(y + 1) + x0;
            }
            m_k.dtStepV(cur, other, nch, wt.Row(y + 1) + x0, squarings, n);
        }
    });
}

// The recursion down the rows and back up along the diagonal links from (x + dx, y - 1) to
// (x, y), in fixed column strips with the weights made as they are needed. A link that would
// cross a strip boundary is left out, so the result does not depend on the thread count.
void CGlazeRun::DtDiagonal(Plane* const* planes, int nch, const GuideSource& guide,
                           const float* scale, float k, int dx) {
    const int w = planes[0]->width, h = planes[0]->height;
    ForStrips(w, kDiagonalStrip, [&](int x0, int cols, int thread) {
        const int n = cols - 1;
        if (n <= 0 || h < 2) {
            return;
        }
        // Guide rows of the strip, two at a time: slots 0..2 and 3..5, line in slot 6.
        float* buf[2] = {Scratch(thread, 0), Scratch(thread, 3)};
        float* line = Scratch(thread, 6);
        float* wt = Scratch(thread, 7);
        const float* g[2][3];
        auto guideRow = [&](int y, int slot) {
            GuideRows(guide, y, x0, cols, buf[slot], line, g[slot]);
        };
        // Link weights between row y (slot sy) at column x and row y2 (slot s2) at x + d, for
        // the n columns starting at strip offset o.
        auto weights = [&](int sy, int s2, int o, int d) {
            const float* a[3];
            const float* b[3];
            for (int c = 0; c < nch; ++c) {
                a[c] = g[sy][c] + o;
                b[c] = g[s2][c] + o + d;
            }
            m_k.dtWeights(a, b, nch, scale, 1.41421356f, k, wt, n);
        };
        float* cur[3];
        const float* other[3];
        const int fo = std::max(0, -dx);  // strip offset of the first column with a link
        guideRow(0, 0);
        int prev = 0;
        for (int y = 1; y < h; ++y) {
            const int here = 1 - prev;
            guideRow(y, here);
            weights(here, prev, fo, dx);
            for (int c = 0; c < nch; ++c) {
                cur[c] = planes[c]->Row(y) + x0 + fo;
                other[c] = planes[c]->Row(y - 1) + x0 + fo + dx;
            }
            m_k.dtStepV(cur, other, nch, wt, 0, n);
            prev = here;
        }
        const int bo = std::max(0, dx);
        for (int y = h - 2; y >= 0; --y) {
            const int here = 1 - prev;
            guideRow(y, here);
            // The link from (x, y) to (x - dx, y + 1) is the forward link of that pixel.
            weights(here, prev, bo, -dx);
            for (int c = 0; c < nch; ++c) {
                cur[c] = planes[c]->Row(y) + x0 + bo;
                other[c] = planes[c]->Row(y + 1) + x0 + bo - dx;
            }
            m_k.dtStepV(cur, other, nch, wt, 0, n);
            prev = here;
        }
    });
}

// Rolling guidance: a Gaussian seed forgets every structure smaller than the radius, then
// each joint pass filters the input under the previous result, which brings back the edges
// of the large structures while features below the threshold stay flat. For large radii all
// passes but the last run at 1/2 or 1/4 resolution, and the last one takes its guide straight
// from that result; the last always runs at full resolution.
void CGlazeRun::Clean(Planes3& out) {
    const float radius = std::max(0.5f, m_s.cleanRadius / m_n);
    const int passes = m_s.cleanIterations;
    const int f = CleanScale(radius);
    float rangeScale[3];
    for (int c = 0; c < 3; ++c) {
        rangeScale[c] = m_s.factors[c] / std::max(m_s.thresholds[c], 1e-4f);
    }
    const int lw = (m_w + f - 1) / f, lh = (m_h + f - 1) / f;
    Planes3 src = NewPlanes(lw, lh);
    if (f > 1) {
        ReadInput(&out, &src, f, nullptr);
    } else {
        ReadInput(&src, nullptr, 1, nullptr);
    }
    // Seed and all passes but the last at the working scale: the result ends in a.
    Planes3 a = NewPlanes(lw, lh);
    Planes3 b = NewPlanes(lw, lh);
    const float r = radius / static_cast<float>(f);
    for (int c = 0; c < 3; ++c) {
        Gauss(src.c[c], a.c[c], r, b.c[c]);
    }
    for (int pass = 0; pass + 1 < passes; ++pass) {
        Copy(src, b);
        Plane* planes[3] = {&b.c[0], &b.c[1], &b.c[2]};
        GuideSource g;
        g.nch = 3;
        for (int c = 0; c < 3; ++c) g.planes[c] = &a.c[c];
        DtFilter(planes, 3, 2.0f * r, g, rangeScale, true);
        for (int c = 0; c < 3; ++c) {
            std::swap(a.c[c], b.c[c]);
        }
    }
    m_ws.FreePlanes(b);
    GuideSource g;
    g.nch = 3;
    for (int c = 0; c < 3; ++c) g.planes[c] = &a.c[c];
    if (f > 1) {
        m_ws.FreePlanes(src);
        g.f = f;  // brought up row by row from the block centres
    } else {
        Copy(src, out);
        m_ws.FreePlanes(src);
    }
    // The guide is free of streaks by now, and the full-resolution pass is the costly one: it
    // keeps to rows and columns.
    Plane* planes[3] = {&out.c[0], &out.c[1], &out.c[2]};
    DtFilter(planes, 3, 2.0f * radius, g, rangeScale, false);
    m_ws.FreePlanes(a);
}

// Bilinear sample of three planes at (fx, fy), clamped to the image.
struct Sampler {
    const Planes3& s;
    int w, h;
    void At(float fx, float fy, float* v) const {
        fx = Clampf(fx, 0.0f, static_cast<float>(w - 1));
        fy = Clampf(fy, 0.0f, static_cast<float>(h - 1));
        const int x0 = static_cast<int>(fx);
        const int y0 = static_cast<int>(fy);
        const std::ptrdiff_t stride = s.c[0].stride;  // all planes of a set share it
        const std::ptrdiff_t dx = x0 < w - 1 ? 1 : 0;
        const std::ptrdiff_t dy = y0 < h - 1 ? stride : 0;
        const float ax = fx - static_cast<float>(x0);
        const float ay = fy - static_cast<float>(y0);
        const std::ptrdiff_t o = y0 * stride + x0;
        for (int c = 0; c < 3; ++c) {
            const float* p = s.c[c].data + o;
            const float top = p[0] + ax * (p[dx] - p[0]);
            const float bottom = p[dy] + ax * (p[dy + dx] - p[dy]);
            v[c] = top + ay * (bottom - top);
        }
    }
};

// One coherence step per iteration: smooth along the local edge direction (so contours become
// smooth and, with more iterations, flowing), then a shock step across it that moves each
// pixel towards the brighter or darker side, which steepens edges without any overshoot.
void CGlazeRun::Accent(Planes3& s) {
    const float re = std::max(0.5f, m_s.edgeRadius / m_n);
    Planes3 tangent = NewPlanes(m_w, m_h);
    Plane jxx = NewPlane(m_w, m_h), jxy = NewPlane(m_w, m_h), jyy = NewPlane(m_w, m_h);
    Plane lum = NewPlane(m_w, m_h), tmp = NewPlane(m_w, m_h);
    constexpr int kTaps = 7;
    float tapWeight[kTaps];
    {
        float sum = 0.0f;
        for (int k = 0; k < kTaps; ++k) {
            const float t = static_cast<float>(k - kTaps / 2) / (kTaps / 2) * 2.5f;
            tapWeight[k] = std::exp(-0.5f * t * t);
            sum += tapWeight[k];
        }
        for (float& t : tapWeight) {
            t /= sum;
        }
    }
    const float tangentSigma = 1.0f * re;
    const float stepScale = re * 2.5f;
    const float flatEnergy = 0.0625f * m_s.knee * m_s.knee;
    const float tapStep = tangentSigma * 2.5f / (kTaps / 2);
    const float shockStep = std::max(0.5f, 0.75f * re);
    const float knee = m_s.knee;
    for (int it = 0; it < m_s.edgeAccent; ++it) {
        Luminance(s, lum);
        Gauss(lum, lum, re, tmp);
        ForRows(m_h, [&](int y, int) {
            const float* up = lum.Row(std::max(0, y - 1));
            const float* mid = lum.Row(y);
            const float* down = lum.Row(std::min(m_h - 1, y + 1));
            float* a = jxx.Row(y);
            float* b = jxy.Row(y);
            float* c = jyy.Row(y);
            for (int x = 0; x < m_w; ++x) {
                const int xl = std::max(0, x - 1), xr = std::min(m_w - 1, x + 1);
                const float gx = 0.5f * (mid[xr] - mid[xl]);
                const float gy = 0.5f * (down[x] - up[x]);
                a[x] = gx * gx;
                b[x] = gx * gy;
                c[x] = gy * gy;
            }
        });
        Gauss(jxx, jxx, re, tmp);
        Gauss(jxy, jxy, re, tmp);
        Gauss(jyy, jyy, re, tmp);
        const Sampler src{s, m_w, m_h};
        ForRows(m_h, [&](int y, int) {
            const float* a = jxx.Row(y);
            const float* b = jxy.Row(y);
            const float* c = jyy.Row(y);
            float* out[3] = {tangent.c[0].Row(y), tangent.c[1].Row(y), tangent.c[2].Row(y)};
            for (int x = 0; x < m_w; ++x) {
                const float d = a[x] - c[x];
                const float root = std::sqrt(d * d + 4.0f * b[x] * b[x]);
                // Eigenvector of the larger eigenvalue: the gradient direction.
                float vx = d + root, vy = 2.0f * b[x];
                if (d < 0.0f) {
                    vx = 2.0f * b[x];
                    vy = root - d;
                }
                const float len = std::sqrt(vx * vx + vy * vy);
                const float coherence = root / (a[x] + c[x] + 1e-12f);
                // Flat areas (no step of a quarter of the knee across the edge scale) have no
                // contour to follow; leaving them saves most of the work on cleaned images.
                const float energy = (a[x] + c[x]) * stepScale * stepScale;
                if (len < 1e-12f || coherence < 0.05f || energy < flatEnergy) {
                    for (int ch = 0; ch < 3; ++ch) {
                        out[ch][x] = s.c[ch].Row(y)[x];
                    }
                    continue;
                }
                const float tx = -vy / len * tapStep, ty = vx / len * tapStep;
                float acc[3] = {0.0f, 0.0f, 0.0f};
                for (int k = 0; k < kTaps; ++k) {
                    const float o = static_cast<float>(k - kTaps / 2);
                    float v[3];
                    src.At(static_cast<float>(x) + o * tx, static_cast<float>(y) + o * ty, v);
                    for (int ch = 0; ch < 3; ++ch) {
                        acc[ch] += tapWeight[k] * v[ch];
                    }
                }
                // Only coherent structures are drawn along; isotropic areas stay as they are.
                const float blend = std::min(1.0f, coherence * 1.25f);
                for (int ch = 0; ch < 3; ++ch) {
                    const float orig = s.c[ch].Row(y)[x];
                    out[ch][x] = orig + blend * (acc[ch] - orig);
                }
            }
        });
        const Sampler smooth{tangent, m_w, m_h};
        ForRows(m_h, [&](int y, int) {
            const float* up = lum.Row(std::max(0, y - 1));
            const float* mid = lum.Row(y);
            const float* down = lum.Row(std::min(m_h - 1, y + 1));
            for (int x = 0; x < m_w; ++x) {
                const int xl = std::max(0, x - 1), xr = std::min(m_w - 1, x + 1);
                const float gx = 0.5f * (mid[xr] - mid[xl]);
                const float gy = 0.5f * (down[x] - up[x]);
                const float g2 = gx * gx + gy * gy;
                float here[3] = {tangent.c[0].Row(y)[x], tangent.c[1].Row(y)[x],
                                 tangent.c[2].Row(y)[x]};
                // Gradient in units of the edge scale, so the gate reads the same at every
                // sampling step.
                const float gs = std::sqrt(g2) * re * 2.5f;
                if (g2 < 1e-14f || gs < 0.1f * knee) {
                    for (int ch = 0; ch < 3; ++ch) s.c[ch].Row(y)[x] = here[ch];
                    continue;
                }
                const float lxx = mid[xl] - 2.0f * mid[x] + mid[xr];
                const float lyy = up[x] - 2.0f * mid[x] + down[x];
                const float lxy = 0.25f * (down[xr] - down[xl] - up[xr] + up[xl]);
                const float inv = 1.0f / std::sqrt(g2);
                const float nx = gx * inv, ny = gy * inv;
                const float lnn = nx * nx * lxx + 2.0f * nx * ny * lxy + ny * ny * lyy;
                float fwd[3], back[3];
                smooth.At(static_cast<float>(x) + nx * shockStep,
                          static_cast<float>(y) + ny * shockStep, fwd);
                smooth.At(static_cast<float>(x) - nx * shockStep,
                          static_cast<float>(y) - ny * shockStep, back);
                // Forward points uphill: on the bright side (lnn < 0) take the brighter
                // neighbour, on the dark side the darker one.
                const float* pick = lnn < 0.0f ? fwd : back;
                const float curv = std::fabs(lnn) * re * re;
                const float gate =
                    (gs * gs / (gs * gs + knee * knee)) * (curv / (curv + 0.25f * knee));
                for (int ch = 0; ch < 3; ++ch) {
                    s.c[ch].Row(y)[x] = here[ch] + gate * (pick[ch] - here[ch]);
                }
            }
        });
    }
    m_ws.FreePlane(tmp);
    m_ws.FreePlane(lum);
    m_ws.FreePlanes(tangent);
    m_ws.FreePlane(jxx);
    m_ws.FreePlane(jxy);
    m_ws.FreePlane(jyy);
}

// The last pass, in tiles of rows and columns small enough for the cache: clamped steepening
// (an unsharp step limited to each pixel's local minimum and maximum, so edges get steeper but
// never overshoot; weak edges get more of it than strong ones), the remapped texture band, and
// the conversion to the host's format. A tile reads only s, lum and base, so the destination
// may be the source. Each tile works on its columns plus an apron wide enough that every value
// it writes is the one a whole-row computation would give.
void CGlazeRun::Output(const Planes3& s, const Plane* lum, const Plane* base, float gain) {
    const bool steepen = m_s.edgeSharpness > 0.0f && m_s.edgeGain > 0.0f;
    const float re = std::max(0.5f, m_s.edgeRadius / m_n);
    const int r = std::max(1, static_cast<int>(std::lround(re)));
    const float strength = m_s.edgeSharpness * m_s.edgeGain;
    const float knee = m_s.knee;
    float taps[2 * kMaxFirRadius + 1];
    const int fr = GaussTaps(re, taps);
    const int apron = fr + 1;  // > r as well
    // Power remap of small texture: |d| < tau becomes tau * (|d| / tau)^gamma.
    float remap[kRemapEntries + 2];
    const float tau = m_s.knee;
    for (int i = 0; i <= kRemapEntries + 1; ++i) {
        const double u = std::min(1.0, static_cast<double>(i) / kRemapEntries);
        remap[i] = static_cast<float>(tau * std::pow(u, static_cast<double>(m_s.textureGamma)));
    }
    const bool wide = m_image.pixelFormat == VWGLAZE_FORMAT_RGB16;
    auto* dst = static_cast<unsigned char*>(m_image.dstData);
    const std::ptrdiff_t stride = m_image.dstRowBytes;
    const float top = wide ? static_cast<float>(VWGLAZE_RGB16_MAX) : 255.0f;
    const int w = m_w, h = m_h;
    const int tilesAcross = (w + kOutputTile - 1) / kOutputTile;
    const int blocks = (h + kRowsPerChunk - 1) / kRowsPerChunk;
    Check(m_team.ParallelFor(blocks * tilesAcross, [&](int chunk, int thread) {
        const int y0 = (chunk / tilesAcross) * kRowsPerChunk;
        const int y1 = std::min(h, y0 + kRowsPerChunk);
        const int tx0 = (chunk % tilesAcross) * kOutputTile;
        const int tx1 = std::min(w, tx0 + kOutputTile);
        // The span [sx0, sx1) of columns worked on; arrays below are indexed from sx0.
        const int sx0 = std::max(0, tx0 - apron), sx1 = std::min(w, tx1 + apron);
        const int sw = sx1 - sx0;
        const int o0 = tx0 - sx0, tw = tx1 - tx0;  // the tile within the span
        const std::size_t spanBytes = sizeof(float) * static_cast<std::size_t>(sw);
        // Slots: 0..8 blurred rows y-1, y, y+1 of each channel (a ring), 9..11 their
        // luminance, 12 FIR padding, 13 column sums, 14 amount, 15/16 min/max, 17/18 column
        // min/max, 19 texture.
        auto blurSlot = [&](int yy, int c) { return Scratch(thread, ((yy + 3) % 3) * 3 + c); };
        auto lumSlot = [&](int yy) { return Scratch(thread, 9 + (yy + 3) % 3); };
        float* pad = Scratch(thread, 12);
        float* col = Scratch(thread, 13);
        float* amount = Scratch(thread, 14);
        float* mn = Scratch(thread, 15);
        float* mx = Scratch(thread, 16);
        float* cmn = Scratch(thread, 17);
        float* cmx = Scratch(thread, 18);
        float* tex = Scratch(thread, 19);
        // Blur of row yy (clamped into the image) into its ring slots, and its luminance.
        auto blurRow = [&](int yy) {
            const int yc = std::clamp(yy, 0, h - 1);
            const float* rows[2 * kMaxFirRadius + 1];
            for (int c = 0; c < 3; ++c) {
                for (int j = 0; j <= 2 * fr; ++j) {
                    rows[j] = s.c[c].Row(std::clamp(yc + j - fr, 0, h - 1)) + sx0;
                }
                m_k.firV(rows, taps, 2 * fr + 1, col, sw);
                FirRow(m_k, col, sw, taps, fr, pad, blurSlot(yy, c));
            }
            const float* br = blurSlot(yy, 0);
            const float* bg = blurSlot(yy, 1);
            const float* bb = blurSlot(yy, 2);
            float* l = lumSlot(yy);
            for (int x = 0; x < sw; ++x) {
                l[x] = kLumR * br[x] + kLumG * bg[x] + kLumB * bb[x];
            }
        };
        if (steepen) {
            blurRow(y0 - 1);
            blurRow(y0);
        }
        for (int y = y0; y < y1; ++y) {
            if (lum != nullptr) {
                const float* l = lum->Row(y) + tx0;
                const float* b = base->Row(y) + tx0;
                for (int x = 0; x < tw; ++x) {
                    const float d = l[x] - b[x];
                    const float a = std::fabs(d);
                    float v = a;
                    if (a < tau) {
                        const float fi = a / tau * kRemapEntries;
                        const int i = static_cast<int>(fi);
                        v = remap[i] + (fi - static_cast<float>(i)) * (remap[i + 1] - remap[i]);
                    }
                    tex[x] = gain * (d < 0.0f ? -v : v);
                }
            } else {
                std::memset(tex, 0, sizeof(float) * static_cast<std::size_t>(tw));
            }
            const float* out[3];
            if (steepen) {
                blurRow(y + 1);
                const float* up = lumSlot(y - 1);
                const float* mid = lumSlot(y);
                const float* down = lumSlot(y + 1);
                if (y == 0) up = mid;
                if (y == h - 1) down = mid;
                auto amountAt = [&](int x, int xl, int xr) {
                    const float gx = 0.5f * (mid[xr] - mid[xl]);
                    const float gy = 0.5f * (down[x] - up[x]);
                    // Step height of the edge, independent of the sampling step.
                    const float hgt = std::sqrt(gx * gx + gy * gy) * re * 2.5f;
                    amount[x] = strength * (1.0f + 3.0f * knee / (knee + hgt));
                };
                // Image borders use the one-sided neighbour; the span's inside needs no test.
                const int xa = o0 + (tx0 == 0 ? 1 : 0);
                const int xb = o0 + tw - (tx1 == w ? 1 : 0);
                if (xa > o0) amountAt(o0, o0, std::min(o0 + 1, sw - 1));
                for (int x = xa; x < xb; ++x) {
                    amountAt(x, x - 1, x + 1);
                }
                if (xb < o0 + tw) amountAt(xb, std::max(xb - 1, 0), xb);
                for (int c = 0; c < 3; ++c) {
                    // Local minimum and maximum over the (2r + 1)^2 window: columns, then rows.
                    const float* row = s.c[c].Row(y) + sx0;
                    std::memcpy(cmn, row, spanBytes);
                    std::memcpy(cmx, row, spanBytes);
                    for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r); ++yy) {
                        m_k.minRow(cmn, s.c[c].Row(yy) + sx0, sw);
                        m_k.maxRow(cmx, s.c[c].Row(yy) + sx0, sw);
                    }
                    std::memcpy(mn, cmn, spanBytes);
                    std::memcpy(mx, cmx, spanBytes);
                    for (int k = 1; k <= r && k < sw; ++k) {
                        m_k.minRow(mn + k, cmn, sw - k);
                        m_k.minRow(mn, cmn + k, sw - k);
                        m_k.maxRow(mx + k, cmx, sw - k);
                        m_k.maxRow(mx, cmx + k, sw - k);
                    }
                    const float* b = blurSlot(y, c);
                    // The steepened row replaces this channel's blur of row y, which no
                    // later row reads (the ring keeps their luminance apart).
                    float* o = blurSlot(y, c);
                    for (int x = o0; x < o0 + tw; ++x) {
                        o[x] = Clampf(row[x] + amount[x] * (row[x] - b[x]), mn[x], mx[x]);
                    }
                    out[c] = o + o0;
                }
            } else {
                for (int c = 0; c < 3; ++c) out[c] = s.c[c].Row(y) + tx0;
            }
            unsigned char* drow = dst + static_cast<std::ptrdiff_t>(y) * stride +
                                  static_cast<std::ptrdiff_t>(tx0) * (wide ? 6 : 3);
            if (wide) {
                for (int x = 0; x < tw; ++x) {
                    uint16_t q[3];
                    for (int c = 0; c < 3; ++c) {
                        q[c] = static_cast<uint16_t>(Clampf(out[c][x] + tex[x], 0.0f, 1.0f) * top +
                                                     0.5f);
                    }
                    std::memcpy(drow + 6 * static_cast<std::ptrdiff_t>(x), q, sizeof q);
                }
            } else {
                for (int x = 0; x < tw; ++x) {
                    unsigned char* p = drow + 3 * static_cast<std::ptrdiff_t>(x);
                    for (int c = 0; c < 3; ++c) {
                        p[c] = static_cast<unsigned char>(Clampf(out[c][x] + tex[x], 0.0f, 1.0f) *
                                                              top +
                                                          0.5f);
                    }
                }
            }
        }
    }));
}

int32_t CGlazeRun::Run() {
    m_team.PlanPasses(EstimatePasses());
    m_scratchStride = (static_cast<std::size_t>(m_w) + 2 * kMaxFirRadius + 16) & ~std::size_t{15};
    const std::size_t scratchFloats =
        m_scratchStride * kScratchRows * static_cast<std::size_t>(m_team.Threads());
    m_scratch = static_cast<float*>(m_ws.Alloc(scratchFloats * sizeof(float)));
    Need(m_scratch != nullptr);
    Planes3 s = NewPlanes(m_w, m_h);
    Plane lum, base;
    const bool texture = m_s.textureStrength > 0.0f;
    if (texture) {
        lum = NewPlane(m_w, m_h);
        base = NewPlane(m_w, m_h);
    }
    // Everything that reads the source runs before Output writes the destination.
    if (m_s.cleanIterations > 0) {
        Clean(s);
        if (texture) {
            ReadInput(nullptr, nullptr, 1, &lum);
        }
    } else {
        ReadInput(&s, nullptr, 1, texture ? &lum : nullptr);
    }
    if (m_s.edgeAccent > 0) {
        Accent(s);
    }
    float gain = 0.0f;
    if (texture) {
        // The image's own texture: its luminance minus an edge-aware smoothing at the texture
        // size, so strong edges stay out of the band and adding it back cannot make halos.
        gain = m_s.textureStrength;
        const float size = m_s.textureSize / m_n;
        if (size < 0.5f) {
            gain *= size / 0.5f;  // a band finer than the sampled grid is mostly averaged away
        }
        ForRows(m_h, [&](int y, int) {
            std::memcpy(base.Row(y), lum.Row(y), sizeof(float) * static_cast<std::size_t>(m_w));
        });
        const float sigma = std::max(0.5f, m_s.textureSize / m_n);
        const float t = std::max(
            0.02f, 2.0f * std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2]}));
        const float rangeScale = 1.0f / t;
        Plane* planes[1] = {&base};
        GuideSource g;
        g.nch = 1;
        g.planes[0] = &lum;
        DtFilter(planes, 1, 2.0f * sigma, g, &rangeScale, false);
    }
    Output(s, texture ? &lum : nullptr, texture ? &base : nullptr, gain);
    return m_team.Finish() ? VWGLAZE_DONE : VWGLAZE_CANCELLED;
}

}  // namespace

int32_t RunPipeline(const EngineImage& image, const GlazeSettings& settings, int threads) {
    const CFastFloatScope floatMode;
    try {
        CGlazeRun run(image, settings, threads);
        try {
            return run.Run();
        } catch (const Stop& stop) {
            return stop.code;
        }
    } catch (const std::bad_alloc&) {
        return VWGLAZE_NO_MEMORY;
    } catch (...) {
        return VWGLAZE_INTERNAL_ERROR;
    }
}

}  // namespace VG_KERNEL_NS
}  // namespace vg
