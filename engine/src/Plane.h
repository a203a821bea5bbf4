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
    // A reduced copy of a larger image: where that image's last column (row) lies, in samples
    // beyond this plane's last one (a quarter of a sample either way at a reduction of 2, by
    // the parity of the size). Beyond the far border the plane continues by odd reflection about
    // it, so that what lies there does not depend on the parity. 0 for full-size planes.
    float farX = 0.0f;
    float farY = 0.0f;

    float* Row(int y) { return data + y * stride; }
    const float* Row(int y) const { return data + y * stride; }
};

// Three planes holding one image's red, green and blue.
struct Planes3 {
    Plane c[3];
};

}  // namespace vg
