// Host image access: rectangles, sampling steps, fetching, the display copy and the
// engine's progress and memory callbacks.
#include "MFCPlugInApp.h"

#include "plugin/FlagGuard.h"
#include "plugin/PixelRows.h"
#include "plugin/PluginFailure.h"
#include "plugin/TraceLog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

constexpr const char* kBufferSuiteName = "Photoshop Buffer Suite for Plug-ins";
constexpr int32_t kBufferSuiteVersion = 1;

std::string RectText(const Rect32& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%d %d %d %d", int(r.top), int(r.bottom), int(r.left),
                  int(r.right));
    return text;
}

std::string RectStepText(const Rect32& r, int step) {
    char text[80];
    std::snprintf(text, sizeof text, "%d %d %d %d  %d", int(r.top), int(r.bottom), int(r.left),
                  int(r.right), step);
    return text;
}

Rect32 FromRect16(const ps::Rect& r) {
    return {r.top, r.bottom, r.left, r.right};
}

Rect32 FromVRect(const ps::VRect& r) {
    return {r.top, r.bottom, r.left, r.right};
}

bool FitsIn16(const Rect32& r) {
    auto fits = [](int32_t v) { return v >= INT16_MIN && v <= INT16_MAX; };
    return fits(r.top) && fits(r.bottom) && fits(r.left) && fits(r.right);
}

// The buffer suite of a host that offers one, acquired for the caller's use.
const ps::PSBufferSuite1* AcquireBufferSuite(const ps::FilterRecord* record) {
    const ps::SPBasicSuite* basic = record->sSPBasic;
    if (!basic || !basic->AcquireSuite)
        return nullptr;
    const void* suite = nullptr;
    if (basic->AcquireSuite(kBufferSuiteName, kBufferSuiteVersion, &suite) != 0 || !suite)
        return nullptr;
    return static_cast<const ps::PSBufferSuite1*>(suite);
}

void ReleaseBufferSuite(const ps::FilterRecord* record) {
    if (record->sSPBasic && record->sSPBasic->ReleaseSuite)
        record->sSPBasic->ReleaseSuite(kBufferSuiteName, kBufferSuiteVersion);
}

}  // namespace

ps::BigDocumentStruct* CMFCPlugInApp::BigDocument() const {
    ps::BigDocumentStruct* big = filterRecord->bigDocumentData;
    if (big)
        big->PluginUsing32BitCoordinates = 1;
    return big;
}

Rect32 CMFCPlugInApp::FilterRect() const {
    if (ps::BigDocumentStruct* big = BigDocument())
        return FromVRect(big->filterRect32);
    return FromRect16(filterRecord->filterRect);
}

Rect32 CMFCPlugInApp::InRect() const {
    if (ps::BigDocumentStruct* big = BigDocument())
        return FromVRect(big->inRect32);
    return FromRect16(filterRecord->inRect);
}

void CMFCPlugInApp::SetInOutRect(const Rect32& r) {
    if (ps::BigDocumentStruct* big = BigDocument()) {
        const ps::VRect v{r.top, r.left, r.bottom, r.right};
        big->inRect32 = v;
        big->outRect32 = v;
        // Hosts that drive their loop from the 16-bit fields still see the request.
        if (!FitsIn16(r))
            return;
    }
    const ps::Rect s{int16_t(r.top), int16_t(r.left), int16_t(r.bottom), int16_t(r.right)};
    filterRecord->inRect = s;
    filterRecord->outRect = s;
}

void CMFCPlugInApp::getFilterRect(int& top, int& bottom, int& left, int& right) {
    const Rect32 r = FilterRect();
    WriteTrace("PX:getFilterRect", RectText(r));
    top = r.top;
    bottom = r.bottom;
    left = r.left;
    right = r.right;
}

void CMFCPlugInApp::getInRect(int& top, int& bottom, int& left, int& right) {
    const Rect32 r = InRect();
    WriteTrace("PX:getInRect", RectText(r));
    top = r.top;
    bottom = r.bottom;
    left = r.left;
    right = r.right;
}

