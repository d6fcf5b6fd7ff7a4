// Calls on device files, carried into the driver's entry points.
#include <new>

#include "devices/device_users.h"
#include "devices/device_manager.h"
#include "devices/driver_error.h"

namespace ce {
namespace {

// What Read, Write and Seek answer for failure.
constexpr DWORD kDriverFailure = 0xFFFFFFFFu;

BOOL Counted(DWORD transferred, LPDWORD done) {
    if (transferred == kDriverFailure) {
        return FALSE;
    }
    *done = transferred;
    return TRUE;
}

}  // namespace

template <class Result, class Call>
Result DeviceManager::CallFile(HANDLE handle, Result failure, DWORD fallbackError, Call&& call) {
    std::shared_ptr<DeviceFile> file = Lookup<DeviceFile>(handle, ObjectType::DeviceFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return failure;
    }
    DriverCall inside(*this, file->device);
    if (!inside.entered()) {
        SetLastError(ERROR_DEV_NOT_EXIST);
        return failure;
    }
    DriverErrorScope scope;
    const Result result = call(file->device->entry, file->openContext);
    if (result == failure) {
        scope.Failed(fallbackError);
    } else {
        scope.Succeeded();
    }
    return result;
}

HANDLE DeviceManager::Open(LPCWSTR name, DWORD access, DWORD share) {
    std::shared_ptr<Device> device = FindActive(name);
    if (!device) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DriverCall inside(*this, device);
    if (!inside.entered()) {
        SetLastError(ERROR_FILE_NOT_FOUND);  // deactivated since it was found
        return INVALID_HANDLE_VALUE;
    }
    DriverErrorScope scope;
    const DWORD_PTR context = device->entry.open(device->context, access, share);
    if (context == 0) {
        scope.Failed(ERROR_OPEN_FAILED);
        return INVALID_HANDLE_VALUE;
    }
    // A query-only open (access 0) uses nothing; the driver lets it be beside a data open.
    const DWORD user = (access & (GENERIC_READ | GENERIC_WRITE)) != 0 ? Opener() : 0;
    HANDLE handle = nullptr;
    try {
        handle = InsertHandle(std::make_shared<DeviceFile>(device, context, user));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (handle == nullptr) {
        // Nobody could ever close this open, so the driver must forget it now.
        const DWORD error = GetLastError();
        device->entry.close(context);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (user != 0) {
        std::lock_guard<std::mutex> guard(lock_);
        device->users.insert(user);
    }
    scope.Succeeded();
    return handle;
}

BOOL DeviceManager::Close(HANDLE handle) {
    std::shared_ptr<KernelObject> removed = RemoveHandle(handle, ObjectType::DeviceFile);
    if (!removed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto file = std::static_pointer_cast<DeviceFile>(removed);
    if (file->user != 0) {
        std::lock_guard<std::mutex> guard(lock_);
        file->device->users.erase(file->device->users.find(file->user));
    }
    DriverCall inside(*this, file->device);
    if (!inside.entered()) {
        return TRUE;  // the driver forgot its opens in Deinit
    }
    DriverErrorScope scope;
    if (!file->device->entry.close(file->openContext)) {
        scope.Failed(ERROR_GEN_FAILURE);
        return FALSE;
    }
    scope.Succeeded();
    return TRUE;
}

BOOL DeviceFile::Close(HANDLE handle) {
    return DeviceManager::Instance().Close(handle);
}

BOOL DeviceManager::Read(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done) {
    return Counted(CallFile(file, kDriverFailure, ERROR_GEN_FAILURE,
                            [&](const StreamEntryPoints& entry, DWORD_PTR open) {
                                return entry.read(open, buffer, count);
                            }),
                   done);
}

BOOL DeviceManager::Write(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done) {
    return Counted(CallFile(file, kDriverFailure, ERROR_GEN_FAILURE,
                            [&](const StreamEntryPoints& entry, DWORD_PTR open) {
                                return entry.write(open, buffer, count);
                            }),
                   done);
}

DWORD DeviceManager::Seek(HANDLE file, LONG amount, DWORD method) {
    return CallFile(
        file, kDriverFailure, ERROR_GEN_FAILURE,
        [&](const StreamEntryPoints& entry, DWORD_PTR open) { return entry.seek(open, amount, method); });
}

BOOL DeviceManager::IoControl(HANDLE file, DWORD code, PBYTE in, DWORD inSize, PBYTE out, DWORD outSize,
                              LPDWORD returned) {
    const BOOL done =
        CallFile(file, BOOL{FALSE}, ERROR_GEN_FAILURE, [&](const StreamEntryPoints& entry, DWORD_PTR open) {
            return entry.ioControl(open, code, in, inSize, out, outSize, returned);
        });
    return done ? TRUE : FALSE;
}

void DeviceManager::PowerDown() {
    CallEveryDevice(&StreamEntryPoints::powerDown);
}

void DeviceManager::PowerUp() {
    CallEveryDevice(&StreamEntryPoints::powerUp);
}

void DeviceManager::CallEveryDevice(PFN_DEVICE_POWERUP StreamEntryPoints::*entryPoint) {
    for (const std::shared_ptr<Device>& device : ActiveDevices()) {
        DriverCall inside(*this, device);
        if (inside.entered()) {
            DriverErrorScope scope;
            (device->entry.*entryPoint)(device->context);
            scope.Restore();
        }
    }
}

}  // namespace ce
