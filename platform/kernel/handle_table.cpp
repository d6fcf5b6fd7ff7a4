#include "kernel/handle_table.h"

#include <mutex>
#include <vector>

namespace ce {
namespace {

// Layout of a handle value: bits 0..17 hold slot index + 1, bits 18..30 the slot's generation (never 0).
constexpr uintptr_t kIndexBits = 18;
constexpr uintptr_t kIndexMask = (uintptr_t{1} << kIndexBits) - 1;
constexpr uintptr_t kGenerationBits = 13;
constexpr uint32_t kGenerationMask = (uint32_t{1} << kGenerationBits) - 1;
constexpr size_t kMaxSlots = kIndexMask - 1;

struct Slot {
    uint32_t generation = 1;
    std::shared_ptr<KernelObject> object;
};

class HandleTable {
  public:
    HANDLE Insert(std::shared_ptr<KernelObject> object) {
        std::lock_guard<std::mutex> guard(lock_);
        size_t index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else {
            if (slots_.size() >= kMaxSlots) {
                return nullptr;
            }
            slots_.emplace_back();
            index = slots_.size() - 1;
        }
        slots_[index].object = std::move(object);
        return Encode(index, slots_[index].generation);
    }

    std::shared_ptr<KernelObject> Lookup(HANDLE handle, const ObjectType* type) {
        std::lock_guard<std::mutex> guard(lock_);
        Slot* slot = Find(handle);
        if (slot == nullptr || (type != nullptr && slot->object->type() != *type)) {
            return nullptr;
        }
        return slot->object;
    }

    std::shared_ptr<KernelObject> Remove(HANDLE handle, ObjectType type) {
        std::lock_guard<std::mutex> guard(lock_);
        Slot* slot = Find(handle);
        if (slot == nullptr || slot->object->type() != type) {
            return nullptr;
        }
        std::shared_ptr<KernelObject> object = std::move(slot->object);
        slot->object.reset();
        slot->generation = (slot->generation + 1) & kGenerationMask;
        if (slot->generation == 0) {
            slot->generation = 1;
        }
        free_.push_back(static_cast<size_t>(slot - slots_.data()));
        return object;
    }

    size_t Count(ObjectType type) {
        std::lock_guard<std::mutex> guard(lock_);
        size_t count = 0;
        for (const Slot& slot : slots_) {
            if (slot.object && slot.object->type() == type) {
                ++count;
            }
        }
        return count;
    }

  private:
    static HANDLE Encode(size_t index, uint32_t generation) {
        return reinterpret_cast<HANDLE>((uintptr_t{generation} << kIndexBits) | (index + 1));
    }

    // Caller holds lock_.
    Slot* Find(HANDLE handle) {
        const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
        if (value >> (kIndexBits + kGenerationBits) != 0) {
            return nullptr;
        }
        const uintptr_t biasedIndex = value & kIndexMask;
        const uint32_t generation = static_cast<uint32_t>(value >> kIndexBits);
        if (biasedIndex == 0 || biasedIndex > slots_.size()) {
            return nullptr;
        }
        Slot& slot = slots_[biasedIndex - 1];
        if (!slot.object || slot.generation != generation) {
            return nullptr;
        }
        return &slot;
    }

    std::mutex lock_;
    std::vector<Slot> slots_;
    std::vector<size_t> free_;
};

// Leaked on purpose: threads still running at process exit may close handles.
HandleTable& Table() {
    static HandleTable* table = new HandleTable;
    return *table;
}

}  // namespace

const char* ObjectTypeName(ObjectType type) {
    switch (type) {
        case ObjectType::Event:
            return "event";
        case ObjectType::Thread:
            return "thread";
        case ObjectType::RegistryKey:
            return "registry key";
        case ObjectType::Device:
            return "device";
        case ObjectType::DeviceFile:
            return "device file";
        case ObjectType::Window:
            return "window";
        case ObjectType::Icon:
            return "icon";
        case ObjectType::ImageList:
            return "image list";
        case ObjectType::DeviceContext:
            return "device context";
        case ObjectType::GdiObject:
            return "GDI object";
        case ObjectType::RemoteRegistryKey:
            return "registry key of the device host";
        case ObjectType::RemoteDeviceFile:
            return "device file of the device host";
    }
    return "unknown object";
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    HANDLE handle = object ? Table().Insert(std::move(object)) : nullptr;
    if (handle == nullptr) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    }
    return handle;
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle, ObjectType type) {
    return Table().Lookup(handle, &type);
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle, ObjectType type) {
    return Table().Remove(handle, type);
}

BOOL KernelObject::Close(HANDLE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

std::shared_ptr<KernelObject> LookupAnyHandle(HANDLE handle) {
    return Table().Lookup(handle, nullptr);
}

bool HandleType(HANDLE handle, ObjectType* type) {
    std::shared_ptr<KernelObject> object = LookupAnyHandle(handle);
    if (!object) {
        return false;
    }
    *type = object->type();
    return true;
}

size_t CountHandles(ObjectType type) {
    return Table().Count(type);
}

}  // namespace ce
