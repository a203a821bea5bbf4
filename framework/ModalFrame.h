// The running modal loops of the thread, innermost last: where window procedures leave the
// exceptions they catch. Used by CWnd and CDialog only.
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
