// The one table behind every handle of the process: events, threads, registry keys, devices, open files.
//
// A handle encodes a slot index and the slot's generation, so a closed, stale, foreign or garbage handle
// never reaches an object: lookups give nothing and the caller answers ERROR_INVALID_HANDLE. Handle values
// fit in 31 bits (device handles are stored in the registry as 4-byte values) and never collide with the
// predefined registry roots (0x8000000x), pseudo handles or INVALID_HANDLE_VALUE.
#pragma once

#include <memory>

#include <windows.h>

namespace ce {

enum class ObjectType {
    Event,
    Thread,
    RegistryKey,
    Device,
    DeviceFile,
    // the window system's objects
    Window,
    Icon,
    ImageList,
    DeviceContext,
    GdiObject,
    // a program's stand-ins for the device host's registry keys and device files
    RemoteRegistryKey,
    RemoteDeviceFile,
};

const char* ObjectTypeName(ObjectType type);

class KernelObject {
  public:
    explicit KernelObject(ObjectType type) : type_(type) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    ObjectType type() const { return type_; }

    // CloseHandle on a handle of this object: the handle goes, with whatever else closing means for the
    // object. Objects with calls of their own to end them (RegCloseKey, DeactivateDevice, DestroyWindow,
    // DeleteObject, ...) keep this default, which refuses as Win32 does: FALSE with ERROR_INVALID_HANDLE.
    virtual BOOL Close(HANDLE handle);

  private:
    const ObjectType type_;
};

// Stores the object and answers its new handle, or nullptr (ERROR_NO_SYSTEM_RESOURCES set) when full.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle if it is open and of the given type; nullptr otherwise. Sets no error.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle, ObjectType type);

template <class T>
std::shared_ptr<T> Lookup(HANDLE handle, ObjectType type) {
    return std::static_pointer_cast<T>(LookupHandle(handle, type));
}

// Removes the handle if it is open and of the given type and answers its object (the caller drops the
// reference when done); nullptr otherwise. Other holders of the object keep it alive.
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle, ObjectType type);

// Type of an open handle. False when the handle is not open.
bool HandleType(HANDLE handle, ObjectType* type);

// The object behind an open handle of any type; nullptr otherwise. Sets no error.
std::shared_ptr<KernelObject> LookupAnyHandle(HANDLE handle);

// Number of open handles of a type, for leak checks in tests.
size_t CountHandles(ObjectType type);

}  // namespace ce
