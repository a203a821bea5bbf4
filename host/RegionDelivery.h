// The image regions a plug-in asks for through the record's rectangles: checked, copied into
// the buffers behind inData and outData, and the output written back into the image before
// the next request or at the end of the run. Portable.
#pragma once

#include "host/HostImage.h"
#include "sdk/PluginInterface.h"

#include <cstdint>
#include <vector>

namespace vg::host {

// One advanceState request as the host understood it.
struct AdvanceRequest {
    int16_t selector = 0;  // selector during which it was made
    ps::VRect inRect{};    // as requested (sampled coordinates when inputRate != 1)
    ps::VRect outRect{};
    int16_t inLoPlane = 0, inHiPlane = 0, outLoPlane = 0, outHiPlane = 0;
    ps::Fixed inputRate = ps::kFixedOne;
    int16_t inputPadding = 0, outputPadding = 0;
    bool used32Bit = false;  // read from BigDocumentStruct
    int16_t result = 0;
};

// How the host hands out regions.
struct DeliveryRules {
    int32_t rowAlignment = 4;     // rows are padded to this many bytes
    int64_t maxBytes = 1 << 30;   // input and output buffers together
    bool supportsPadding = true;  // false: any pixel outside the image is an error
};

// Owns a copy of the image as it was when the run began (what inData always shows), the
// two region buffers and their layouts; borrows the image being filtered. A region of whole
// rows of every channel is handed out in place (inData in the copy, outData in the image);
// others go through the buffers. Between Begin and End, at most one buffered output region
// is pending: it is written back by Flush, once.
class CRegionDelivery {
public:
    void Begin(CHostImage& image);
    // Forgets the buffers and the image; the image keeps what was written back. The copy
    // keeps its memory for the next Begin.
    void End();
    // Puts the image back as it was at Begin (a failed run).
    void Restore();

    // Copies the requested regions into the buffers and points the record's data fields at
    // them (null and zero for an empty or refused request). Flushes the pending output first.
    ps::OSErr Deliver(const AdvanceRequest& request, const DeliveryRules& rules,
                      ps::FilterRecord* record);
    void Flush();
    // Drops the pending output without writing it (the plug-in's last Continue failed).
    void Discard() { m_outPending = false; }

private:
    CHostImage m_src;
    CHostImage* m_dst = nullptr;
    RegionLayout m_inLayout, m_outLayout;
    std::vector<uint8_t> m_inBuf, m_outBuf;
    bool m_outPending = false;
};

}  // namespace vg::host
