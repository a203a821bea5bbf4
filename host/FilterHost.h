// A host that loads a filter plug-in (.8bf) and runs it on an image in this process, the way
// real hosts do, with switches to behave like the less complete hosts users have. Used by
// glazehost.exe and by in-process tests of plug-ins. Windows only at run time; the header
// itself includes no windows.h (window and DC handles are passed as intptr_t / void*).
#pragma once

#include "host/ConsoleProgress.h"
#include "host/Descriptor.h"
#include "host/DescriptorSession.h"
#include "host/HostImage.h"
#include "host/PiPL.h"
#include "host/RegionDelivery.h"
#include "sdk/PluginInterface.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vg::host {

struct AdvanceRequest;

// How the host is built: which parts of the interface it offers. The defaults are a complete,
// current host.
struct HostOptions {
    int32_t recordSize = ps::kFilterRecordSize;  // 552, 556, 576 or 608 bytes are allocated
    bool guardRecordEnd = true;   // an inaccessible page right after the record catches over-reads
    bool bigDocument = true;      // offer BigDocumentStruct (needed above 32767 pixels)
    bool pica = true;             // offer sSPBasic with the buffer suite
    bool descriptors = true;      // offer descriptorParameters with read/write procs
    bool descriptorProcs = true;  // false: descriptorParameters is offered, its procs are NULL
    bool persistData = true;      // false: the data word starts at 0 and parameters NULL each run
    // false: getSizeProc answers 0, setSizeProc changes nothing and disposeProc frees nothing,
    // as in hosts whose handle procs are stubs.
    bool reliableHandleProcs = true;
    bool bufferProcs = true;
    bool propertyProcs = true;
    bool displayPixels = true;
    char samplingSupport = ps::hostSupportsFractionalSampling;
    bool supportsPadding = true;
    ps::OSType hostSig = ps::kPhotoshopSignature;
    int32_t rowAlignment = 4;      // rows handed to the plug-in are padded to this many bytes
    int32_t maxSpace = 1 << 30;    // bytes the host says it has
    intptr_t parentWindow = 0;     // HWND handed to the plug-in's dialogs through platformData
    bool consoleProgress = false;  // draw a progress bar on stderr
    bool consoleCancel = false;    // Ctrl+C cancels the run (abortProc, advanceState)
    // Test hook: abortProc reports a cancel from its N-th call on (1 = first call); 0 = never.
    int32_t cancelAfterAbortCalls = 0;
    // closeReadDescriptorProc reports errMissingParameter when an expected key was not in the
    // descriptor, as Photoshop does; off by default so that partial replays work everywhere.
    bool reportMissingKeys = false;
    // Dialog boxes the plug-in shows during a run (its message boxes) are answered with their
    // default button at once and recorded in RunResult::messageBoxes, for runs nobody watches.
    bool answerMessageBoxes = false;
    // Test hooks: see each displayPixels call (before painting) and each advanceState request
    // (after delivery) while the run goes on, as a dialog drives them.
    std::function<void(const ps::PSPixelMap& map, const ps::VRect& area, int32_t dstRow,
                       int32_t dstCol)>
        onDisplayPixels;
    std::function<void(const AdvanceRequest& request)> onAdvanceState;
};

// When the Parameters selector is sent before a run. A real host sends it when the user picks
// the filter (the dialog is wanted) and not when an action or the last filter is replayed.
enum class ParametersCall { WithDialog, Always, Never };

// What one run does.
struct RunOptions {
    bool showDialog = false;  // playInfo Display instead of DontDisplay
    ParametersCall parameters = ParametersCall::WithDialog;
    // Values to replay; when unset, the descriptor recorded by the previous run is replayed,
    // and none (a null descriptor) is passed when nothing was recorded yet.
    bool replay = false;
    CDescriptor replayDescriptor;
    // Filter rectangle (selection) in image coordinates; an empty rectangle means the whole image.
    ps::VRect filterRect{0, 0, 0, 0};
    // Called after each selector returns, before the host acts on the result. Only the first
    // HostOptions::recordSize bytes of the record exist.
    std::function<void(int16_t selector, ps::FilterRecord& record, int16_t result)> afterSelector;
};

