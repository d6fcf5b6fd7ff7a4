// The resources of every module, keyed by module handle: the compiled images that modules registered when
// they were loaded (see ceplatform_ui.h), read once and used in place.
//
// An HRSRC names one entry of one registration: the registration's serial number in the upper half, the
// entry's index plus one in the lower half. A registration withdrawn at unload takes its serial with it, so
// stale or garbage HRSRC values are recognised and refused rather than followed.
//
// Locks: lock_ guards the registrations; it is never held while the loader's module list is walked
// (module_table.h), because registrations arrive from constructors that run inside the loader.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "user/resources/res_file.h"

namespace ce::ui {

enum class FindOutcome { Found, NoResources, TypeNotFound, NameNotFound };

// One resource as a lookup answers it. The bytes stay valid while the registration does.
struct FoundResource {
    HRSRC handle = nullptr;
    uintptr_t module = 0;
    uint32_t serial = 0;
    const BYTE* data = nullptr;
    DWORD size = 0;
};

class ResourceTable {
  public:
    static ResourceTable& Instance();

    // Adds a parsed image to a module. False with *error when the image cannot be read or is registered.
    bool Register(uintptr_t module, const void* image, size_t size, std::string* error);
    // Removes a registration by its image; answers its serial (for the icons loaded from it), 0 if none.
    uint32_t Withdraw(const void* image);

    bool HasResources(uintptr_t module);
    FindOutcome Find(uintptr_t module, const ResourceId& name, const ResourceId& type, FoundResource* found);
    // The entry behind an HRSRC; false for stale or garbage values.
    bool Resolve(HRSRC handle, FoundResource* found);
    // True when the pointer is the start of a registered resource's data (what LoadResource answers).
    bool IsResourceData(const void* data);

  private:
    struct Registration {
        uint32_t serial = 0;
        uintptr_t module = 0;
        const void* image = nullptr;
        std::vector<ResourceEntry> entries;
    };

    ResourceTable() = default;
    static FoundResource Describe(const Registration& registration, size_t index);

    std::mutex lock_;
    std::vector<Registration> registrations_;  // lock_
    uint32_t nextSerial_ = 1;                  // lock_
};

}  // namespace ce::ui
