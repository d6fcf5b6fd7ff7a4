// ActivateDevice and DeactivateDevice.
#include <devload.h>

#include "devices/device_backend.h"

extern "C" {

HANDLE WINAPI ActivateDevice(LPCWSTR lpszDevKey, DWORD dwClientInfo) {
    return ce::Devices().activate(lpszDevKey, dwClientInfo);
}

BOOL WINAPI DeactivateDevice(HANDLE hDevice) {
    return ce::Devices().deactivate(hDevice);
}

}  // extern "C"
