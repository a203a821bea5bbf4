// The DLL entry point of a module built on the framework (linked as an OBJECT library).
#include "WinApp.h"

// The C++ runtime linked into the module keeps an emergency pool for exceptions (about 70 KB)
// that it never frees by itself; this gives it back.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

// The first exception on a thread makes the runtime linked into the module set up a record of
// that thread (a duplicated thread handle, an event, thread-local blocks) that only the
// thread's end would free, long after the module is gone. When the module is unloaded, the
// unloading thread - the host's thread that ran it - is detached from that record here, by
// running the module's own thread-local callbacks as for the end of the thread.
void DetachThisThread(HINSTANCE instance) {
    auto* base = reinterpret_cast<BYTE*>(instance);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (entry.VirtualAddress == 0) {
        return;
    }
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + entry.VirtualAddress);
    auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    for (; callback && *callback; ++callback) {
        (*callback)(instance, DLL_THREAD_DETACH, nullptr);
    }
}

}  // namespace

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
            DetachThisThread(instance);
            __gnu_cxx::__freeres();
        }
    }
    return TRUE;
}
