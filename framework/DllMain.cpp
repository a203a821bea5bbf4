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
    }
    return TRUE;
}
