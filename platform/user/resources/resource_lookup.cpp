#include "user/resources/resource_lookup.h"

#include "user/resources/module_table.h"

namespace ce::ui {

uintptr_t ResourceModule(HMODULE module) {
    if (module == nullptr) {
        // The program never moves, so its handle is looked up once.
        static const uintptr_t program = [] {
            auto found = ProgramModule();
            return found ? found->base : uintptr_t{0};
        }();
        return program;
    }
    auto base = reinterpret_cast<uintptr_t>(module);
    if (ResourceTable::Instance().HasResources(base)) {
        return base;
    }
    auto found = ModuleByHandle(module);
    return found ? found->base : 0;
}

DWORD FindModuleResource(HMODULE module, const ResourceId& name, const ResourceId& type,
                         FoundResource* found) {
    uintptr_t base = ResourceModule(module);
    if (base == 0) {
        return ERROR_INVALID_HANDLE;
    }
    switch (ResourceTable::Instance().Find(base, name, type, found)) {
        case FindOutcome::Found:
            return ERROR_SUCCESS;
        case FindOutcome::NoResources:
            return ERROR_RESOURCE_DATA_NOT_FOUND;
        case FindOutcome::TypeNotFound:
            return ERROR_RESOURCE_TYPE_NOT_FOUND;
        case FindOutcome::NameNotFound:
            return ERROR_RESOURCE_NAME_NOT_FOUND;
    }
    return ERROR_RESOURCE_DATA_NOT_FOUND;
}

}  // namespace ce::ui
