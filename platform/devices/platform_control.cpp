// The platform's own controls over devices: starting a test from a clean device, suspend and resume.
#include <ceplatform.h>

#include <algorithm>
#include <new>
#include <vector>

#include "devices/device_backend.h"

extern "C" {

void CePlatformReset(void) {
    ce::Devices().reset();
}

DWORD CeGetDeviceUsers(LPCWSTR deviceName, DWORD* processIds, DWORD maxCount) {
    if (deviceName == nullptr || (processIds == nullptr && maxCount != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::vector<DWORD> users;
    try {
        if (!ce::Devices().users(deviceName, &users)) {
            return 0;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    std::copy_n(users.begin(), std::min<size_t>(users.size(), maxCount), processIds);
    return static_cast<DWORD>(users.size());
}

void CePlatformPowerDown(void) {
    ce::Devices().powerDown();
}

void CePlatformPowerUp(void) {
    ce::Devices().powerUp();
}

}  // extern "C"
