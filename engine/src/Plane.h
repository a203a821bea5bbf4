// A single-channel float image in engine working memory; the engine's unit of data.
#pragma once

#include <cstddef>

namespace vg {

// Rows are contiguous and `stride` floats apart; the plane does not own its memory.
struct Plane {
    float* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    float* Row(int y) { return data + y * stride; }
    const float* Row(int y) const { return data + y * stride; }
};

// Three planes holding one image's red, green and blue.
struct Planes3 {
    Plane c[3];
};

}  // namespace vg
