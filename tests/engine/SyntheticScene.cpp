// The generated test scene and the quality measures.
#include "SyntheticScene.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace vgtest {

namespace {

float Lum(const FloatImage& f, int x, int y) {
    return 0.299f * f.At(x, y, 0) + 0.587f * f.At(x, y, 1) + 0.114f * f.At(x, y, 2);
}

std::vector<float> Blur(const std::vector<float>& in, int w, int h, float sigma) {
    const int r = static_cast<int>(std::ceil(3 * sigma));
    std::vector<float> taps(2 * r + 1);
    float sum = 0;
    for (int k = -r; k <= r; ++k) sum += taps[k + r] = std::exp(-0.5f * k * k / (sigma * sigma));
    for (float& t : taps) t /= sum;
    std::vector<float> tmp(in.size()), out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int k = -r; k <= r; ++k)
                acc += taps[k + r] * in[y * w + std::clamp(x + k, 0, w - 1)];
            tmp[y * w + x] = acc;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int k = -r; k <= r; ++k)
                acc += taps[k + r] * tmp[std::clamp(y + k, 0, h - 1) * w + x];
            out[y * w + x] = acc;
        }
    return out;
}

struct Cell {
    float x, y, rgb[3], gx, gy;
};
struct Disc {
    float x, y, r, d;
};

}  // namespace

Scene MakeScene(int w, int h, uint32_t seed, int pixelsPerTile, int discCount) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::normal_distribution<float> g(0.0f, 1.0f);
    std::vector<Cell> cells(static_cast<std::size_t>(std::max(4, w * h / pixelsPerTile)));
    for (Cell& c : cells) {
        c.x = u(rng) * w;
        c.y = u(rng) * h;
        for (float& v : c.rgb) v = 0.15f + 0.7f * u(rng);
        c.gx = (u(rng) - 0.5f) * 0.25f / w;
        c.gy = (u(rng) - 0.5f) * 0.25f / h;
    }
    std::vector<Disc> discs;
    for (int i = 0; i < discCount; ++i) {
        discs.push_back({u(rng) * w, u(rng) * h, 6 + 8 * u(rng), (u(rng) < 0.5f ? -0.25f : 0.25f)});
    }
    // Labels at 3x3 subsamples give anti-aliased edges.
    auto label = [&](float fx, float fy) {
        for (int i = 0; i < static_cast<int>(discs.size()); ++i) {
            const Disc& d = discs[i];
            if ((fx - d.x) * (fx - d.x) + (fy - d.y) * (fy - d.y) < d.r * d.r)
                return 1000 + i;
        }
        int best = 0;
        float bd = 1e30f;
        for (int i = 0; i < static_cast<int>(cells.size()); ++i) {
            const float dd =
                (fx - cells[i].x) * (fx - cells[i].x) + (fy - cells[i].y) * (fy - cells[i].y);
            if (dd < bd)
                bd = dd, best = i;
        }
        return best;
    };
    Scene s;
    s.base = FloatImage(w, h);
    std::vector<int> centre(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc[3] = {0, 0, 0};
            for (int sy = 0; sy < 3; ++sy) {
                for (int sx = 0; sx < 3; ++sx) {
                    const float fx = x + (sx + 0.5f) / 3 - 0.5f, fy = y + (sy + 0.5f) / 3 - 0.5f;
                    const int l = label(fx, fy);
                    if (sx == 1 && sy == 1)
                        centre[y * w + x] = l;
                    const int ci = l >= 1000 ? label(discs[l - 1000].x,
                                                     discs[l - 1000].y + discs[l - 1000].r + 1)
                                             : l;
                    const Cell& c =
                        cells[std::min<std::size_t>(ci < 1000 ? ci : 0, cells.size() - 1)];
                    for (int k = 0; k < 3; ++k) {
                        float v = c.rgb[k] + c.gx * (fx - c.x) + c.gy * (fy - c.y);
                        if (l >= 1000)
                            v = c.rgb[k] + discs[l - 1000].d;
                        acc[k] += v / 9;
                    }
                }
            }
            for (int k = 0; k < 3; ++k) s.base.At(x, y, k) = std::clamp(acc[k], 0.0f, 1.0f);
        }
    }
    // Masks from label changes.
    std::vector<uint8_t> edge(static_cast<std::size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int l = centre[y * w + x];
            if ((x + 1 < w && centre[y * w + x + 1] != l) ||
                (y + 1 < h && centre[(y + 1) * w + x] != l))
                edge[y * w + x] = 1;
        }
    auto dilate = [&](int r) {
        std::vector<uint8_t> m(edge.size(), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (!edge[y * w + x])
                    continue;
                for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r); ++yy)
                    for (int xx = std::max(0, x - r); xx <= std::min(w - 1, x + r); ++xx)
                        m[yy * w + xx] = 1;
            }
        return m;
    };
    s.edgeLine = edge;
    s.nearEdge = dilate(6);
    s.edgeBand = dilate(2);
    // Texture: difference of Gaussians of white noise at about 2 px, RMS 0.03.
    std::vector<float> white(static_cast<std::size_t>(w) * h);
    for (float& v : white) v = g(rng);
    std::vector<float> b1 = Blur(white, w, h, 1.0f), b2 = Blur(white, w, h, 2.5f);
    s.texture.resize(white.size());
    double e = 0;
    for (std::size_t i = 0; i < white.size(); ++i) {
        s.texture[i] = b1[i] - b2[i];
        e += s.texture[i] * s.texture[i];
    }
    const float norm = 0.03f / static_cast<float>(std::sqrt(e / white.size()));
    for (float& v : s.texture) v *= norm;
    s.input = s.base;
    for (int i = 0; i < 6; ++i) {  // weak discs, below the default threshold
        const float cx = u(rng) * w, cy = u(rng) * h, r = 4 + 4 * u(rng);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r)
                    for (int k = 0; k < 3; ++k) s.input.At(x, y, k) += 0.03f;
    }
    for (int i = 0; i < 3; ++i) {  // thin lines at random angles
        const float a = u(rng) * 3.14159f, px = u(rng) * w, py = u(rng) * h;
        const float nx = -std::sin(a), ny = std::cos(a);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (std::fabs((x - px) * nx + (y - py) * ny) < 0.75f)
                    for (int k = 0; k < 3; ++k) s.input.At(x, y, k) += 0.04f;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k) {
                float& v = s.input.At(x, y, k);
                v = std::clamp(v + s.texture[y * w + x] + 0.02f * g(rng), 0.0f, 1.0f);
            }
    return s;
}