int CMFCPlugInApp::getInWidth() {
    const Rect32 r = InRect();
    return int(std::clamp<int64_t>(int64_t(r.right) - r.left, INT32_MIN, INT32_MAX));
}

int CMFCPlugInApp::getInHeight() {
    const Rect32 r = InRect();
    return int(std::clamp<int64_t>(int64_t(r.bottom) - r.top, INT32_MIN, INT32_MAX));
}

bool CMFCPlugInApp::hostSupportsSampling() {
    return filterRecord->samplingSupport != 0;
}

int CMFCPlugInApp::getInDec() {
    const int step = InDecFromRate(hostSupportsSampling(), filterRecord->inputRate);
    WriteTrace("PX:getInDec - dec:", int32_t(step));
    return step;
}

void CMFCPlugInApp::setAllRect(int top, int bottom, int left, int right, int step) {
    if (rectLock) {
        WriteTrace("PX:setAllRect - failed", "locked");
        return;
    }
    CFlagGuard guard(rectLock);
    Rect32 r{top, bottom, left, right};
    WriteTrace("PX:setAllRectDec - begin", RectStepText(r, step));
    const bool fetch = step >= 1;
    if (fetch) {
        r = LimitToScaledFilter(r, FilterRect(), step);
    } else {
        r = Rect32{0, 0, 0, 0};
        step = 1;
    }
    WriteTrace("PX:setAllRect - limited", RectStepText(r, step));
    SetInOutRect(r);
    filterRecord->inLoPlane = 0;
    filterRecord->outLoPlane = 0;
    // Only the three colour planes: a transparency plane would make the rows four samples
    // per pixel, which neither the engine nor the display copy reads.
    const int16_t hiPlane = int16_t(std::min<int>(filterRecord->planes, 3) - 1);
    filterRecord->inHiPlane = hiPlane;
    filterRecord->outHiPlane = hiPlane;
    if (filterRecord->supportsPadding) {
        WriteTrace("PX:setAllRect", "supportPadding");
        filterRecord->inputPadding = ps::plugInWantsErrorOnBoundsException;
        filterRecord->outputPadding = ps::plugInWantsErrorOnBoundsException;
    }
    if (hostSupportsSampling()) {
        filterRecord->inputRate = StepToFixed(step);
        WriteTrace("PX:setAllRect - decRate", int32_t(step));
    } else {
        WriteTrace("PX:setAllRect - ", "NOT support simpling!");
    }
    if (fetch)
        getRectImage();
}

void CMFCPlugInApp::getRectImage() {
    if (fetchLock) {
        WriteTrace("PX:getRectImage() - failed", "locked");
        return;
    }
    CFlagGuard guard(fetchLock);
    if (getInWidth() < 1 || getInHeight() < 1) {
        WriteTrace("PX:getRectImage() - nogo", "widht or height <1");
        return;
    }
    WriteTrace("PX:getRectImage() - AS", "begin");
    if (!filterRecord->advanceState || filterRecord->advanceState() != 0)
        FailMessage("getRectImage-cannot get image!");
    WriteTrace("PX:getRectImage() - AS", "end");
}

int CMFCPlugInApp::getThumbMaxDec(int width, int height, int scale) {
    const int step = ThumbMaxDec(hostSupportsSampling(), width, height, scale, FilterRect());
    WriteTrace("PX:getThumbMaxDec()", int32_t(step));
    return step;
}

int CMFCPlugInApp::getInRectForThumb(int width, int height, int scale, int step, int centreX,
                                     int centreY) {
    WriteTrace("PX:getInRectForThumb()", "begin");
    const ThumbRequest request =
        ThumbWindow(width, height, scale, step, centreX, centreY, FilterRect());
    setAllRect(request.rect.top, request.rect.bottom, request.rect.left, request.rect.right,
               request.step);
    WriteTrace("PX:getInRectForThumb() - end", int32_t(request.step));
    return request.step;
}

