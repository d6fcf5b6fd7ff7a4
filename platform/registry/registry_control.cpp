#include "registry/registry_control.h"

#include <new>
#include <string>

#include <ceplatform.h>

#include "registry/document_import.h"
#include "registry/hive.h"
#include "registry/in_process_registry.h"
#include "registry/registry_store.h"

namespace ce {

void ResetRegistry() {
    registry::SkipEnvironment();
    registry::DetachHive();
    registry::Store().Clear();
    registry::ClearHiveProblem();
}

namespace registry {

BOOL InProcessUseHive(const char* path) {
    try {
        SkipEnvironment();
        if (path == nullptr) {
            DetachHive();
            return TRUE;
        }
        if (*path == '\0') {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DWORD error = ERROR_SUCCESS;
        if (!AttachHive(path, &error)) {
            SetLastError(error);
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
}

const RegistryBackend kInProcessRegistry = {
    .createKey = InProcessCreateKey,
    .openKey = InProcessOpenKey,
    .closeKey = InProcessCloseKey,
    .deleteKey = InProcessDeleteKey,
    .enumKey = InProcessEnumKey,
    .queryInfoKey = InProcessQueryInfoKey,
    .flushKey = InProcessFlushKey,
    .setValue = InProcessSetValue,
    .queryValue = InProcessQueryValue,
    .enumValue = InProcessEnumValue,
    .deleteValue = InProcessDeleteValue,
    .useHive = InProcessUseHive,
    .importDocument = ImportDocument,
};

}  // namespace registry
}  // namespace ce

extern "C" {

BOOL CeRegistryUseHive(const char* path) {
    return ce::registry::Backend().useHive(path);
}

const char* CeRegistryLastError(void) {
    // Each thread keeps its own copy, so the pointer stays valid while other threads record problems.
    thread_local std::string message;
    try {
        message = ce::registry::HiveProblem();
    } catch (const std::bad_alloc&) {
        return "";
    }
    return message.c_str();
}

}  // extern "C"
