// A 64 x 64 blue-noise threshold mask for dithering the 8-bit output by pixel position.
#pragma once

namespace vg {

constexpr int kBlueNoiseSize = 64;

// 4096 thresholds in [0, 1), row-major, each rank (i + 0.5) / 4096 exactly once, arranged
// so that every threshold level is spread evenly with no pattern along rows or columns.
// Made on first use (thread-safe) by void and cluster, a deterministic construction.
const float* BlueNoiseMask();

}  // namespace vg
