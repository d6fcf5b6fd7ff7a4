// Finding a module's resource the way FindResourceW does, shared by the resource calls and LoadIconW.
#pragma once

#include <cstdint>

#include <windows.h>

#include "user/resources/resource_table.h"

namespace ce::ui {

// The module a resource call means: NULL is the program. 0 when the handle names no loaded module.
uintptr_t ResourceModule(HMODULE module);

// ERROR_SUCCESS with *found, or the error FindResourceW reports: ERROR_INVALID_HANDLE (no such module),
// ERROR_RESOURCE_DATA_NOT_FOUND (a module without resources), ERROR_RESOURCE_TYPE_NOT_FOUND,
// ERROR_RESOURCE_NAME_NOT_FOUND.
DWORD FindModuleResource(HMODULE module, const ResourceId& name, const ResourceId& type,
                         FoundResource* found);

}  // namespace ce::ui
