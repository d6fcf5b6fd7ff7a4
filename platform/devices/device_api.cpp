// ActivateDevice and DeactivateDevice.
#include <devload.h>

#include "devices/device_manager.h"

extern "C" {

HANDLE WINAPI ActivateDevice(LPCWSTR lpszDevKey, DWORD dwClientInfo) {
    return ce::DeviceManager::Instance().Activate(lpszDevKey, dwClientInfo);
}

BOOL WINAPI DeactivateDevice(HANDLE hDevice) {
    return ce::DeviceManager::Instance().Deactivate(hDevice);
}

}  // extern "C"
