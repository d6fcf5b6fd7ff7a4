#include "kernel/handle_table.h"

// Each object says what closing it means.
extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    const std::shared_ptr<ce::KernelObject> object = ce::LookupAnyHandle(hObject);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return object->Close(hObject);
}
