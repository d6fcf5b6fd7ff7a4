#include "devices/device_files.h"
#include "kernel/handle_table.h"

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    ce::ObjectType type;
    if (!ce::HandleType(hObject, &type)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    switch (type) {
        case ce::ObjectType::Event:
        case ce::ObjectType::Thread:
            // A thread keeps running and an event keeps its waiters; only this handle goes.
            if (ce::RemoveHandle(hObject, type)) {
                return TRUE;
            }
            break;
        case ce::ObjectType::DeviceFile:
            return ce::CloseDeviceFile(hObject);
        case ce::ObjectType::RegistryKey:  // RegCloseKey
        case ce::ObjectType::Device:       // DeactivateDevice
            break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
