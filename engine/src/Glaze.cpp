// The glaze pipeline: clean (rolling guidance on a joint domain transform), edges (coherent
// shock accents and clamped steepening), texture (edge-aware detail band with a power remap).
#include "Glaze.h"

#include "Plane.h"
#include "WorkerTeam.h"
#include "Workspace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>

namespace vg {

namespace {

constexpr int kMaxSide = 1000000;
constexpr int kRowsPerChunk = 16;
constexpr int kColsPerChunk = 1024;
constexpr int kDtIterations = 3;
constexpr int kMaxFirRadius = 12;
constexpr float kFirSigmaLimit = 3.0f;  // above this the recursive Gaussian is used
constexpr int kRemapEntries = 1024;
constexpr float kLumR = 0.299f, kLumG = 0.587f, kLumB = 0.114f;

bool Finite(float v) {
    return std::isfinite(v);
}

float Clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Thrown inside the pipeline only, turned into a result code by RunGlaze.
struct Stop {
    int32_t code;
};

class CGlazeRun {
public:
    CGlazeRun(const EngineImage& image, const GlazeSettings& s, const RunOptions& options)
        : m_image(image),
          m_s(s),
          m_k(options.kernels != nullptr ? *options.kernels : GetKernels()),
          m_ws(image.allocProc, image.freeProc, image.hostContext),
          m_team(ThreadsFor(image, options.threads), image.progressCallback, image.hostContext),
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
    Plane NewPlane() {
        Plane p;
        Need(m_ws.AllocPlane(p, m_w, m_h));
        return p;
    }

    template <class Body>
    void ForRows(const Body& body) {
        ForRows(m_h, body);
    }
    template <class Body>
    void ForRows(int h, const Body& body) {
        const int chunks = (h + kRowsPerChunk - 1) / kRowsPerChunk;
        Check(m_team.ParallelFor(chunks, [&](int i, int thread) {
            const int y0 = i * kRowsPerChunk;
            const int y1 = std::min(h, y0 + kRowsPerChunk);
            for (int y = y0; y < y1; ++y) {
                body(y, thread);
            }
        }));
    }
    // Column strips for the passes down the image. Where columns are independent the strip
    // width is free, and wide strips keep each row's access long and sequential; `fixed`
    // strips (for passes whose links cross columns) never depend on the thread count.
    template <class Body>
    void ForColumns(int w, const Body& body, bool fixed = false) {
        int strip = kColsPerChunk;
        if (!fixed) {
            const int parts = 2 * m_team.Threads();
            strip = std::max(kColsPerChunk / 4, ((w + parts - 1) / parts + 15) & ~15);
        }
        const int chunks = (w + strip - 1) / strip;
        Check(m_team.ParallelFor(chunks, [&](int i, int thread) {
            const int x0 = i * strip;
            body(x0, std::min(w, x0 + strip) - x0, thread);
        }));
    }
    float* Scratch(int thread, int slot) {
        return m_scratch +
               (static_cast<std::size_t>(thread) * kScratchRows + slot) * m_scratchStride;
    }

    int EstimatePasses() const;
    int CleanScale(float radius) const;
    void ReadInput(Planes3& in);
    // dst = Gauss(src); dst may be src; tmp is a spare plane of the same size.
    void Gauss(const Plane& src, Plane& dst, float sigma, Plane& tmp);
    void Gauss(Plane& plane, float sigma, Plane& tmp) { Gauss(plane, plane, sigma, tmp); }
    void GaussFir(const Plane& src, Plane& dst, float sigma, Plane& tmp);
    void GaussIir(const Plane& src, Plane& dst, float sigma);
    void Luminance(const Planes3& src, Plane& dst);
    void DtWeights(Plane* const* guide, int nch, const float* scale, float k, int dx, int dy,
                   Plane& wt);
    void DtRowPass(Plane* const* planes, int nch, const Plane& wt, int dx, int it);
    void DtFilter(Plane* const* planes, int nch, float sigmaS, Plane* const* guide,
                  const float* rangeScale, Plane& wH, Plane& wV, bool diagonal);
    void Clean(const Planes3& in, Planes3& out);
    void Downsample(const Plane& src, Plane& dst, int f);
    void Upsample(const Plane& src, Plane& dst, int f);
    void Accent(Planes3& s);
    void Steepen(Planes3& s);
    void TextureBand(const Planes3& in, Plane& lum, Plane& base);
    void WriteOutput(const Planes3& s, const Plane* lum, const Plane* base, float gain);

