// CResizableState: saving and restoring a window's placement as registry text.
#pragma once

#include <windows.h>

#include "Wnd.h"

// Stores "%d,%d,%d,%d,%d,%d" (normal rectangle, show command, flags) as the value
// "WindowPlacement" of a key under HKEY_CURRENT_USER. No data of its own.
class CResizableState {
public:
    virtual CWnd* HostWindow() = 0;
    virtual ~CResizableState() = default;

    static constexpr const char* kValueName = "WindowPlacement";

    // FALSE when the placement cannot be read or the key cannot be opened.
    BOOL SaveWindowRect(const char* keyPath, BOOL rectOnly);
    // FALSE when nothing usable is stored; the window is then left as it is.
    BOOL LoadWindowRect(const char* keyPath, BOOL rectOnly);
    // Creates the key one level at a time.
    static void EnsureKey(const char* keyPath);
};