Image ToImage(const FloatImage& f, int format) {
    Image im(f.width, f.height, format);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            for (int c = 0; c < 3; ++c) im.Set(x, y, c, f.At(x, y, c));
    return im;
}

FloatImage ToFloat(const Image& im) {
    FloatImage f(im.width, im.height);
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            for (int c = 0; c < 3; ++c) f.At(x, y, c) = im.Get(x, y, c) / im.Max();
    return f;
}

FloatImage Decimate(const FloatImage& f, int n) {
    FloatImage d((f.width + n - 1) / n, (f.height + n - 1) / n);
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x)
            for (int c = 0; c < 3; ++c) d.At(x, y, c) = f.At(x * n, y * n, c);
    return d;
}

FloatImage AreaDown(const FloatImage& f, int n) {
    FloatImage d(f.width / n, f.height / n);
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x)
            for (int c = 0; c < 3; ++c) {
                float acc = 0;
                for (int yy = 0; yy < n; ++yy)
                    for (int xx = 0; xx < n; ++xx) acc += f.At(x * n + xx, y * n + yy, c);
                d.At(x, y, c) = acc / (n * n);
            }
    return d;
}

double Psnr(const FloatImage& a, const FloatImage& b) {
    const int w = std::min(a.width, b.width), h = std::min(a.height, b.height);
    double e = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = a.At(x, y, c) - b.At(x, y, c);
                e += d * d;
            }
    e /= 3.0 * w * h;
    return 10 * std::log10(1.0 / std::max(e, 1e-12));
}

