// A running driver instance and a file open on it, as the handle table holds them.
#pragma once

#include <devload.h>

#include <memory>
#include <set>
#include <string>

#include "devices/driver_module.h"
#include "kernel/handle_table.h"

namespace ce {

// The ten entry points of one prefix; all are required.
struct StreamEntryPoints {
    PFN_DEVICE_INIT init = nullptr;
    PFN_DEVICE_DEINIT deinit = nullptr;
    PFN_DEVICE_OPEN open = nullptr;
    PFN_DEVICE_CLOSE close = nullptr;
    PFN_DEVICE_READ read = nullptr;
    PFN_DEVICE_WRITE write = nullptr;
    PFN_DEVICE_SEEK seek = nullptr;
    PFN_DEVICE_IOCONTROL ioControl = nullptr;
    PFN_DEVICE_POWERUP powerUp = nullptr;
    PFN_DEVICE_POWERDOWN powerDown = nullptr;
};

// Resolves every entry point of prefix in module; false (ERROR_PROC_NOT_FOUND) if one is missing.
bool ResolveEntryPoints(const DriverModule& module, const std::u16string& prefix, StreamEntryPoints* entry);

// Starting: Init runs, the name is taken but nothing can open it. Active: open for calls. Gone: deactivated;
// no call enters any more, calls already inside may still run.
enum class DeviceState { Starting, Active, Gone };

// Fields tagged "manager lock" are guarded by DeviceManager::lock_.
class Device final : public KernelObject {
  public:
    Device(std::u16string name, std::u16string key)
        : KernelObject(ObjectType::Device), name(std::move(name)), key(std::move(key)) {}

    const std::u16string name;  // "COM5:", as the key spells the prefix
    const std::u16string key;   // the device key path as ActivateDevice got it

    // Set while Starting, const afterwards.
    std::shared_ptr<DriverModule> module;
    StreamEntryPoints entry;
    HANDLE handle = nullptr;
    std::u16string activePath;  // "Drivers\Active\NN"
    DWORD_PTR context = 0;      // from Init; set under the manager lock when the device goes Active

    DeviceState state = DeviceState::Starting;  // manager lock
    unsigned callsInFlight = 0;                 // manager lock
    std::multiset<DWORD> users;                 // manager lock; the process of each open for data
};

// An open handle on a device: the driver's open context. It keeps the Device record (not the driver) alive,
// so a handle that outlives its device still answers ERROR_DEV_NOT_EXIST.
class DeviceFile final : public KernelObject {
  public:
    DeviceFile(std::shared_ptr<Device> device, DWORD_PTR openContext, DWORD user)
        : KernelObject(ObjectType::DeviceFile),
          device(std::move(device)),
          openContext(openContext),
          user(user) {}

    // The handle goes, and the driver's Close runs unless the device is gone (its Deinit already ended
    // every open); FALSE with the driver's error when its Close fails (the handle is gone all the same).
    BOOL Close(HANDLE handle) override;

    const std::shared_ptr<Device> device;
    const DWORD_PTR openContext;
    const DWORD user;  // the process the file is open for data for, counted in the device's users; 0: none
};

}  // namespace ce
