// Library entry on Windows. The engine's threads never outlive a call, but the C++ runtime
// linked into this library keeps two things past it: an emergency pool for exceptions (about
// 70 KB, made at load) and, once a call has waited for or joined a worker, a record of the
// calling host thread (a duplicated thread handle and an event). Both are given back when the
// library is unloaded while the process goes on, so that loads and runs leave nothing behind.
#include <windows.h>

namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

// Runs the library's own thread-local callbacks for the unloading thread as for the end of the
// thread: the runtime then frees its record of that thread (the host's thread that ran the
// engine; the loader calls no thread callbacks here, see DisableThreadLibraryCalls).
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

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded while the process goes on; at process exit everything goes anyway.
        DetachThisThread(instance);
        __gnu_cxx::__freeres();
    }
    return TRUE;
}
