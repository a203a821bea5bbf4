// The library's one export: the C entry point the plug-in resolves by name.
#define VWGLAZE_BUILDING
#include "Glaze.h"
#include "vwGlaze.h"

extern "C" VWGLAZE_API int32_t VWGLAZE_CALL
vwGlazeRGB2(const EngineImage* image, int32_t mode, int32_t cleanStrength,
            const float* channelThresholds, float cleanRadius, const float* channelFactors,
            float edgeRadius, float edgeSharpness, int32_t edgeAccent, float edgeKnee,
            float textureStrength, float textureGamma, float textureSize) {
    return vg::GlazeRGB(vg::RunOptions{}, image, mode, cleanStrength, channelThresholds,
                        cleanRadius, channelFactors, edgeRadius, edgeSharpness, edgeAccent,
                        edgeKnee, textureStrength, textureGamma, textureSize);
}
