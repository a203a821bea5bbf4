// Argument checks and the choice of instruction set; the pipeline itself is PipelineImpl.h.
#include "Glaze.h"

#include "Pipeline.h"

#include <algorithm>
#include <cmath>

namespace vg {

namespace {

constexpr int kMaxSide = 1000000;

bool Finite(float v) {
    return std::isfinite(v);
}

float Clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
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
    s.cleanIterations = anyThreshold ? 2 + strength / 2 : 0;
    s.cleanStrength = strength;
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
#if defined(VG_HAVE_AVX2_KERNELS)
    // Only baseline code runs before the choice: the AVX2 build is entered when the CPU can run
    // it (GetKernels), or when a caller that checked this asked for it.
    const KernelSet& kernels = options.kernels != nullptr ? *options.kernels : GetKernels();
    if (&kernels != &base::Kernels()) {
        return avx2::RunPipeline(image, settings, options.threads);
    }
#endif
    return base::RunPipeline(image, settings, options.threads);
}

const KernelSet& BaselineKernels() {
    return base::Kernels();
}

namespace {
bool CpuRunsAvx2() {
#if defined(VG_HAVE_AVX2_KERNELS) && (defined(__x86_64__) || defined(_M_X64))
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}
}  // namespace

const KernelSet* Avx2Kernels() {
#if defined(VG_HAVE_AVX2_KERNELS)
    if (CpuRunsAvx2()) {
        return &avx2::Kernels();
    }
#endif
    return nullptr;
}

const KernelSet& GetKernels() {
    const KernelSet* avx2 = Avx2Kernels();
    return avx2 != nullptr ? *avx2 : base::Kernels();
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
