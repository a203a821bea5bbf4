// The application object of a module built on the framework, and the module-wide accessors.
//
// How a DLL gets its entry point: link the OBJECT library `framework_dllmain` into it,
//     add_library(mydll MODULE ... $<TARGET_OBJECTS:framework_dllmain>)
//     target_link_libraries(mydll PRIVATE framework)
// Its DllMain stores the DLL's HINSTANCE in the application object, runs InitInstance at process
// attach (a FALSE result or an exception fails the load) and ExitInstance at process detach.
// An executable needs no entry point: AfxGetInstanceHandle falls back to the module that
// contains the framework code, which is always the right one.
//
// Common controls v6: the module carries the manifest `CommonControls.manifest` (this folder)
// as resource id 2 of type RT_MANIFEST. In the module's .rc write
//     2 24 "CommonControls.manifest"
// and add this folder to the RC include path (windres searches it for resource files):
//     target_include_directories(mydll PRIVATE ${CMAKE_SOURCE_DIR}/framework)
// Every window the framework creates is created inside the activation context of that resource.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// One per module. It registers itself on construction; AfxGetApp returns it.
class CWinApp {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs when the DLL is attached. FALSE makes the load fail.
    virtual BOOL InitInstance();
    // Runs when the DLL is detached; the result is ignored for a DLL.
    virtual int ExitInstance();

    // Replaces the application name (the caption of message boxes). The text is copied.
    void SetAppName(const char* name);

    // An owned copy, never null; the default is the module's file name without extension.
    const char* m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;

private:
    std::string m_appName;
};

// The application object, or null before it is constructed or after it is destroyed.
CWinApp* AfxGetApp();
// This module's instance handle (never the host's executable).
HINSTANCE AfxGetInstanceHandle();
// The module whose resources dialogs, menus and strings are loaded from.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resources);
// Used by the entry point; also lets a test executable name its module explicitly.
void AfxSetInstanceHandle(HINSTANCE instance);

// A modal message box with the application name as caption, owned by the active window of
// this thread. Without an icon in `type`, OK boxes get the exclamation icon and Yes/No boxes
// the question icon. Returns the button pressed (IDOK, IDYES, ...), or 0 on failure.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);

// Replaces the message box for tests and scripted runs: the hook gets text, caption and type
// and returns the button. An empty function restores the real message box.
using AfxMessageBoxHook = std::function<int(const char* text, const char* caption, UINT type)>;
void AfxSetMessageBoxHook(AfxMessageBoxHook hook);

// Loads a string of the string table from the resource module; empty when it is missing.
std::string AfxLoadString(UINT id);

// Releases the module's window classes, activation context and framework state; the DLL entry
// point runs it when the module is unloaded (declared with CWnd in Wnd.h as well).
void AfxTermModule();

// Activates the module's common-controls v6 context (manifest resource 2) for its lifetime.
// Does nothing when the module has no such resource. Nestable; not movable.
class CActivationScope {
public:
    CActivationScope();
    ~CActivationScope();
    CActivationScope(const CActivationScope&) = delete;
    CActivationScope& operator=(const CActivationScope&) = delete;

private:
    ULONG_PTR m_cookie = 0;
    bool m_active = false;
};