int CMFCPlugInApp::copyOutRect(unsigned char* destination, int stride, int maxColumns, int maxRows,
                               bool fromOutput) {
    WriteTrace("PX: copyOutRect()-begin", int32_t(fromOutput));
    const int columns = std::max(0, std::min(maxColumns, getInWidth()));
    const int rows = std::max(0, std::min(maxRows, getInHeight()));
    const int mode = filterRecord->imageMode;
    const int bytes = BytesPerPixel(mode);
    if (bytes == 0)
        FailCode(kFilterBadMode);
    WriteTrace(mode == ps::plugInModeRGBColor ? "PX: copyOutRectRGB()-inData to outData - 24bit"
                                              : "PX: copyOutRectRGB()-inData to outData - 48bit",
               int32_t(getInHeight()));
    const void* source = fromOutput ? filterRecord->outData : filterRecord->inData;
    const int32_t sourceStride = fromOutput ? filterRecord->outRowBytes : filterRecord->inRowBytes;
    size_t sourceRow = 0, destinationRow = 0;
    if (!RowLength(columns, bytes, sourceRow) || !RowLength(columns, 3, destinationRow) ||
        !BufferHoldsRows(source, rows, sourceStride, sourceRow) ||
        !BufferHoldsRows(destination, rows, stride, destinationRow))
        FailMessage("copyOutRect - image buffer too small for the rectangle");
    if (rows > 0 && columns > 0)
        RowsToBottomUpBgr(static_cast<const uint8_t*>(source), sourceStride, bytes == 6,
                          destination, stride, columns, rows);
    return 1;
}

void* CMFCPlugInApp::AllocOwnBlock(uint32_t size) {
    return m_ownHeap.Alloc(size);
}

bool CMFCPlugInApp::FreeOwnBlock(void* block) {
    return m_ownHeap.Free(block);
}

int32_t progProc(int32_t done, int32_t total, void* context) {
    WriteTrace("PX:progProc - begin total", total);
    auto* record = static_cast<ps::FilterRecord*>(context);
    if (!record)
        return 1;
    try {
        if (record->progressProc)
            record->progressProc(done, total);
        if (record->abortProc) {
            if (record->abortProc()) {
                WriteTrace("PX:progProc - about", done);
                return 0;
            }
            WriteTrace("PX:progProc - cont", done);
        }
    } catch (...) {
        WriteTrace("PX:progProc - ", "catch");
    }
    return 1;
}

void* psMemAlloc(uint32_t size, void* context) {
    WriteTrace("PX:psMemAlloc", int32_t(size));
    void* block = nullptr;
    try {
        if (auto* record = static_cast<ps::FilterRecord*>(context)) {
            if (const ps::PSBufferSuite1* suite = AcquireBufferSuite(record)) {
                // The host accounts for this memory; its null is a real out-of-memory.
                block = suite->New ? suite->New(nullptr, size) : nullptr;
                ReleaseBufferSuite(record);
            } else {
                // Many hosts offer no buffer suite: serve the engine from our own heap.
                block = CMFCPlugInApp::Get().AllocOwnBlock(size);
            }
        }
    } catch (...) {
        WriteTrace("PX:psMemAlloc-catch", "catch");
        block = nullptr;
    }
    WriteTrace("PX:psMemAlloc-done", static_cast<const void*>(block));
    return block;
}

void psMemFree(void* block, void* context) {
    WriteTrace("PX:psMemFree - begin", static_cast<const void*>(block));
    auto* record = static_cast<ps::FilterRecord*>(context);
    if (!record || !block)
        return;
    // The address is traced as a number: the block is gone by then.
    const int32_t address = int32_t(uint32_t(uintptr_t(block)));
    try {
        if (CMFCPlugInApp::Get().FreeOwnBlock(block)) {
            WriteTrace("PX:psMemFree - freeed", address);
            return;
        }
        if (const ps::PSBufferSuite1* suite = AcquireBufferSuite(record)) {
            ps::Ptr buffer = static_cast<ps::Ptr>(block);
            if (suite->Dispose)
                suite->Dispose(&buffer);
            ReleaseBufferSuite(record);
            WriteTrace("PX:psMemFree - freeed", address);
        }
    } catch (...) {
        WriteTrace("PX:psMemFree - catch", "catch");
    }
}
