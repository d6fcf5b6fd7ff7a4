// The platform's own controls over devices: starting a test from a clean device, suspend and resume.
#include <ceplatform.h>

#include <new>

#include "devices/device_manager.h"
#include "kernel/faults.h"
#include "registry/registry_control.h"

extern "C" {

void CePlatformReset(void) {
    // Faults go first so that none of them breaks the deactivations below.
    ce::ClearFaults();
    try {
        ce::DeviceManager::Instance().DeactivateAll();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    ce::ResetRegistry();
    ce::ClearFaults();
}

void CePlatformPowerDown(void) {
    try {
        ce::DeviceManager::Instance().PowerDown();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

void CePlatformPowerUp(void) {
    try {
        ce::DeviceManager::Instance().PowerUp();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
