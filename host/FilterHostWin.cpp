// The Windows host: loads a plug-in, builds the filter record and its callback suites, and
// drives the selectors. The interface's callbacks carry no context, so they find the running
// host through g_current, set only while a selector call is in progress.
#include "host/FilterHost.h"

#include "host/PlugInModuleWin.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <set>

namespace vg::host {
namespace {

using namespace ps;

constexpr int32_t kMaxHandleSize = 1 << 30;
constexpr int64_t kMaxContinueCalls = 50'000'000;

std::atomic<bool> g_consoleCancel{false};

BOOL WINAPI ConsoleCtrlHandler(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        g_consoleCancel = true;
        return TRUE;
    }
    return FALSE;
}

// Where the fields of each record generation end (the rest of the record is reserved, zero).
int32_t FieldsEnd(int32_t recordSize) {
    switch (recordSize) {
        case kFilterRecordSize552:
            return int32_t(offsetof(FilterRecord, depth) + 4);
        case kFilterRecordSize556:
            return int32_t(offsetof(FilterRecord, canUseICCProfiles) + 4);
        case kFilterRecordSizeCS6:
            return int32_t(offsetof(FilterRecord, iCCWorkingProfileSize) + 4);
        case kFilterRecordSize:
            return int32_t(offsetof(FilterRecord, reserved));
        default:
            return 0;
    }
}

VRect From16(const Rect& r) {
    return VRect{r.top, r.left, r.bottom, r.right};
}

Rect To16(const VRect& r) {
    auto c = [](int32_t v) { return int16_t(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX)); };
    return Rect{c(r.top), c(r.left), c(r.bottom), c(r.right)};
}

bool EmptyRect(const VRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

struct HostHandle {
    char* ptr = nullptr;  // first member: the Handle is the address of this pointer
    int32_t size = 0;
    bool locked = false;
    HostHandle() = default;
    ~HostHandle() { delete[] ptr; }
    HostHandle(const HostHandle&) = delete;
    HostHandle& operator=(const HostHandle&) = delete;
};

struct HostBuffer {
    std::vector<char> data;
};

struct ReadState {
    CDescriptor descriptor;
    size_t next = 0;
    const DescriptorItem* current = nullptr;
    DescriptorKeyID* keys = nullptr;
    OSErr error = noErr;
};

struct WriteState {
    CDescriptor descriptor;
};

}  // namespace

class CFilterHost::CImpl {
public:
    explicit CImpl(HostOptions options) : m_opt(std::move(options)) {}

    HostOptions m_opt;
    CPlugInModule m_module;
    intptr_t m_data = 0;
    Handle m_parameters = nullptr;
    CDescriptor m_last;
    bool m_haveLast = false;
    int32_t m_runs = 0;

    // Host memory the plug-in holds.
    std::map<Handle, std::unique_ptr<HostHandle>> m_handles;
    std::map<BufferID, std::unique_ptr<HostBuffer>> m_buffers;
    std::map<char*, std::unique_ptr<char[]>> m_suiteBlocks;
    std::map<char*, size_t> m_suiteSizes;
    int64_t m_heldBytes = 0;
    std::map<PIReadDescriptor, std::unique_ptr<ReadState>> m_readers;
    std::map<PIWriteDescriptor, std::unique_ptr<WriteState>> m_writers;
    int32_t m_suitesHeld = 0;
    std::set<Handle> m_written;  // descriptor handles made by closeWriteDescriptorProc

    // The running session.
    FilterRecord* m_rec = nullptr;
    void* m_recBlock = nullptr;
    std::vector<char> m_recPlain;
    BigDocumentStruct m_big{};
    bool m_haveBig = false;
    PIDescriptorParameters m_descParams{};
    ReadDescriptorProcs m_readProcs{};
    WriteDescriptorProcs m_writeProcs{};
    HandleProcs m_handleProcs{};
    BufferProcs m_bufferProcs{};
    PropertyProcs m_propertyProcs{};
    SPBasicSuite m_basic{};
    PSBufferSuite1 m_buffer1{};
    PSBufferSuite2 m_buffer2{};
    PlatformData m_platform{};
    Str255 m_errorString{};
    CHostImage m_src;
    CHostImage* m_dst = nullptr;
    RegionLayout m_inLayout, m_outLayout;
    std::vector<uint8_t> m_inBuf, m_outBuf;
    bool m_outPending = false;
    int16_t m_selector = 0;
    RunResult* m_result = nullptr;
    bool m_progressDrawn = false;
    int m_lastPercent = -1;

    static CImpl* s_current;

    // ---- record ----------------------------------------------------------------------

    bool Has(size_t offset, size_t size) const {
        return int64_t(offset + size) <= int64_t(FieldsEnd(m_opt.recordSize));
    }

