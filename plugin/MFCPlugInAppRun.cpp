// The whole-image run: prepare, start (descriptor, dialog, one engine call over the filter
// rectangle), continue and finish.
#include "MFCPlugInApp.h"

#include "plugin/PluginFailure.h"
#include "plugin/TraceLog.h"

namespace {

// Bytes the plug-in announces it allocates for itself during the run.
constexpr int32_t kBufferSpace = 60000000;

}  // namespace

void CMFCPlugInApp::Prepare() {
    WriteTrace("PX-Prepare()", "begin");
    // A backup left by a run that never finished is not this run's.
    m_backupValid = false;
    Parameters();
    // The handle is locked once per call (by Entry, or by Parameters when it made it), and
    // Exit unlocks it once; a second lock here would leave it locked after the call.
    if (!params) {
        ps::HandleProcs* procs = HostHandleProcs();
        ps::Ptr data = procs && procs->lockProc && DataWord() != 0
                           ? procs->lockProc(reinterpret_cast<ps::Handle>(DataWord()), 1)
                           : nullptr;
        params = reinterpret_cast<FilterParams*>(data);
    }
    if (!params)
        FailMessage("No pointer to data in CMFCPlugInApp::Prepare");
    copyParams(params, &savedParams);
    m_backupValid = true;
    filterRecord->bufferSpace = kBufferSpace;
    WriteTrace("PX-Prepare() end - bufferSpace", int32_t(0));
}

void CMFCPlugInApp::Start() {
    WriteTrace("PX:Start()", "begin");
    DoPreProc();
    DoUI();
    Continue();
}

void CMFCPlugInApp::DoPreProc() {
    WriteTrace("PX:DoPreProc()", "begin");
    WriteTrace("PX:DoPreProc()", "return");
}

void CMFCPlugInApp::DoUI() {
    WriteTrace("PX:DoUI()", "begin");
    bool showDialog = false;
    const int16_t error = ReadScriptParameters(showDialog);
    if (error != 0)
        FailCode(error);
    if (showDialog) {
        dialog.reset();
        const int answer = RunDialog();
        WriteTrace("PX:DoUI() - MyMFCDialog returned", int32_t(answer));
        if (answer != 1)
            FailCode(kUserCanceledErr);
    }
    const int result = DoProc();
    WriteTrace("PX:DoUI() - DoProc() returned", int32_t(result));
    if (result == 0)
        FailCode(kUserCanceledErr);
}

int CMFCPlugInApp::DoProc() {
    WriteTrace("PX:DoProc()", "begin");
    int top = 0, bottom = 0, left = 0, right = 0;
    getFilterRect(top, bottom, left, right);
    setAllRect(top, bottom, left, right, 1);
    const int result = procInRect(true);
    WriteTrace("PX:DoProc() - return", int32_t(result));
    return result;
}

void CMFCPlugInApp::Continue() {
    WriteTrace("PX:Continue()", "begin");
    setAllRect(0, 0, 0, 0, 0);
}

void CMFCPlugInApp::Finish() {
    WriteTrace("PX:Finish()", "begin");
    const int16_t error = WriteScriptParameters();
    if (error != 0)
        FailCode(error);
}
