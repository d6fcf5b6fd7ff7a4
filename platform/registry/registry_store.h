// The registry itself: four trees behind one mutex. The Reg*W functions are a thin layer over this class,
// which knows nothing of handles or of the calling process, so the same store can later serve several
// processes from a host.
//
// Locking: mutex_ guards every node reachable from roots_ and generation_. It is held only for work on the
// tree: no call into the handle table, the fault points, the hive file or caller memory happens under it.
// The hive's save mutex, when both are taken, comes first.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "registry/key_path.h"
#include "registry/key_tree.h"
#include "registry/reg_file.h"

namespace ce::registry {

struct KeyInfo {
    DWORD subkeys = 0;
    DWORD maxSubkeyChars = 0;
    DWORD values = 0;
    DWORD maxValueNameChars = 0;
    DWORD maxValueBytes = 0;
    uint64_t lastWrite = 0;
};

// One section of an imported document, its root found and its key names checked.
struct ImportStep {
    size_t root = 0;
    std::vector<std::u16string_view> names;  // below the root; none only for a section that is not a removal
    const regfile::Section* section = nullptr;
};

class RegistryStore {
  public:
    RegistryStore() = default;
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The permanent key of a predefined root handle, or nullptr.
    KeyRef Root(HKEY key) const;

    // Every call below answers ERROR_KEY_DELETED when the key it starts from has been deleted.
    LONG CheckKey(const KeyRef& key);
    LONG CreateKey(const KeyRef& base, std::u16string_view path, bool isVolatile, CreateResult* result);
    LONG OpenKey(const KeyRef& base, std::u16string_view path, KeyRef* result);
    // An empty path deletes base itself; roots are refused with ERROR_ACCESS_DENIED.
    LONG DeleteKey(const KeyRef& base, std::u16string_view path);
    LONG EnumKey(const KeyRef& key, DWORD index, std::u16string* name, uint64_t* lastWrite);
    LONG QueryInfo(const KeyRef& key, KeyInfo* info);

    LONG QueryValue(const KeyRef& key, std::u16string_view name, RegValue* value);
    LONG EnumValue(const KeyRef& key, DWORD index, RegValue* value);
    LONG SetValue(const KeyRef& key, std::u16string_view name, DWORD type, std::vector<BYTE> data);
    LONG DeleteValue(const KeyRef& key, std::u16string_view name);

    // Applies the steps in order as one change: removals, created keys and values all appear at once, or,
    // when the tree refuses a step (a lasting key below a volatile one), nothing changes and *failed is its
    // index. Value names and sizes must have been checked.
    LONG Import(const std::vector<ImportStep>& steps, size_t* failed);

    // Counts the changes a hive must see (volatile keys do not count).
    uint64_t Generation() const { return generation_.load(std::memory_order_acquire); }
    // The lasting keys as a document, with the generation it shows.
    regfile::Document Snapshot(uint64_t* generation);
    // Takes over the contents of a loaded tree; every key held before is deleted. Answers the new generation,
    // which the loaded file already shows.
    uint64_t Replace(RootSet* loaded);
    // Deletes every key below the roots and every value.
    void Clear();

  private:
    void Changed(bool lasting);

    // Runs body under the mutex when key is still in the tree.
    template <class Body>
    LONG WithKey(const KeyRef& key, Body&& body) {
        std::lock_guard<std::mutex> guard(mutex_);
        return key->deleted ? ERROR_KEY_DELETED : body();
    }

    // Splits path before taking the mutex, then runs body with its names as WithKey does.
    template <class Body>
    LONG WithPath(const KeyRef& base, std::u16string_view path, Body&& body) {
        std::vector<std::u16string_view> names;
        if (const LONG status = SplitKeyPath(path, &names); status != ERROR_SUCCESS) {
            return status;
        }
        return WithKey(base, [&] { return body(names); });
    }

    mutable std::mutex mutex_;
    const RootSet roots_;
    std::atomic<uint64_t> generation_{0};  // written under mutex_, read without it
};

// The process's one store (intentionally never destroyed).
RegistryStore& Store();

}  // namespace ce::registry
