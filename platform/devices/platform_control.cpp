// The platform's own controls over devices: starting a test from a clean device, suspend and resume.
#include <ceplatform.h>

#include <cstdio>
#include <new>

#include "devices/device_manager.h"
#include "kernel/faults.h"
#include "registry/registry_control.h"
#include "remote/remote_devices.h"
#include "wire/device_dir.h"

extern "C" {

void CePlatformReset(void) {
    if (ce::host::Remote()) {
        std::fprintf(stderr, "ceplatform: CePlatformReset: the device %s is shared; it is not reset\n",
                     ce::host::DeviceDirectory().c_str());
        return;
    }
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
    if (ce::host::Remote()) {
        ce::host::PowerRemote(true);
        return;
    }
    try {
        ce::DeviceManager::Instance().PowerDown();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

void CePlatformPowerUp(void) {
    if (ce::host::Remote()) {
        ce::host::PowerRemote(false);
        return;
    }
    try {
        ce::DeviceManager::Instance().PowerUp();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
