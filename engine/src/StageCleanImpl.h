// The clean stage (part of the per-instruction-set pipeline, after GlazeRunImpl.h): rolling
// guidance on a bilateral grid, then a residual gate that brings back what is both small and
// strong (thin lines, lettering), so that only weak detail stays removed.
//
// The grid smooths in space and in a range coordinate z (the guide's weighted luminance in
// units of the threshold): pixels are splatted with tent weights into cells of half the
// spatial sigma and one range sigma, the cells are blurred with Gaussians, and each pixel
// reads its value back at its guide's (x, y, z). Every direction is treated alike (no
// recursive passes along rows and columns, whose streaks built an axis-aligned mosaic), and
// fine cells keep the result nearly independent of where the image starts. The grid is built
// per tile with aprons, so its memory follows the tile, and tiles are fixed by the image, so
// the result does not depend on the thread count. Outside the image the values and the guide
// continue by odd reflection: a ramp's mean stays on the ramp up to the border.

namespace vg {
namespace VG_KERNEL_NS {
namespace {

constexpr int kMaxGridRadius = 8;       // spatial blur taps of the grid, each side
constexpr int kRangeRadius = 2;         // range blur taps, each side
constexpr std::size_t kGridTileFloats = 1u << 21;  // one of a thread's two grid buffers
constexpr float kGateKnee = 1.5f;       // residual RMS, in thresholds, that is half restored
constexpr float kGateSigma = 1.5f;      // window of the residual's RMS, in pixels
constexpr float kVirtualRange = 3.0f;   // reflected pixels this far beyond the range are left out

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
    // The first pixel whose cell is at least ci.
    int FirstPixel(int ci, float c) const {
        int x = static_cast<int>(std::ceil(static_cast<double>(ci) * c));
        while (CellOf(x - 1) >= ci) --x;
        while (CellOf(x) < ci) ++x;
        return x;
    }
};

// Row y (any integer) of a plane over columns [xa, xa + n), continued outside the image by odd
// reflection about the border pixels. tmp holds n floats.
void ReflectedRow(const Plane& p, int y, int xa, int n, float* out, float* tmp) {
    const int w = p.width, h = p.height;
    auto fill = [&](int yy, float* o) {
        const float* row = p.Row(yy);
        if (xa >= 0 && xa + n <= w) {
            std::memcpy(o, row + xa, sizeof(float) * static_cast<std::size_t>(n));
            return;
        }
        for (int j = 0; j < n; ++j) {
            const int x = xa + j;
            if (x >= 0 && x < w) {
                o[j] = row[x];
            } else {
                const int edge = x < 0 ? 0 : w - 1;
                o[j] = 2.0f * row[edge] - row[Mirror(x, w)];
            }
        }
    };
    if (y >= 0 && y < h) {
        fill(y, out);
        return;
    }
    fill(y < 0 ? 0 : h - 1, out);
    fill(Mirror(y, h), tmp);
    for (int j = 0; j < n; ++j) out[j] = 2.0f * out[j] - tmp[j];
}

// Adds one row of pixels to the grid: cell column cx[j] with weight 1 - fx[j] and the next,
// at range bin z[j] - zlo likewise, into the two cell rows at g0 (weights wy0) and g0 + sy.
template <int V, bool Ranged>
void SplatRow(float* g0, std::size_t sy, std::size_t sz, const int* cx, const float* fx,
              const float* const* vals, const float* z, float zlo, float zmin, float zmax,
              float fy, int n) {
    const float wy0 = 1.0f - fy, wy1 = fy;
    for (int j = 0; j < n; ++j) {
        float zf = 0.0f;
        if constexpr (Ranged) {
            const float zz = z[j];
            if (!(zz >= zmin && zz <= zmax)) continue;  // only reflected pixels
            zf = zz - zlo;
        }
        const int iz = static_cast<int>(zf);
        const float fz = zf - static_cast<float>(iz);
        float val[V];
        for (int v = 0; v + 1 < V; ++v) val[v] = vals[v][j];
        val[V - 1] = 1.0f;
        float* p = g0 + static_cast<std::size_t>(cx[j]) * sz + static_cast<std::size_t>(iz) * V;
        const float wx0 = 1.0f - fx[j], wx1 = fx[j];
        const float w4[4] = {wy0 * wx0, wy0 * wx1, wy1 * wx0, wy1 * wx1};
        float* q4[4] = {p, p + sz, p + sy, p + sy + sz};
        for (int k = 0; k < 4; ++k) {
            float* q = q4[k];
            if constexpr (Ranged) {
                const float a = w4[k] * (1.0f - fz), b = w4[k] * fz;
                for (int v = 0; v < V; ++v) {
                    q[v] += a * val[v];
                    q[V + v] += b * val[v];
                }
            } else {
                for (int v = 0; v < V; ++v) q[v] += w4[k] * val[v];
            }
        }
    }
}

// Reads one row of pixels back from the grid (see SplatRow) and normalises by the weight;
// where the weight is tiny the pixel keeps its own value.
template <int V, bool Ranged>
void SliceRow(const float* g0, std::size_t sy, std::size_t sz, const int* cx, const float* fx,
              const float* z, float zlo, float ztop, float fy, float eps, const float* const* own,
              float* const* out, int n) {
    const float wy0 = 1.0f - fy, wy1 = fy;
    for (int j = 0; j < n; ++j) {
        float zf = 0.0f;
        if constexpr (Ranged) zf = Clampf(z[j] - zlo, 0.0f, ztop);
        const int iz = static_cast<int>(zf);
        const float fz = zf - static_cast<float>(iz);
        const float* p = g0 + static_cast<std::size_t>(cx[j]) * sz + static_cast<std::size_t>(iz) * V;
        const float wx0 = 1.0f - fx[j], wx1 = fx[j];
        const float w4[4] = {wy0 * wx0, wy0 * wx1, wy1 * wx0, wy1 * wx1};
        const float* q4[4] = {p, p + sz, p + sy, p + sy + sz};
        float acc[V] = {};
        for (int k = 0; k < 4; ++k) {
            const float* q = q4[k];
            if constexpr (Ranged) {
                const float a = w4[k] * (1.0f - fz), b = w4[k] * fz;
                for (int v = 0; v < V; ++v) acc[v] += a * q[v] + b * q[V + v];
            } else {
                for (int v = 0; v < V; ++v) acc[v] += w4[k] * q[v];
            }
        }
        const float inv = 1.0f / (acc[V - 1] + eps);
        for (int v = 0; v + 1 < V; ++v) out[v][j] = (acc[v] + eps * own[v][j]) * inv;
    }
}

}  // namespace

struct CGlazeRun::GridJob {
    int nv = 1;                      // values per pixel: 1 or 3
    const Plane* values[3] = {};     // what is averaged
    const Plane* guide = nullptr;    // range coordinate; null: no range
    float guideScale = 1.0f;         // guide * guideScale is in range sigmas
    float sigmaS = 1.0f;             // spatial sigma in pixels
    Plane* out[3] = {};              // the result; may not be a value or the guide plane
};

void CGlazeRun::GridFilter(const GridJob& job) {
    const int w = job.values[0]->width, h = job.values[0]->height;
    const int nv = job.nv, V = nv + 1;
    const bool ranged = job.guide != nullptr;
    // Spatial cells of half a sigma; the tents of splat and slice add a variance of c^2 / 3.
    const float c = std::max(1.0f, 0.5f * job.sigmaS);
    const CellAxis axis{1.0f / c};
    const float blur2 = job.sigmaS * job.sigmaS - c * c / 3.0f;
    const float sb = blur2 > 0.0f ? std::sqrt(blur2) / c : 0.0f;
    const int r = sb < 0.15f ? 0 : std::min(kMaxGridRadius, static_cast<int>(std::ceil(2.2f * sb)));
    float taps[2 * kMaxGridRadius + 1];
    GridTaps(sb, r, taps);
    const int rz = ranged ? kRangeRadius : 0;
    float ztaps[2 * kRangeRadius + 1];
    GridTaps(std::sqrt(2.0f / 3.0f), rz, ztaps);

    // The guide's range over the image: reflected pixels far outside it would only widen the
    // grid, for weights that are negligible anyway.
    float zmin = 0.0f, zmax = 0.0f;
    if (ranged) {
        const int chunks = (h + kRowsPerChunk - 1) / kRowsPerChunk;
        float* lo = NewFloats(2 * static_cast<std::size_t>(chunks));
        float* hi = lo + chunks;
        ForRowChunks(h, [&](int y0, int y1, int) {
            float a = job.guide->Row(y0)[0], b = a;
            for (int y = y0; y < y1; ++y) {
                const float* g = job.guide->Row(y);
                for (int x = 0; x < w; ++x) {
                    a = std::min(a, g[x]);
                    b = std::max(b, g[x]);
                }
            }
            lo[y0 / kRowsPerChunk] = a * job.guideScale;
            hi[y0 / kRowsPerChunk] = b * job.guideScale;
        });
        zmin = *std::min_element(lo, lo + chunks) - kVirtualRange;
        zmax = *std::max_element(hi, hi + chunks) + kVirtualRange;
        m_ws.FreeFloats(lo);
    }
    const int zbins = ranged ? static_cast<int>(std::floor(zmax) - std::floor(zmin)) + 2 * rz + 4 : 1;
    // Core cells per tile side, so that a tile's grid fits its buffer.
    const std::size_t perCell = static_cast<std::size_t>(zbins) * V;
    int tc = static_cast<int>(std::sqrt(static_cast<double>(kGridTileFloats) / perCell)) - 2 * r - 3;
    tc = std::clamp(tc, 4, 64);
    const int gx = tc + 2 * r + 3;
    const std::size_t gridFloats = static_cast<std::size_t>(gx) * gx * perCell;
    const int span = static_cast<int>(std::ceil((gx + 1) * c)) + 2;  // pixels of a splat row
    const std::size_t rowFloats = (static_cast<std::size_t>(span) + 15) & ~std::size_t{15};
    const std::size_t perThread = 2 * gridFloats + 7 * rowFloats;
    float* block = NewFloats(perThread * static_cast<std::size_t>(m_team.Threads()));

    const int cellsX = axis.CellOf(w - 1) + 1, cellsY = axis.CellOf(h - 1) + 1;
    const int across = (cellsX + tc - 1) / tc, down = (cellsY + tc - 1) / tc;
    const float eps = 1e-3f * c * c;
    Check(m_team.ParallelFor(across * down, [&](int tile, int thread) {
        float* ga = block + perThread * static_cast<std::size_t>(thread);
        float* gb = ga + gridFloats;
        float* rows = gb + gridFloats;  // values, guide, spare
        float* vrow[3] = {rows, rows + rowFloats, rows + 2 * rowFloats};
        float* zrow = rows + 3 * rowFloats;
        float* spare = rows + 4 * rowFloats;
        const int ci0 = (tile % across) * tc, ci1 = std::min(cellsX, ci0 + tc);
        const int cj0 = (tile / across) * tc, cj1 = std::min(cellsY, cj0 + tc);
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
            for (int y = ya; y < yb; ++y) {
                ReflectedRow(*job.guide, y, xa, n, zrow, spare);
                for (int j = 0; j < n; ++j) {
                    const float z = zrow[j] * job.guideScale;
                    if (z >= zmin && z <= zmax) {
                        a = std::min(a, z);
                        b = std::max(b, z);
                    }
                }
            }
            zlo = static_cast<int>(std::floor(a)) - rz - 1;
            nz = static_cast<int>(std::floor(b)) - zlo + rz + 3;
        }
        const std::size_t sz = static_cast<std::size_t>(nz) * V;  // floats per cell
        const std::size_t sy = sz * nx;                           // floats per row of cells
        std::memset(ga, 0, sizeof(float) * sy * ny);
        // Splat. Cell columns and tent weights are the same for every row.
        int* cxs = reinterpret_cast<int*>(spare + rowFloats);
        float* fxs = spare + 2 * rowFloats;
        for (int j = 0; j < n; ++j) {
            const int x = xa + j;
            const int cx = axis.CellOf(x);
            cxs[j] = cx - ox;
            fxs[j] = static_cast<float>(x) * axis.inv - static_cast<float>(cx);
        }
        const float zlof = static_cast<float>(zlo);
        for (int y = ya; y < yb; ++y) {
            const int cy = axis.CellOf(y);
            const float fy = static_cast<float>(y) * axis.inv - static_cast<float>(cy);
            float* g0 = ga + static_cast<std::size_t>(cy - oy) * sy;
            for (int v = 0; v < nv; ++v) ReflectedRow(*job.values[v], y, xa, n, vrow[v], spare);
            if (ranged) {
                ReflectedRow(*job.guide, y, xa, n, zrow, spare);
                for (int j = 0; j < n; ++j) zrow[j] *= job.guideScale;
            }
            if (nv == 1 && ranged) {
                SplatRow<2, true>(g0, sy, sz, cxs, fxs, vrow, zrow, zlof, zmin, zmax, fy, n);
            } else if (nv == 1) {
                SplatRow<2, false>(g0, sy, sz, cxs, fxs, vrow, zrow, zlof, zmin, zmax, fy, n);
            } else if (ranged) {
                SplatRow<4, true>(g0, sy, sz, cxs, fxs, vrow, zrow, zlof, zmin, zmax, fy, n);
            } else {
                SplatRow<4, false>(g0, sy, sz, cxs, fxs, vrow, zrow, zlof, zmin, zmax, fy, n);
            }
        }
        // Blur down the cell rows (a -> b), across them (b -> a) and along the range (a -> b),
        // each only where the core's slice will read.
        const int ly0 = r + 1, ly1 = r + 1 + (cj1 - cj0) + 1;  // rows [ly0, ly1)
        const int lx0 = r + 1, lx1 = r + 1 + (ci1 - ci0) + 1;
        const float* rowPtr[2 * kMaxGridRadius + 1];
        for (int ly = ly0; ly < ly1; ++ly) {
            for (int k = 0; k <= 2 * r; ++k) rowPtr[k] = ga + static_cast<std::size_t>(ly - r + k) * sy;
            m_k.firV(rowPtr, taps, 2 * r + 1, gb + static_cast<std::size_t>(ly) * sy, static_cast<int>(sy));
        }
        for (int ly = ly0; ly < ly1; ++ly) {
            const float* src = gb + static_cast<std::size_t>(ly) * sy;
            float* dst = ga + static_cast<std::size_t>(ly) * sy;
            for (int lx = lx0; lx < lx1; ++lx) {
                for (int k = 0; k <= 2 * r; ++k) rowPtr[k] = src + static_cast<std::size_t>(lx - r + k) * sz;
                m_k.firV(rowPtr, taps, 2 * r + 1, dst + static_cast<std::size_t>(lx) * sz, static_cast<int>(sz));
            }
        }
        const float* grid = ga;
        if (ranged) {
            const int m = (nz - 2 * rz) * V;
            for (int ly = ly0; ly < ly1; ++ly) {
                for (int lx = lx0; lx < lx1; ++lx) {
                    const std::size_t o = static_cast<std::size_t>(ly) * sy + static_cast<std::size_t>(lx) * sz;
                    for (int k = 0; k <= 2 * rz; ++k) rowPtr[k] = ga + o + static_cast<std::size_t>(k) * V;
                    m_k.firV(rowPtr, ztaps, 2 * rz + 1, gb + o + static_cast<std::size_t>(rz) * V, m);
                }
            }
            grid = gb;
        }
        // Slice the core.
        const int px0 = axis.FirstPixel(ci0, c), px1 = std::min(w, axis.FirstPixel(ci1, c));
        const int py0 = axis.FirstPixel(cj0, c), py1 = std::min(h, axis.FirstPixel(cj1, c));
        const int m = px1 - px0;
        const int* cxc = cxs + (px0 - xa);
        const float* fxc = fxs + (px0 - xa);
        const float ztop = static_cast<float>(nz - 2);
        for (int y = py0; y < py1; ++y) {
            const int cy = axis.CellOf(y);
            const float fy = static_cast<float>(y) * axis.inv - static_cast<float>(cy);
            const float* g0 = grid + static_cast<std::size_t>(cy - oy) * sy;
            if (ranged) {
                const float* gz = job.guide->Row(y) + px0;
                for (int j = 0; j < m; ++j) zrow[j] = gz[j] * job.guideScale;
            }
            float* out[3];
            const float* own[3];
            for (int v = 0; v < nv; ++v) {
                out[v] = job.out[v]->Row(y) + px0;
                own[v] = job.values[v]->Row(y) + px0;
            }
            if (nv == 1 && ranged) {
                SliceRow<2, true>(g0, sy, sz, cxc, fxc, zrow, zlof, ztop, fy, eps, own, out, m);
            } else if (nv == 1) {
                SliceRow<2, false>(g0, sy, sz, cxc, fxc, zrow, zlof, ztop, fy, eps, own, out, m);
            } else if (ranged) {
                SliceRow<4, true>(g0, sy, sz, cxc, fxc, zrow, zlof, ztop, fy, eps, own, out, m);
            } else {
                SliceRow<4, false>(g0, sy, sz, cxc, fxc, zrow, zlof, ztop, fy, eps, own, out, m);
            }
        }
    }));
    m_ws.FreeFloats(block);
}

