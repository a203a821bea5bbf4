// A generated test scene with a known clean base, and the measures of the look's quality.
#pragma once

#include "EngineTestSupport.h"

#include <cstdint>
#include <vector>

namespace vgtest {

// Float RGB planes in 0..1, row-major, channel-interleaved.
struct FloatImage {
    int width = 0, height = 0;
    std::vector<float> v;
    FloatImage() = default;
    FloatImage(int w, int h) : width(w), height(h), v(static_cast<std::size_t>(w) * h * 3) {}
    float& At(int x, int y, int c) { return v[(static_cast<std::size_t>(y) * width + x) * 3 + c]; }
    float At(int x, int y, int c) const {
        return v[(static_cast<std::size_t>(y) * width + x) * 3 + c];
    }
};

// Piecewise-smooth tiles with edges at every angle and gentle ramps, discs, plus what the
// filter should take away: weak discs, thin lines, fine luminance texture and noise.
struct Scene {
    FloatImage base;                // the clean structure
    FloatImage input;               // base + weak features + texture + noise, clipped
    std::vector<float> texture;     // the luminance texture added, per pixel
    std::vector<uint8_t> nearEdge;  // within 6 px of a structure edge
    std::vector<uint8_t> edgeBand;  // within 2 px of a structure edge
    std::vector<uint8_t> edgeLine;  // on a structure edge
};

// pixelsPerTile sets the density of structure edges.
Scene MakeScene(int width, int height, uint32_t seed, int pixelsPerTile = 4000, int discs = 12);

Image ToImage(const FloatImage& f, int format);
FloatImage ToFloat(const Image& im);
FloatImage Decimate(const FloatImage& f, int n);
FloatImage AreaDown(const FloatImage& f, int n);

double Psnr(const FloatImage& a, const FloatImage& b);
double MeanSsim(const FloatImage& a, const FloatImage& b);
double RampRms(const FloatImage& out, const Scene& s);
// Mean gradient of out over mean gradient of the base, on the edge pixels.
double EdgeSharpness(const FloatImage& out, const Scene& s);
// Mean overshoot beyond the base's local 9x9 range in the edge band, per mean step height.
double Halo(const FloatImage& out, const Scene& s);
// Mean luminance gradient away from structure edges: what is left to flatten.
double InteriorVariation(const FloatImage& out, const Scene& s);
// The base blurred by a Gaussian of the given sigma: soft edges for sharpening tests.
FloatImage Soften(const FloatImage& f, float sigma);
// Share of the scene's texture found in out - base.
double TextureKept(const FloatImage& out, const Scene& s);

}  // namespace vgtest
