#include "devices/device_manager.h"

#include <algorithm>
#include <new>

#include "devices/device_key.h"
#include "devices/driver_error.h"
#include "kernel/faults.h"
#include "kernel/wide_string.h"

namespace ce {
namespace {

DWORD HandleValue(HANDLE handle) {
    // Handle values fit in 31 bits; the registry keeps them as REG_DWORD.
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

DeviceManager& DeviceManager::Instance() {
    static DeviceManager* manager = new DeviceManager;
    return *manager;
}

bool DeviceManager::NameLess::operator()(std::u16string_view a, std::u16string_view b) const {
    return CompareIgnoreCase(a, b) < 0;
}

DeviceManager::DriverCall::DriverCall(DeviceManager& manager, std::shared_ptr<Device> device)
    : manager_(manager), device_(std::move(device)), entered_(manager_.EnterDriver(*device_)) {}

DeviceManager::DriverCall::~DriverCall() {
    if (entered_) {
        manager_.LeaveDriver(*device_);
    }
}

bool DeviceManager::EnterDriver(Device& device) {
    std::lock_guard<std::mutex> guard(lock_);
    if (device.state != DeviceState::Active) {
        return false;
    }
    ++device.callsInFlight;
    // The device's own use keeps the module loaded, so this use never revives an unloading module.
    ModuleLoader::Instance().AddUse(*device.module);
    return true;
}

void DeviceManager::LeaveDriver(Device& device) {
    // The module use goes first, so that a drained device has no module left to unload.
    ModuleLoader::Instance().Release(device.module);
    std::lock_guard<std::mutex> guard(lock_);
    if (--device.callsInFlight == 0 && device.state == DeviceState::Gone) {
        drained_.notify_all();
    }
}

HANDLE DeviceManager::Activate(LPCWSTR key, DWORD clientInfo) {
    DWORD error = ERROR_SUCCESS;
    if (FaultFires(FaultPoint::ActivateDevice, &error)) {
        SetLastError(error);
        return nullptr;
    }
    if (key == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DriverErrorScope scope;
    std::shared_ptr<Device> device;
    try {
        error = Prepare(key, &device);
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error != ERROR_SUCCESS) {
        if (device) {
            Discard(*device);
        }
        SetLastError(error);
        return nullptr;
    }
    // Only Init's own error may answer for its failure; loading may have left others.
    SetLastError(ERROR_SUCCESS);
    const DWORD_PTR context = device->entry.init(device->activePath.c_str(), clientInfo);
    if (context == 0) {
        error = scope.Failed(ERROR_GEN_FAILURE);
        Discard(*device);
        SetLastError(error);
        return nullptr;
    }
    scope.Succeeded();
    std::lock_guard<std::mutex> guard(lock_);
    device->context = context;
    device->state = DeviceState::Active;
    return device->handle;
}

// Everything up to Init: the key's values, the name, the module and its entry points, the handle and the
// active key. *started is set as soon as there is something for Discard to undo.
LONG DeviceManager::Prepare(LPCWSTR key, std::shared_ptr<Device>* started) {
    DeviceKeyValues values;
    LONG error = ReadDeviceKey(key, &values);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    auto device = std::make_shared<Device>(DeviceName(values), key);
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!names_.emplace(device->name, device).second) {
            return ERROR_DEVICE_IN_USE;
        }
    }
    *started = device;
    device->module = ModuleLoader::Instance().Acquire(values.dll);
    if (!device->module) {
        return GetLastError();
    }
    if (!ResolveEntryPoints(*device->module, values.prefix, &device->entry)) {
        return ERROR_PROC_NOT_FOUND;
    }
    device->handle = InsertHandle(device);
    if (device->handle == nullptr) {
        return GetLastError();
    }
    const ActiveEntry entry{device->key, device->name, HandleValue(device->handle)};
    return activeKeys_.Create(entry, &device->activePath);
}

// Undoes a failed activation, leaving no trace of it. Keeps the caller's last error.
void DeviceManager::Discard(Device& device) {
    const DWORD error = GetLastError();
    if (!device.activePath.empty()) {
        activeKeys_.Remove(device.activePath);
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (device.handle != nullptr) {
            RemoveHandle(device.handle, ObjectType::Device);
        }
        ForgetName(device);
    }
    if (device.module) {
        ModuleLoader::Instance().Release(device.module);
    }
    SetLastError(error);
}

// Caller holds lock_.
void DeviceManager::ForgetName(const Device& device) {
    auto named = names_.find(device.name);
    if (named != names_.end() && named->second.get() == &device) {
        names_.erase(named);
    }
}

BOOL DeviceManager::Deactivate(HANDLE handle) {
    DWORD error = ERROR_SUCCESS;
    if (FaultFires(FaultPoint::DeactivateDevice, &error)) {
        SetLastError(error);
        return FALSE;
    }
    std::shared_ptr<Device> device = Lookup<Device>(handle, ObjectType::Device);
    if (!device) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return Retire(device);
}

BOOL DeviceManager::Retire(const std::shared_ptr<Device>& device) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (device->state != DeviceState::Active) {
            // Starting: its Init still runs and it cannot be stopped yet. Gone: another thread was first.
            SetLastError(device->state == DeviceState::Starting ? ERROR_BUSY : ERROR_INVALID_HANDLE);
            return FALSE;
        }
        device->state = DeviceState::Gone;
        RemoveHandle(device->handle, ObjectType::Device);
    }
    const DWORD error = GetLastError();
    device->entry.deinit(device->context);
    activeKeys_.Remove(device->activePath);
    {
        std::lock_guard<std::mutex> guard(lock_);
        ForgetName(*device);
    }
    ModuleLoader::Instance().Release(device->module);
    SetLastError(error);
    return TRUE;
}

void DeviceManager::DeactivateAll() {
    const std::vector<std::shared_ptr<Device>> devices = ActiveDevices();
    for (const std::shared_ptr<Device>& device : devices) {
        Retire(device);
    }
    // Calls that Deinit released may still be on their way out of the drivers; a fresh start should find
    // their modules unloaded. A call stuck in a driver does not hold the reset up for long.
    std::unique_lock<std::mutex> lock(lock_);
    drained_.wait_for(lock, kDrainTimeout, [&] {
        return std::all_of(devices.begin(), devices.end(),
                           [](const auto& device) { return device->callsInFlight == 0; });
    });
}

std::shared_ptr<Device> DeviceManager::FindActive(std::u16string_view name) {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = names_.find(name);
    if (found == names_.end() || found->second->state != DeviceState::Active) {
        return nullptr;
    }
    return found->second;
}

std::vector<DWORD> DeviceManager::Users(std::u16string_view name) {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = names_.find(name);
    if (found == names_.end() || found->second->state != DeviceState::Active) {
        return {};
    }
    const std::multiset<DWORD>& users = found->second->users;
    std::vector<DWORD> distinct;
    for (auto user = users.begin(); user != users.end(); user = users.upper_bound(*user)) {
        distinct.push_back(*user);
    }
    return distinct;
}

std::vector<std::shared_ptr<Device>> DeviceManager::ActiveDevices() {
    std::vector<std::shared_ptr<Device>> active;
    std::lock_guard<std::mutex> guard(lock_);
    active.reserve(names_.size());
    for (const auto& [name, device] : names_) {
        if (device->state == DeviceState::Active) {
            active.push_back(device);
        }
    }
    return active;
}

}  // namespace ce
