// Trace switch and file location on Windows: the process environment and the shell's
// documents folder.
#include "plugin/TraceLog.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

bool TraceEnabled() {
    // Asked of the process environment itself, not the C runtime's copy, so that a variable
    // set by the host after start-up is seen too. Any value, including an empty one, is "on".
    char probe[1];
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableA("VWTRACE", probe, sizeof probe);
    return n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

bool TraceFilePath(std::string& path) {
    char folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, folder)))
        return false;
    if (!PathAppendA(folder, "vwtrace.txt"))
        return false;
    path = folder;
    return true;
}
