#include "remote/remote_handles.h"

#include <new>

#include <winreg.h>

#include "remote/client.h"
#include "remote/remote_devices.h"

namespace ce::remote {

using namespace wire;
namespace {

class RemoteObject final : public KernelObject {
  public:
    RemoteObject(ObjectType type, uint64_t session, uint32_t value)
        : KernelObject(type), session(session), value(value) {}

    // A device file of the host closes there; the host's keys close by RegCloseKey.
    BOOL Close(HANDLE handle) override {
        return type() == ObjectType::RemoteDeviceFile ? CloseRemote(handle) : KernelObject::Close(handle);
    }

    const uint64_t session;
    const uint32_t value;
};

}  // namespace

uint32_t RemoteValue(HANDLE handle, ObjectType type) {
    const auto object = Lookup<RemoteObject>(handle, type);
    return object && object->session == CurrentSession() ? object->value : 0;
}

uint32_t RemoteKeyValue(HKEY key) {
    const auto value = reinterpret_cast<uintptr_t>(key);
    if (IsRootKeyValue(value)) {
        return static_cast<uint32_t>(value);
    }
    return RemoteValue(reinterpret_cast<HANDLE>(key), ObjectType::RemoteRegistryKey);
}

uint32_t HostValue(HANDLE handle) {
    const auto value = reinterpret_cast<uintptr_t>(handle);
    return value <= UINT32_MAX ? static_cast<uint32_t>(value) : 0;
}

HANDLE WrapRemote(ObjectType type, uint32_t value) {
    try {
        return InsertHandle(std::make_shared<RemoteObject>(type, CurrentSession(), value));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return nullptr;
    }
}

uint32_t UnwrapRemote(HANDLE handle, ObjectType type, bool* stale) {
    const auto object = std::static_pointer_cast<RemoteObject>(RemoveHandle(handle, type));
    *stale = object && object->session != CurrentSession();
    return object && !*stale ? object->value : 0;
}

}  // namespace ce::remote
