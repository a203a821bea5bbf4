// Parameter conversion for the engine call, the call, and the texts of its result codes.
#include "plugin/EngineCall.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

int32_t TruncateToInt32(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return int32_t(v);
}

EngineArgs MakeEngineArgs(const FilterParams& p) {
    EngineArgs a{};
    a.mode = 1;
    a.cleanStrength = TruncateToInt32(p.cleanStrength);
    // The single-precision 0.1, multiplied in double precision.
    const float threshold = float(p.cleanThreshold * double(0.1f));
    for (float& t : a.channelThresholds) t = threshold;
    a.cleanRadius = float(p.cleanRadius);
    if (a.cleanRadius < 0.8f)
        a.cleanRadius = 0.8f;
    if (a.cleanRadius > 200.0f)
        a.cleanRadius = 200.0f;
    for (float& f : a.channelFactors) f = 1.0f;
    a.edgeRadius = float(p.edgeRadius);
    a.edgeSharpness = float(p.edgeSharpness);
    a.edgeAccent = TruncateToInt32(p.edgeAccent + 0.25);
    a.constant = 0.025f;
    a.textureStrength = float(p.textureStrength);
    a.textureInvBoost = float(1.0 / p.textureBoost);
    a.textureSize = float(p.textureSize);
    return a;
}

int32_t InvokeEngine(VwGlazeRGB2Proc engine, const EngineImage& image, const EngineArgs& a) {
    return engine(&image, a.mode, a.cleanStrength, a.channelThresholds, a.cleanRadius,
                  a.channelFactors, a.edgeRadius, a.edgeSharpness, a.edgeAccent, a.constant,
                  a.textureStrength, a.textureInvBoost, a.textureSize);
}

bool EngineResultIsError(int32_t code, std::string& boxText, std::string& failureText) {
    switch (code) {
        case 0:
        case 1:
            return false;
        case -1:
            boxText = "procEngine: not enough memory";
            break;
        case -2:
            boxText = "procEngine: internal error";
            break;
        case -3:
            boxText = "procEngine: bad parameters";
            break;
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "procEngine: error code: %d", int(code));
            boxText = text;
            failureText = "- procEngine: other error";
            return true;
        }
    }
    failureText = "- " + boxText;
    return true;
}
