// Driver modules: loaded once per file, shared by every device instance of it, unloaded with the last user.
//
// A module's use count holds one reference per device instance and one per call in flight into it. When it
// drops to zero the module's DllMain sees DLL_PROCESS_DETACH and the file is really unloaded (modules are
// built without GNU unique symbols), so its static state starts afresh on the next load.
//
// Locks: the loader lock (ModuleLoader::loaderLock_) serialises every dlopen, dlclose and DllMain, as the
// loader lock of the device does; a DllMain must not activate devices. No other platform lock is held
// while it is taken.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <windows.h>

namespace ce {

class DriverModule {
  public:
    explicit DriverModule(std::string path) : path_(std::move(path)) {}
    DriverModule(const DriverModule&) = delete;
    DriverModule& operator=(const DriverModule&) = delete;

    const std::string& path() const { return path_; }

    // Address of an exported symbol, or nullptr. Only while the caller holds a use.
    void* Symbol(const std::string& name) const;

  private:
    friend class ModuleLoader;

    const std::string path_;   // canonical file path: the module's identity
    void* library_ = nullptr;  // loader lock; const while uses_ > 0
    bool loaded_ = false;      // loader lock
    std::atomic<unsigned> uses_{0};
};

class ModuleLoader {
  public:
    static ModuleLoader& Instance();

    // Takes a use of the module named by a Dll value, loading it (and running its DllMain attach) unless it
    // is loaded already. nullptr with the last error set: ERROR_MOD_NOT_FOUND, ERROR_DLL_INIT_FAILED, the
    // error of an armed LoadModule fault, or ERROR_NOT_ENOUGH_MEMORY.
    std::shared_ptr<DriverModule> Acquire(const std::u16string& dllName);

    // Another use of a module the caller already holds a use of (a call entering a live device).
    void AddUse(DriverModule& module);

    // Gives a use back; the last one unloads the module. Takes the loader lock then, so the caller must
    // hold no platform lock and must not be running inside the module.
    void Release(const std::shared_ptr<DriverModule>& module);

  private:
    ModuleLoader() = default;

    void Unload(const std::shared_ptr<DriverModule>& module);

    std::mutex loaderLock_;
    std::map<std::string, std::shared_ptr<DriverModule>> modules_;  // loaderLock_; loaded modules by path
};

}  // namespace ce
