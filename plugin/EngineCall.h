// The engine library's call as the plug-in, the benchmarks and the tests make it: the
// conversion of the parameter record to the engine's arguments, the call itself, and the
// meaning of its result codes. The interface is the engine's own header.
#pragma once

#include "engine/include/vwGlaze.h"
#include "plugin/FilterParams.h"

#include <cstdint>
#include <string>

constexpr const char* kEngineFileName = "vwiglaze21_x64.dll";
constexpr const char* kEngineExport = "vwGlazeRGB2";

// The header's pixel formats under the plug-in's names.
constexpr int32_t kEngineFormatRgb8 = VWGLAZE_FORMAT_RGB8;
constexpr int32_t kEngineFormatRgb16 = VWGLAZE_FORMAT_RGB16;

// Arguments 2 to 13 of the engine call as converted from the parameter record.
struct EngineArgs {
    int32_t mode;
    int32_t cleanStrength;
    float channelThresholds[3];
    float cleanRadius;
    float channelFactors[3];
    float edgeRadius;
    float edgeSharpness;
    int32_t edgeAccent;
    float constant;
    float textureStrength;
    float textureInvBoost;
    float textureSize;
};

EngineArgs MakeEngineArgs(const FilterParams& p);

// Calls `engine` (the export, or a function with its signature) with the converted arguments.
int32_t InvokeEngine(VwGlazeRGB2Proc engine, const EngineImage& image, const EngineArgs& a);

// Truncates towards zero, saturating at the 32-bit limits; NaN gives 0. Descriptor values
// are stored unchecked, so the conversion has to be defined for every double.
int32_t TruncateToInt32(double v);

// Engine result codes: 1 completed, 0 cancelled, negative and others are errors. For an
// error, `boxText` is the message shown to the user and `failureText` the text for the host.
bool EngineResultIsError(int32_t code, std::string& boxText, std::string& failureText);
