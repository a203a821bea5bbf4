// The test engine: the export the plug-in calls, and a control export for the tests.
#include "TestEngine.h"

#include <windows.h>

#include <cstring>

namespace {

TestEngineScript g_script = {1, 0, 0, 1};
TestEngineCall g_last = {};

bool DstHoldsSource(const EngineImage& image, size_t rowLength) {
    const auto* src = static_cast<const uint8_t*>(image.srcData);
    const auto* dst = static_cast<const uint8_t*>(image.dstData);
    for (int y = 0; y < image.height; ++y)
        if (std::memcmp(src + ptrdiff_t(y) * image.srcRowBytes,
                        dst + ptrdiff_t(y) * image.dstRowBytes, rowLength) != 0)
            return false;
    return true;
}

void Invert(const EngineImage& image) {
    for (int y = 0; y < image.height; ++y) {
        auto* row = static_cast<uint8_t*>(image.dstData) + ptrdiff_t(y) * image.dstRowBytes;
        if (image.pixelFormat == VWGLAZE_FORMAT_RGB8) {
            for (int x = 0; x < image.width * 3; ++x) row[x] = uint8_t(255 - row[x]);
        } else {
            auto* samples = reinterpret_cast<uint16_t*>(row);
            for (int x = 0; x < image.width * 3; ++x) samples[x] = uint16_t(32768 - samples[x]);
        }
    }
}

}  // namespace

extern "C" __declspec(dllexport) int32_t
    vwGlazeRGB2(const EngineImage* image, int32_t mode, int32_t cleanStrength,
                const float* channelThresholds, float cleanRadius, const float* channelFactors,
                float edgeRadius, float edgeSharpness, int32_t edgeAccent, float constant,
                float textureStrength, float textureInvBoost, float textureSize) {
    ++g_last.calls;
    g_last.image = *image;
    EngineArgs& a = g_last.args;
    a.mode = mode;
    a.cleanStrength = cleanStrength;
    std::memcpy(a.channelThresholds, channelThresholds, sizeof a.channelThresholds);
    a.cleanRadius = cleanRadius;
    std::memcpy(a.channelFactors, channelFactors, sizeof a.channelFactors);
    a.edgeRadius = edgeRadius;
    a.edgeSharpness = edgeSharpness;
    a.edgeAccent = edgeAccent;
    a.constant = constant;
    a.textureStrength = textureStrength;
    a.textureInvBoost = textureInvBoost;
    a.textureSize = textureSize;

    const size_t pixelBytes = image->pixelFormat == VWGLAZE_FORMAT_RGB8 ? 3 : 6;
    g_last.dstHeldSource = DstHoldsSource(*image, size_t(image->width) * pixelBytes);
    g_last.allocGotNull = 0;
    g_last.stoppedAt = -1;
    g_last.progressSeen = 0;

    if (g_script.allocBytes > 0) {
        void* block = image->allocProc(uint32_t(g_script.allocBytes), image->hostContext);
        if (!block) {
            g_last.allocGotNull = 1;
            return -1;
        }
        std::memset(block, 0xA5, size_t(g_script.allocBytes));
        image->freeProc(block, image->hostContext);
    }
    if (image->progressCallback) {
        for (int i = 1; i <= g_script.progressCalls; ++i) {
            ++g_last.progressSeen;
            if (image->progressCallback(i, g_script.progressCalls, image->hostContext) == 0) {
                g_last.stoppedAt = i;
                return 0;
            }
        }
    }
    if (g_script.invert)
        Invert(*image);
    return g_script.result;
}

extern "C" __declspec(dllexport) void TestEngineControl(const TestEngineScript* script,
                                                        TestEngineCall* last) {
    if (script)
        g_script = *script;
    if (last)
        *last = g_last;
}
