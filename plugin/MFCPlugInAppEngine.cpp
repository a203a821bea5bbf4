// The engine bridge: loading the engine library and the one call that filters the current
// in rectangle.
#include "MFCPlugInApp.h"

#include "plugin/EngineCall.h"
#include "plugin/FlagGuard.h"
#include "plugin/PixelRows.h"
#include "plugin/PluginFailure.h"
#include "plugin/TraceLog.h"

#include <algorithm>
#include <string>

namespace {

// The folder of this module (with a trailing backslash), or empty when unknown.
std::string ModuleFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(AfxGetInstanceHandle(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    std::string folder(path, n);
    const size_t slash = folder.find_last_of("\\/");
    if (slash == std::string::npos)
        return {};
    folder.erase(slash + 1);
    return folder;
}

// The engine beside the plug-in first; otherwise the standard search without the current
// directory, which is often the folder of the document being edited.
HMODULE LoadEngine() {
    const std::string folder = ModuleFolder();
    if (!folder.empty()) {
        const std::string path = folder + kEngineFileName;
        if (HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
            return module;
    }
    return LoadLibraryExA(kEngineFileName, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

int32_t Low32(const void* p) {
    return int32_t(uint32_t(uintptr_t(p)));
}

}  // namespace

void CMFCPlugInApp::loadDLL() {
    WriteTrace("PX:loadDLL()", "begin");
    if (engineModule)
        return;
    engineModule.Reset(LoadEngine());
    WriteTrace("PX:loadDLL() - handle", Low32(engineModule.Get()));
    if (!engineModule)
        FailMessage("Cannot load vwiglaze21_x64.dll");
}

void CMFCPlugInApp::freeDLL() {
    WriteTrace("PX:freeDLL()", Low32(engineModule.Get()));
    engineModule.Reset();
}

int CMFCPlugInApp::procInRect(bool withProgress) {
    if (rectLock) {
        WriteTrace("PX: procInRect()-fail - locked", int32_t(0));
        return 1;
    }
    int32_t result = 0;
    {
        CFlagGuard guard(rectLock);
        result = CallEngine(withProgress);
    }
    // The guard is released before an error box runs its modal loop.
    return checkProcRC(result);
}

int32_t CMFCPlugInApp::CallEngine(bool withProgress) {
    const int step = getInDec();
    WriteTrace("PX: procInRect()-begin", int32_t(step));

    const Rect32 filter = FilterRect();
    const Rect32 in = InRect();
    const int64_t rows64 =
        std::min(int64_t(filter.bottom) - filter.top, int64_t(in.bottom) - in.top);
    const int64_t columns64 =
        std::min(int64_t(filter.right) - filter.left, int64_t(in.right) - in.left);
    const int rows = int(std::clamp<int64_t>(rows64, 0, INT32_MAX));
    const int columns = int(std::clamp<int64_t>(columns64, 0, INT32_MAX));

    int32_t format = 0;
    if (filterRecord->imageMode == ps::plugInModeRGBColor)
        format = VWGLAZE_FORMAT_RGB8;
    else if (filterRecord->imageMode == ps::plugInModeRGB48)
        format = VWGLAZE_FORMAT_RGB16;
    else
        FailCode(kFilterBadMode);
    size_t rowLength = 0;
    if (!RowLength(columns, BytesPerPixel(filterRecord->imageMode), rowLength) ||
        !BufferHoldsRows(filterRecord->inData, rows, filterRecord->inRowBytes, rowLength) ||
        !BufferHoldsRows(filterRecord->outData, rows, filterRecord->outRowBytes, rowLength))
        FailMessage("procInRect - the host's image buffers do not hold the rectangle");
    if (!params)
        FailMessage("No pointer to data in CMFCPlugInApp::procInRect");

    WriteTrace("PX: procInRect()-inData to outData", int32_t(rows));
    if (rowLength > 0)
        CopyRows(static_cast<const uint8_t*>(filterRecord->inData), filterRecord->inRowBytes,
                 static_cast<uint8_t*>(filterRecord->outData), filterRecord->outRowBytes, rowLength,
                 rows);
    WriteTrace("PX: procInRect()-inData to outData", "copied");

    auto engine = engineModule ? reinterpret_cast<VwGlazeRGB2Proc>(reinterpret_cast<void*>(
                                     GetProcAddress(engineModule.Get(), kEngineExport)))
                               : nullptr;
    if (!engine)
        FailMessage("Cannot get vwGlazeRGB2");

    WriteTrace("PX: procInRect()-start dllproc", "start");
    EngineImage image{};
    image.pixelFormat = format;
    image.srcData = filterRecord->inData;
    image.srcRowBytes = filterRecord->inRowBytes;
    image.dstData = filterRecord->outData;
    image.dstRowBytes = filterRecord->outRowBytes;
    image.width = columns;
    image.height = rows;
    image.sampleStep = step;
    image.allocProc = psMemAlloc;
    image.freeProc = psMemFree;
    image.progressCallback = withProgress ? progProc : nullptr;
    image.hostContext = filterRecord;
    const int32_t result = InvokeEngine(engine, image, MakeEngineArgs(*params));
    WriteTrace("PY: procInRect()-done dllproc", result);
    return result;
}

int CMFCPlugInApp::checkProcRC(int code) {
    WriteTrace("PX:checkProcRC", int32_t(code));
    std::string box, failure;
    if (!EngineResultIsError(code, box, failure))
        return code;
    AfxMessageBox(box.c_str(), MB_OK | MB_ICONEXCLAMATION);
    FailMessage(failure);
}
