// The application object's life, the entry point's dispatch and its failure handling.
#include "MFCPlugInApp.h"

#include "plugin/PluginFailure.h"
#include "plugin/SettingsText.h"
#include "plugin/TraceLog.h"
#include "resource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kSettingsBufferSize = 4000;

int32_t Low32(intptr_t v) {
    return int32_t(uint32_t(uintptr_t(v)));
}

}  // namespace

CMFCPlugInApp::CMFCPlugInApp() {
    StartTraceFile("PX-App created");
    settingsBuffer.reset(new char[kSettingsBufferSize]);
    std::snprintf(settingsBuffer.get(), kSettingsBufferSize, "%d.%d.%d", VG_VERSION_MAJOR,
                  VG_VERSION_MINOR, VG_VERSION_PATCH);
    WriteTrace("Varen Glaze - version: ", settingsBuffer.get());
    settingsBuffer[0] = '\0';
    // The engine's OpenMP runtime reads this when it starts; it may share the process with
    // another copy of itself.
    _putenv("KMP_DUPLICATE_LIB_OK=TRUE");
}

const char* CMFCPlugInApp::BuildSettingsText() {
    const std::string text = params ? ::BuildSettingsText(*params) : std::string();
    // The report of any record fits; a longer text would be cut, never overrun.
    const size_t n = std::min(text.size(), kSettingsBufferSize - 1);
    std::memcpy(settingsBuffer.get(), text.data(), n);
    settingsBuffer[n] = '\0';
    return settingsBuffer.get();
}

CMFCPlugInApp::~CMFCPlugInApp() {
    dialog.reset();
    // Freeing a library from inside the loader's detach call can deadlock; the process or
    // the host is going away with us, so the engine is left to it.
    engineModule.Release();
}

BOOL CMFCPlugInApp::InitInstance() {
    SetAppName("Varen Glaze 2");
    return CWinApp::InitInstance();
}

CMFCPlugInApp& CMFCPlugInApp::Get() {
    return *static_cast<CMFCPlugInApp*>(AfxGetApp());
}

void CMFCPlugInApp::Main(int16_t selector, void* paramBlock, intptr_t* data,
                         int16_t* result) noexcept {
    try {
        Entry(selector, paramBlock, data);
        WriteTrace("PX Selector", int32_t(selector));
        Dispatch(selector);
        Exit();
        m_ownHeap.Trim();  // the engine's kept blocks go back before the host runs again
        return;
    } catch (const CMessageFailure& failure) {
        try {
            WriteTrace("PX catch", failure.what());
            OutputDebugStringA(failure.what());
            if (filterRecord && !m_aboutCall && filterRecord->errorString)
                StorePascalString(*filterRecord->errorString, failure.what());
        } catch (...) {
        }
        if (result)
            *result = kErrReportString;
    } catch (const CHostCodeFailure& failure) {
        WriteTrace("PX catch", int32_t(failure.Code()));
        if (result)
            *result = failure.Code();
    } catch (...) {
        WriteTrace("PX catch", "...");
        if (result)
            *result = kOtherFailure;
    }
    HandleFailure(result);
    m_ownHeap.Trim();
}

void CMFCPlugInApp::HandleFailure(int16_t*) noexcept {
    DestroyDialog();
    try {
        // Only a backup this run's Prepare took, written through the handle locked in this
        // call: an older backup or none at all would overwrite the stored values.
        if (m_backupValid && params)
            setParams(&savedParams);
        // A failure skips Exit; the lock this call took (params is set only by one) is
        // still undone, so the host's handle is not left locked.
        ps::HandleProcs* procs = HostHandleProcs();
        if (params && DataWord() != 0 && procs && procs->unlockProc)
            procs->unlockProc(reinterpret_cast<ps::Handle>(DataWord()));
    } catch (...) {
    }
    params = nullptr;
    m_backupValid = false;
    freeDLL();
}

void CMFCPlugInApp::DestroyDialog() noexcept {
    dialog.reset();
}

void CMFCPlugInApp::Entry(int16_t selector, void* paramBlock, intptr_t* data) {
    WriteTrace("PX-Entry()-pData", Low32(data ? *data : 0));
    filterRecord = nullptr;
    params = nullptr;
    dataSlot = data;
    m_aboutCall = selector == ps::filterSelectorAbout;
    if (!paramBlock)
        FailMessage("pFilterRecord == NULL in CMFCPlugInApp::Entry");
    // The About call brings an AboutRecord, which has none of the filter record's fields.
    if (m_aboutCall)
        return;
    if (!data)
        FailMessage("pData == NULL in CMFCPlugInApp::Entry");
    filterRecord = static_cast<ps::FilterRecord*>(paramBlock);
    if (ps::BigDocumentStruct* big = filterRecord->bigDocumentData)
        big->PluginUsing32BitCoordinates = 1;
    // The stored record is used through the handle locked in this call only: Exit unlocked
    // it after the previous call, and the host may have moved it since.
    ps::HandleProcs* procs = HostHandleProcs();
    if (DataWord() != 0 && procs && procs->lockProc)
        params = reinterpret_cast<FilterParams*>(
            procs->lockProc(reinterpret_cast<ps::Handle>(DataWord()), 1));
}

void CMFCPlugInApp::Exit() {
    WriteTrace("PX-Exit()", Low32(DataWord()));
    ps::HandleProcs* procs = HostHandleProcs();
    if (DataWord() != 0 && procs && procs->unlockProc)
        procs->unlockProc(reinterpret_cast<ps::Handle>(DataWord()));
}

void CMFCPlugInApp::Dispatch(int16_t selector) {
    switch (selector) {
        case ps::filterSelectorAbout:
            About();
            break;
        case ps::filterSelectorParameters:
            // A parameters call opens a new run: an earlier run's backup is no longer valid.
            m_backupValid = false;
            Parameters();
            showDialogDefault = 1;
            break;
        case ps::filterSelectorPrepare:
            Prepare();
            break;
        case ps::filterSelectorStart:
            loadDLL();
            Start();
            break;
        case ps::filterSelectorContinue:
            Continue();
            break;
        case ps::filterSelectorFinish:
            Finish();
            m_backupValid = false;
            freeDLL();
            break;
        default:
            break;
    }
}

void CMFCPlugInApp::About() {
    AfxMessageBox(
        "Varen Glaze 2 gives photos a clean look: it removes weak detail, smooths and "
        "accents edges and controls fine texture.\n",
        MB_OK | MB_ICONEXCLAMATION);
}

intptr_t CMFCPlugInApp::DataWord() const {
    return dataSlot ? *dataSlot : 0;
}

ps::HandleProcs* CMFCPlugInApp::HostHandleProcs() const {
    return filterRecord ? filterRecord->handleProcs : nullptr;
}

void CMFCPlugInApp::RequireImageMode() const {
    const int mode = filterRecord->imageMode;
    if (mode != ps::plugInModeRGBColor && mode != ps::plugInModeRGB48)
        FailCode(kFilterBadMode);
}
