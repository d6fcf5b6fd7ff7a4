// The store's waits. The device manager gets time to settle after every start or stop of a device, and the
// ports kept in the registry are started a little apart. Every wait goes through StoreWait, so that tests
// can shorten or record the waits without changing what the store does.
#pragma once

#include <windows.h>

namespace store {

inline constexpr DWORD kDeviceSettleMs = 250;      // after every ActivateDevice and DeactivateDevice
inline constexpr DWORD kStoredPortSpacingMs = 50;  // between the activations of the stored ports

using WaitFunction = void (*)(DWORD milliseconds);

// Replaces the wait (nullptr puts Sleep back).
void SetWaitFunction(WaitFunction wait);
void StoreWait(DWORD milliseconds);

}  // namespace store
