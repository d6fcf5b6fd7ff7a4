#include "devices/driver_module.h"

#include <dlfcn.h>

#include <cstdio>
#include <new>

#include <devload.h>

#include "devices/module_search.h"
#include "kernel/faults.h"
#include "kernel/wide_string.h"

namespace ce {
namespace {

constexpr const char* kDllMainSymbol = "DllMain";

BOOL CallDllMain(void* library, DWORD reason) {
    auto dllMain = reinterpret_cast<PFN_DLLMAIN>(dlsym(library, kDllMainSymbol));
    if (dllMain == nullptr) {
        return TRUE;
    }
    return dllMain(static_cast<HANDLE>(library), reason, nullptr);
}

}  // namespace

void* DriverModule::Symbol(const std::string& name) const {
    return dlsym(library_, name.c_str());
}

ModuleLoader& ModuleLoader::Instance() {
    static ModuleLoader* loader = new ModuleLoader;
    return *loader;
}

std::shared_ptr<DriverModule> ModuleLoader::Acquire(const std::u16string& dllName) {
    DWORD error = ERROR_SUCCESS;
    if (FaultFires(FaultPoint::LoadModule, &error)) {
        SetLastError(error);
        return nullptr;
    }
    try {
        const std::string path = FindDriverModule(ToUtf8(dllName));
        if (path.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        std::lock_guard<std::mutex> guard(loaderLock_);
        auto found = modules_.find(path);
        if (found != modules_.end()) {
            // Also revives a module whose last use just went and whose unload has not run yet.
            found->second->uses_.fetch_add(1, std::memory_order_relaxed);
            return found->second;
        }
        auto module = std::make_shared<DriverModule>(path);
        auto slot = modules_.emplace(path, module).first;
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            // The file exists, so this is a broken module or a missing dependency: worth a line for whoever
            // installs it, since the error code cannot say which symbol or library is missing.
            std::fprintf(stderr, "ceplatform: cannot load driver module %s: %s\n", path.c_str(), dlerror());
            modules_.erase(slot);
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        if (!CallDllMain(library, DLL_PROCESS_ATTACH)) {
            // As on the device: a module that refuses to attach still hears the detach before it goes.
            CallDllMain(library, DLL_PROCESS_DETACH);
            dlclose(library);
            modules_.erase(slot);
            SetLastError(ERROR_DLL_INIT_FAILED);
            return nullptr;
        }
        module->library_ = library;
        module->loaded_ = true;
        module->uses_.store(1, std::memory_order_relaxed);
        return module;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

void ModuleLoader::AddUse(DriverModule& module) {
    module.uses_.fetch_add(1, std::memory_order_relaxed);
}

void ModuleLoader::Release(const std::shared_ptr<DriverModule>& module) {
    if (module->uses_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        Unload(module);
    }
}

void ModuleLoader::Unload(const std::shared_ptr<DriverModule>& module) {
    std::lock_guard<std::mutex> guard(loaderLock_);
    // Another Acquire may have revived the module, or an earlier Release already unloaded it.
    if (!module->loaded_ || module->uses_.load(std::memory_order_acquire) != 0) {
        return;
    }
    modules_.erase(module->path_);
    // The last use may go at the end of any call; what DllMain does must not show in that call's error.
    const DWORD error = GetLastError();
    CallDllMain(module->library_, DLL_PROCESS_DETACH);
    dlclose(module->library_);
    module->library_ = nullptr;
    module->loaded_ = false;
    SetLastError(error);
}

}  // namespace ce
