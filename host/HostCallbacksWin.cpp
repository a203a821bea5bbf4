// The callbacks and procedure suites a filter record offers. Each finds the running host
// through CImpl::s_current and hands the call to the part that owns the state: host memory,
// the descriptor session or the region delivery. No exception may leave these functions.
#include "host/FilterHostImpl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vg::host {
namespace {

using namespace ps;
using Impl = CFilterHost::CImpl;

Impl* Running() {
    return Impl::s_current;
}

// ---- record callbacks -------------------------------------------------------------------

Boolean CbAbort() {
    Impl* h = Running();
    if (h == nullptr)
        return false;
    if (h->m_result)
        ++h->m_result->abortCalls;
    // Counted over all runs, so that a test can cancel a batch part-way through.
    if (h->m_opt.cancelAfterAbortCalls > 0 && ++h->m_abortCalls >= h->m_opt.cancelAfterAbortCalls)
        return true;
    return h->m_opt.consoleCancel && ConsoleCancelRequested();
}

void CbProgress(int32 done, int32 total) {
    if (Impl* h = Running())
        h->Progress(done, total);
}

void CbProcessEvent(void*) {}

OSErr CbAdvanceState() {
    Impl* h = Running();
    if (h == nullptr || h->m_rec == nullptr)
        return paramErr;
    return h->Fetch();
}

OSErr CbDisplayPixels(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                      void* platformContext) {
    Impl* h = Running();
    if (h && h->m_result)
        ++h->m_result->displayPixelsCalls;
    if (h && h->m_opt.onDisplayPixels && source && srcRect)
        h->m_opt.onDisplayPixels(*source, *srcRect, dstRow, dstCol);
    return PaintPixelMap(source, srcRect, dstRow, dstCol, platformContext);
}

// ---- handle procs -----------------------------------------------------------------------

Handle CbNewHandle(int32 size) {
    Impl* h = Running();
    return h ? h->m_memory.NewHandle(size) : nullptr;
}
void CbDisposeHandle(Handle handle) {
    Impl* h = Running();
    if (h && h->m_opt.reliableHandleProcs) {
        h->m_descriptors.ForgetWritten(handle);
        h->m_memory.DisposeHandle(handle);
    }
}
int32 CbGetHandleSize(Handle handle) {
    Impl* h = Running();
    return h && h->m_opt.reliableHandleProcs ? h->m_memory.HandleSize(handle) : 0;
}
OSErr CbSetHandleSize(Handle handle, int32 size) {
    Impl* h = Running();
    if (h == nullptr || !h->m_memory.Owns(handle))
        return nilHandleErr;
    if (!h->m_opt.reliableHandleProcs)
        return noErr;  // a stub: the block keeps its size
    return h->m_memory.SetHandleSize(handle, size);
}
Ptr CbLockHandle(Handle handle, Boolean) {
    Impl* h = Running();
    return h ? h->m_memory.LockHandle(handle) : nullptr;
}
void CbUnlockHandle(Handle handle) {
    if (Impl* h = Running())
        h->m_memory.UnlockHandle(handle);
}
void CbRecoverSpace(int32) {}

// ---- buffer procs -----------------------------------------------------------------------

OSErr CbAllocateBuffer64(int64 size, BufferID* id) {
    Impl* h = Running();
    if (h == nullptr)
        return memFullErr;
    OSErr e = h->m_memory.AllocateBuffer(size, id);
    h->NoteHeld();
    return e;
}
OSErr CbAllocateBuffer(int32 size, BufferID* id) {
    return CbAllocateBuffer64(size, id);
}
Ptr CbLockBuffer(BufferID id, Boolean) {
    Impl* h = Running();
    return h ? h->m_memory.LockBuffer(id) : nullptr;
}
void CbUnlockBuffer(BufferID) {}
void CbFreeBuffer(BufferID id) {
    if (Impl* h = Running())
        h->m_memory.FreeBuffer(id);
}
int64 CbBufferSpace64() {
    Impl* h = Running();
    return h ? h->m_memory.Space() : 0;
}
int32 CbBufferSpace() {
    return int32(std::min<int64_t>(CbBufferSpace64(), INT32_MAX));
}
OSErr CbReserveSpace(int32) {
    return noErr;
}

// ---- buffer suite -----------------------------------------------------------------------

Ptr CbSuiteNew64(unsigned64* requested, unsigned64 minimum) {
    Impl* h = Running();
    if (h == nullptr)
        return nullptr;
    uint64_t granted = 0;
    Ptr p = h->m_memory.SuiteNew(requested ? *requested : 0, minimum, &granted);
    h->NoteHeld();
    if (p && requested)
        *requested = granted;
    return p;
}
Ptr CbSuiteNew(unsigned32* requested, unsigned32 minimum) {
    unsigned64 wide = requested ? *requested : 0;
    Ptr p = CbSuiteNew64(requested ? &wide : nullptr, minimum);
    if (p && requested)
        *requested = unsigned32(std::min<uint64_t>(wide, UINT32_MAX));
    return p;
}
void CbSuiteDispose(Ptr* p) {
    if (Impl* h = Running())
        h->m_memory.SuiteDispose(p);
}
unsigned64 CbSuiteGetSize64(Ptr p) {
    Impl* h = Running();
    return h ? h->m_memory.SuiteSize(p) : 0;
}
unsigned32 CbSuiteGetSize(Ptr p) {
    return unsigned32(std::min<uint64_t>(CbSuiteGetSize64(p), UINT32_MAX));
}
unsigned64 CbSuiteGetSpace64() {
    Impl* h = Running();
    return h ? uint64_t(h->m_memory.Space()) : 0;
}
unsigned32 CbSuiteGetSpace() {
    return unsigned32(std::min<uint64_t>(CbSuiteGetSpace64(), UINT32_MAX));
}

// ---- PICA basic suite -------------------------------------------------------------------

SPErr CbAcquireSuite(const char* name, int32 version, const void** suite) {
    if (name == nullptr || suite == nullptr)
        return kSPBadParameterError;
    *suite = nullptr;
    Impl* h = Running();
    if (h == nullptr)
        return kSPSuiteNotFoundError;
    if (std::strcmp(name, kPSBufferSuite) == 0 && version == kPSBufferSuiteVersion1)
        *suite = &h->m_buffer1;
    else if (std::strcmp(name, kPSBufferSuite) == 0 && version == kPSBufferSuiteVersion2)
        *suite = &h->m_buffer2;
    else if (std::strcmp(name, kSPBasicSuite) == 0 && version == kSPBasicSuiteVersion)
        *suite = &h->m_basic;
    if (*suite == nullptr)
        return kSPSuiteNotFoundError;
    ++h->m_suitesHeld;
    return kSPNoError;
}
SPErr CbReleaseSuite(const char* name, int32) {
    if (name == nullptr)
        return kSPBadParameterError;
    Impl* h = Running();
    if (h && h->m_suitesHeld > 0)
        --h->m_suitesHeld;
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

// ---- property procs ---------------------------------------------------------------------

OSErr CbGetProperty(PIType signature, PIType key, int32, intptr_t* simple, Handle* complex) {
    Impl* h = Running();
    if (h == nullptr || signature != kPhotoshopSignature)
        return errPlugInPropertyUndefined;
    if (complex)
        *complex = nullptr;
    intptr_t value;
    if (key == FourCC("vers"))
        value = h->m_opt.recordSize >= kFilterRecordSize ? (25 << 16) : (13 << 16);
    else if (key == FourCC("plip"))
        value = h->m_descParams.descriptor != nullptr;
    else if (key == FourCC("rcip") || key == FourCC("wtch"))
        value = 0;
    else if (key == FourCC("hwnd"))
        value = h->m_opt.parentWindow;
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

// ---- read-descriptor procs --------------------------------------------------------------

CDescriptorSession* Descriptors() {
    Impl* h = Running();
    return h ? &h->m_descriptors : nullptr;
}

PIReadDescriptor CbOpenRead(PIDescriptorHandle descriptor, DescriptorKeyID keys[]) {
    CDescriptorSession* s = Descriptors();
    return s ? s->OpenRead(descriptor, keys) : nullptr;
}
OSErr CbCloseRead(PIReadDescriptor r) {
    CDescriptorSession* s = Descriptors();
    return s ? s->CloseRead(r) : paramErr;
}
Boolean CbGetKey(PIReadDescriptor r, DescriptorKeyID* key, DescriptorTypeID* type, int32* flags) {
    CDescriptorSession* s = Descriptors();
    return s && s->GetKey(r, key, type, flags);
}
OSErr CbGetInteger(PIReadDescriptor r, int32* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetInteger(r, v) : paramErr;
}
OSErr CbGetFloat(PIReadDescriptor r, real64* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetFloat(r, v) : paramErr;
}
OSErr CbGetUnitFloat(PIReadDescriptor r, DescriptorUnitID* unit, real64* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetUnitFloat(r, unit, v) : paramErr;
}
OSErr CbGetBoolean(PIReadDescriptor r, Boolean* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetBoolean(r, v) : paramErr;
}
OSErr CbGetText(PIReadDescriptor r, Handle* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetText(r, v) : paramErr;
}
OSErr CbGetAlias(PIReadDescriptor r, Handle* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetAlias(r, v) : paramErr;
}
OSErr CbGetEnumerated(PIReadDescriptor r, DescriptorEnumID* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetEnumerated(r, v) : paramErr;
}
OSErr CbGetClass(PIReadDescriptor r, DescriptorClassID* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetClass(r, v) : paramErr;
}
OSErr CbGetSimpleReference(PIReadDescriptor r, PIDescriptorSimpleReference*) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetSimpleReference(r) : paramErr;
}
OSErr CbGetObject(PIReadDescriptor r, DescriptorClassID* type, PIDescriptorHandle* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetObject(r, type, v) : paramErr;
}
OSErr CbGetCount(PIReadDescriptor r, uint32* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetCount(r, v) : paramErr;
}
OSErr CbGetString(PIReadDescriptor r, Str255* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetString(r, v) : paramErr;
}
OSErr CbGetPinnedInteger(PIReadDescriptor r, int32 min, int32 max, int32* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetPinnedInteger(r, min, max, v) : paramErr;
}
OSErr CbGetPinnedFloat(PIReadDescriptor r, const real64* min, const real64* max, real64* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetPinnedFloat(r, min, max, v) : paramErr;
}
OSErr CbGetPinnedUnitFloat(PIReadDescriptor r, const real64* min, const real64* max,
                           DescriptorUnitID* unit, real64* v) {
    CDescriptorSession* s = Descriptors();
    return s ? s->GetPinnedUnitFloat(r, min, max, unit, v) : paramErr;
}

// ---- write-descriptor procs -------------------------------------------------------------

PIWriteDescriptor CbOpenWrite() {
    CDescriptorSession* s = Descriptors();
    return s ? s->OpenWrite() : nullptr;
}
OSErr CbCloseWrite(PIWriteDescriptor w, PIDescriptorHandle* out) {
    CDescriptorSession* s = Descriptors();
    return s ? s->CloseWrite(w, out) : paramErr;
}
DescriptorItem Item(DescriptorKeyID key, DescriptorTypeID type) {
    DescriptorItem it;
    it.key = key;
    it.type = type;
    return it;
}
OSErr PutItem(PIWriteDescriptor w, const DescriptorItem& item) {
    try {
        CDescriptorSession* s = Descriptors();
        return s ? s->Put(w, item) : paramErr;
    } catch (...) {
        return memFullErr;
    }
}
OSErr CbPutInteger(PIWriteDescriptor w, DescriptorKeyID key, int32 v) {
    DescriptorItem it = Item(key, typeInteger);
    it.integer = v;
    return PutItem(w, it);
}
OSErr CbPutFloat(PIWriteDescriptor w, DescriptorKeyID key, const real64* v) {
    if (v == nullptr)
        return paramErr;
    DescriptorItem it = Item(key, typeFloat);
    it.number = *v;
    return PutItem(w, it);
}
OSErr CbPutUnitFloat(PIWriteDescriptor w, DescriptorKeyID key, DescriptorUnitID unit,
                     const real64* v) {
    if (v == nullptr)
        return paramErr;
    DescriptorItem it = Item(key, typeUnitFloat);
    it.unit = unit;
    it.number = *v;
    return PutItem(w, it);
}
OSErr CbPutBoolean(PIWriteDescriptor w, DescriptorKeyID key, Boolean v) {
    DescriptorItem it = Item(key, typeBoolean);
    it.integer = v ? 1 : 0;
    return PutItem(w, it);
}
OSErr CbPutText(PIWriteDescriptor w, DescriptorKeyID key, Handle h) {
    CDescriptorSession* s = Descriptors();
    return s ? s->PutBytes(w, key, typeChar, 0, h) : paramErr;
}
OSErr CbPutAlias(PIWriteDescriptor w, DescriptorKeyID key, Handle h) {
    CDescriptorSession* s = Descriptors();
    return s ? s->PutBytes(w, key, FourCC("alis"), 0, h) : paramErr;
}
OSErr CbPutEnumerated(PIWriteDescriptor w, DescriptorKeyID key, DescriptorTypeID type,
                      DescriptorEnumID v) {
    DescriptorItem it = Item(key, typeEnumerated);
    it.enumType = type;
    it.enumValue = v;
    return PutItem(w, it);
}
OSErr CbPutClass(PIWriteDescriptor w, DescriptorKeyID key, DescriptorTypeID type) {
    DescriptorItem it = Item(key, typeClass);
    it.enumValue = type;
    return PutItem(w, it);
}
OSErr CbPutSimpleReference(PIWriteDescriptor, DescriptorKeyID, const PIDescriptorSimpleReference*) {
    return paramErr;
}
OSErr CbPutObject(PIWriteDescriptor w, DescriptorKeyID key, DescriptorTypeID type,
                  PIDescriptorHandle h) {
    CDescriptorSession* s = Descriptors();
    return s ? s->PutBytes(w, key, typeObject, type, h) : paramErr;
}
OSErr CbPutCount(PIWriteDescriptor w, DescriptorKeyID key, uint32 count) {
    DescriptorItem it = Item(key, typeInteger);
    it.integer = int32(count);
    return PutItem(w, it);
}
OSErr CbPutString(PIWriteDescriptor w, DescriptorKeyID key, const unsigned char* s) {
    if (s == nullptr)
        return paramErr;
    try {
        DescriptorItem it = Item(key, typeChar);
        it.text.assign(reinterpret_cast<const char*>(s + 1), s[0]);
        return PutItem(w, it);
    } catch (...) {
        return memFullErr;
    }
}
OSErr CbPutScopedClass(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID) {
    return paramErr;
}
OSErr CbPutScopedObject(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID, PIDescriptorHandle) {
    return paramErr;
}

}  // namespace

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

void CFilterHost::CImpl::SetRecordCallbacks(FilterRecord& record) const {
    record.abortProc = CbAbort;
    record.progressProc = CbProgress;
    record.processEvent = CbProcessEvent;
    record.displayPixels = m_opt.displayPixels ? CbDisplayPixels : nullptr;
    record.advanceState = CbAdvanceState;
    record.getPropertyObsolete = m_opt.propertyProcs ? CbGetProperty : nullptr;
}

}  // namespace vg::host
