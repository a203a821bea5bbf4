// Reading a plug-in's property list (the Windows binary PiPL resource) and deciding whether
// the plug-in is offered for an image: its kind, modes, enable expression, size limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vg::host {

struct PlugInInfo {
    uint32_t kind = 0;
    int32_t version = -1;  // 'vers': major << 16 | minor, -1 when absent
    std::string name, category;
    std::string entryPoint;    // '8664'
    std::string entryPoint32;  // 'wx86'
    bool hasModes = false;
    uint8_t modes[4] = {0, 0, 0, 0};  // bit for mode m: byte m/8, mask 0x80 >> (m % 8)
    bool hasEnable = false;
    std::string enable;
    bool hasMaxSize = false;
    int32_t maxRows = 0, maxCols = 0;
    bool hasMinSize = false;
    int32_t minRows = 0, minCols = 0;
    bool hasTerminology = false;
    uint32_t termClass = 0, termEvent = 0;
    int16_t termId = 0;
    std::string termScope;
    std::vector<uint32_t> keys;  // every property key, in order

    bool ModeBit(int mode) const;
};

// Parses one PiPL resource. false with a message on truncated or inconsistent data, including
// property lengths not padded to 4 bytes (which hosts that do not round up misread).
bool ParsePiPL(const uint8_t* data, size_t size, PlugInInfo* out, std::string* error);

// The variables an enable expression can test.
struct EnableContext {
    int32_t imageMode = 0;
    int32_t imageDepth = 8;
    int32_t imageWidth = 0, imageHeight = 0;
    int32_t numTargetChannels = 3, numTrueChannels = 3;
    bool isTargetComposite = true;
    bool hasLayerMask = false, hasSelectionMask = false, hasTransparencyMask = false;
};

// Evaluates an enable expression ("in (PSHOP_ImageMode, RGBMode, RGB48Mode)", "true", ...).
// false with a message on a syntax error or an unknown name.
bool EvaluateEnable(const std::string& expression, const EnableContext& context, bool* enabled,
                    std::string* error);

// Whether the plug-in is offered for this image, as the strictest host would decide: the mode
// flags must include the mode (without flags, only the expression "true" enables anything) and
// the enable expression, when present, must hold too. Size limits ('ms32', 'mn32') apply in
// every case. A message says why not.
bool PlugInAccepts(const PlugInInfo& info, const EnableContext& context, std::string* reason);

// Name of a plugInMode* value ("RGB48Mode"), or the number.
std::string ModeName(int32_t mode);

// The machine a PE file is built for, from its first bytes: 0x8664 x64, 0x14C x86, 0xAA64 arm64.
// 0 when the bytes are not a PE image.
uint16_t PeMachine(const uint8_t* data, size_t size);

}  // namespace vg::host
