// Fuzz target for the host's descriptor forms: any bytes as a descriptor handle's contents and
// as a descriptor file. Whatever is accepted must survive the binary round trip exactly and
// the text round trip as text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/Descriptor.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool Same(const vg::host::CDescriptor& a, const vg::host::CDescriptor& b) {
    if (a.items.size() != b.items.size())
        return false;
    for (size_t i = 0; i < a.items.size(); ++i) {
        const auto &x = a.items[i], &y = b.items[i];
        // NaN never equals itself; compare its bits through the encoded form instead.
        if (!(x == y) && vg::host::CDescriptor{{x}}.Encode() != vg::host::CDescriptor{{y}}.Encode())
            return false;
    }
    return true;
}

void RoundTrip(const vg::host::CDescriptor& d) {
    std::string error;
    vg::host::CDescriptor binary;
    if (!vg::host::CDescriptor::Decode(d.Encode(), &binary, &error))
        Fail("own binary form refused");
    if (!Same(d, binary))
        Fail("binary round trip changed the values");
    vg::host::CDescriptor text;
    if (!vg::host::CDescriptor::FromText(d.ToText(), &text, &error))
        Fail("own text form refused");
    // Types this host does not know have no text form for their values; the text itself
    // must read back to the same text.
    if (text.ToText() != d.ToText())
        Fail("text round trip changed the values");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    vg::host::CDescriptor d;
    if (vg::host::CDescriptor::Decode(bytes, &d, &error))
        RoundTrip(d);
    else if (error.empty())
        Fail("binary error without a message");
    vg::host::CDescriptor t;
    if (vg::host::CDescriptor::FromText(bytes, &t, &error))
        RoundTrip(t);
    else if (error.empty())
        Fail("text error without a message");
    uint32_t code = 0;
    if (vg::host::ParseFourCC(bytes, &code)) {
        uint32_t again = 0;
        if (!vg::host::ParseFourCC(vg::host::FormatFourCC(code), &again) || again != code)
            Fail("four-char code round trip");
    }
    return 0;
}
