// The loaded modules of the process as the device names them: a module handle is the address where the
// module's image begins (its lowest loaded page), as HMODULE values are on the device.
//
// The loader's own list (dl_iterate_phdr) is the only truth; nothing is cached, so a module unloaded a moment
// ago is simply not found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <windows.h>

namespace ce::ui {

struct ModuleInfo {
    uintptr_t base = 0;  // the HMODULE value
    std::string path;    // the file's Linux path; the program's own from /proc/self/exe
    bool program = false;
};

// The program's own module (the executable).
std::optional<ModuleInfo> ProgramModule();

// The module whose loaded segments hold the address.
std::optional<ModuleInfo> ModuleContaining(const void* address);

// The module whose image begins at this handle; nothing for NULL or any other value.
std::optional<ModuleInfo> ModuleByHandle(HMODULE module);

// GetModuleHandleW's lookup: a name with a '/' is compared with the full paths, any other name with the
// files' names, both case-insensitively; a name without an extension also finds "<name>.dll".
std::optional<ModuleInfo> ModuleByName(std::u16string_view name);

inline HMODULE ToHandle(const ModuleInfo& module) {
    return reinterpret_cast<HMODULE>(module.base);
}

}  // namespace ce::ui
