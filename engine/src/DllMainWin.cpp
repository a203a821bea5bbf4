// Library entry on Windows: pins the engine in the process once it is loaded.
#include <windows.h>

namespace {
// Hosts free the engine after every run. The statically linked thread runtime still executes
// its own thread-exit code inside this image after a worker has been joined, so an unmap at
// that moment would crash the host; a pinned module is never unmapped.
void PinSelf() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&PinSelf), &self);
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        PinSelf();
    }
    return TRUE;
}
