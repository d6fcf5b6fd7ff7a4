#include "registry/key_handle.h"

#include "registry/hive.h"
#include "registry/registry_store.h"

namespace ce::registry {

LONG ResolveKey(HKEY handle, KeyRef* key) {
    if (KeyRef root = Store().Root(handle)) {
        *key = std::move(root);
        return ERROR_SUCCESS;
    }
    const auto object = Lookup<RegistryKeyObject>(reinterpret_cast<HANDLE>(handle), ObjectType::RegistryKey);
    if (!object) {
        return ERROR_INVALID_HANDLE;
    }
    *key = object->key();
    return ERROR_SUCCESS;
}

LONG OpenKeyHandle(KeyRef key, HKEY* handle) {
    const DWORD lastError = GetLastError();
    HANDLE inserted = InsertHandle(std::make_shared<RegistryKeyObject>(std::move(key)));
    if (inserted == nullptr) {
        SetLastError(lastError);
        return ERROR_NO_SYSTEM_RESOURCES;
    }
    *handle = reinterpret_cast<HKEY>(inserted);
    return ERROR_SUCCESS;
}

LONG CloseKeyHandle(HKEY handle) {
    if (RootIndex(handle) >= 0) {
        return ERROR_SUCCESS;
    }
    return RemoveHandle(reinterpret_cast<HANDLE>(handle), ObjectType::RegistryKey) ? ERROR_SUCCESS
                                                                                   : ERROR_INVALID_HANDLE;
}

LONG SaveAfter(LONG status) {
    if (status == ERROR_SUCCESS) {
        SaveHive();
    }
    return status;
}

}  // namespace ce::registry
