// Where a process's devices live: in the process (its own device manager and driver modules), or in the
// device host that serves every program of the device. The process uses one backend for its whole life,
// chosen at its first call that needs one; the device manager's calls and the file calls on devices hand each
// call to it, after checking what the public call checks itself.
//
// Each operation answers what the public call answers and sets the last error as it does. Reads, writes
// and controls may block in the driver (or on the host) as long as the driver's call does.
#pragma once

#include <windows.h>

#include <vector>

namespace ce {

using DeviceActivateFn = HANDLE(LPCWSTR key, DWORD clientInfo);
using DeviceDeactivateFn = BOOL(HANDLE device);
using DeviceOpenFileFn = HANDLE(LPCWSTR name, DWORD access, DWORD share);
using DeviceReadFileFn = BOOL(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done);
using DeviceWriteFileFn = BOOL(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done);
using DeviceSeekFileFn = DWORD(HANDLE file, LONG amount, DWORD method);
using DeviceIoControlFn = BOOL(HANDLE file, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                               LPDWORD returned);
// The processes holding the device of that name open for data, each once; false (the error set) without
// an answer.
using DeviceUsersFn = bool(LPCWSTR name, std::vector<DWORD>* users);
// Every device's PowerDown or PowerUp entry point.
using DevicePowerFn = void();
// CePlatformReset: no devices, an empty registry and no faults; a shared device is not reset.
using DeviceResetFn = void();

struct DeviceBackend {
    DeviceActivateFn* activate;
    DeviceDeactivateFn* deactivate;
    DeviceOpenFileFn* openFile;
    DeviceReadFileFn* readFile;
    DeviceWriteFileFn* writeFile;
    DeviceSeekFileFn* seekFile;
    DeviceIoControlFn* ioControl;
    DeviceUsersFn* users;
    DevicePowerFn* powerDown;
    DevicePowerFn* powerUp;
    DeviceResetFn* reset;
};

// This process's own device manager.
extern const DeviceBackend kInProcessDevices;

// The backend this process uses, chosen on first use.
const DeviceBackend& Devices();

}  // namespace ce