    static constexpr int kScratchRows = 4;

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
    Plane m_wH, m_wV;  // domain-transform link weights, also the stages' spare planes
};

// The number of parallel loops Run will make, for the progress total. It mirrors the stages
// below loop for loop: a copy of three planes is 3 loops, a Gaussian 2 per plane, a
// domain transform 8 (12 with its diagonal pass).
int CGlazeRun::EstimatePasses() const {
    int passes = 2;  // input and output
    if (m_s.cleanIterations > 0) {
        const int k = m_s.cleanIterations;
        const float radius = std::max(0.5f, m_s.cleanRadius / m_n);
        const int f = CleanScale(radius);
        passes += (f > 1 ? 6 : 0) + 6 + (k - 1) * (3 + 12) + 3 + 12;
    } else {
        passes += 3;
    }
    passes += m_s.edgeAccent * 12;
    if (m_s.edgeSharpness > 0.0f && m_s.edgeGain > 0.0f) {
        passes += 6 + 2 + 6;
    }
    if (m_s.textureStrength > 0.0f) {
        passes += 2 + 8;
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

void CGlazeRun::ReadInput(Planes3& in) {
    const bool wide = m_image.pixelFormat == VWGLAZE_FORMAT_RGB16;
    const auto* src = static_cast<const unsigned char*>(m_image.srcData);
    const std::ptrdiff_t stride = m_image.srcRowBytes;
    float lut8[256];
    for (int i = 0; i < 256; ++i) {
        lut8[i] = static_cast<float>(i) / 255.0f;
    }
    ForRows([&](int y, int) {
        const unsigned char* row = src + y * stride;
        float* r = in.c[0].Row(y);
        float* g = in.c[1].Row(y);
        float* b = in.c[2].Row(y);
        if (wide) {
            const float scale = 1.0f / VWGLAZE_RGB16_MAX;
            for (int x = 0; x < m_w; ++x) {
                uint16_t v[3];
                std::memcpy(v, row + 6 * static_cast<std::ptrdiff_t>(x), sizeof v);
                r[x] = std::min(1.0f, v[0] * scale);
                g[x] = std::min(1.0f, v[1] * scale);
                b[x] = std::min(1.0f, v[2] * scale);
            }
        } else {
            for (int x = 0; x < m_w; ++x) {
                const unsigned char* p = row + 3 * static_cast<std::ptrdiff_t>(x);
                r[x] = lut8[p[0]];
                g[x] = lut8[p[1]];
                b[x] = lut8[p[2]];
            }
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

void CGlazeRun::GaussFir(const Plane& plane, Plane& dst, float sigma, Plane& tmp) {
    const int w = plane.width, h = plane.height;
    const int radius = std::min(kMaxFirRadius, static_cast<int>(std::ceil(3.0f * sigma)));
    const int ntaps = 2 * radius + 1;
    float taps[2 * kMaxFirRadius + 1];
    double sum = 0.0;
    for (int k = -radius; k <= radius; ++k) {
        sum += std::exp(-0.5 * k * k / (static_cast<double>(sigma) * sigma));
    }
    for (int k = -radius; k <= radius; ++k) {
        taps[k + radius] =
            static_cast<float>(std::exp(-0.5 * k * k / (static_cast<double>(sigma) * sigma)) / sum);
    }
    ForRows(h, [&](int y, int thread) {
        float* pad = Scratch(thread, 0);
        const float* row = plane.Row(y);
        for (int k = 0; k < radius; ++k) {
            pad[k] = row[0];
            pad[radius + w + k] = row[w - 1];
        }
        std::memcpy(pad + radius, row, sizeof(float) * static_cast<std::size_t>(w));
        m_k.firH(pad, taps, ntaps, tmp.Row(y), w);
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
    // Four rows at a time: their recursions are independent, which hides each one's latency.
    const int chunks = (h + kRowsPerChunk - 1) / kRowsPerChunk;
    Check(m_team.ParallelFor(chunks, [&](int i, int) {
        constexpr int kTogether = 4;
        const int y0 = i * kRowsPerChunk, y1 = std::min(h, y0 + kRowsPerChunk);
        for (int y = y0; y < y1; y += kTogether) {
            const int m = std::min(kTogether, y1 - y);
            float* r[kTogether];
            float p0[kTogether], p1[kTogether], p2[kTogether];
            for (int j = 0; j < m; ++j) {
                r[j] = plane.Row(y + j);
                if (src.data != plane.data) {
                    std::memcpy(r[j], src.Row(y + j), sizeof(float) * static_cast<std::size_t>(w));
                }
            }
            for (int j = 0; j < m; ++j) {
                p0[j] = p1[j] = p2[j] = r[j][0];
            }
            for (int x = 0; x < w; ++x) {
                for (int j = 0; j < m; ++j) {
                    const float v = bb * r[j][x] + c0 * p0[j] + c1 * p1[j] + c2 * p2[j];
                    r[j][x] = v;
                    p2[j] = p1[j];
                    p1[j] = p0[j];
                    p0[j] = v;
                }
            }
            for (int j = 0; j < m; ++j) {
                p0[j] = p1[j] = p2[j] = r[j][w - 1];
            }
            for (int x = w - 1; x >= 0; --x) {
                for (int j = 0; j < m; ++j) {
                    const float v = bb * r[j][x] + c0 * p0[j] + c1 * p1[j] + c2 * p2[j];
                    r[j][x] = v;
                    p2[j] = p1[j];
                    p1[j] = p0[j];
                    p0[j] = v;
                }
            }
        }
    }));
    ForColumns(w, [&](int x0, int n, int) {
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
    const int w = dst.width, h = dst.height;
    ForRows(h, [&](int y, int) {
        const float* r = src.c[0].Row(y);
        const float* g = src.c[1].Row(y);
        const float* b = src.c[2].Row(y);
        float* o = dst.Row(y);
        for (int x = 0; x < w; ++x) {
            o[x] = kLumR * r[x] + kLumG * g[x] + kLumB * b[x];
        }
    });
}

// Link weights of the domain transform from `guide`: wt[y][x] joins (x, y) to its
// neighbour (x + dx, y + dy), dy being 0 (horizontal, dx = -1) or -1 (the row above).
void CGlazeRun::DtWeights(Plane* const* guide, int nch, const float* scale, float k, int dx, int dy,
                          Plane& wt) {
    const int w = wt.width, h = wt.height;
    const float base = (dx != 0 && dy != 0) ? 1.41421356f : 1.0f;
    const int cs = std::max(0, -dx);
    const int n = w - std::abs(dx);
    ForRows(h, [&](int y, int) {
        float* row = wt.Row(y);
        if (y + dy < 0 || n <= 0) {
            std::memset(row, 0, sizeof(float) * static_cast<std::size_t>(w));
            return;
        }
        const float* a[3];
        const float* b[3];
        for (int c = 0; c < nch; ++c) {
            a[c] = guide[c]->Row(y) + cs;
            b[c] = guide[c]->Row(y + dy) + cs + dx;
        }
        if (cs > 0) {
            row[0] = 0.0f;
        }
        if (n < w && cs == 0) {
            row[w - 1] = 0.0f;
        }
        m_k.dtWeights(a, b, nch, scale, base, k, row + cs, n);
    });
}

// One pass of the recursion down the rows and back up, along links from (x + dx, y - 1) to
// (x, y) with weights wt[y][x]. Column strips are independent: a diagonal link that would
// cross a strip boundary is left out, so the result does not depend on the thread count.
void CGlazeRun::DtRowPass(Plane* const* planes, int nch, const Plane& wt, int dx, int it) {
    const int w = wt.width, h = wt.height;
    ForColumns(
        w,
        [&](int x0, int cols, int) {
            float* cur[3];
            const float* other[3];
            const int n = cols - std::abs(dx);
            if (n <= 0) {
                return;
            }
            const int fs = x0 + std::max(0, -dx);
            for (int y = 1; y < h; ++y) {
                for (int c = 0; c < nch; ++c) {
                    cur[c] = planes[c]->Row(y) + fs;
                    other[c] = planes[c]->Row(y - 1) + fs + dx;
                }
                m_k.dtStepV(cur, other, nch, wt.Row(y) + fs, it, n);
            }
            const int bs = x0 + std::max(0, dx);
            for (int y = h - 2; y >= 0; --y) {
                for (int c = 0; c < nch; ++c) {
                    cur[c] = planes[c]->Row(y) + bs;
                    other[c] = planes[c]->Row(y + 1) + bs - dx;
                }
                m_k.dtStepV(cur, other, nch, wt.Row(y + 1) + bs - dx, it, n);
            }
        },
        dx != 0);
}

// Domain transform, recursive form: kDtIterations passes, each along rows and columns and,
// when `diagonal` is set, along both diagonals too, which keeps the axis-aligned streaks of
// the plain separable filter out of flattened areas. Edge distances come from `guide` (which
// may be `planes` themselves).
void CGlazeRun::DtFilter(Plane* const* planes, int nch, float sigmaS, Plane* const* guide,
                         const float* rangeScale, Plane& wH, Plane& wV, bool diagonal) {
    const int w = wH.width, h = wH.height;
    const double n = kDtIterations;
    const double sigmaH1 =
        sigmaS * std::sqrt(3.0) * std::pow(2.0, n - 1) / std::sqrt(std::pow(4.0, n) - 1.0);
    float scale[3];
    for (int c = 0; c < nch; ++c) {
        scale[c] = sigmaS * rangeScale[c];
    }
    const float k = static_cast<float>(std::sqrt(2.0) / sigmaH1);
    DtWeights(guide, nch, scale, k, -1, 0, wH);
    DtWeights(guide, nch, scale, k, 0, -1, wV);
    Plane wD, wA;
    if (diagonal) {
        Need(m_ws.AllocPlane(wD, w, h) && m_ws.AllocPlane(wA, w, h));
        DtWeights(guide, nch, scale, k, -1, -1, wD);
        DtWeights(guide, nch, scale, k, 1, -1, wA);
    }
    // Each iteration halves sigma_H, which squares the link weights.
    for (int it = 0; it < kDtIterations; ++it) {
        const int chunks = (h + kRowsPerChunk - 1) / kRowsPerChunk;
        Check(m_team.ParallelFor(chunks, [&](int i, int) {
            constexpr int kTogether = 4;
            const int y0 = i * kRowsPerChunk, y1 = std::min(h, y0 + kRowsPerChunk);
            for (int y = y0; y < y1; y += kTogether) {
                float* rows[3 * kTogether];
                const float* weights[3 * kTogether];
                int chains = 0;
                for (int yy = y; yy < std::min(y1, y + kTogether); ++yy) {
                    for (int c = 0; c < nch; ++c) {
                        rows[chains] = planes[c]->Row(yy);
                        weights[chains] = wH.Row(yy);
                        ++chains;
                    }
                }
                m_k.dtSweepH(rows, weights, chains, it, w);
            }
        }));
        DtRowPass(planes, nch, wV, 0, it);
        // Streaks come from the long reach of the first iteration; later ones reach a half
        // and a quarter as far and keep to rows and columns.
        if (diagonal && it == 0) {
            DtRowPass(planes, nch, wD, -1, it);
            DtRowPass(planes, nch, wA, 1, it);
        }
    }
    if (diagonal) {
        m_ws.FreePlane(wA);
        m_ws.FreePlane(wD);
    }
}

// Rolling guidance: a Gaussian seed forgets every structure smaller than the radius, then
// each joint pass filters the input under the previous result, which brings back the edges
// of the large structures while features below the threshold stay flat. For large radii all
// passes but the last run at 1/2 or 1/4 resolution; the last always runs at full resolution.
void CGlazeRun::Clean(const Planes3& in, Planes3& out) {
    const float radius = std::max(0.5f, m_s.cleanRadius / m_n);
    const int passes = m_s.cleanIterations;
    const int f = CleanScale(radius);
    float rangeScale[3];
    for (int c = 0; c < 3; ++c) {
        rangeScale[c] = m_s.factors[c] / std::max(m_s.thresholds[c], 1e-4f);
    }
    auto copy = [&](const Planes3& from, Planes3& to) {
        const int w = from.c[0].width;
        for (int c = 0; c < 3; ++c) {
            ForRows(from.c[0].height, [&](int y, int) {
                std::memcpy(to.c[c].Row(y), from.c[c].Row(y),
                            sizeof(float) * static_cast<std::size_t>(w));
            });
        }
    };
    // Seed and all passes but the last on (src, a, b) with weights (wh, wv): result in a.
    auto rolling = [&](const Planes3& src, Planes3& a, Planes3& b, float r, Plane& wh, Plane& wv) {
        for (int c = 0; c < 3; ++c) {
            Gauss(src.c[c], a.c[c], r, b.c[c]);
        }
        for (int pass = 0; pass + 1 < passes; ++pass) {
            copy(src, b);
            Plane* planes[3] = {&b.c[0], &b.c[1], &b.c[2]};
            Plane* g[3] = {&a.c[0], &a.c[1], &a.c[2]};
            DtFilter(planes, 3, 2.0f * r, g, rangeScale, wh, wv, true);
            for (int c = 0; c < 3; ++c) {
                std::swap(a.c[c], b.c[c]);
            }
        }
    };
    Planes3 guide;
    Need(m_ws.AllocPlanes(guide, m_w, m_h));
    if (f > 1) {
        const int lw = (m_w + f - 1) / f, lh = (m_h + f - 1) / f;
        Planes3 low, a, b;
        Plane wh, wv;
        Need(m_ws.AllocPlanes(low, lw, lh) && m_ws.AllocPlanes(a, lw, lh) &&
             m_ws.AllocPlanes(b, lw, lh) && m_ws.AllocPlane(wh, lw, lh) &&
             m_ws.AllocPlane(wv, lw, lh));
        for (int c = 0; c < 3; ++c) {
            Downsample(in.c[c], low.c[c], f);
        }
        rolling(low, a, b, radius / static_cast<float>(f), wh, wv);
        for (int c = 0; c < 3; ++c) {
            Upsample(a.c[c], guide.c[c], f);
        }
        m_ws.FreePlane(wv);
        m_ws.FreePlane(wh);
        m_ws.FreePlanes(b);
        m_ws.FreePlanes(a);
        m_ws.FreePlanes(low);
    } else {
        rolling(in, guide, out, radius, m_wH, m_wV);
    }
    copy(in, out);
    Plane* planes[3] = {&out.c[0], &out.c[1], &out.c[2]};
    Plane* g[3] = {&guide.c[0], &guide.c[1], &guide.c[2]};
    DtFilter(planes, 3, 2.0f * radius, g, rangeScale, m_wH, m_wV, true);
    m_ws.FreePlanes(guide);
}

// Mean of each f x f block (the last blocks clipped to the image).
void CGlazeRun::Downsample(const Plane& src, Plane& dst, int f) {
    ForRows(dst.height, [&](int y, int) {
        float* o = dst.Row(y);
        const int y0 = y * f, y1 = std::min(src.height, y0 + f);
        for (int x = 0; x < dst.width; ++x) {
            const int x0 = x * f, x1 = std::min(src.width, x0 + f);
            float sum = 0.0f;
            for (int yy = y0; yy < y1; ++yy) {
                const float* r = src.Row(yy);
                for (int xx = x0; xx < x1; ++xx) {
                    sum += r[xx];
                }
            }
            o[x] = sum / static_cast<float>((y1 - y0) * (x1 - x0));
        }
    });
}

// Bilinear interpolation from the block centres of a Downsample result: first between two
// source rows, then along the row.
void CGlazeRun::Upsample(const Plane& src, Plane& dst, int f) {
    const float offset = 0.5f * static_cast<float>(f - 1);
    const float inv = 1.0f / static_cast<float>(f);
    ForRows(dst.height, [&](int y, int thread) {
        const float fy = Clampf((static_cast<float>(y) - offset) * inv, 0.0f,
                                static_cast<float>(src.height - 1));
        const int y0 = std::min(static_cast<int>(fy), src.height - 1);
        const int y1 = std::min(y0 + 1, src.height - 1);
        const float ay = fy - static_cast<float>(y0);
        const float* r0 = src.Row(y0);
        const float* r1 = src.Row(y1);
        float* line = Scratch(thread, 0);
        for (int x = 0; x < src.width; ++x) {
            line[x] = r0[x] + ay * (r1[x] - r0[x]);
        }
        line[src.width] = line[src.width - 1];
        float* o = dst.Row(y);
        for (int x = 0; x < dst.width; ++x) {
            const float fx = Clampf((static_cast<float>(x) - offset) * inv, 0.0f,
                                    static_cast<float>(src.width - 1));
            const int x0 = static_cast<int>(fx);
            o[x] = line[x0] + (fx - static_cast<float>(x0)) * (line[x0 + 1] - line[x0]);
        }
    });
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
    Planes3 tangent;
    Plane jxx = NewPlane(), jxy = NewPlane(), jyy = NewPlane();
    Need(m_ws.AllocPlanes(tangent, m_w, m_h));
    Plane& lum = m_wH;
    Plane& tmp = m_wV;
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
        Gauss(lum, re, tmp);
        ForRows([&](int y, int) {
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
        Gauss(jxx, re, tmp);
        Gauss(jxy, re, tmp);
        Gauss(jyy, re, tmp);
        const Sampler src{s, m_w, m_h};
        ForRows([&](int y, int) {
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
        ForRows([&](int y, int) {
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
                const float lxy =
                    0.25f *
                    (lum.Row(std::min(m_h - 1, y + 1))[xr] - lum.Row(std::min(m_h - 1, y + 1))[xl] -
                     lum.Row(std::max(0, y - 1))[xr] + lum.Row(std::max(0, y - 1))[xl]);
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
    m_ws.FreePlanes(tangent);
    m_ws.FreePlane(jxx);
    m_ws.FreePlane(jxy);
    m_ws.FreePlane(jyy);
}

// Unsharp steepening limited to each pixel's local minimum and maximum, so edges get steeper
// but never overshoot (no halo); weak edges get more of it than strong ones.
void CGlazeRun::Steepen(Planes3& s) {
    const float re = std::max(0.5f, m_s.edgeRadius / m_n);
    const int r = std::max(1, static_cast<int>(std::lround(re)));
    const float strength = m_s.edgeSharpness * m_s.edgeGain;
    const float knee = m_s.knee;
    Planes3 blur;
    Need(m_ws.AllocPlanes(blur, m_w, m_h));
    Plane amount = NewPlane();
    for (int c = 0; c < 3; ++c) {
        Gauss(s.c[c], blur.c[c], re, m_wH);
    }
    Luminance(blur, m_wV);
    const Plane& lum = m_wV;
    ForRows([&](int y, int) {
        const float* up = lum.Row(std::max(0, y - 1));
        const float* mid = lum.Row(y);
        const float* down = lum.Row(std::min(m_h - 1, y + 1));
        float* o = amount.Row(y);
        for (int x = 0; x < m_w; ++x) {
            const int xl = std::max(0, x - 1), xr = std::min(m_w - 1, x + 1);
            const float gx = 0.5f * (mid[xr] - mid[xl]);
            const float gy = 0.5f * (down[x] - up[x]);
            // Step height of the edge, independent of the sampling step.
            const float h = std::sqrt(gx * gx + gy * gy) * re * 2.5f;
            o[x] = strength * (1.0f + 3.0f * knee / (knee + h));
        }
    });
    Plane& hmin = m_wH;
    Plane& hmax = m_wV;
    for (int c = 0; c < 3; ++c) {
        Plane& p = s.c[c];
        ForRows([&](int y, int) {
            const float* row = p.Row(y);
            float* mn = hmin.Row(y);
            float* mx = hmax.Row(y);
            const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(m_w);
            std::memcpy(mn, row, bytes);
            std::memcpy(mx, row, bytes);
            for (int k = 1; k <= r && k < m_w; ++k) {
                m_k.minRow(mn + k, row, m_w - k);
                m_k.minRow(mn, row + k, m_w - k);
                m_k.maxRow(mx + k, row, m_w - k);
                m_k.maxRow(mx, row + k, m_w - k);
            }
        });
        ForRows([&](int y, int thread) {
            float* mn = Scratch(thread, 0);
            float* mx = Scratch(thread, 1);
            const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(m_w);
            std::memcpy(mn, hmin.Row(y), bytes);
            std::memcpy(mx, hmax.Row(y), bytes);
            for (int k = std::max(0, y - r); k <= std::min(m_h - 1, y + r); ++k) {
                m_k.minRow(mn, hmin.Row(k), m_w);
                m_k.maxRow(mx, hmax.Row(k), m_w);
            }
            float* row = p.Row(y);
            const float* b = blur.c[c].Row(y);
            const float* a = amount.Row(y);
            for (int x = 0; x < m_w; ++x) {
                row[x] = Clampf(row[x] + a[x] * (row[x] - b[x]), mn[x], mx[x]);
            }
        });
    }
    m_ws.FreePlane(amount);
    m_ws.FreePlanes(blur);
}

// The image's own texture: its luminance minus an edge-aware smoothing at the texture size,
// so strong edges stay out of the band and adding it back cannot make halos.
void CGlazeRun::TextureBand(const Planes3& in, Plane& lum, Plane& base) {
    Luminance(in, lum);
    ForRows([&](int y, int) {
        std::memcpy(base.Row(y), lum.Row(y), sizeof(float) * static_cast<std::size_t>(m_w));
    });
    const float sigma = std::max(0.5f, m_s.textureSize / m_n);
    const float t =
        std::max(0.02f, 2.0f * std::max({m_s.thresholds[0], m_s.thresholds[1], m_s.thresholds[2]}));
    const float rangeScale = 1.0f / t;
    Plane* planes[1] = {&base};
    Plane* guide[1] = {&lum};
    DtFilter(planes, 1, 2.0f * sigma, guide, &rangeScale, m_wH, m_wV, false);
}

void CGlazeRun::WriteOutput(const Planes3& s, const Plane* lum, const Plane* base, float gain) {
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
    ForRows([&](int y, int thread) {
        float* tex = Scratch(thread, 0);
        if (lum != nullptr) {
            const float* l = lum->Row(y);
            const float* b = base->Row(y);
            for (int x = 0; x < m_w; ++x) {
                const float d = l[x] - b[x];
                const float a = std::fabs(d);
                float v = a;
                if (a < tau) {
                    const float f = a / tau * kRemapEntries;
                    const int i = static_cast<int>(f);
                    v = remap[i] + (f - static_cast<float>(i)) * (remap[i + 1] - remap[i]);
                }
                tex[x] = gain * (d < 0.0f ? -v : v);
            }
        } else {
            std::memset(tex, 0, sizeof(float) * static_cast<std::size_t>(m_w));
        }
        const float* r = s.c[0].Row(y);
        const float* g = s.c[1].Row(y);
        const float* b = s.c[2].Row(y);
        unsigned char* row = dst + y * stride;
        for (int x = 0; x < m_w; ++x) {
            const float v[3] = {r[x] + tex[x], g[x] + tex[x], b[x] + tex[x]};
            if (wide) {
                uint16_t q[3];
                for (int c = 0; c < 3; ++c) {
                    q[c] = static_cast<uint16_t>(Clampf(v[c], 0.0f, 1.0f) * top + 0.5f);
                }
                std::memcpy(row + 6 * static_cast<std::ptrdiff_t>(x), q, sizeof q);
            } else {
                unsigned char* p = row + 3 * static_cast<std::ptrdiff_t>(x);
                for (int c = 0; c < 3; ++c) {
                    p[c] = static_cast<unsigned char>(Clampf(v[c], 0.0f, 1.0f) * top + 0.5f);
                }
            }
        }
    });
}

int32_t CGlazeRun::Run() {
    m_team.PlanPasses(EstimatePasses());
    m_scratchStride = (static_cast<std::size_t>(m_w) + 2 * kMaxFirRadius + 16) & ~std::size_t{15};
    const std::size_t scratchFloats =
        m_scratchStride * kScratchRows * static_cast<std::size_t>(m_team.Threads());
    m_scratch = static_cast<float*>(m_ws.Alloc(scratchFloats * sizeof(float)));
    Need(m_scratch != nullptr);
    Planes3 in, s;
    Need(m_ws.AllocPlanes(in, m_w, m_h));
    Need(m_ws.AllocPlanes(s, m_w, m_h));
    m_wH = NewPlane();
    m_wV = NewPlane();
    ReadInput(in);
    if (m_s.cleanIterations > 0) {
        Clean(in, s);
    } else {
        for (int c = 0; c < 3; ++c) {
            ForRows([&](int y, int) {
                std::memcpy(s.c[c].Row(y), in.c[c].Row(y),
                            sizeof(float) * static_cast<std::size_t>(m_w));
            });
        }
    }
    if (m_s.edgeAccent > 0) {
        Accent(s);
    }
    if (m_s.edgeSharpness > 0.0f && m_s.edgeGain > 0.0f) {
        Steepen(s);
    }
    if (m_s.textureStrength > 0.0f) {
        float gain = m_s.textureStrength;
        const float size = m_s.textureSize / m_n;
        if (size < 0.5f) {
            gain *= size / 0.5f;  // a band finer than the sampled grid is mostly averaged away
        }
        Plane lum = NewPlane();
        Plane base = NewPlane();
        TextureBand(in, lum, base);
        WriteOutput(s, &lum, &base, gain);
    } else {
        WriteOutput(s, nullptr, nullptr, 0.0f);
    }
    return m_team.Finish() ? VWGLAZE_DONE : VWGLAZE_CANCELLED;
}

}  // namespace

int32_t MakeSettings(const EngineImage* image, int32_t mode, int32_t cleanStrength,
                     const float* channelThresholds, float cleanRadius, const float* channelFactors,
                     float edgeRadius, float edgeSharpness, int32_t edgeAccent, float edgeKnee,
                     float textureStrength, float textureGamma, float textureSize,
                     GlazeSettings& s) {
    (void)mode;  // the plug-in passes 1; no other behaviour is defined for it
    if (image == nullptr || channelThresholds == nullptr || channelFactors == nullptr) {
        return VWGLAZE_BAD_PARAMETERS;
    }
    const EngineImage& im = *image;
    if (im.srcData == nullptr || im.dstData == nullptr || im.allocProc == nullptr ||
        im.freeProc == nullptr) {
        return VWGLAZE_BAD_PARAMETERS;
    }
    int bytesPerPixel = 0;
    if (im.pixelFormat == VWGLAZE_FORMAT_RGB8) {
        bytesPerPixel = 3;
    } else if (im.pixelFormat == VWGLAZE_FORMAT_RGB16) {
        bytesPerPixel = 6;
    } else {
        return VWGLAZE_BAD_PARAMETERS;
    }
    if (im.width <= 0 || im.height <= 0 || im.width > kMaxSide || im.height > kMaxSide ||
        im.sampleStep < 1) {
        return VWGLAZE_BAD_PARAMETERS;
    }
    const long long rowBytes = static_cast<long long>(im.width) * bytesPerPixel;
    if (im.srcRowBytes < rowBytes || im.dstRowBytes < rowBytes) {
        return VWGLAZE_BAD_PARAMETERS;
    }
    const float values[] = {channelThresholds[0], channelThresholds[1],
                            channelThresholds[2], channelFactors[0],
                            channelFactors[1],    channelFactors[2],
                            cleanRadius,          edgeRadius,
                            edgeSharpness,        edgeKnee,
                            textureStrength,      textureGamma,
                            textureSize};
    for (float v : values) {
        if (!Finite(v)) {
            return VWGLAZE_BAD_PARAMETERS;
        }
    }
    // Scripted values reach the engine unchecked; keep every stage inside the range it is
    // built for rather than failing the run.
    s = GlazeSettings{};
    const int strength = std::clamp(cleanStrength, 0, 8);
    bool anyThreshold = false;
    for (int c = 0; c < 3; ++c) {
        s.thresholds[c] = Clampf(channelThresholds[c], 0.0f, 1.0f);
        s.factors[c] = Clampf(channelFactors[c], 0.0f, 16.0f);
        anyThreshold = anyThreshold || s.thresholds[c] > 0.0f;
    }
    s.cleanIterations = anyThreshold ? 2 + strength : 0;
    s.cleanRadius = Clampf(cleanRadius, 0.8f, 200.0f);
    s.edgeRadius = Clampf(edgeRadius, 0.5f, 8.0f);
    s.edgeSharpness = Clampf(edgeSharpness, 0.0f, 6.0f);
    s.edgeGain = 0.5f + static_cast<float>(strength) / 8.0f;
    s.edgeAccent = std::clamp(edgeAccent, 0, 10);
    s.knee = edgeKnee > 0.0f ? Clampf(edgeKnee, 0.001f, 1.0f) : 0.025f;
    s.textureStrength = Clampf(textureStrength, 0.0f, 4.0f);
    s.textureGamma = Clampf(textureGamma, 0.1f, 10.0f);
    s.textureSize = Clampf(textureSize, 0.5f, 32.0f);
    s.sampleStep = im.sampleStep;
    return VWGLAZE_DONE;
}

int32_t RunGlaze(const EngineImage& image, const GlazeSettings& settings,
                 const RunOptions& options) {
    const CFastFloatScope floatMode;
    try {
        CGlazeRun run(image, settings, options);
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

int32_t GlazeRGB(const RunOptions& options, const EngineImage* image, int32_t mode,
                 int32_t cleanStrength, const float* channelThresholds, float cleanRadius,
                 const float* channelFactors, float edgeRadius, float edgeSharpness,
                 int32_t edgeAccent, float edgeKnee, float textureStrength, float textureGamma,
                 float textureSize) {
    GlazeSettings settings;
    const int32_t rc = MakeSettings(image, mode, cleanStrength, channelThresholds, cleanRadius,
                                    channelFactors, edgeRadius, edgeSharpness, edgeAccent, edgeKnee,
                                    textureStrength, textureGamma, textureSize, settings);
    if (rc != VWGLAZE_DONE) {
        return rc;
    }
    return RunGlaze(*image, settings, options);
}

}  // namespace vg
