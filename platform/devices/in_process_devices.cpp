// The in-process device backend: this process's own device manager, and the platform's controls over it.
#include <new>
#include <vector>

#include "devices/device_backend.h"
#include "devices/device_users.h"
#include "devices/device_manager.h"
#include "kernel/faults.h"
#include "registry/registry_control.h"

namespace ce {
namespace {

HANDLE Activate(LPCWSTR key, DWORD clientInfo) {
    return DeviceManager::Instance().Activate(key, clientInfo);
}

BOOL Deactivate(HANDLE device) {
    return DeviceManager::Instance().Deactivate(device);
}

HANDLE OpenFile(LPCWSTR name, DWORD access, DWORD share) {
    return DeviceManager::Instance().Open(name, access, share);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done) {
    return DeviceManager::Instance().Read(file, buffer, count, done);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done) {
    return DeviceManager::Instance().Write(file, buffer, count, done);
}

DWORD SeekFile(HANDLE file, LONG amount, DWORD method) {
    return DeviceManager::Instance().Seek(file, amount, method);
}

// Buffers go to the driver as they are: checking them is the driver's part of the contract.
BOOL IoControl(HANDLE file, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
               LPDWORD returned) {
    return DeviceManager::Instance().IoControl(file, code, static_cast<PBYTE>(in), inSize,
                                               static_cast<PBYTE>(out), outSize, returned);
}

bool Users(LPCWSTR name, std::vector<DWORD>* users) {
    *users = DeviceUsers(name);
    return true;
}

void PowerDown() {
    try {
        DeviceManager::Instance().PowerDown();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

void PowerUp() {
    try {
        DeviceManager::Instance().PowerUp();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
}

void Reset() {
    // Faults go first so that none of them breaks the deactivations below.
    ClearFaults();
    try {
        DeviceManager::Instance().DeactivateAll();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    ResetRegistry();
    ClearFaults();
}

}  // namespace

const DeviceBackend kInProcessDevices = {
    .activate = Activate,
    .deactivate = Deactivate,
    .openFile = OpenFile,
    .readFile = ReadFile,
    .writeFile = WriteFile,
    .seekFile = SeekFile,
    .ioControl = IoControl,
    .users = Users,
    .powerDown = PowerDown,
    .powerUp = PowerUp,
    .reset = Reset,
};

}  // namespace ce