// Rolling guidance, per channel: a Gaussian seed forgets every structure smaller than the
// radius, then each joint pass averages the input under the previous result, which brings
// back the edges of the large structures while features below the channel's threshold stay
// flat. Each channel is its own guide, so an edge between colours of equal luminance is kept;
// the residual gate, which reads all three channels, brings back what one channel alone would
// have smoothed across a strong edge of another.
void CGlazeRun::Clean(const Planes3& in, Planes3& out) {
    const float sigma = std::max(0.5f, m_s.cleanRadius / m_n);
    // The seeds of all three channels in one pass, into the output planes.
    GridJob seed;
    seed.nv = 3;
    for (int c = 0; c < 3; ++c) {
        seed.values[c] = &in.c[c];
        seed.out[c] = &out.c[c];
    }
    seed.sigmaS = sigma;
    GridFilter(seed);
    Plane a = NewPlane(m_w, m_h), b = NewPlane(m_w, m_h);
    for (int c = 0; c < 3; ++c) {
        const float scale = m_s.factors[c] / std::max(m_s.thresholds[c], 0.004f);
        GridJob job;
        job.values[0] = &in.c[c];
        job.sigmaS = sigma;
        job.guideScale = scale;
        job.guide = scale > 0.0f ? &out.c[c] : nullptr;  // a channel without weight: plain blur
        for (int pass = 1; pass <= m_s.cleanIterations; ++pass) {
            job.out[0] = pass == m_s.cleanIterations ? &out.c[c] : (pass % 2 ? &a : &b);
            GridFilter(job);
            if (job.guide != nullptr) job.guide = job.out[0];
        }
    }
    m_ws.FreePlane(b);
    m_ws.FreePlane(a);
    Gate(in, out);
}

