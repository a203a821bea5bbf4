// A stand-in for the engine library in the plug-in's tests: it records the arguments of its
// last call and behaves as the test asks.
#pragma once

#include "plugin/EngineCall.h"

#include <cstdint>

// What the test asks of the next calls.
struct TestEngineScript {
    int32_t result;         // returned when the engine was not stopped
    int32_t progressCalls;  // progress reports per call (0: none)
    int32_t allocBytes;     // one block of this size is taken and given back (0: none)
    int32_t invert;         // write 255 - value (8 bit) or 32768 - value (16 bit) into dst
};

// What the last call received.
struct TestEngineCall {
    int32_t calls;
    EngineImage image;
    EngineArgs args;
    int32_t dstHeldSource;  // dst equalled src over width x height when the call began
    int32_t allocGotNull;
    int32_t stoppedAt;  // progress report that returned 0, or -1
    int32_t progressSeen;
};

using TestEngineControlProc = void (*)(const TestEngineScript* script, TestEngineCall* last);
