// ActivateDevice and DeactivateDevice.
#include <devload.h>

#include "devices/device_manager.h"
#include "remote/remote_devices.h"
#include "wire/device_dir.h"

extern "C" {

HANDLE WINAPI ActivateDevice(LPCWSTR lpszDevKey, DWORD dwClientInfo) {
    if (ce::host::Remote()) {
        return ce::host::ActivateRemote(lpszDevKey, dwClientInfo);
    }
    return ce::DeviceManager::Instance().Activate(lpszDevKey, dwClientInfo);
}

BOOL WINAPI DeactivateDevice(HANDLE hDevice) {
    if (ce::host::Remote()) {
        return ce::host::DeactivateRemote(hDevice);
    }
    return ce::DeviceManager::Instance().Deactivate(hDevice);
}

}  // extern "C"