    FilterRecord* AllocateRecord() {
        const int32_t size = m_opt.recordSize;
        if (!m_opt.guardRecordEnd) {
            m_recPlain.assign(sizeof(FilterRecord), 0);
            return reinterpret_cast<FilterRecord*>(m_recPlain.data());
        }
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        size_t page = si.dwPageSize;
        size_t span = (size_t(size) + page - 1) / page * page;
        char* base = static_cast<char*>(
            VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (base == nullptr)
            return nullptr;
        DWORD old;
        VirtualProtect(base + span, page, PAGE_NOACCESS, &old);
        m_recBlock = base;
        return reinterpret_cast<FilterRecord*>(base + span - size_t(size));
    }

    void FreeRecord() {
        if (m_recBlock)
            VirtualFree(m_recBlock, 0, MEM_RELEASE);
        m_recBlock = nullptr;
        m_recPlain.clear();
        m_rec = nullptr;
    }

    // ---- handles ---------------------------------------------------------------------

    Handle NewHandle(int32_t size) {
        try {
            if (size < 0 || size > kMaxHandleSize)
                return nullptr;
            auto hh = std::make_unique<HostHandle>();
            hh->ptr = new (std::nothrow) char[size_t(std::max(size, 1))]();
            if (hh->ptr == nullptr)
                return nullptr;
            hh->size = size;
            Handle h = &hh->ptr;
            m_handles[h] = std::move(hh);
            return h;
        } catch (...) {  // no exception may reach the plug-in's frames
            return nullptr;
        }
    }

    HostHandle* FindHandle(Handle h) {
        auto it = m_handles.find(h);
        return it == m_handles.end() ? nullptr : it->second.get();
    }

    void DisposeHandle(Handle h) {
        auto it = m_handles.find(h);
        if (it == m_handles.end())
            return;  // not ours (or already gone): ignore rather than corrupt memory
        m_written.erase(h);
        m_handles.erase(it);
    }

    Handle HandleFromBytes(const std::string& bytes) {
        if (bytes.size() > size_t(kMaxHandleSize))
            return nullptr;
        Handle h = NewHandle(int32_t(bytes.size()));
        if (h)
            std::memcpy(*h, bytes.data(), bytes.size());
        return h;
    }

    std::string HandleBytes(Handle h) {
        HostHandle* hh = FindHandle(h);
        return hh ? std::string(hh->ptr, size_t(hh->size)) : std::string();
    }

    // ---- buffers -----------------------------------------------------------------------

    int64_t Space() const { return std::max<int64_t>(0, int64_t(m_opt.maxSpace) - m_heldBytes); }

    void Held(int64_t delta) {
        m_heldBytes += delta;
        if (m_result)
            m_result->peakBufferBytes = std::max(m_result->peakBufferBytes, m_heldBytes);
    }

    OSErr AllocateBuffer(int64_t size, BufferID* id) {
        try {
            if (id == nullptr || size < 0)
                return paramErr;
            *id = nullptr;
            if (size > Space())
                return memFullErr;
            auto b = std::make_unique<HostBuffer>();
            try {
                b->data.assign(size_t(std::max<int64_t>(size, 1)), 0);
            } catch (const std::bad_alloc&) {
                return memFullErr;
            }
            BufferID bid = reinterpret_cast<BufferID>(b.get());
            Held(size);
            m_buffers[bid] = std::move(b);
            *id = bid;
            return noErr;
        } catch (...) {  // no exception may reach the plug-in's frames
            return memFullErr;
        }
    }

    Ptr SuiteNew(uint64_t requested, uint64_t minimum, uint64_t* granted) {
        try {
            uint64_t size = std::max(requested, minimum);
            uint64_t space = uint64_t(Space());
            if (size > space)
                size = std::max(minimum, space);
            if (size > space || size > (uint64_t(1) << 40))
                return nullptr;
            std::unique_ptr<char[]> block(
                new (std::nothrow) char[size_t(std::max<uint64_t>(size, 1))]);
            if (!block)
                return nullptr;
            char* p = block.get();
            m_suiteBlocks[p] = std::move(block);
            m_suiteSizes[p] = size_t(size);
            Held(int64_t(size));
            *granted = size;
            return p;
        } catch (...) {  // no exception may reach the plug-in's frames
            return nullptr;
        }
    }

    void SuiteDispose(Ptr* p) {
        if (p == nullptr || *p == nullptr)
            return;
        auto it = m_suiteBlocks.find(*p);
        if (it != m_suiteBlocks.end()) {
            Held(-int64_t(m_suiteSizes[*p]));
            m_suiteSizes.erase(*p);
            m_suiteBlocks.erase(it);
        }
        *p = nullptr;
    }

    int32_t FreeAllBuffers() {
        int32_t n = int32_t(m_buffers.size() + m_suiteBlocks.size());
        m_buffers.clear();
        m_suiteBlocks.clear();
        m_suiteSizes.clear();
        m_heldBytes = 0;
        return n;
    }

    // ---- descriptors ---------------------------------------------------------------------

    ReadState* Reader(PIReadDescriptor r) {
        auto it = m_readers.find(r);
        return it == m_readers.end() ? nullptr : it->second.get();
    }
    WriteState* Writer(PIWriteDescriptor w) {
        auto it = m_writers.find(w);
        return it == m_writers.end() ? nullptr : it->second.get();
    }

    // The current item of a reader for a get call, or null (and the sticky error set).
    const DescriptorItem* Current(PIReadDescriptor r, const void* out) {
        ReadState* s = Reader(r);
        if (s == nullptr)
            return nullptr;
        if (out == nullptr || s->current == nullptr) {
            s->error = paramErr;
            return nullptr;
        }
        return s->current;
    }

    OSErr Fail(PIReadDescriptor r, OSErr e) {
        if (ReadState* s = Reader(r))
            s->error = e;
        return e;
    }

    OSErr Put(PIWriteDescriptor w, DescriptorItem item) {
        try {
            WriteState* s = Writer(w);
            if (s == nullptr)
                return paramErr;
            s->descriptor.items.push_back(std::move(item));
            return noErr;
        } catch (...) {  // no exception may reach the plug-in's frames
            return memFullErr;
        }
    }

    // ---- image requests ------------------------------------------------------------------

    void FlushOutput() {
        if (m_outPending && m_dst)
            WriteRegion(*m_dst, m_outLayout, m_outBuf.data());
        m_outPending = false;
    }

    bool Uses32Bit() const { return m_haveBig && m_big.PluginUsing32BitCoordinates != 0; }

    VRect RequestedIn() const { return Uses32Bit() ? m_big.inRect32 : From16(m_rec->inRect); }
    VRect RequestedOut() const { return Uses32Bit() ? m_big.outRect32 : From16(m_rec->outRect); }
    VRect RequestedMask() const { return Uses32Bit() ? m_big.maskRect32 : From16(m_rec->maskRect); }

    // Delivers the rectangles the plug-in has set: what advanceState and the Continue loop do.
    OSErr Fetch() {
        if (m_opt.consoleCancel && g_consoleCancel)
            return userCanceledErr;
        FlushOutput();
        AdvanceRequest req;
        req.selector = m_selector;
        req.used32Bit = Uses32Bit();
        req.inRect = RequestedIn();
        req.outRect = RequestedOut();
        req.inLoPlane = m_rec->inLoPlane;
        req.inHiPlane = m_rec->inHiPlane;
        req.outLoPlane = m_rec->outLoPlane;
        req.outHiPlane = m_rec->outHiPlane;
        req.inputPadding = m_rec->inputPadding;
        req.outputPadding = m_rec->outputPadding;
        Fixed rate = kFixedOne;
        if (m_opt.samplingSupport == hostSupportsFractionalSampling)
            rate = m_rec->inputRate;
        else if (m_opt.samplingSupport == hostSupportsIntegralSampling)
            rate = std::max<Fixed>(kFixedOne, m_rec->inputRate & ~0xFFFF);
        req.inputRate = rate;

        OSErr err = Deliver(req, rate);
        req.result = err;
        if (m_result)
            m_result->requests.push_back(req);
        return err;
    }

    OSErr Deliver(const AdvanceRequest& req, Fixed rate) {
        RegionLayout in, out;
        in.rect = EmptyRect(req.inRect) ? VRect{} : req.inRect;
        out.rect = EmptyRect(req.outRect) ? VRect{} : req.outRect;
        in.loPlane = req.inLoPlane;
        in.hiPlane = req.inHiPlane;
        out.loPlane = req.outLoPlane;
        out.hiPlane = req.outHiPlane;
        in.rate = rate;
        int64_t inBytes = 0, outBytes = 0;
        const int64_t limit = std::max<int64_t>(m_opt.maxSpace, 1);
        OSErr err = noErr;
        if (!EmptyRect(in.rect))
            err = PlanRegion(*m_dst, &in, m_opt.rowAlignment, limit, &inBytes);
        if (err == noErr && !EmptyRect(out.rect))
            err = PlanRegion(*m_dst, &out, m_opt.rowAlignment, limit, &outBytes);
        if (err == noErr && inBytes + outBytes > limit)
            err = memFullErr;
        int16_t inPad =
            m_opt.supportsPadding ? req.inputPadding : plugInWantsErrorOnBoundsException;
        int16_t outPad =
            m_opt.supportsPadding ? req.outputPadding : plugInWantsErrorOnBoundsException;
        if (err == noErr) {
            try {
                m_inBuf.assign(size_t(inBytes), 0);
                m_outBuf.assign(size_t(outBytes), 0);
            } catch (const std::bad_alloc&) {
                err = memFullErr;
            }
        }
        if (err == noErr)
            err = ReadRegion(m_src, in, inPad, m_inBuf.data());
        if (err == noErr)
            err = ReadRegion(*m_dst, out, outPad, m_outBuf.data());
        const int32_t bps = m_dst->BytesPerSample();
        if (err != noErr) {
            m_inBuf.clear();
            m_outBuf.clear();
            in = RegionLayout{};
            out = RegionLayout{};
        }
        m_inLayout = in;
        m_outLayout = out;
        m_outPending = err == noErr && outBytes > 0;
        m_rec->inData = inBytes > 0 ? m_inBuf.data() : nullptr;
        m_rec->inRowBytes = in.rowBytes;
        m_rec->outData = outBytes > 0 ? m_outBuf.data() : nullptr;
        m_rec->outRowBytes = out.rowBytes;
        m_rec->inColumnBytes = in.PlaneCount() * bps;
        m_rec->inPlaneBytes = bps;
        m_rec->outColumnBytes = out.PlaneCount() * bps;
        m_rec->outPlaneBytes = bps;
        m_rec->maskData = nullptr;
        m_rec->maskRowBytes = 0;
        return err;
    }

    bool RectsRequested() const {
        return !EmptyRect(RequestedIn()) || !EmptyRect(RequestedOut()) ||
               !EmptyRect(RequestedMask());
    }

    // ---- progress ------------------------------------------------------------------------

    void Progress(int32_t done, int32_t total) {
        if (m_result) {
            ++m_result->progressCalls;
            m_result->lastProgressDone = done;
            m_result->lastProgressTotal = total;
        }
        if (!m_opt.consoleProgress || total <= 0)
            return;
        int pct = int(std::clamp<int64_t>(int64_t(done) * 100 / total, 0, 100));
        if (pct == m_lastPercent)
            return;
        m_lastPercent = pct;
        char bar[41];
        int filled = pct * 40 / 100;
        for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '.';
        bar[40] = 0;
        std::fprintf(stderr, "\r[%s] %3d%%", bar, pct);
        std::fflush(stderr);
        m_progressDrawn = true;
    }

    void EndProgress() {
        if (m_progressDrawn)
            std::fprintf(stderr, "\n");
        m_progressDrawn = false;
        m_lastPercent = -1;
    }

    // ---- building and running --------------------------------------------------------------

    void BuildSuites();
    bool BuildRecord(CHostImage& image, const RunOptions& options, std::string* error);
    int16_t Call(int16_t selector, void* block, const RunOptions* options);
    RunResult Run(CHostImage& image, const RunOptions& options);
    RunResult About();
    void CollectDescriptor(RunResult& r);
};

CFilterHost::CImpl* CFilterHost::CImpl::s_current = nullptr;

namespace {

using Impl = CFilterHost::CImpl;
Impl& H() {
    return *Impl::s_current;
}
bool Active() {
    return Impl::s_current != nullptr;
}

// ---- callbacks in the record ----------------------------------------------------------------

Boolean CbAbort() {
    if (!Active())
        return false;
    Impl& h = H();
    int32_t calls = h.m_result ? ++h.m_result->abortCalls : 0;
    if (h.m_opt.cancelAfterAbortCalls > 0 && calls >= h.m_opt.cancelAfterAbortCalls)
        return true;
    return h.m_opt.consoleCancel && g_consoleCancel;
}

void CbProgress(int32 done, int32 total) {
    if (Active())
        H().Progress(done, total);
}

void CbProcessEvent(void*) {}

OSErr CbAdvanceState() {
    if (!Active() || H().m_rec == nullptr)
        return paramErr;
    return H().Fetch();
}

OSErr CbDisplayPixels(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                      void* platformContext) {
    if (Active() && H().m_result)
        ++H().m_result->displayPixelsCalls;
    return PaintPixelMap(source, srcRect, dstRow, dstCol, platformContext);
}

// Handle procs.
Handle CbNewHandle(int32 size) {
    return Active() ? H().NewHandle(size) : nullptr;
}
void CbDisposeHandle(Handle h) {
    if (Active() && H().m_opt.reliableHandleProcs)
        H().DisposeHandle(h);
}
int32 CbGetHandleSize(Handle h) {
    HostHandle* hh = Active() ? H().FindHandle(h) : nullptr;
    return hh && H().m_opt.reliableHandleProcs ? hh->size : 0;
}
OSErr CbSetHandleSize(Handle h, int32 size) {
    HostHandle* hh = Active() ? H().FindHandle(h) : nullptr;
    if (hh == nullptr)
        return nilHandleErr;
    if (!H().m_opt.reliableHandleProcs)
        return noErr;  // a stub: the block keeps its size
    if (size < 0 || size > kMaxHandleSize)
        return memFullErr;
    if (hh->locked && size > hh->size)
        return memFullErr;  // a locked block cannot move
    if (size == hh->size)
        return noErr;
    char* p = new (std::nothrow) char[size_t(std::max(size, 1))]();
    if (p == nullptr)
        return memFullErr;
    std::memcpy(p, hh->ptr, size_t(std::min(size, hh->size)));
    if (!hh->locked) {
        delete[] hh->ptr;
        hh->ptr = p;
    } else {
        std::memcpy(hh->ptr, p, size_t(size));  // shrinking in place keeps the locked address
        delete[] p;
    }
    hh->size = size;
    return noErr;
}
Ptr CbLockHandle(Handle h, Boolean) {
    HostHandle* hh = Active() ? H().FindHandle(h) : nullptr;
    if (hh == nullptr)
        return nullptr;
    hh->locked = true;
    return hh->ptr;
}
void CbUnlockHandle(Handle h) {
    if (HostHandle* hh = Active() ? H().FindHandle(h) : nullptr)
        hh->locked = false;
}
void CbRecoverSpace(int32) {}

// Buffer procs.
OSErr CbAllocateBuffer(int32 size, BufferID* id) {
    return Active() ? H().AllocateBuffer(size, id) : memFullErr;
}
OSErr CbAllocateBuffer64(int64 size, BufferID* id) {
    return Active() ? H().AllocateBuffer(size, id) : memFullErr;
}
Ptr CbLockBuffer(BufferID id, Boolean) {
    if (!Active())
        return nullptr;
    auto it = H().m_buffers.find(id);
    return it == H().m_buffers.end() ? nullptr : it->second->data.data();
}
void CbUnlockBuffer(BufferID) {}
void CbFreeBuffer(BufferID id) {
    if (!Active())
        return;
    auto it = H().m_buffers.find(id);
    if (it == H().m_buffers.end())
        return;
    H().Held(-int64_t(it->second->data.size()));
    H().m_buffers.erase(it);
}
int32 CbBufferSpace() {
    return Active() ? int32(std::min<int64_t>(H().Space(), INT32_MAX)) : 0;
}
int64 CbBufferSpace64() {
    return Active() ? H().Space() : 0;
}
OSErr CbReserveSpace(int32) {
    return noErr;
}

// Buffer suite.
Ptr CbSuiteNew(unsigned32* requested, unsigned32 minimum) {
    if (!Active())
        return nullptr;
    uint64_t granted = 0;
    Ptr p = H().SuiteNew(requested ? *requested : 0, minimum, &granted);
    if (p && requested)
        *requested = unsigned32(granted);
    return p;
}
Ptr CbSuiteNew64(unsigned64* requested, unsigned64 minimum) {
    if (!Active())
        return nullptr;
    uint64_t granted = 0;
    Ptr p = H().SuiteNew(requested ? *requested : 0, minimum, &granted);
    if (p && requested)
        *requested = granted;
    return p;
}
void CbSuiteDispose(Ptr* p) {
    if (Active())
        H().SuiteDispose(p);
}
unsigned64 CbSuiteGetSize64(Ptr p) {
    if (!Active())
        return 0;
    auto it = H().m_suiteSizes.find(p);
    return it == H().m_suiteSizes.end() ? 0 : it->second;
}
unsigned32 CbSuiteGetSize(Ptr p) {
    return unsigned32(std::min<uint64_t>(CbSuiteGetSize64(p), UINT32_MAX));
}
unsigned64 CbSuiteGetSpace64() {
    return Active() ? uint64_t(H().Space()) : 0;
}
unsigned32 CbSuiteGetSpace() {
    return unsigned32(std::min<uint64_t>(CbSuiteGetSpace64(), UINT32_MAX));
}

// PICA basic suite.
SPErr CbAcquireSuite(const char* name, int32 version, const void** suite) {
    if (name == nullptr || suite == nullptr)
        return kSPBadParameterError;
    *suite = nullptr;
    if (!Active())
        return kSPSuiteNotFoundError;
    Impl& h = H();
    if (std::strcmp(name, kPSBufferSuite) == 0 && version == kPSBufferSuiteVersion1)
        *suite = &h.m_buffer1;
    else if (std::strcmp(name, kPSBufferSuite) == 0 && version == kPSBufferSuiteVersion2)
        *suite = &h.m_buffer2;
    else if (std::strcmp(name, kSPBasicSuite) == 0 && version == kSPBasicSuiteVersion)
        *suite = &h.m_basic;
    if (*suite == nullptr)
        return kSPSuiteNotFoundError;
    ++h.m_suitesHeld;
    return kSPNoError;
}
SPErr CbReleaseSuite(const char* name, int32) {
    if (name == nullptr)
        return kSPBadParameterError;
    if (Active() && H().m_suitesHeld > 0)
        --H().m_suitesHeld;
    return kSPNoError;
}
SPBoolean CbIsEqual(const char* a, const char* b) {
    return a && b && std::strcmp(a, b) == 0;
}
SPErr CbAllocateBlock(size_t size, void** block) {
    if (block == nullptr)
        return kSPBadParameterError;
    *block = std::malloc(std::max<size_t>(size, 1));
    return *block ? kSPNoError : kSPOutOfMemoryError;
}
SPErr CbFreeBlock(void* block) {
    std::free(block);
    return kSPNoError;
}
SPErr CbReallocateBlock(void* block, size_t size, void** newBlock) {
    if (newBlock == nullptr)
        return kSPBadParameterError;
    void* p = std::realloc(block, std::max<size_t>(size, 1));
    if (p == nullptr)
        return kSPOutOfMemoryError;
    *newBlock = p;
    return kSPNoError;
}
SPErr CbUndefined() {
    return kSPUnimplementedError;
}

// Property procs.
OSErr CbGetProperty(PIType signature, PIType key, int32, intptr_t* simple, Handle* complex) {
    if (!Active() || signature != kPhotoshopSignature)
        return errPlugInPropertyUndefined;
    Impl& h = H();
    if (complex)
        *complex = nullptr;
    intptr_t value;
    if (key == FourCC("vers"))
        value = h.m_opt.recordSize >= kFilterRecordSize ? (25 << 16) : (13 << 16);
    else if (key == FourCC("plip"))
        value = h.m_descParams.descriptor != nullptr;
    else if (key == FourCC("rcip") || key == FourCC("wtch"))
        value = 0;
    else if (key == FourCC("hwnd"))
        value = h.m_opt.parentWindow;
    else
        return errPlugInPropertyUndefined;
    if (simple == nullptr)
        return paramErr;
    *simple = value;
    return noErr;
}
OSErr CbSetProperty(PIType, PIType, int32, intptr_t, Handle) {
    return errPlugInPropertyUndefined;
}

// Read-descriptor procs.
PIReadDescriptor CbOpenRead(PIDescriptorHandle descriptor, DescriptorKeyID keys[]) {
    try {
        if (!Active() || descriptor == nullptr || H().FindHandle(descriptor) == nullptr)
            return nullptr;
        auto s = std::make_unique<ReadState>();
        std::string why;
        if (!CDescriptor::Decode(H().HandleBytes(descriptor), &s->descriptor, &why))
            return nullptr;
        s->keys = keys;
        auto r = reinterpret_cast<PIReadDescriptor>(s.get());
        H().m_readers[r] = std::move(s);
        return r;
    } catch (...) {  // no exception may reach the plug-in's frames
        return nullptr;
    }
}
OSErr CbCloseRead(PIReadDescriptor r) {
    if (!Active())
        return paramErr;
    ReadState* s = H().Reader(r);
    if (s == nullptr)
        return paramErr;
    OSErr e = s->error;
    if (e == noErr && s->keys && H().m_opt.reportMissingKeys)
        for (int i = 0; i < 4096 && s->keys[i] != 0; ++i)
            e = errMissingParameter;  // an expected key was never read
    H().m_readers.erase(r);
    return e;
}
Boolean CbGetKey(PIReadDescriptor r, DescriptorKeyID* key, DescriptorTypeID* type, int32* flags) {
    ReadState* s = Active() ? H().Reader(r) : nullptr;
    if (s == nullptr || s->next >= s->descriptor.items.size())
        return false;
    s->current = &s->descriptor.items[s->next++];
    if (key)
        *key = s->current->key;
    if (type)
        *type = s->current->type;
    if (flags)
        *flags = 0;
    if (s->keys)  // expected keys that turn up are crossed off
        for (int i = 0; i < 4096 && s->keys[i] != 0; ++i)
            if (s->keys[i] == s->current->key) {
                for (int j = i; j < 4096 && s->keys[j] != 0; ++j) s->keys[j] = s->keys[j + 1];
                break;
            }
    return true;
}
OSErr ReadNumber(PIReadDescriptor r, real64* value, DescriptorUnitID* unit) {
    const DescriptorItem* it = Active() ? H().Current(r, value) : nullptr;
    if (it == nullptr)
        return paramErr;
    if (it->type == typeFloat || it->type == typeUnitFloat) {
        *value = it->number;
        if (unit)
            *unit = it->type == typeUnitFloat ? it->unit : unitNone;
        return noErr;
    }
    if (it->type == typeInteger) {
        *value = it->integer;
        if (unit)
            *unit = unitNone;
        return noErr;
    }
    return H().Fail(r, paramErr);
}
OSErr CbGetFloat(PIReadDescriptor r, real64* v) {
    return ReadNumber(r, v, nullptr);
}
OSErr CbGetUnitFloat(PIReadDescriptor r, DescriptorUnitID* unit, real64* v) {
    DescriptorUnitID u = 0;
    OSErr e = ReadNumber(r, v, &u);
    if (e == noErr && unit)
        *unit = u;
    return e;
}
OSErr CbGetInteger(PIReadDescriptor r, int32* v) {
    const DescriptorItem* it = Active() ? H().Current(r, v) : nullptr;
    if (it == nullptr)
        return paramErr;
    if (it->type == typeInteger || it->type == typeBoolean) {
        *v = it->integer;
        return noErr;
    }
    if (it->type == typeFloat || it->type == typeUnitFloat) {
        *v = int32(std::clamp(it->number, double(INT32_MIN), double(INT32_MAX)));
        return noErr;
    }
    return H().Fail(r, paramErr);
}
OSErr CbGetBoolean(PIReadDescriptor r, Boolean* v) {
    const DescriptorItem* it = Active() ? H().Current(r, v) : nullptr;
    if (it == nullptr)
        return paramErr;
    if (it->type != typeBoolean && it->type != typeInteger)
        return H().Fail(r, paramErr);
    *v = it->integer != 0;
    return noErr;
}
OSErr GetBytes(PIReadDescriptor r, Handle* v, DescriptorTypeID want) {
    try {
        const DescriptorItem* it = Active() ? H().Current(r, v) : nullptr;
        if (it == nullptr)
            return paramErr;
        if (it->type != want)
            return H().Fail(r, paramErr);
        *v = H().HandleFromBytes(it->text);
        return *v ? noErr : H().Fail(r, memFullErr);
    } catch (...) {  // no exception may reach the plug-in's frames
        return memFullErr;
    }
}
OSErr CbGetText(PIReadDescriptor r, Handle* v) {
    return GetBytes(r, v, typeChar);
}
OSErr CbGetAlias(PIReadDescriptor r, Handle* v) {
    return GetBytes(r, v, FourCC("alis"));
}
OSErr CbGetEnumerated(PIReadDescriptor r, DescriptorEnumID* v) {
    const DescriptorItem* it = Active() ? H().Current(r, v) : nullptr;
    if (it == nullptr)
        return paramErr;
    if (it->type != typeEnumerated)
        return H().Fail(r, paramErr);
    *v = it->enumValue;
    return noErr;
}
OSErr CbGetClass(PIReadDescriptor r, DescriptorClassID* v) {
    const DescriptorItem* it = Active() ? H().Current(r, v) : nullptr;
    if (it == nullptr)
        return paramErr;
    if (it->type != typeClass)
        return H().Fail(r, paramErr);
    *v = it->enumValue;
    return noErr;
}
OSErr CbGetSimpleReference(PIReadDescriptor r, PIDescriptorSimpleReference*) {
    return Active() ? H().Fail(r, paramErr) : paramErr;
}
OSErr CbGetObject(PIReadDescriptor r, DescriptorClassID* type, PIDescriptorHandle* v) {
    const DescriptorItem* it = Active() ? H().Current(r, v) : nullptr;
    if (it == nullptr)
        return paramErr;
    if (it->type != typeObject)
        return H().Fail(r, paramErr);
    if (type)
        *type = it->enumValue;
    *v = H().HandleFromBytes(it->text);
    return *v ? noErr : H().Fail(r, memFullErr);
}
OSErr CbGetCount(PIReadDescriptor r, uint32* v) {
    const DescriptorItem* it = Active() ? H().Current(r, v) : nullptr;
    if (it == nullptr)
        return paramErr;
    if (it->type != typeInteger)
        return H().Fail(r, paramErr);
    *v = uint32(it->integer);
    return noErr;
}
OSErr CbGetString(PIReadDescriptor r, Str255* v) {
    const DescriptorItem* it = Active() ? H().Current(r, v) : nullptr;
    if (it == nullptr)
        return paramErr;
    if (it->type != typeChar)
        return H().Fail(r, paramErr);
    size_t n = std::min<size_t>(it->text.size(), 255);
    (*v)[0] = uint8_t(n);
    std::memcpy(*v + 1, it->text.data(), n);
    return noErr;
}
OSErr CbGetPinnedInteger(PIReadDescriptor r, int32 min, int32 max, int32* v) {
    OSErr e = CbGetInteger(r, v);
    if (e != noErr)
        return e;
    if (*v < min || *v > max) {
        *v = std::clamp(*v, min, std::max(min, max));
        return H().Fail(r, coercedParamErr);
    }
    return noErr;
}
OSErr CbGetPinnedFloat(PIReadDescriptor r, const real64* min, const real64* max, real64* v) {
    OSErr e = CbGetFloat(r, v);
    if (e != noErr)
        return e;
    if ((min && *v < *min) || (max && *v > *max)) {
        if (min && *v < *min)
            *v = *min;
        if (max && *v > *max)
            *v = *max;
        return H().Fail(r, coercedParamErr);
    }
    return noErr;
}
OSErr CbGetPinnedUnitFloat(PIReadDescriptor r, const real64* min, const real64* max,
                           DescriptorUnitID* unit, real64* v) {
    OSErr e = CbGetUnitFloat(r, unit, v);
    if (e != noErr)
        return e;
    if ((min && *v < *min) || (max && *v > *max)) {
        if (min && *v < *min)
            *v = *min;
        if (max && *v > *max)
            *v = *max;
        return H().Fail(r, coercedParamErr);
    }
    return noErr;
}

// Write-descriptor procs.
PIWriteDescriptor CbOpenWrite() {
    try {
        if (!Active())
            return nullptr;
        auto s = std::make_unique<WriteState>();
        auto w = reinterpret_cast<PIWriteDescriptor>(s.get());
        H().m_writers[w] = std::move(s);
        return w;
    } catch (...) {  // no exception may reach the plug-in's frames
        return nullptr;
    }
}
OSErr CbCloseWrite(PIWriteDescriptor w, PIDescriptorHandle* out) {
    try {
        WriteState* s = Active() ? H().Writer(w) : nullptr;
        if (s == nullptr)
            return paramErr;
        OSErr e = noErr;
        if (out == nullptr) {
            e = paramErr;
        } else {
            *out = H().HandleFromBytes(s->descriptor.Encode());
            if (*out == nullptr)
                e = memFullErr;
            else
                H().m_written.insert(*out);
        }
        H().m_writers.erase(w);
        return e;
    } catch (...) {  // no exception may reach the plug-in's frames
        return memFullErr;
    }
}
DescriptorItem Item(DescriptorKeyID key, DescriptorTypeID type) {
    DescriptorItem it;
    it.key = key;
    it.type = type;
    return it;
}
OSErr CbPutInteger(PIWriteDescriptor w, DescriptorKeyID key, int32 v) {
    DescriptorItem it = Item(key, typeInteger);
    it.integer = v;
    return Active() ? H().Put(w, it) : paramErr;
}
OSErr CbPutFloat(PIWriteDescriptor w, DescriptorKeyID key, const real64* v) {
    if (v == nullptr || !Active())
        return paramErr;
    DescriptorItem it = Item(key, typeFloat);
    it.number = *v;
    return H().Put(w, it);
}
OSErr CbPutUnitFloat(PIWriteDescriptor w, DescriptorKeyID key, DescriptorUnitID unit,
                     const real64* v) {
    if (v == nullptr || !Active())
        return paramErr;
    DescriptorItem it = Item(key, typeUnitFloat);
    it.unit = unit;
    it.number = *v;
    return H().Put(w, it);
}
OSErr CbPutBoolean(PIWriteDescriptor w, DescriptorKeyID key, Boolean v) {
    DescriptorItem it = Item(key, typeBoolean);
    it.integer = v ? 1 : 0;
    return Active() ? H().Put(w, it) : paramErr;
}
OSErr PutBytes(PIWriteDescriptor w, DescriptorKeyID key, DescriptorTypeID type, uint32 cls,
               Handle h) {
    try {
        if (!Active() || H().FindHandle(h) == nullptr)
            return paramErr;
        DescriptorItem it = Item(key, type);
        it.enumValue = cls;
        it.text = H().HandleBytes(h);
        return H().Put(w, it);
    } catch (...) {
        return memFullErr;
    }
}
OSErr CbPutText(PIWriteDescriptor w, DescriptorKeyID key, Handle h) {
    return PutBytes(w, key, typeChar, 0, h);
}
OSErr CbPutAlias(PIWriteDescriptor w, DescriptorKeyID key, Handle h) {
    return PutBytes(w, key, FourCC("alis"), 0, h);
}
OSErr CbPutEnumerated(PIWriteDescriptor w, DescriptorKeyID key, DescriptorTypeID type,
                      DescriptorEnumID v) {
    DescriptorItem it = Item(key, typeEnumerated);
    it.enumType = type;
    it.enumValue = v;
    return Active() ? H().Put(w, it) : paramErr;
}
OSErr CbPutClass(PIWriteDescriptor w, DescriptorKeyID key, DescriptorTypeID type) {
    DescriptorItem it = Item(key, typeClass);
    it.enumValue = type;
    return Active() ? H().Put(w, it) : paramErr;
}
OSErr CbPutSimpleReference(PIWriteDescriptor, DescriptorKeyID, const PIDescriptorSimpleReference*) {
    return paramErr;
}
OSErr CbPutObject(PIWriteDescriptor w, DescriptorKeyID key, DescriptorTypeID type,
                  PIDescriptorHandle h) {
    return PutBytes(w, key, typeObject, type, h);
}
OSErr CbPutCount(PIWriteDescriptor w, DescriptorKeyID key, uint32 count) {
    DescriptorItem it = Item(key, typeInteger);
    it.integer = int32(count);
    return Active() ? H().Put(w, it) : paramErr;
}
OSErr CbPutString(PIWriteDescriptor w, DescriptorKeyID key, const unsigned char* s) {
    if (s == nullptr || !Active())
        return paramErr;
    DescriptorItem it = Item(key, typeChar);
    it.text.assign(reinterpret_cast<const char*>(s + 1), s[0]);
    return H().Put(w, it);
}
OSErr CbPutScopedClass(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID) {
    return paramErr;
}
OSErr CbPutScopedObject(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID, PIDescriptorHandle) {
    return paramErr;
}

}  // namespace

// ---- session ------------------------------------------------------------------------------

void CFilterHost::CImpl::BuildSuites() {
    m_handleProcs = HandleProcs{kCurrentHandleProcsVersion,
                                kCurrentHandleProcsCount,
                                CbNewHandle,
                                CbDisposeHandle,
                                CbGetHandleSize,
                                CbSetHandleSize,
                                CbLockHandle,
                                CbUnlockHandle,
                                CbRecoverSpace,
                                CbDisposeHandle};
    m_bufferProcs = BufferProcs{kCurrentBufferProcsVersion,
                                kCurrentBufferProcsCount,
                                CbAllocateBuffer,
                                CbLockBuffer,
                                CbUnlockBuffer,
                                CbFreeBuffer,
                                CbBufferSpace,
                                CbReserveSpace,
                                CbAllocateBuffer64,
                                CbBufferSpace64};
    m_propertyProcs = PropertyProcs{kCurrentPropertyProcsVersion, kCurrentPropertyProcsCount,
                                    CbGetProperty, CbSetProperty};
    m_basic = SPBasicSuite{CbAcquireSuite, CbReleaseSuite,    CbIsEqual,  CbAllocateBlock,
                           CbFreeBlock,    CbReallocateBlock, CbUndefined};
    m_buffer1 = PSBufferSuite1{CbSuiteNew, CbSuiteDispose, CbSuiteGetSize, CbSuiteGetSpace};
    m_buffer2 = PSBufferSuite2{CbSuiteNew,   CbSuiteDispose,   CbSuiteGetSize,   CbSuiteGetSpace,
                               CbSuiteNew64, CbSuiteGetSize64, CbSuiteGetSpace64};
    m_readProcs = ReadDescriptorProcs{kCurrentReadDescriptorProcsVersion,
                                      kCurrentReadDescriptorProcsCount,
                                      CbOpenRead,
                                      CbCloseRead,
                                      CbGetKey,
                                      CbGetInteger,
                                      CbGetFloat,
                                      CbGetUnitFloat,
                                      CbGetBoolean,
                                      CbGetText,
                                      CbGetAlias,
                                      CbGetEnumerated,
                                      CbGetClass,
                                      CbGetSimpleReference,
                                      CbGetObject,
                                      CbGetCount,
                                      CbGetString,
                                      CbGetPinnedInteger,
                                      CbGetPinnedFloat,
                                      CbGetPinnedUnitFloat};
    m_writeProcs = WriteDescriptorProcs{kCurrentWriteDescriptorProcsVersion,
                                        kCurrentWriteDescriptorProcsCount,
                                        CbOpenWrite,
                                        CbCloseWrite,
                                        CbPutInteger,
                                        CbPutFloat,
                                        CbPutUnitFloat,
                                        CbPutBoolean,
                                        CbPutText,
                                        CbPutAlias,
                                        CbPutEnumerated,
                                        CbPutClass,
                                        CbPutSimpleReference,
                                        CbPutObject,
                                        CbPutCount,
                                        CbPutString,
                                        CbPutScopedClass,
                                        CbPutScopedObject};
    m_platform.hwnd = m_opt.parentWindow;
}

bool CFilterHost::CImpl::BuildRecord(CHostImage& image, const RunOptions& options,
                                     std::string* error) {
    const int32_t fieldsEnd = FieldsEnd(m_opt.recordSize);
    if (fieldsEnd == 0) {
        *error = "unsupported record size " + std::to_string(m_opt.recordSize) +
                 " (552, 556, 576 or 608)";
        return false;
    }
    m_haveBig = m_opt.bigDocument && Has(offsetof(FilterRecord, bigDocumentData), 8);
    if (!m_haveBig && (image.Width() > INT16_MAX || image.Height() > INT16_MAX)) {
        *error = "the image is larger than 32767 pixels and this host has no big-document support";
        return false;
    }
    VRect filter = options.filterRect;
    if (EmptyRect(filter))
        filter = VRect{0, 0, image.Height(), image.Width()};
    filter.top = std::clamp(filter.top, 0, image.Height());
    filter.bottom = std::clamp(filter.bottom, filter.top, image.Height());
    filter.left = std::clamp(filter.left, 0, image.Width());
    filter.right = std::clamp(filter.right, filter.left, image.Width());
    if (EmptyRect(filter)) {
        *error = "the filter rectangle lies outside the image";
        return false;
    }

    BuildSuites();
    FilterRecord init{};
    init.abortProc = CbAbort;
    init.progressProc = CbProgress;
    init.parameters = m_parameters;
    init.imageSize =
        Point{int16(std::min(image.Height(), 32767)), int16(std::min(image.Width(), 32767))};
    init.planes = int16(image.Planes());
    init.filterRect = To16(filter);
    init.background = PSRGBColor{0xFFFF, 0xFFFF, 0xFFFF};
    init.foreground = PSRGBColor{0, 0, 0};
    init.maxSpace = m_opt.maxSpace;
    init.backColor[0] = init.backColor[1] = init.backColor[2] = 255;
    init.hostSig = m_opt.hostSig;
    init.imageMode = image.Mode();
    init.imageHRes = init.imageVRes = 72 * kFixedOne;
    init.wholeSize = init.imageSize;
    init.monitor = PlugInMonitor{Fixed(2.2 * kFixedOne),    Fixed(0.64 * kFixedOne),
                                 Fixed(0.33 * kFixedOne),   Fixed(0.30 * kFixedOne),
                                 Fixed(0.60 * kFixedOne),   Fixed(0.15 * kFixedOne),
                                 Fixed(0.06 * kFixedOne),   Fixed(0.3127 * kFixedOne),
                                 Fixed(0.3290 * kFixedOne), 0};
    init.platformData = &m_platform;
    init.bufferProcs = m_opt.bufferProcs ? &m_bufferProcs : nullptr;
    init.processEvent = CbProcessEvent;
    init.displayPixels = m_opt.displayPixels ? CbDisplayPixels : nullptr;
    init.handleProcs = &m_handleProcs;
    init.filterCase = (filter.top == 0 && filter.left == 0 && filter.bottom == image.Height() &&
                       filter.right == image.Width())
                          ? filterCaseFlatImageNoSelection
                          : filterCaseFlatImageWithSelection;
    init.dummyPlaneValue = -1;
    init.advanceState = CbAdvanceState;
    init.getPropertyObsolete = m_opt.propertyProcs ? CbGetProperty : nullptr;
    init.supportsPadding = m_opt.supportsPadding;
    init.inputPadding = init.outputPadding = init.maskPadding = plugInWantsErrorOnBoundsException;
    init.samplingSupport = m_opt.samplingSupport;
    init.inputRate = init.maskRate = kFixedOne;
    init.inLayerPlanes = init.outLayerPlanes = init.absLayerPlanes = int16(image.Planes());
    init.propertyProcs = m_opt.propertyProcs ? &m_propertyProcs : nullptr;
    init.inTileHeight = init.inTileWidth = init.outTileHeight = init.outTileWidth = 256;
    init.absTileHeight = init.absTileWidth = init.maskTileHeight = init.maskTileWidth = 256;
    init.descriptorParameters = m_opt.descriptors ? &m_descParams : nullptr;
    std::memset(m_errorString, 0, sizeof m_errorString);
    init.errorString = &m_errorString;
    init.sSPBasic = m_opt.pica ? &m_basic : nullptr;
    init.plugInRef = &m_module;
    init.depth = image.Depth();
    init.bigDocumentData = m_haveBig ? &m_big : nullptr;
    init.maxSpace64 = m_opt.maxSpace;

    m_big = BigDocumentStruct{};
    m_big.imageSize32 = VPoint{image.Height(), image.Width()};
    m_big.filterRect32 = filter;
    m_big.wholeSize32 = m_big.imageSize32;

    m_rec = AllocateRecord();
    if (m_rec == nullptr) {
        *error = "cannot allocate the filter record";
        return false;
    }
    std::memset(m_rec, 0, size_t(m_opt.recordSize));
    std::memcpy(m_rec, &init, size_t(fieldsEnd));
    m_src = image;
    m_dst = &image;
    m_inLayout = m_outLayout = RegionLayout{};
    m_outPending = false;
    return true;
}

int16_t CFilterHost::CImpl::Call(int16_t selector, void* block, const RunOptions* options) {
    int16_t result = 0;
    m_selector = selector;
    if (m_result)
        m_result->selectors.push_back(selector);
    s_current = this;
    m_module.Entry()(selector, block, &m_data, &result);
    s_current = nullptr;
    if (options && options->afterSelector && m_rec)
        options->afterSelector(selector, *m_rec, result);
    return result;
}

void CFilterHost::CImpl::CollectDescriptor(RunResult& r) {
    Handle h = m_descParams.descriptor;
    r.recordInfo = m_descParams.recordInfo;
    if (h != nullptr && FindHandle(h) != nullptr) {
        CDescriptor d;
        std::string why;
        if (CDescriptor::Decode(HandleBytes(h), &d, &why)) {
            r.recorded = std::move(d);
            r.descriptorReturned = m_written.count(h) != 0;
        }
        DisposeHandle(h);
    }
    m_descParams.descriptor = nullptr;
}

RunResult CFilterHost::CImpl::About() {
    RunResult r;
    if (!m_module.Loaded()) {
        r.result = paramErr;
        r.message = "no plug-in is loaded";
        return r;
    }
    BuildSuites();
    AboutRecord about{};
    about.platformData = &m_platform;
    about.sSPBasic = m_opt.pica ? &m_basic : nullptr;
    about.plugInRef = &m_module;
    m_result = &r;
    r.result = Call(filterSelectorAbout, &about, nullptr);
    m_result = nullptr;
    if (r.result != 0)
        r.failedSelector = filterSelectorAbout;
    r.message = r.result ? DescribeResult(r) : std::string();
    return r;
}

RunResult CFilterHost::CImpl::Run(CHostImage& image, const RunOptions& options) {
    RunResult r;
    if (!m_module.Loaded()) {
        r.result = paramErr;
        r.message = "no plug-in is loaded";
        return r;
    }
    if (!m_opt.persistData) {  // a host that forgets the plug-in between runs
        m_data = 0;
        m_parameters = nullptr;
    }
    std::string why;
    EnableContext ctx;
    ctx.imageMode = image.Mode();
    ctx.imageDepth = image.Depth();
    ctx.imageWidth = image.Width();
    ctx.imageHeight = image.Height();
    ctx.numTargetChannels = ctx.numTrueChannels = image.Planes();
    ctx.hasTransparencyMask = image.HasAlpha();
    if (!PlugInAccepts(m_module.Info(), ctx, &why)) {
        r.result = filterBadMode;
        r.message = "Cannot run " + m_module.Info().name + ": " + why + ".";
        return r;
    }
    if (!BuildRecord(image, options, &why)) {
        r.result = errPlugInHostInsufficient;
        r.message = "Cannot run " + m_module.Info().name + ": " + why + ".";
        FreeRecord();
        return r;
    }
    if (m_opt.consoleCancel) {
        g_consoleCancel = false;
        SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    }
    m_result = &r;

    Handle passed = nullptr;
    m_descParams = PIDescriptorParameters{};
    if (m_opt.descriptors) {
        // Without procs nothing could be read, so nothing is passed.
        if (m_opt.descriptorProcs && options.replay)
            passed = HandleFromBytes(options.replayDescriptor.Encode());
        else if (m_opt.descriptorProcs && m_haveLast)
            passed = HandleFromBytes(m_last.Encode());
        m_descParams.descriptorParametersVersion = kCurrentDescriptorParametersVersion;
        m_descParams.playInfo = options.showDialog ? plugInDialogDisplay : plugInDialogDontDisplay;
        m_descParams.recordInfo = plugInDialogOptional;
        m_descParams.descriptor = passed;
        m_descParams.readDescriptorProcs = m_opt.descriptorProcs ? &m_readProcs : nullptr;
        m_descParams.writeDescriptorProcs = m_opt.descriptorProcs ? &m_writeProcs : nullptr;
    }

    auto fail = [&](int16_t selector, int16_t code) {
        if (r.result == 0 && code != 0) {
            r.result = code;
            r.failedSelector = selector;
        }
    };
    bool callParameters = options.parameters == ParametersCall::Always ||
                          (options.parameters == ParametersCall::WithDialog && options.showDialog);
    if (callParameters)
        fail(filterSelectorParameters, Call(filterSelectorParameters, m_rec, &options));
    if (r.result == 0) {
        fail(filterSelectorPrepare, Call(filterSelectorPrepare, m_rec, &options));
        r.bufferSpace = m_rec->bufferSpace;
    }
    if (r.result == 0) {
        fail(filterSelectorStart, Call(filterSelectorStart, m_rec, &options));
        if (r.result == 0) {
            for (int64_t n = 0;; ++n) {
                FlushOutput();
                if (m_opt.consoleCancel && g_consoleCancel) {
                    fail(filterSelectorContinue, userCanceledErr);
                    break;
                }
                if (!RectsRequested()) {
                    // Hosts that test only the right edges of the 16-bit rectangles would
                    // keep calling Continue after this.
                    if (!Uses32Bit() && (m_rec->inRect.right != 0 || m_rec->outRect.right != 0 ||
                                         m_rec->maskRect.right != 0)) {
                        fail(filterSelectorContinue, paramErr);
                        r.message =
                            "The plug-in ended its requests with an empty rectangle whose right "
                            "edge is not 0; hosts that test only the right edge would call "
                            "Continue forever.";
                    }
                    break;
                }
                if (n >= kMaxContinueCalls) {
                    fail(filterSelectorContinue, errPlugInHostInsufficient);
                    break;
                }
                m_selector = filterSelectorContinue;
                OSErr e = Fetch();
                if (e != noErr) {
                    fail(filterSelectorContinue, e);
                    break;
                }
                int16_t c = Call(filterSelectorContinue, m_rec, &options);
                if (c != 0) {
                    fail(filterSelectorContinue, c);
                    break;
                }
            }
            m_outPending = false;
            // Finish follows every successful Start, whatever happened in between.
            int16_t f = Call(filterSelectorFinish, m_rec, &options);
            fail(filterSelectorFinish, f);
        }
    }
    EndProgress();

    m_parameters = m_rec->parameters;
    if (r.result == errReportString) {
        size_t n = m_errorString[0];
        r.errorText.assign(reinterpret_cast<const char*>(m_errorString + 1), n);
    }
    if (m_opt.descriptors)
        CollectDescriptor(r);
    m_written.clear();
    if (r.result == 0 && r.descriptorReturned) {
        m_last = r.recorded;
        m_haveLast = true;
    }
    if (r.result != 0)
        image = m_src;  // a failed run leaves the image as it was
    r.leakedBuffers = FreeAllBuffers();
    r.suitesNotReleased = m_suitesHeld;
    m_suitesHeld = 0;
    m_readers.clear();
    m_writers.clear();
    m_result = nullptr;
    m_dst = nullptr;
    m_src = CHostImage{};
    m_inBuf.clear();
    m_outBuf.clear();
    FreeRecord();
    if (m_opt.consoleCancel)
        SetConsoleCtrlHandler(ConsoleCtrlHandler, FALSE);
    ++m_runs;
    if (r.result != 0)
        r.message = DescribeResult(r);
    return r;
}

// ---- public face ---------------------------------------------------------------------------

CFilterHost::CFilterHost(HostOptions options)
    : m_impl(std::make_unique<CImpl>(std::move(options))) {}
CFilterHost::~CFilterHost() = default;

bool CFilterHost::Load(const std::string& path, std::string* error) {
    return m_impl->m_module.Load(path, error);
}

const PlugInInfo& CFilterHost::Info() const {
    return m_impl->m_module.Info();
}
HostOptions& CFilterHost::Options() {
    return m_impl->m_opt;
}

bool CFilterHost::Accepts(const CHostImage& image, std::string* reason) const {
    EnableContext ctx;
    ctx.imageMode = image.Mode();
    ctx.imageDepth = image.Depth();
    ctx.imageWidth = image.Width();
    ctx.imageHeight = image.Height();
    ctx.numTargetChannels = ctx.numTrueChannels = image.Planes();
    ctx.hasTransparencyMask = image.HasAlpha();
    return PlugInAccepts(Info(), ctx, reason);
}

RunResult CFilterHost::About() {
    return m_impl->About();
}
RunResult CFilterHost::Run(CHostImage& image, const RunOptions& options) {
    return m_impl->Run(image, options);
}
intptr_t CFilterHost::DataWord() const {
    return m_impl->m_data;
}
const CDescriptor& CFilterHost::LastDescriptor() const {
    return m_impl->m_last;
}
int32_t CFilterHost::LiveHandles() const {
    return int32_t(m_impl->m_handles.size());
}

OSErr PaintPixelMap(const PSPixelMap* source, const VRect* srcRect, int32_t dstRow, int32_t dstCol,
                    void* platformContext) {
    if (source == nullptr || srcRect == nullptr || platformContext == nullptr)
        return paramErr;
    std::vector<uint8_t> dib;
    int32_t w = 0, h = 0;
    std::string why;
    if (!PixelMapToBgr24(*source, *srcRect, &dib, &w, &h, &why))
        return filterBadParameters;
    if (w == 0 || h == 0)
        return noErr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;  // bottom-up
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    // A source rectangle clipped at the map's top or left moves the destination with it.
    int32_t x = dstCol + std::max(0, source->bounds.left - srcRect->left);
    int32_t y = dstRow + std::max(0, source->bounds.top - srcRect->top);
    int lines = SetDIBitsToDevice(static_cast<HDC>(platformContext), x, y, DWORD(w), DWORD(h), 0, 0,
                                  0, UINT(h), dib.data(), &bi, DIB_RGB_COLORS);
    return lines == 0 ? paramErr : noErr;
}

std::string DescribeResult(const RunResult& r) {
    if (r.result == 0)
        return {};
    if (!r.message.empty())
        return r.message;
    switch (r.result) {
        case userCanceledErr:
            return "The filter was cancelled.";
        case errReportString:
            return "Could not complete the filter because " +
                   (r.errorText.empty() ? std::string("of an unknown error") : r.errorText) + ".";
        case filterBadMode:
            return "Could not complete the filter because the image mode is not supported.";
        case filterBadParameters:
            return "Could not complete the filter because of a problem with its parameters.";
        case memFullErr:
            return "Could not complete the filter because there is not enough memory.";
        case errMissingParameter:
            return "Could not complete the filter because a parameter is missing.";
        case paramErr:
            return "Could not complete the filter because the plug-in made a bad request.";
        default:
            break;
    }
    if (r.result > 0)
        return "The filter failed (it has reported the problem itself).";
    return "Could not complete the filter because of a program error (code " +
           std::to_string(r.result) + ").";
}

}  // namespace vg::host