// What happened in a run.
struct RunResult {
    int16_t result = 0;              // first non-zero selector result, or 0
    int16_t failedSelector = -1;     // the selector that returned it
    std::string errorText;           // errorString when result == errReportString
    std::string message;             // the host's own sentence for the user, empty on success
    std::vector<int16_t> selectors;  // selectors sent, in order
    std::vector<AdvanceRequest> requests;
    CDescriptor recorded;  // the descriptor the plug-in returned (empty if none)
    // The first value of the passed descriptor the plug-in could not read for its type.
    DescriptorProblem descriptorProblem;
    bool descriptorReturned = false;
    int16_t recordInfo = 0;  // recordInfo after the run
    int32_t abortCalls = 0;
    int32_t progressCalls = 0;
    int32_t lastProgressDone = 0, lastProgressTotal = 0;
    int32_t bufferSpace = 0;      // what the plug-in announced in Prepare
    int64_t peakBufferBytes = 0;  // most memory held at once through buffer procs and suite
    int32_t leakedBuffers = 0;    // buffers not given back by the end of the run
    int32_t suitesNotReleased = 0;
    int32_t displayPixelsCalls = 0;
    // With HostOptions::answerMessageBoxes: each box answered, as "caption: text".
    std::vector<std::string> messageBoxes;
    bool ok() const { return result == 0; }
};

// Owns a loaded plug-in module and the host state that lives as long as a real host keeps a
// plug-in loaded: the data word, handles made through handleProcs, the last recorded descriptor.
// One run at a time per process: the interface's callbacks carry no context, so the running
// host is found through a process-wide pointer while a selector is being called.
class CFilterHost {
public:
    explicit CFilterHost(HostOptions options = {});
    ~CFilterHost();
    CFilterHost(const CFilterHost&) = delete;
    CFilterHost& operator=(const CFilterHost&) = delete;

    // Loads the plug-in and resolves its entry point; false with a message for the user on
    // a missing file, a wrong architecture, no filter PiPL or no entry point.
    bool Load(const std::string& path, std::string* error);
    const PlugInInfo& Info() const;

    HostOptions& Options();
    // The bar runs draw with HostOptions::consoleProgress.
    CConsoleProgress& Progress();

    // Whether the plug-in's modes and enable expression accept this image; a message if not.
    bool Accepts(const CHostImage& image, std::string* reason) const;

    // Sends the About selector.
    RunResult About();

    // Runs the filter on image in place: Parameters (per options), Prepare, Start, Continue
    // while rectangles are requested, Finish. The image keeps its contents on failure.
    RunResult Run(CHostImage& image, const RunOptions& options = {});

    intptr_t DataWord() const;
    const CDescriptor& LastDescriptor() const;
    int32_t LiveHandles() const;  // handles made by the plug-in and not disposed

    class CImpl;

private:
    std::unique_ptr<CImpl> m_impl;
};

// While a scope lives, Ctrl+C and Ctrl+Break in the console ask to cancel instead of ending
// the process: runs with HostOptions::consoleCancel then stop, and ConsoleCancelRequested says
// so between runs. Scopes nest; the request is cleared when the outermost one begins.
class CConsoleCancelScope {
public:
    CConsoleCancelScope();
    ~CConsoleCancelScope();
    CConsoleCancelScope(const CConsoleCancelScope&) = delete;
    CConsoleCancelScope& operator=(const CConsoleCancelScope&) = delete;
};
bool ConsoleCancelRequested();

// The host's sentence for a failed run, as glazehost prints it.
std::string DescribeResult(const RunResult& r);

// The host's displayPixels: paints srcRect of source into the HDC platformContext with its
// top-left at device pixel (dstCol, dstRow). RGB and gray maps, 8 bits or 16 (version 3).
ps::OSErr PaintPixelMap(const ps::PSPixelMap* source, const ps::VRect* srcRect, int32_t dstRow,
                        int32_t dstCol, void* platformContext);

}  // namespace vg::host
