// The device manager: starts and stops driver instances and carries every call on a device file into its
// driver. The public device API is a thin layer over it, so that it can later serve many programs from one
// host process.
//
// Lock order: lock_ before the handle table's lock. The loader lock, the active-keys lock and the registry
// are never taken while lock_ is held, and no driver entry point runs under any of the manager's locks: a
// driver may use the registry and other devices from any entry point.
//
// Lifetime: a device's record lives as long as its handle, its open files or a call in flight; its driver
// module stays loaded while the device is active or a call is inside it. Deactivation does not wait for
// calls in flight: Deinit is what releases calls blocked inside the driver.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "devices/active_keys.h"
#include "devices/device.h"

namespace ce {

class DeviceManager {
  public:
    static DeviceManager& Instance();

    // ActivateDevice and DeactivateDevice, with their fault points.
    HANDLE Activate(LPCWSTR key, DWORD clientInfo);
    BOOL Deactivate(HANDLE device);
    // Stops every active device, without fault points (platform reset), and waits up to kDrainTimeout for
    // the calls still inside their drivers to leave.
    void DeactivateAll();

    // Device files. Parameters the caller could get wrong are checked by the API layer; these answer
    // ERROR_INVALID_HANDLE for a handle that is not an open device file and ERROR_DEV_NOT_EXIST when its
    // device is gone.
    HANDLE Open(LPCWSTR name, DWORD access, DWORD share);
    BOOL Close(HANDLE file);
    BOOL Read(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done);
    BOOL Write(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done);
    DWORD Seek(HANDLE file, LONG amount, DWORD method);
    BOOL IoControl(HANDLE file, DWORD code, PBYTE in, DWORD inSize, PBYTE out, DWORD outSize,
                   LPDWORD returned);

    // The processes holding data opens on the active device of that name, each once, in order.
    std::vector<DWORD> Users(std::u16string_view name);

    // Every active device's PowerDown or PowerUp entry point.
    void PowerDown();
    void PowerUp();

  private:
    // One call into a device's driver: entered only while the device is active, and then it keeps the
    // device's module loaded until the call leaves.
    class DriverCall {
      public:
        DriverCall(DeviceManager& manager, std::shared_ptr<Device> device);
        ~DriverCall();
        DriverCall(const DriverCall&) = delete;
        DriverCall& operator=(const DriverCall&) = delete;

        bool entered() const { return entered_; }

      private:
        DeviceManager& manager_;
        const std::shared_ptr<Device> device_;
        const bool entered_;
    };

    struct NameLess {
        using is_transparent = void;
        bool operator()(std::u16string_view a, std::u16string_view b) const;
    };

    DeviceManager() = default;

    bool EnterDriver(Device& device);
    void LeaveDriver(Device& device);

    LONG Prepare(LPCWSTR key, std::shared_ptr<Device>* started);
    void Discard(Device& device);
    void ForgetName(const Device& device);
    BOOL Retire(const std::shared_ptr<Device>& device);
    std::shared_ptr<Device> FindActive(std::u16string_view name);
    std::vector<std::shared_ptr<Device>> ActiveDevices();
    // PowerDown and PowerUp share one type.
    void CallEveryDevice(PFN_DEVICE_POWERUP StreamEntryPoints::*entryPoint);

    // Runs call(entry points, open context) in the file's device. The driver's failure value comes back
    // with the driver's error, or fallbackError when it set none.
    template <class Result, class Call>
    Result CallFile(HANDLE file, Result failure, DWORD fallbackError, Call&& call);

    static constexpr std::chrono::milliseconds kDrainTimeout{2000};

    std::mutex lock_;
    std::condition_variable drained_;  // a gone device's last call left
    // lock_; every device from the reservation of its name until its deactivation frees the name
    std::map<std::u16string, std::shared_ptr<Device>, NameLess> names_;
    ActiveKeys activeKeys_;
};

}  // namespace ce
