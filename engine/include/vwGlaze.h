/* Public interface of the glaze engine library (vwiglaze21_x64.dll): one C export that filters
   an RGB image with the nine user parameters. The record layout is shared with the plug-in,
   which is built separately, so it is fixed to the 64-bit layout asserted below. */
#ifndef VWGLAZE_H
#define VWGLAZE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VWGLAZE_CALL
#if defined(VWGLAZE_BUILDING)
#define VWGLAZE_API __declspec(dllexport)
#else
#define VWGLAZE_API
#endif
#else
#define VWGLAZE_CALL
#define VWGLAZE_API __attribute__((visibility("default")))
#endif

/* Pixel formats: three interleaved samples R, G, B, no alpha. */
enum { VWGLAZE_FORMAT_RGB8 = 1, VWGLAZE_FORMAT_RGB16 = 3 };
/* The 16-bit format uses the host's range 0..32768. */
enum { VWGLAZE_RGB16_MAX = 32768 };

/* Result codes of vwGlazeRGB2. */
enum {
    VWGLAZE_DONE = 1,
    VWGLAZE_CANCELLED = 0,
    VWGLAZE_NO_MEMORY = -1,
    VWGLAZE_INTERNAL_ERROR = -2,
    VWGLAZE_BAD_PARAMETERS = -3
};

typedef void* (*VwAllocProc)(uint32_t size, void* context);
typedef void (*VwFreeProc)(void* block, void* context);
/* Returns 1 to go on, 0 to stop. */
typedef int32_t (*VwProgressProc)(int32_t done, int32_t total, void* context);

typedef struct EngineImage {
    int32_t pixelFormat;
    const void* srcData;
    int32_t srcRowBytes;
    void* dstData;
    int32_t dstRowBytes;
    int32_t width;
    int32_t height;
    int32_t sampleStep;
    VwAllocProc allocProc;
    VwFreeProc freeProc;
    VwProgressProc progressCallback; /* may be null */
    void* hostContext;
} EngineImage;

/* Filters width x height pixels from srcData into dstData (which may be the same buffer).
   Working memory comes from allocProc/freeProc; every callback runs on the calling thread and
   receives hostContext. Returns one of the VWGLAZE_ result codes. */
VWGLAZE_API int32_t VWGLAZE_CALL vwGlazeRGB2(const EngineImage* image, int32_t mode,
                                             int32_t cleanStrength, const float* channelThresholds,
                                             float cleanRadius, const float* channelFactors,
                                             float edgeRadius, float edgeSharpness,
                                             int32_t edgeAccent, float edgeKnee,
                                             float textureStrength, float textureGamma,
                                             float textureSize);

typedef int32_t(VWGLAZE_CALL* VwGlazeRGB2Proc)(const EngineImage*, int32_t, int32_t, const float*,
                                               float, const float*, float, float, int32_t, float,
                                               float, float, float);

#ifdef __cplusplus
}

static_assert(sizeof(void*) != 8 || sizeof(EngineImage) == 80, "EngineImage is 80 bytes");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, srcData) == 8, "srcData at 8");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, srcRowBytes) == 16, "srcRowBytes");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, dstData) == 24, "dstData at 24");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, dstRowBytes) == 32, "dstRowBytes");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, width) == 36, "width at 36");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, height) == 40, "height at 40");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, sampleStep) == 44, "sampleStep");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, allocProc) == 48, "allocProc");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, freeProc) == 56, "freeProc at 56");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, progressCallback) == 64, "progress");
static_assert(sizeof(void*) != 8 || offsetof(EngineImage, hostContext) == 72, "hostContext");
#endif

#endif
