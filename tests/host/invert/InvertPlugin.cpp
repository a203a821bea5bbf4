// A tiny filter plug-in that inverts the image, used to prove the host independently of the
// product. Its scripting descriptor steers which host features it exercises:
//   'tile' long   rows per piece (0: the whole filter rectangle at once)
//   'adv ' bool   fetch every piece with advanceState inside Start instead of through Continue
//   'fail' TEXT   fail in Start with this message (errReportString)
//   'smpl' long   first fetch the filter rectangle at this sampling step and report the sum
//                 ('ssum' doub), width ('swid') and height ('shgt') of what arrived
//   'padv' long   with 'smpl': ask for one pixel more on every side, with this padding value
//   'bufs' long   take this many bytes from the buffer suite during the run ('bufk' bool)
//   'hgrw' long   in Finish, grow a new 4-byte handle to this size and record what
//                 getSizeProc then says ('hsiz')
// Finish records the keys it read plus 'runs' (a counter kept in the data word's handle).
#include "sdk/PluginInterface.h"

#include <cstring>

using namespace ps;

namespace {

struct Globals {
    int32 runs;
};

struct Settings {
    int32 tile = 0;
    bool advance = false;
    char failText[256] = {};
    int32 sampling = 0;
    bool hasPadding = false;
    int32 padding = 0;
    int32 buffer = 0;
    int32 handleGrow = 0;
    // Outcomes.
    int32 handleSize = -1;
    double sampledSum = 0;
    int32 sampledWidth = 0, sampledHeight = 0;
    bool bufferOk = false;
    Ptr block = nullptr;
    // Progress through the image.
    int32 nextRow = 0;
    bool bigDoc = false;
};

Settings g_settings;  // one run at a time, as the host drives it

constexpr DescriptorKeyID kTile = FourCC("tile"), kAdvance = FourCC("adv "), kFail = FourCC("fail"),
                          kSampling = FourCC("smpl"), kPadding = FourCC("padv"),
                          kBuffer = FourCC("bufs"), kSum = FourCC("ssum"), kWidth = FourCC("swid"),
                          kHeight = FourCC("shgt"), kBufferOk = FourCC("bufk"),
                          kRuns = FourCC("runs"), kHandleGrow = FourCC("hgrw"),
                          kHandleSize = FourCC("hsiz");

VRect FilterRect(const FilterRecord* fr) {
    if (g_settings.bigDoc)
        return fr->bigDocumentData->filterRect32;
    return VRect{fr->filterRect.top, fr->filterRect.left, fr->filterRect.bottom,
                 fr->filterRect.right};
}

void SetRects(FilterRecord* fr, const VRect& in, const VRect& out) {
    if (g_settings.bigDoc) {
        fr->bigDocumentData->PluginUsing32BitCoordinates = 1;
        fr->bigDocumentData->inRect32 = in;
        fr->bigDocumentData->outRect32 = out;
        fr->bigDocumentData->maskRect32 = VRect{};
    }
    fr->inRect = Rect{int16(in.top), int16(in.left), int16(in.bottom), int16(in.right)};
    fr->outRect = Rect{int16(out.top), int16(out.left), int16(out.bottom), int16(out.right)};
    fr->maskRect = Rect{};
    fr->inLoPlane = fr->outLoPlane = 0;
    fr->inHiPlane = fr->outHiPlane = int16(fr->planes - 1);
}

Globals* LockGlobals(FilterRecord* fr, intptr_t* data) {
    if (*data == 0) {
        Handle h = fr->handleProcs->newProc(sizeof(Globals));
        if (h == nullptr)
            return nullptr;
        *data = reinterpret_cast<intptr_t>(h);
        auto* g = reinterpret_cast<Globals*>(fr->handleProcs->lockProc(h, true));
        if (g)
            g->runs = 0;
        return g;
    }
    return reinterpret_cast<Globals*>(
        fr->handleProcs->lockProc(reinterpret_cast<Handle>(*data), true));
}

void UnlockGlobals(FilterRecord* fr, intptr_t* data) {
    if (*data)
        fr->handleProcs->unlockProc(reinterpret_cast<Handle>(*data));
}

OSErr ReadSettings(FilterRecord* fr) {
    g_settings = Settings{};
    PIDescriptorParameters* dp = fr->descriptorParameters;
    if (dp == nullptr || dp->readDescriptorProcs == nullptr || dp->descriptor == nullptr)
        return noErr;
    ReadDescriptorProcs* rp = dp->readDescriptorProcs;
    DescriptorKeyID keys[] = {0};
    PIReadDescriptor r = rp->openReadDescriptorProc(dp->descriptor, keys);
    if (r == nullptr)
        return noErr;
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    int32 flags = 0;
    while (rp->getKeyProc(r, &key, &type, &flags)) {
        int32 v = 0;
        Boolean b = 0;
        if (key == kTile && rp->getIntegerProc(r, &v) == noErr)
            g_settings.tile = v;
        else if (key == kAdvance && rp->getBooleanProc(r, &b) == noErr)
            g_settings.advance = b != 0;
        else if (key == kSampling && rp->getIntegerProc(r, &v) == noErr)
            g_settings.sampling = v;
        else if (key == kPadding && rp->getIntegerProc(r, &v) == noErr) {
            g_settings.hasPadding = true;
            g_settings.padding = v;
        } else if (key == kBuffer && rp->getIntegerProc(r, &v) == noErr)
            g_settings.buffer = v;
        else if (key == kHandleGrow && rp->getIntegerProc(r, &v) == noErr)
            g_settings.handleGrow = v;
        else if (key == kFail) {
            Str255 s;
            if (rp->getStringProc(r, &s) == noErr) {
                std::memcpy(g_settings.failText, s, size_t(s[0]) + 1);
            }
        }
    }
    OSErr e = rp->closeReadDescriptorProc(r);
    fr->handleProcs->disposeProc(dp->descriptor);
    dp->descriptor = nullptr;
    return e;
}

OSErr WriteSettings(FilterRecord* fr, int32 runs) {
    PIDescriptorParameters* dp = fr->descriptorParameters;
    if (dp == nullptr || dp->writeDescriptorProcs == nullptr)
        return noErr;
    WriteDescriptorProcs* wp = dp->writeDescriptorProcs;
    PIWriteDescriptor w = wp->openWriteDescriptorProc();
    if (w == nullptr)
        return errMissingParameter;
    wp->putIntegerProc(w, kTile, g_settings.tile);
    wp->putBooleanProc(w, kAdvance, g_settings.advance);
    if (g_settings.sampling) {
        wp->putIntegerProc(w, kSampling, g_settings.sampling);
        if (g_settings.hasPadding)
            wp->putIntegerProc(w, kPadding, g_settings.padding);
        wp->putFloatProc(w, kSum, &g_settings.sampledSum);
        wp->putIntegerProc(w, kWidth, g_settings.sampledWidth);
        wp->putIntegerProc(w, kHeight, g_settings.sampledHeight);
    }
    if (g_settings.buffer) {
        wp->putIntegerProc(w, kBuffer, g_settings.buffer);
        wp->putBooleanProc(w, kBufferOk, g_settings.bufferOk);
    }
    if (g_settings.handleGrow)
        wp->putIntegerProc(w, kHandleSize, g_settings.handleSize);
    wp->putIntegerProc(w, kRuns, runs);
    Handle h = nullptr;
    OSErr e = wp->closeWriteDescriptorProc(w, &h);
    if (e != noErr)
        return e;
    if (dp->descriptor)
        fr->handleProcs->disposeProc(dp->descriptor);
    dp->descriptor = h;
    dp->recordInfo = plugInDialogOptional;
    return noErr;
}

// Sum of every sample the host delivered for the current in rectangle.
void SumInput(FilterRecord* fr, int32 width, int32 height) {
    const int32 bytes = fr->depth == 16 ? 2 : 1;
    const int32 count = width * (fr->inHiPlane - fr->inLoPlane + 1);
    double sum = 0;
    for (int32 y = 0; y < height; ++y) {
        const uint8* row = static_cast<const uint8*>(fr->inData) + intptr_t(y) * fr->inRowBytes;
        for (int32 i = 0; i < count; ++i) {
            if (bytes == 1) {
                sum += row[i];
            } else {
                uint16 v;
                std::memcpy(&v, row + 2 * i, 2);
                sum += v;
            }
        }
    }
    g_settings.sampledSum = sum;
    g_settings.sampledWidth = width;
    g_settings.sampledHeight = height;
}

OSErr SampleFirst(FilterRecord* fr) {
    const int32 n = g_settings.sampling;
    if (fr->samplingSupport == hostDoesNotSupportSampling || fr->advanceState == nullptr)
        return noErr;
    VRect f = FilterRect(fr);
    VRect r{f.top / n, f.left / n, f.bottom / n, f.right / n};
    if (g_settings.hasPadding) {
        r.top -= 1;
        r.left -= 1;
        r.bottom += 1;
        r.right += 1;
        fr->inputPadding = int16(g_settings.padding);
    }
    fr->inputRate = n << 16;
    SetRects(fr, r, VRect{});
    OSErr e = fr->advanceState();
    if (e != noErr)
        return e;
    SumInput(fr, r.right - r.left, r.bottom - r.top);
    fr->inputRate = kFixedOne;
    fr->inputPadding = plugInWantsErrorOnBoundsException;
    return noErr;
}

void Invert(FilterRecord* fr, const VRect& r) {
    const int32 width = r.right - r.left, height = r.bottom - r.top;
    const int32 count = width * fr->planes;
    for (int32 y = 0; y < height; ++y) {
        const uint8* in = static_cast<const uint8*>(fr->inData) + intptr_t(y) * fr->inRowBytes;
        uint8* out = static_cast<uint8*>(fr->outData) + intptr_t(y) * fr->outRowBytes;
        for (int32 i = 0; i < count; ++i) {
            if (fr->depth == 16) {
                uint16 v;
                std::memcpy(&v, in + 2 * i, 2);
                v = uint16(kMax16BitSample - v);
                std::memcpy(out + 2 * i, &v, 2);
            } else {
                out[i] = uint8(255 - in[i]);
            }
        }
    }
}

VRect Piece(FilterRecord* fr, int32 top) {
    VRect f = FilterRect(fr);
    int32 rows = g_settings.tile > 0 ? g_settings.tile : f.bottom - f.top;
    int32 bottom = top + rows < f.bottom ? top + rows : f.bottom;
    return VRect{top, f.left, bottom, f.right};
}

// Asks for the next piece, or for nothing when the image is done.
bool RequestNext(FilterRecord* fr) {
    VRect f = FilterRect(fr);
    if (g_settings.nextRow >= f.bottom) {
        SetRects(fr, VRect{}, VRect{});
        return false;
    }
    VRect p = Piece(fr, g_settings.nextRow);
    SetRects(fr, p, p);
    return true;
}

OSErr ProcessCurrent(FilterRecord* fr) {
    VRect f = FilterRect(fr);
    VRect p = Piece(fr, g_settings.nextRow);
    if (fr->inData == nullptr || fr->outData == nullptr)
        return paramErr;
    Invert(fr, p);
    g_settings.nextRow = p.bottom;
    if (fr->progressProc)
        fr->progressProc(p.bottom - f.top, f.bottom - f.top);
    if (fr->abortProc && fr->abortProc())
        return userCanceledErr;
    return noErr;
}

OSErr Start(FilterRecord* fr) {
    OSErr e = ReadSettings(fr);
    if (e != noErr)
        return e;
    g_settings.bigDoc = fr->bigDocumentData != nullptr;
    if (g_settings.bigDoc)
        fr->bigDocumentData->PluginUsing32BitCoordinates = 1;
    if (g_settings.failText[0]) {
        if (fr->errorString)
            std::memcpy(*fr->errorString, g_settings.failText, size_t(g_settings.failText[0]) + 1);
        return errReportString;
    }
    if (g_settings.buffer > 0 && fr->sSPBasic) {
        const PSBufferSuite1* suite = nullptr;
        if (fr->sSPBasic->AcquireSuite(kPSBufferSuite, kPSBufferSuiteVersion1,
                                       reinterpret_cast<const void**>(&suite)) == kSPNoError) {
            g_settings.block = suite->New(nullptr, unsigned32(g_settings.buffer));
            g_settings.bufferOk = g_settings.block != nullptr &&
                                  suite->GetSize(g_settings.block) >= unsigned32(g_settings.buffer);
            if (g_settings.block)
                std::memset(g_settings.block, 0x5A, size_t(g_settings.buffer));
            fr->sSPBasic->ReleaseSuite(kPSBufferSuite, kPSBufferSuiteVersion1);
        }
    }
    if (g_settings.sampling > 0 && (e = SampleFirst(fr)) != noErr)
        return e;
    g_settings.nextRow = FilterRect(fr).top;
    if (!g_settings.advance) {
        RequestNext(fr);
        return noErr;
    }
    while (RequestNext(fr)) {
        if ((e = fr->advanceState()) != noErr)
            return e;
        if ((e = ProcessCurrent(fr)) != noErr)
            return e;
    }
    return noErr;
}

OSErr Continue(FilterRecord* fr) {
    if (g_settings.advance) {
        SetRects(fr, VRect{}, VRect{});
        return noErr;
    }
    OSErr e = ProcessCurrent(fr);
    if (e != noErr)
        return e;
    RequestNext(fr);
    return noErr;
}

OSErr Finish(FilterRecord* fr, Globals* g) {
    if (g_settings.block && fr->sSPBasic) {
        const PSBufferSuite1* suite = nullptr;
        if (fr->sSPBasic->AcquireSuite(kPSBufferSuite, kPSBufferSuiteVersion1,
                                       reinterpret_cast<const void**>(&suite)) == kSPNoError) {
            suite->Dispose(&g_settings.block);
            fr->sSPBasic->ReleaseSuite(kPSBufferSuite, kPSBufferSuiteVersion1);
        }
    }
    if (g_settings.handleGrow) {
        Handle h = fr->handleProcs->newProc(4);
        if (h) {
            fr->handleProcs->setSizeProc(h, g_settings.handleGrow);
            g_settings.handleSize = fr->handleProcs->getSizeProc(h);
            fr->handleProcs->disposeProc(h);
        }
    }
    if (g)
        ++g->runs;
    return WriteSettings(fr, g ? g->runs : 0);
}

}  // namespace

extern "C" __declspec(dllexport) void PluginMain(int16 selector, void* block, intptr_t* data,
                                                 int16* result) {
    if (selector == filterSelectorAbout)
        return;
    auto* fr = static_cast<FilterRecord*>(block);
    if (fr == nullptr || fr->handleProcs == nullptr || data == nullptr) {
        *result = paramErr;
        return;
    }
    Globals* g = LockGlobals(fr, data);
    if (g == nullptr) {
        *result = memFullErr;
        return;
    }
    OSErr e = noErr;
    switch (selector) {
        case filterSelectorParameters:
            break;
        case filterSelectorPrepare:
            fr->bufferSpace = 1000;
            break;
        case filterSelectorStart:
            e = Start(fr);
            break;
        case filterSelectorContinue:
            e = Continue(fr);
            break;
        case filterSelectorFinish:
            e = Finish(fr, g);
            break;
        default:
            break;
    }
    UnlockGlobals(fr, data);
    if (e != noErr)
        *result = e;
}
