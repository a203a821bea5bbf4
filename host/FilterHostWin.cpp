// The Windows host's selector loop: builds the filter record, calls the plug-in's entry point
// for each selector and drives the Continue loop, with Ctrl+C as cancel. The callbacks the
// record offers are in HostCallbacksWin.cpp.
#include "host/FilterHostImpl.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>

namespace vg::host {
namespace {

using namespace ps;

constexpr int64_t kMaxContinueCalls = 50'000'000;

std::atomic<bool> g_consoleCancel{false};
int g_cancelScopes = 0;  // scopes alive on the host's thread

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

std::string WindowText(HWND hwnd) {
    char text[1024] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// Answers the dialog boxes a plug-in shows while the hook is in place, as nobody is there to:
// on its activation a box is recorded with its caption and texts, and its default button is
// pressed (OK when it names none). Boxes come from the plug-in's selector calls, on this
// thread, while CImpl::s_current is set.
class CMessageBoxAnswerer {
public:
    CMessageBoxAnswerer() {
        m_hook = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
    }
    ~CMessageBoxAnswerer() {
        if (m_hook)
            UnhookWindowsHookEx(m_hook);
    }
    CMessageBoxAnswerer(const CMessageBoxAnswerer&) = delete;
    CMessageBoxAnswerer& operator=(const CMessageBoxAnswerer&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        CFilterHost::CImpl* host = CFilterHost::CImpl::s_current;
        HWND box = reinterpret_cast<HWND>(wParam);
        char cls[16] = {};
        if (code == HCBT_ACTIVATE && host != nullptr && host->m_result != nullptr &&
            GetClassNameA(box, cls, sizeof cls) > 0 && std::strcmp(cls, "#32770") == 0 &&
            std::find(host->m_answered.begin(), host->m_answered.end(), box) ==
                host->m_answered.end()) {
            try {
                host->m_answered.push_back(box);
                std::string texts;
                for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
                     child = GetWindow(child, GW_HWNDNEXT)) {
                    char childClass[16] = {};
                    GetClassNameA(child, childClass, sizeof childClass);
                    const std::string text = WindowText(child);
                    if (lstrcmpiA(childClass, "Static") == 0 && !text.empty())
                        texts += (texts.empty() ? "" : " ") + text;
                }
                host->m_result->messageBoxes.push_back(WindowText(box) + ": " + texts);
            } catch (...) {  // the box is still answered below
            }
            const LRESULT def = SendMessageA(box, DM_GETDEFID, 0, 0);
            int id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
            if (GetDlgItem(box, id) == nullptr && GetDlgItem(box, IDCANCEL) != nullptr)
                id = IDCANCEL;
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    HHOOK m_hook = nullptr;
};

}  // namespace

bool ConsoleCancelRequested() {
    return g_consoleCancel;
}

CConsoleCancelScope::CConsoleCancelScope() {
    if (g_cancelScopes++ == 0) {
        g_consoleCancel = false;
        SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    }
}

CConsoleCancelScope::~CConsoleCancelScope() {
    if (--g_cancelScopes == 0)
        SetConsoleCtrlHandler(ConsoleCtrlHandler, FALSE);
}

CFilterHost::CImpl* CFilterHost::CImpl::s_current = nullptr;

CFilterHost::CImpl::CImpl(HostOptions options)
    : m_opt(std::move(options)), m_memory(m_opt.maxSpace) {}

// ---- record ------------------------------------------------------------------------------

bool CFilterHost::CImpl::Has(size_t offset, size_t size) const {
    return int64_t(offset + size) <= int64_t(FieldsEnd(m_opt.recordSize));
}

FilterRecord* CFilterHost::CImpl::AllocateRecord() {
    const int32_t size = m_opt.recordSize;
    if (!m_opt.guardRecordEnd) {
        m_recPlain.assign(sizeof(FilterRecord), 0);
        return reinterpret_cast<FilterRecord*>(m_recPlain.data());
    }
    // An inaccessible page right after the record catches reads past its end.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    const size_t span = (size_t(size) + page - 1) / page * page;
    char* base = static_cast<char*>(
        VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (base == nullptr)
        return nullptr;
    DWORD old;
    VirtualProtect(base + span, page, PAGE_NOACCESS, &old);
    m_recBlock = base;
    return reinterpret_cast<FilterRecord*>(base + span - size_t(size));
}

void CFilterHost::CImpl::FreeRecord() {
    if (m_recBlock)
        VirtualFree(m_recBlock, 0, MEM_RELEASE);
    m_recBlock = nullptr;
    m_recPlain.clear();
    m_rec = nullptr;
}

VRect CFilterHost::CImpl::RequestedIn() const {
    return Uses32Bit() ? m_big.inRect32 : From16(m_rec->inRect);
}
VRect CFilterHost::CImpl::RequestedOut() const {
    return Uses32Bit() ? m_big.outRect32 : From16(m_rec->outRect);
}
VRect CFilterHost::CImpl::RequestedMask() const {
    return Uses32Bit() ? m_big.maskRect32 : From16(m_rec->maskRect);
}

bool CFilterHost::CImpl::RectsRequested() const {
    return !EmptyRect(RequestedIn()) || !EmptyRect(RequestedOut()) || !EmptyRect(RequestedMask());
}

OSErr CFilterHost::CImpl::Fetch() {
    if (m_opt.consoleCancel && g_consoleCancel)
        return userCanceledErr;
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

    DeliveryRules rules;
    rules.rowAlignment = m_opt.rowAlignment;
    rules.maxBytes = m_opt.maxSpace;
    rules.supportsPadding = m_opt.supportsPadding;
    OSErr err = m_regions.Deliver(req, rules, m_rec);
    req.result = err;
    if (m_result)
        m_result->requests.push_back(req);
    if (m_opt.onAdvanceState)
        m_opt.onAdvanceState(req);
    return err;
}

void CFilterHost::CImpl::Progress(int32_t done, int32_t total) {
    if (m_result) {
        ++m_result->progressCalls;
        m_result->lastProgressDone = done;
        m_result->lastProgressTotal = total;
    }
    m_progress.Update(done, total);
}

void CFilterHost::CImpl::NoteHeld() {
    if (m_result)
        m_result->peakBufferBytes = std::max(m_result->peakBufferBytes, m_memory.PeakBytes());
}

// ---- building and running -------------------------------------------------------------------
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
    SetRecordCallbacks(init);
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
    init.handleProcs = &m_handleProcs;
    init.filterCase = (filter.top == 0 && filter.left == 0 && filter.bottom == image.Height() &&
                       filter.right == image.Width())
                          ? filterCaseFlatImageNoSelection
                          : filterCaseFlatImageWithSelection;
    init.dummyPlaneValue = -1;
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
    m_regions.Begin(image);
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
    if (h != nullptr && m_memory.Owns(h)) {
        CDescriptor d;
        std::string why;
        if (CDescriptor::Decode(m_memory.HandleBytes(h), &d, &why)) {
            r.recorded = std::move(d);
            r.descriptorReturned = m_descriptors.IsWritten(h);
        }
        m_descriptors.ForgetWritten(h);
        m_memory.DisposeHandle(h);
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
    std::unique_ptr<CConsoleCancelScope> cancelScope;
    if (m_opt.consoleCancel)
        cancelScope = std::make_unique<CConsoleCancelScope>();
    m_result = &r;
    m_answered.clear();
    std::unique_ptr<CMessageBoxAnswerer> answerer;
    if (m_opt.answerMessageBoxes)
        answerer = std::make_unique<CMessageBoxAnswerer>();
    m_memory.ResetPeak();
    m_descriptors.Reset();
    m_descriptors.SetReportMissingKeys(m_opt.reportMissingKeys);
    m_progress.Enable(m_opt.consoleProgress);

    Handle passed = nullptr;
    m_descParams = PIDescriptorParameters{};
    if (m_opt.descriptors) {
        // Without procs nothing could be read, so nothing is passed.
        if (m_opt.descriptorProcs && options.replay) {
            passed = m_memory.HandleFromBytes(options.replayDescriptor.Encode());
            m_descriptors.SetPassed(passed, &options.replayDescriptor);
        } else if (m_opt.descriptorProcs && m_haveLast) {
            passed = m_memory.HandleFromBytes(m_last.Encode());
        }
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
                m_regions.Flush();
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
            m_regions.Discard();
            // Finish follows every successful Start, whatever happened in between.
            int16_t f = Call(filterSelectorFinish, m_rec, &options);
            fail(filterSelectorFinish, f);
        }
    }
    m_progress.End();

    m_parameters = m_rec->parameters;
    if (r.result == errReportString) {
        size_t n = m_errorString[0];
        r.errorText.assign(reinterpret_cast<const char*>(m_errorString + 1), n);
    }
    if (m_opt.descriptors)
        CollectDescriptor(r);
    r.descriptorProblem = m_descriptors.Problem();
    m_descriptors.Reset();
    if (r.result == 0 && r.descriptorReturned) {
        m_last = r.recorded;
        m_haveLast = true;
    }
    if (r.result != 0)
        m_regions.Restore();  // a failed run leaves the image as it was
    m_regions.End();
    NoteHeld();
    r.leakedBuffers = m_memory.FreeAllBuffers();
    r.suitesNotReleased = m_suitesHeld;
    m_suitesHeld = 0;
    m_result = nullptr;
    FreeRecord();
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
CConsoleProgress& CFilterHost::Progress() {
    return m_impl->m_progress;
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
    return m_impl->m_memory.LiveHandles();
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
    // A value of the wrong type in a replayed descriptor is the descriptor's fault, whatever
    // error the plug-in turned it into.
    if (r.descriptorProblem.found && r.result != userCanceledErr)
        return "Could not complete the filter because the replayed descriptor's " +
               DescribeProblem(r.descriptorProblem) + ".";
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
