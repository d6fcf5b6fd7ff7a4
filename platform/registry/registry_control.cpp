#include "registry/registry_control.h"

#include <cstdio>
#include <new>
#include <string>

#include <ceplatform.h>

#include "registry/hive.h"
#include "registry/registry_store.h"
#include "wire/device_dir.h"

namespace ce {

void ResetRegistry() {
    registry::SkipEnvironment();
    registry::DetachHive();
    registry::Store().Clear();
    registry::ClearHiveProblem();
}

}  // namespace ce

extern "C" {

BOOL CeRegistryUseHive(const char* path) {
    if (ce::host::Remote()) {
        std::fprintf(stderr, "ceplatform: CeRegistryUseHive: the registry is the device host's (%s)\n",
                     ce::host::DeviceDirectory().c_str());
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    try {
        ce::registry::SkipEnvironment();
        if (path == nullptr) {
            ce::registry::DetachHive();
            return TRUE;
        }
        if (*path == '\0') {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DWORD error = ERROR_SUCCESS;
        if (!ce::registry::AttachHive(path, &error)) {
            SetLastError(error);
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
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
