#include "devices/device_files.h"
#include "kernel/handle_table.h"
#include "remote/remote_handles.h"

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
        case ce::ObjectType::RemoteDeviceFile:
            return ce::host::CloseRemoteFile(hObject);
        case ce::ObjectType::RegistryKey:  // RegCloseKey
        case ce::ObjectType::RemoteRegistryKey:
        case ce::ObjectType::Device:  // DeactivateDevice
        // The window system's objects have their own calls (DestroyWindow, DestroyIcon, ReleaseDC,
        // DeleteObject, ImageList_Destroy); CloseHandle refuses them as Win32 does.
        case ce::ObjectType::Window:
        case ce::ObjectType::Icon:
        case ce::ObjectType::ImageList:
        case ce::ObjectType::DeviceContext:
        case ce::ObjectType::GdiObject:
            break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
