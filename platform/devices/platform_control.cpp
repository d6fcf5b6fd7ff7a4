// The platform's own controls over devices: starting a test from a clean device, suspend and resume.
#include <ceplatform.h>

#include "devices/device_backend.h"

extern "C" {

void CePlatformReset(void) {
    ce::Devices().reset();
}

void CePlatformPowerDown(void) {
    ce::Devices().powerDown();
}

void CePlatformPowerUp(void) {
    ce::Devices().powerUp();
}

}  // extern "C"
