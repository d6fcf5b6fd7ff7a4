// Registry key handles: entries of the process handle table that hold a key of the store.
#pragma once

#include <exception>
#include <new>

#include "kernel/faults.h"
#include "kernel/handle_table.h"
#include "registry/key_tree.h"

namespace ce::registry {

class RegistryKeyObject : public KernelObject {
  public:
    explicit RegistryKeyObject(KeyRef key) : KernelObject(ObjectType::RegistryKey), key_(std::move(key)) {}
    const KeyRef& key() const { return key_; }

  private:
    const KeyRef key_;
};

// The key behind a predefined root or an open key handle; ERROR_INVALID_HANDLE for anything else. A deleted
// key is still answered: the store's calls report ERROR_KEY_DELETED for it.
LONG ResolveKey(HKEY handle, KeyRef* key);

// A new handle for key. ERROR_NO_SYSTEM_RESOURCES when the table is full; the thread's last error is left
// as it was, as for every registry call.
LONG OpenKeyHandle(KeyRef key, HKEY* handle);

// Removes an open handle; predefined roots close successfully and stay usable.
LONG CloseKeyHandle(HKEY handle);

// Resolves the handle and runs body with its key.
template <class Body>
LONG WithHandle(HKEY handle, Body&& body) {
    KeyRef key;
    const LONG status = ResolveKey(handle, &key);
    return status != ERROR_SUCCESS ? status : body(key);
}

// After a change succeeded in memory, the hive follows. A failed save does not fail the call: as on the
// device, the caller sees the registry's answer, and the next save carries the change.
LONG SaveAfter(LONG status);

// An armed fault point fails a call before it changes anything: true with the injected error in *status.
inline bool Injected(FaultPoint point, LONG* status) {
    DWORD error = ERROR_SUCCESS;
    if (!FaultFires(point, &error)) {
        return false;
    }
    *status = static_cast<LONG>(error);
    return true;
}

// Runs the body of a Reg*W call so that no exception leaves it.
template <class Body>
LONG RunRegistryCall(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    } catch (const std::exception&) {
        return ERROR_GEN_FAILURE;
    }
}

}  // namespace ce::registry
