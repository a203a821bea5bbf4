// Fuzz target for the host's reading of plug-in property lists: any bytes as a PiPL resource,
// then the offer decision on a few images; the same bytes as an enable expression. Checks that
// a parsed list only reports strings that lie inside the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/PiPL.h"
#include "sdk/PluginInterface.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

void Offer(const vg::host::PlugInInfo& info) {
    for (int mode : {ps::plugInModeRGBColor, ps::plugInModeRGB48, ps::plugInModeGrayScale}) {
        vg::host::EnableContext c;
        c.imageMode = mode;
        c.imageDepth = mode == ps::plugInModeRGB48 ? 16 : 8;
        c.imageWidth = 640;
        c.imageHeight = 40000;
        std::string reason;
        if (!vg::host::PlugInAccepts(info, c, &reason) && reason.empty())
            Fail("refusal without a reason");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vg::host::PlugInInfo info;
    std::string error;
    if (vg::host::ParsePiPL(data, size, &info, &error)) {
        if (info.name.size() > size || info.entryPoint.size() > size ||
            info.enable.size() > size || info.termScope.size() > size)
            Fail("string longer than the input");
        if (info.keys.size() > size / 16)
            Fail("more properties than fit the input");
        Offer(info);
    } else if (error.empty()) {
        Fail("parse error without a message");
    }

    // The same bytes as an enable expression, alone and inside a property list's context.
    std::string expression(reinterpret_cast<const char*>(data), size);
    vg::host::EnableContext c;
    c.imageMode = ps::plugInModeRGB48;
    c.imageWidth = c.imageHeight = 1 << 20;
    bool enabled = false;
    if (!vg::host::EvaluateEnable(expression, c, &enabled, &error) && error.empty())
        Fail("expression error without a message");
    vg::host::PlugInInfo withEnable;
    withEnable.hasModes = true;
    withEnable.modes[0] = 0x10;
    withEnable.modes[1] = 0x10;
    withEnable.hasEnable = true;
    withEnable.enable = expression;
    Offer(withEnable);
    vg::host::PeMachine(data, size);
    return 0;
}
