// FindResourceW, LoadResource, LockResource, SizeofResource and the registration of compiled resources.
#include <cstdio>
#include <new>

#include <ceplatform_ui.h>
#include <windows.h>

#include "user/resources/icon_cache.h"
#include "user/resources/module_table.h"
#include "user/resources/resource_lookup.h"

namespace {

using ce::ui::FoundResource;
using ce::ui::ResourceTable;

// The entry behind an HRSRC, checked against the module the caller names (NULL accepts any).
bool ResolveFor(HMODULE module, HRSRC resource, FoundResource* found) {
    if (!ResourceTable::Instance().Resolve(resource, found) ||
        (module != nullptr && reinterpret_cast<uintptr_t>(module) != found->module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

}  // namespace

extern "C" HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    try {
        FoundResource found;
        DWORD error = ce::ui::FindModuleResource(hModule, ce::ui::ResourceId::FromArgument(lpName),
                                                 ce::ui::ResourceId::FromArgument(lpType), &found);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return nullptr;
        }
        return found.handle;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    FoundResource found;
    if (!ResolveFor(hModule, hResInfo, &found)) {
        return nullptr;
    }
    return const_cast<BYTE*>(found.data);
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData) {
    if (hResData == nullptr) {
        return nullptr;
    }
    if (!ResourceTable::Instance().IsResourceData(hResData)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return hResData;  // resources are mapped with their module: loading them is only finding them
}

extern "C" DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    FoundResource found;
    return ResolveFor(hModule, hResInfo, &found) ? found.size : 0;
}

extern "C" BOOL CeRegisterModuleResources(const void* addressInModule, const void* resData, DWORD resSize) {
    if (addressInModule == nullptr || resData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        auto module = ce::ui::ModuleContaining(addressInModule);
        if (!module) {
            std::fprintf(stderr, "ceplatform: resources at %p belong to no loaded module\n", addressInModule);
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::string error;
        if (!ResourceTable::Instance().Register(module->base, resData, resSize, &error)) {
            std::fprintf(stderr, "ceplatform: the resources of %s are refused: %s\n", module->path.c_str(),
                         error.c_str());
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

extern "C" BOOL CeUnregisterModuleResources(const void* resData) {
    uint32_t serial = ResourceTable::Instance().Withdraw(resData);
    if (serial == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ce::ui::ForgetIcons(serial);
    return TRUE;
}
