// The glaze filter: argument checking and the pipeline behind vwGlazeRGB2.
#pragma once

#include "Kernels.h"
#include "vwGlaze.h"

#include <cstdint>

namespace vg {

// The nine user parameters as the engine uses them, in full-resolution pixels, limited to
// the ranges the stages are built for.
struct GlazeSettings {
    int cleanIterations = 2;   // grid passes after the seed; 0 leaves the clean stage out
    int cleanStrength = 0;     // 0..8: also raises the knee of the residual gate
    float thresholds[3] = {};  // contrast gate per channel, in 0..1 units
    float factors[3] = {};     // weight of each channel in the edge distance
    float cleanRadius = 8.0f;  // structure scale in pixels
    float edgeRadius = 1.5f;   // edge thickness in pixels
    float edgeSharpness = 1.0f;
    float edgeGain = 0.5f;  // master strength's share of the edge steepening
    int edgeAccent = 0;     // coherence iterations
    float knee = 0.025f;    // weak-edge knee and texture remap threshold
    float textureStrength = 0.0f;
    float textureGamma = 1.0f;  // power applied to small texture (1 / boost)
    float textureSize = 2.0f;   // texture scale in pixels
    int sampleStep = 1;
};

struct RunOptions {
    int threads = 0;                     // 0: one per hardware thread
    const KernelSet* kernels = nullptr;  // null: chosen for the CPU
};

// Checks the image record and the parameters; VWGLAZE_DONE or VWGLAZE_BAD_PARAMETERS.
int32_t MakeSettings(const EngineImage* image, int32_t mode, int32_t cleanStrength,
                     const float* channelThresholds, float cleanRadius, const float* channelFactors,
                     float edgeRadius, float edgeSharpness, int32_t edgeAccent, float edgeKnee,
                     float textureStrength, float textureGamma, float textureSize,
                     GlazeSettings& settings);

// Filters a checked image; never throws. Returns a VWGLAZE_ result code.
int32_t RunGlaze(const EngineImage& image, const GlazeSettings& settings,
                 const RunOptions& options);

// MakeSettings followed by RunGlaze.
int32_t GlazeRGB(const RunOptions& options, const EngineImage* image, int32_t mode,
                 int32_t cleanStrength, const float* channelThresholds, float cleanRadius,
                 const float* channelFactors, float edgeRadius, float edgeSharpness,
                 int32_t edgeAccent, float edgeKnee, float textureStrength, float textureGamma,
                 float textureSize);

}  // namespace vg
