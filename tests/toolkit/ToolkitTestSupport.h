// Helpers of the toolkit's window tests: message pumping, rectangles and test registry keys.
#pragma once

#include <windows.h>

#include <string>

inline void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// A control's rectangle in its parent's client coordinates.
inline RECT RectIn(HWND parent, HWND child) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline SIZE ClientSize(HWND hWnd) {
    RECT r;
    ::GetClientRect(hWnd, &r);
    return SIZE{r.right, r.bottom};
}

// A fresh key below HKEY_CURRENT_USER for one test; removed first so earlier runs leave nothing.
inline std::string TestKey(const char* name) {
    std::string path = std::string("Software\\VgToolkitTests\\") + name;
    ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    return path;
}

inline std::string ReadPlacement(const std::string& key) {
    char text[256] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "WindowPlacement", RRF_RT_REG_SZ, nullptr,
                       text, &size) != ERROR_SUCCESS) {
        return std::string();
    }
    return text;
}

inline void WritePlacement(const std::string& key, const char* text) {
    HKEY h = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr);
    ::RegSetValueExA(h, "WindowPlacement", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(lstrlenA(text) + 1));
    ::RegCloseKey(h);
}
