// The framework's module-private state: the running modal loops of the thread, innermost
// last, where window procedures leave the exceptions they catch; and the teardown of the
// window state at unload. Used by CWnd, CDialog and the application object only.
#pragma once

#include <windows.h>

#include <exception>

struct CModalFrame {
    HWND dialog = nullptr;
    std::exception_ptr error;
    bool ended = false;
};

void AfxPushModalFrame(CModalFrame* frame);
void AfxPopModalFrame(CModalFrame* frame);
// Unregisters the module's window classes and drops the borrowed-window wrappers.
void AfxTermWindowing();
