// The DLL entry point of a module built on the framework (linked as an OBJECT library).
#include "WinApp.h"

// Only records the module and runs the application's start and end hooks: no exception may
// leave the loader's call, so a throwing InitInstance fails the load instead.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        AfxSetInstanceHandle(instance);
        ::DisableThreadLibraryCalls(instance);
        CWinApp* app = AfxGetApp();
        if (app) {
            try {
                return app->InitInstance();
            } catch (...) {
                return FALSE;
            }
        }
    } else if (reason == DLL_PROCESS_DETACH) {
        CWinApp* app = AfxGetApp();
        if (app) {
            try {
                app->ExitInstance();
            } catch (...) {
            }
        }
        // Unloaded while the process goes on (reserved is null): give back what the module
        // registered, so that no class or context is left pointing into unmapped code. At
        // process exit everything goes anyway and other DLLs may already be gone.
        if (!reserved) {
            AfxTermModule();
        }
    }
    return TRUE;
}
