#include "user/resources/module_table.h"

#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

#include "kernel/wide_string.h"

namespace ce::ui {
namespace {

constexpr char kProgramLink[] = "/proc/self/exe";
constexpr std::u16string_view kDefaultExtension = u".dll";

struct LoadedObject {
    uintptr_t base = 0;
    const dl_phdr_info* info = nullptr;
    bool program = false;
};

uintptr_t PageSize() {
    static const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    return size;
}

// Visits the loaded objects in the loader's order (the program first) until the visitor answers true.
void ForEachObject(const std::function<bool(const LoadedObject&)>& visit) {
    struct Walk {
        const std::function<bool(const LoadedObject&)>* visit;
        bool first = true;
    } walk{&visit};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* context) -> int {
            auto* walk = static_cast<Walk*>(context);
            uintptr_t lowest = UINTPTR_MAX;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                    lowest = std::min<uintptr_t>(lowest, info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
                }
            }
            LoadedObject object{lowest & ~(PageSize() - 1), info, walk->first};
            walk->first = false;
            if (lowest == UINTPTR_MAX) {
                return 0;
            }
            return (*walk->visit)(object) ? 1 : 0;
        },
        &walk);
}

std::string ProgramPath() {
    char buffer[PATH_MAX];
    ssize_t length = readlink(kProgramLink, buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

ModuleInfo Describe(const LoadedObject& object) {
    ModuleInfo module;
    module.base = object.base;
    module.program = object.program;
    module.path =
        object.program ? ProgramPath() : std::string(object.info->dlpi_name ? object.info->dlpi_name : "");
    return module;
}

std::optional<ModuleInfo> FindObject(const std::function<bool(const LoadedObject&)>& match) {
    std::optional<ModuleInfo> found;
    ForEachObject([&](const LoadedObject& object) {
        if (!match(object)) {
            return false;
        }
        found = Describe(object);
        return true;
    });
    return found;
}

std::u16string_view FileName(std::u16string_view path) {
    size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<ModuleInfo> ProgramModule() {
    return FindObject([](const LoadedObject& object) { return object.program; });
}

std::optional<ModuleInfo> ModuleContaining(const void* address) {
    auto where = reinterpret_cast<uintptr_t>(address);
    return FindObject([where](const LoadedObject& object) {
        for (int i = 0; i < object.info->dlpi_phnum; ++i) {
            const ElfW(Phdr)& segment = object.info->dlpi_phdr[i];
            uintptr_t start = object.info->dlpi_addr + segment.p_vaddr;
            if (segment.p_type == PT_LOAD && where >= start && where - start < segment.p_memsz) {
                return true;
            }
        }
        return false;
    });
}

std::optional<ModuleInfo> ModuleByHandle(HMODULE module) {
    auto base = reinterpret_cast<uintptr_t>(module);
    if (base == 0) {
        return std::nullopt;
    }
    return FindObject([base](const LoadedObject& object) { return object.base == base; });
}

std::optional<ModuleInfo> ModuleByName(std::u16string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    bool byPath = name.find(u'/') != std::u16string_view::npos;
    std::u16string withExtension;
    if (!byPath && FileName(name).find(u'.') == std::u16string_view::npos) {
        withExtension = std::u16string(name) + std::u16string(kDefaultExtension);
    }
    auto matches = [&](const ModuleInfo& module) {
        std::u16string path = FromUtf8(module.path);
        std::u16string_view candidate = byPath ? std::u16string_view(path) : FileName(path);
        return EqualsIgnoreCase(candidate, name) ||
               (!withExtension.empty() && EqualsIgnoreCase(candidate, withExtension));
    };
    return FindObject([&](const LoadedObject& object) { return matches(Describe(object)); });
}

}  // namespace ce::ui