double MeanSsim(const FloatImage& a, const FloatImage& b) {
    const double c1 = 0.01 * 0.01, c2 = 0.03 * 0.03;
    double total = 0;
    int count = 0;
    for (int y0 = 0; y0 + 8 <= a.height; y0 += 4)
        for (int x0 = 0; x0 + 8 <= a.width; x0 += 4) {
            double ma = 0, mb = 0, va = 0, vb = 0, cov = 0;
            for (int y = y0; y < y0 + 8; ++y)
                for (int x = x0; x < x0 + 8; ++x) {
                    ma += Lum(a, x, y);
                    mb += Lum(b, x, y);
                }
            ma /= 64;
            mb /= 64;
            for (int y = y0; y < y0 + 8; ++y)
                for (int x = x0; x < x0 + 8; ++x) {
                    const double da = Lum(a, x, y) - ma, db = Lum(b, x, y) - mb;
                    va += da * da;
                    vb += db * db;
                    cov += da * db;
                }
            va /= 63;
            vb /= 63;
            cov /= 63;
            total +=
                (2 * ma * mb + c1) * (2 * cov + c2) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++count;
        }
    return total / count;
}

double RampRms(const FloatImage& out, const Scene& s) {
    double e = 0;
    long n = 0;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            if (s.nearEdge[y * out.width + x])
                continue;
            for (int c = 0; c < 3; ++c) {
                const double d = out.At(x, y, c) - s.base.At(x, y, c);
                e += d * d;
                ++n;
            }
        }
    return std::sqrt(e / std::max(1L, n));
}

double EdgeSharpness(const FloatImage& out, const Scene& s) {
    double go = 0, gb = 0;
    const int w = out.width, h = out.height;
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            if (!s.edgeLine[y * w + x])
                continue;
            go += std::hypot(Lum(out, x + 1, y) - Lum(out, x - 1, y),
                             Lum(out, x, y + 1) - Lum(out, x, y - 1));
            gb += std::hypot(Lum(s.base, x + 1, y) - Lum(s.base, x - 1, y),
                             Lum(s.base, x, y + 1) - Lum(s.base, x, y - 1));
        }
    return go / gb;
}

double Halo(const FloatImage& out, const Scene& s) {
    const int w = out.width, h = out.height;
    double over = 0, step = 0;
    long n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!s.edgeBand[y * w + x])
                continue;
            for (int c = 0; c < 3; ++c) {
                float lo = 1, hi = 0;
                for (int yy = std::max(0, y - 4); yy <= std::min(h - 1, y + 4); ++yy)
                    for (int xx = std::max(0, x - 4); xx <= std::min(w - 1, x + 4); ++xx) {
                        lo = std::min(lo, s.base.At(xx, yy, c));
                        hi = std::max(hi, s.base.At(xx, yy, c));
                    }
                const float v = out.At(x, y, c);
                over += std::max(0.0f, v - hi) + std::max(0.0f, lo - v);
                step += hi - lo;
                ++n;
            }
        }
    return step > 0 ? over / step : 0;
}

double InteriorVariation(const FloatImage& out, const Scene& s) {
    double total = 0;
    long n = 0;
    for (int y = 1; y + 1 < out.height; ++y)
        for (int x = 1; x + 1 < out.width; ++x) {
            if (s.nearEdge[y * out.width + x])
                continue;
            total += std::hypot(Lum(out, x + 1, y) - Lum(out, x - 1, y),
                                Lum(out, x, y + 1) - Lum(out, x, y - 1));
            ++n;
        }
    return total / std::max(1L, n);
}

FloatImage Soften(const FloatImage& f, float sigma) {
    FloatImage out(f.width, f.height);
    std::vector<float> plane(static_cast<std::size_t>(f.width) * f.height);
    for (int c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = f.v[i * 3 + c];
        const std::vector<float> b = Blur(plane, f.width, f.height, sigma);
        for (std::size_t i = 0; i < plane.size(); ++i) out.v[i * 3 + c] = b[i];
    }
    return out;
}

double TextureKept(const FloatImage& out, const Scene& s) {
    double dot = 0, tt = 0;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            if (s.nearEdge[y * out.width + x])
                continue;
            const float t = s.texture[y * out.width + x];
            dot += (Lum(out, x, y) - Lum(s.base, x, y)) * t;
            tt += t * t;
        }
    return dot / tt;
}

}  // namespace vgtest
