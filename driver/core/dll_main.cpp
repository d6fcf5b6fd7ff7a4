// The module's entry point. The driver keeps no per-thread state, so it asks not to hear of threads.
#include <windows.h>

extern "C" __attribute__((visibility("default"))) BOOL WINAPI DllMain(HANDLE module, DWORD reason,
                                                                      LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(static_cast<HMODULE>(module));
    }
    return TRUE;
}
