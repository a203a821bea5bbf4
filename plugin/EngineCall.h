// The engine library's call interface: its image record, the conversion of the parameter
// record to its arguments, and the meaning of its result codes.
#pragma once

#include "plugin/FilterParams.h"

#include <cstddef>
#include <cstdint>
#include <string>

constexpr const char* kEngineFileName = "vwiglaze21_x64.dll";
constexpr const char* kEngineExport = "vwGlazeRGB2";

// Callbacks the engine receives; it passes the record's `hostContext` as `context`.
using EngineAllocProc = void* (*)(uint32_t size, void* context);
using EngineFreeProc = void (*)(void* block, void* context);
using EngineProgressProc = int32_t (*)(int32_t done, int32_t total, void* context);

// Pixel formats of EngineImage::pixelFormat.
constexpr int32_t kEngineFormatRgb8 = 1;
constexpr int32_t kEngineFormatRgb16 = 3;

// The image record passed by address; its layout is shared with a separately built library.
struct EngineImage {
    int32_t pixelFormat;
    const void* srcData;
    int32_t srcRowBytes;
    void* dstData;
    int32_t dstRowBytes;
    int32_t width;
    int32_t height;
    int32_t sampleStep;
    EngineAllocProc allocProc;
    EngineFreeProc freeProc;
    EngineProgressProc progressCallback;
    void* hostContext;
};
static_assert(sizeof(void*) == 8, "the engine interface is defined for 64-bit code");
static_assert(offsetof(EngineImage, pixelFormat) == 0);
static_assert(offsetof(EngineImage, srcData) == 8);
static_assert(offsetof(EngineImage, srcRowBytes) == 16);
static_assert(offsetof(EngineImage, dstData) == 24);
static_assert(offsetof(EngineImage, dstRowBytes) == 32);
static_assert(offsetof(EngineImage, width) == 36);
static_assert(offsetof(EngineImage, height) == 40);
static_assert(offsetof(EngineImage, sampleStep) == 44);
static_assert(offsetof(EngineImage, allocProc) == 48);
static_assert(offsetof(EngineImage, freeProc) == 56);
static_assert(offsetof(EngineImage, progressCallback) == 64);
static_assert(offsetof(EngineImage, hostContext) == 72);
static_assert(sizeof(EngineImage) == 80);

// The engine's export: 13 arguments, single-precision values passed as floats.
using VwGlazeRGB2Proc = int32_t (*)(EngineImage* image, int32_t mode, int32_t cleanStrength,
                                    const float* channelThresholds, float cleanRadius,
                                    const float* channelFactors, float edgeRadius,
                                    float edgeSharpness, int32_t edgeAccent, float constant,
                                    float textureStrength, float textureInvBoost,
                                    float textureSize);

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

// Truncates towards zero, saturating at the 32-bit limits; NaN gives 0. Descriptor values
// are stored unchecked, so the conversion has to be defined for every double.
int32_t TruncateToInt32(double v);

// Engine result codes: 1 completed, 0 cancelled, negative and others are errors. For an
// error, `boxText` is the message shown to the user and `failureText` the text for the host.
bool EngineResultIsError(int32_t code, std::string& boxText, std::string& failureText);