// Brings back the part of the residual (input minus the smoothed base) whose local RMS, in
// units of the threshold, is well above one: thin lines and lettering of high contrast come
// back whole, weak texture and noise stay removed. Stronger clean settings raise the knee.
void CGlazeRun::Gate(const Planes3& in, Planes3& base) {
    Plane e = NewPlane(m_w, m_h), tmp = NewPlane(m_w, m_h);
    float q[3];
    for (int c = 0; c < 3; ++c) {
        q[c] = 1.0f / (std::max(m_s.thresholds[c], 0.004f) * std::sqrt(3.0f));
    }
    ForRows(m_h, [&](int y, int) {
        float* o = e.Row(y);
        const float* i0 = in.c[0].Row(y);
        const float* i1 = in.c[1].Row(y);
        const float* i2 = in.c[2].Row(y);
        const float* b0 = base.c[0].Row(y);
        const float* b1 = base.c[1].Row(y);
        const float* b2 = base.c[2].Row(y);
        for (int x = 0; x < m_w; ++x) {
            const float d0 = q[0] * (i0[x] - b0[x]), d1 = q[1] * (i1[x] - b1[x]),
                        d2 = q[2] * (i2[x] - b2[x]);
            o[x] = d0 * d0 + d1 * d1 + d2 * d2;
        }
    });
    Gauss(e, e, std::max(0.5f, kGateSigma / m_n), tmp);
    const float knee = kGateKnee * (1.0f + static_cast<float>(m_s.cleanStrength) / 4.0f);
    const float k2 = knee * knee, t2 = k2 * k2 * k2 * k2;
    ForRows(m_h, [&](int y, int) {
        float* o = e.Row(y);
        for (int x = 0; x < m_w; ++x) {
            const float e2 = o[x] * o[x];
            o[x] = e2 * e2;  // RMS^8 against knee^8: a steep gate
        }
        float* b[3] = {base.c[0].Row(y), base.c[1].Row(y), base.c[2].Row(y)};
        const float* i[3] = {in.c[0].Row(y), in.c[1].Row(y), in.c[2].Row(y)};
        m_k.gateRow(b, i, o, t2, m_w);
    });
    m_ws.FreePlane(tmp);
    m_ws.FreePlane(e);
}

}  // namespace VG_KERNEL_NS
}  // namespace vg
