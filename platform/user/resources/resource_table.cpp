#include "user/resources/resource_table.h"

#include <algorithm>

namespace ce::ui {
namespace {

constexpr unsigned kSerialShift = 32;
constexpr uint64_t kIndexMask = 0xFFFFFFFFu;

HRSRC MakeHandle(uint32_t serial, size_t index) {
    return reinterpret_cast<HRSRC>(static_cast<uintptr_t>((uint64_t{serial} << kSerialShift) | (index + 1)));
}

}  // namespace

ResourceTable& ResourceTable::Instance() {
    static ResourceTable* table = new ResourceTable;  // leaked: modules unload after static destruction
    return *table;
}

FoundResource ResourceTable::Describe(const Registration& registration, size_t index) {
    const ResourceEntry& entry = registration.entries[index];
    return FoundResource{MakeHandle(registration.serial, index), registration.module, registration.serial,
                         entry.data, entry.size};
}

bool ResourceTable::Register(uintptr_t module, const void* image, size_t size, std::string* error) {
    Registration registration;
    registration.module = module;
    registration.image = image;
    if (!ReadResFile(image, size, &registration.entries, error)) {
        return false;
    }
    std::lock_guard guard(lock_);
    for (const Registration& other : registrations_) {
        if (other.image == image) {
            *error = "these resources are registered already";
            return false;
        }
    }
    registration.serial = nextSerial_++;
    registrations_.push_back(std::move(registration));
    return true;
}

uint32_t ResourceTable::Withdraw(const void* image) {
    std::lock_guard guard(lock_);
    auto found =
        std::find_if(registrations_.begin(), registrations_.end(),
                     [image](const Registration& registration) { return registration.image == image; });
    if (found == registrations_.end()) {
        return 0;
    }
    uint32_t serial = found->serial;
    registrations_.erase(found);
    return serial;
}

bool ResourceTable::HasResources(uintptr_t module) {
    std::lock_guard guard(lock_);
    return std::any_of(registrations_.begin(), registrations_.end(),
                       [module](const Registration& registration) { return registration.module == module; });
}

FindOutcome ResourceTable::Find(uintptr_t module, const ResourceId& name, const ResourceId& type,
                                FoundResource* found) {
    std::lock_guard guard(lock_);
    FindOutcome outcome = FindOutcome::NoResources;
    for (const Registration& registration : registrations_) {
        if (registration.module != module) {
            continue;
        }
        if (outcome == FindOutcome::NoResources) {
            outcome = FindOutcome::TypeNotFound;
        }
        for (size_t i = 0; i < registration.entries.size(); ++i) {
            const ResourceEntry& entry = registration.entries[i];
            if (!entry.type.Matches(type)) {
                continue;
            }
            outcome = FindOutcome::NameNotFound;
            if (entry.name.Matches(name)) {
                *found = Describe(registration, i);
                return FindOutcome::Found;
            }
        }
    }
    return outcome;
}

bool ResourceTable::Resolve(HRSRC handle, FoundResource* found) {
    auto value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
    auto serial = static_cast<uint32_t>(value >> kSerialShift);
    uint64_t indexPlusOne = value & kIndexMask;
    if (serial == 0 || indexPlusOne == 0) {
        return false;
    }
    std::lock_guard guard(lock_);
    for (const Registration& registration : registrations_) {
        if (registration.serial == serial) {
            if (indexPlusOne > registration.entries.size()) {
                return false;
            }
            *found = Describe(registration, static_cast<size_t>(indexPlusOne - 1));
            return true;
        }
    }
    return false;
}

bool ResourceTable::IsResourceData(const void* data) {
    std::lock_guard guard(lock_);
    for (const Registration& registration : registrations_) {
        for (const ResourceEntry& entry : registration.entries) {
            if (entry.data == data) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace ce::ui
