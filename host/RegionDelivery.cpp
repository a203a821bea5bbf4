// Region requests of a plug-in delivered from and written back into the host image.
#include "host/RegionDelivery.h"

#include <algorithm>
#include <new>

namespace vg::host {
namespace {

bool EmptyRect(const ps::VRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// Whole rows of every channel at full resolution, inside the image, with the image's own row
// length: such a region is the image's memory itself, so it needs no buffer and no copy.
bool SameLayoutAsImage(const CHostImage& image, const RegionLayout& layout) {
    const ps::VRect& r = layout.rect;
    return layout.rate == ps::kFixedOne && layout.loPlane == 0 &&
           layout.hiPlane == image.Channels() - 1 && r.left == 0 && r.right == image.Width() &&
           r.top >= 0 && r.bottom <= image.Height() && r.top < r.bottom &&
           size_t(layout.rowBytes) == image.RowBytes();
}

}  // namespace

void CRegionDelivery::Begin(CHostImage& image) {
    m_src = image;
    m_dst = &image;
    m_inLayout = m_outLayout = RegionLayout{};
    m_outPending = false;
}

void CRegionDelivery::End() {
    m_outPending = false;
    m_dst = nullptr;
    // The copy's memory stays for the next run's copy (assigning reuses it): a batch of images
    // of one size then pays the page faults of fresh memory once, not per image.
    m_inBuf = std::vector<uint8_t>();
    m_outBuf = std::vector<uint8_t>();
}

void CRegionDelivery::Restore() {
    if (m_dst)
        *m_dst = m_src;
}

void CRegionDelivery::Flush() {
    if (m_outPending && m_dst)
        WriteRegion(*m_dst, m_outLayout, m_outBuf.data());
    m_outPending = false;
}

ps::OSErr CRegionDelivery::Deliver(const AdvanceRequest& req, const DeliveryRules& rules,
                                   ps::FilterRecord* rec) {
    Flush();
    if (m_dst == nullptr)
        return ps::paramErr;
    RegionLayout in, out;
    in.rect = EmptyRect(req.inRect) ? ps::VRect{} : req.inRect;
    out.rect = EmptyRect(req.outRect) ? ps::VRect{} : req.outRect;
    in.loPlane = req.inLoPlane;
    in.hiPlane = req.inHiPlane;
    out.loPlane = req.outLoPlane;
    out.hiPlane = req.outHiPlane;
    in.rate = req.inputRate;
    int64_t inBytes = 0, outBytes = 0;
    const int64_t limit = std::max<int64_t>(rules.maxBytes, 1);
    ps::OSErr err = ps::noErr;
    if (!EmptyRect(in.rect))
        err = PlanRegion(*m_dst, &in, rules.rowAlignment, limit, &inBytes);
    if (err == ps::noErr && !EmptyRect(out.rect))
        err = PlanRegion(*m_dst, &out, rules.rowAlignment, limit, &outBytes);
    if (err == ps::noErr && inBytes + outBytes > limit)
        err = ps::memFullErr;
    const int16_t inPad =
        rules.supportsPadding ? req.inputPadding : ps::plugInWantsErrorOnBoundsException;
    const int16_t outPad =
        rules.supportsPadding ? req.outputPadding : ps::plugInWantsErrorOnBoundsException;
    // The input shows the run's copy of the image and the output is the image itself when
    // their layouts allow it (the usual request for whole images): a plug-in reads and writes
    // them where they are, as in a host that hands out its own tiles. Otherwise the regions
    // are copied into buffers and the output is written back by Flush.
    const bool inDirect = err == ps::noErr && inBytes > 0 && SameLayoutAsImage(m_src, in);
    const bool outDirect = err == ps::noErr && outBytes > 0 && SameLayoutAsImage(*m_dst, out);
    if (err == ps::noErr) {
        try {
            m_inBuf.assign(inDirect ? 0 : size_t(inBytes), 0);
            m_outBuf.assign(outDirect ? 0 : size_t(outBytes), 0);
        } catch (const std::bad_alloc&) {
            err = ps::memFullErr;
        }
    }
    if (err == ps::noErr && !inDirect)
        err = ReadRegion(m_src, in, inPad, m_inBuf.data());
    if (err == ps::noErr && !outDirect)
        err = ReadRegion(*m_dst, out, outPad, m_outBuf.data());
    const int32_t bps = m_dst->BytesPerSample();
    if (err != ps::noErr) {
        m_inBuf.clear();
        m_outBuf.clear();
        in = RegionLayout{};
        out = RegionLayout{};
        inBytes = outBytes = 0;
    }
    m_inLayout = in;
    m_outLayout = out;
    m_outPending = err == ps::noErr && outBytes > 0 && !outDirect;
    uint8_t* inData = inDirect ? m_src.Row(in.rect.top) : m_inBuf.data();
    uint8_t* outData = outDirect ? m_dst->Row(out.rect.top) : m_outBuf.data();
    rec->inData = inBytes > 0 ? inData : nullptr;
    rec->inRowBytes = in.rowBytes;
    rec->outData = outBytes > 0 ? outData : nullptr;
    rec->outRowBytes = out.rowBytes;
    rec->inColumnBytes = in.PlaneCount() * bps;
    rec->inPlaneBytes = bps;
    rec->outColumnBytes = out.PlaneCount() * bps;
    rec->outPlaneBytes = bps;
    rec->maskData = nullptr;
    rec->maskRowBytes = 0;
    return err;
}

}  // namespace vg::host
