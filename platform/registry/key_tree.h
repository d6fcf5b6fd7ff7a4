// The registry's tree of keys and values, without locking: the live store guards it with its mutex, the hive
// loader builds a private one and hands it over whole.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <windows.h>

namespace ce::registry {

// Names compare with ASCII and Latin-1 letters folded; they keep the case they were created with.
char16_t FoldChar(char16_t c);
std::u16string FoldName(std::u16string_view name);

struct RegValue {
    std::u16string name;  // empty for the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct KeyNode;
using KeyRef = std::shared_ptr<KeyNode>;

inline const std::u16string& ItemName(const KeyRef& key);
inline const std::u16string& ItemName(const RegValue& value) {
    return value.name;
}

// Items in creation order, found by folded name. Insert and Replace give the strong guarantee, so a failed
// allocation leaves the list as it was.
template <class T>
class NamedList {
  public:
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const T& operator[](size_t index) const { return items_[index]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    T* Find(std::u16string_view name) {
        const auto it = index_.find(FoldName(name));
        return it == index_.end() ? nullptr : &items_[it->second];
    }

    void Insert(T item) {
        std::u16string folded = FoldName(ItemName(item));
        items_.push_back(std::move(item));
        try {
            index_.emplace(std::move(folded), items_.size() - 1);
        } catch (...) {
            items_.pop_back();
            throw;
        }
    }

    std::optional<T> Remove(std::u16string_view name) {
        const auto it = index_.find(FoldName(name));
        if (it == index_.end()) {
            return std::nullopt;
        }
        const size_t position = it->second;
        index_.erase(it);
        std::optional<T> removed(std::move(items_[position]));
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position));
        for (auto& entry : index_) {
            if (entry.second > position) {
                --entry.second;
            }
        }
        return removed;
    }

    std::vector<T> TakeAll() {
        index_.clear();
        return std::exchange(items_, {});
    }

  private:
    std::vector<T> items_;
    std::unordered_map<std::u16string, size_t> index_;  // folded name -> position in items_
};

struct KeyNode {
    KeyNode(std::u16string keyName, KeyNode* parentKey, bool volatileKey);

    const std::u16string name;
    const size_t depth;  // 0 for a root
    const bool isVolatile;
    KeyNode* parent;  // null for a root and for a deleted key
    bool deleted = false;
    uint64_t lastWrite;  // FILETIME ticks
    NamedList<KeyRef> subkeys;
    NamedList<RegValue> values;
};

inline const std::u16string& ItemName(const KeyRef& key) {
    return key->name;
}

// Current time as FILETIME ticks (100 ns since 1601).
uint64_t FileTimeNow();

// The four predefined roots, in the order of their handle values.
inline constexpr size_t kRootCount = 4;
inline constexpr uintptr_t kFirstRootHandle = 0x80000000u;
extern const std::array<const char16_t*, kRootCount> kRootNames;

struct RootSet {
    RootSet();
    std::array<KeyRef, kRootCount> roots;
};

// Index of a predefined root handle, or -1.
int RootIndex(HKEY key);
// Index of a root by its name (case-insensitive), or -1.
int RootIndexByName(std::u16string_view name);

// Follows names down from base; nullptr when a key is missing.
KeyRef FindKey(const KeyRef& base, const std::vector<std::u16string_view>& names);

struct CreateResult {
    KeyRef key;
    bool created = false;
};

// Opens or creates the key at names below base, creating missing keys in between with the given volatility.
// ERROR_CHILD_MUST_BE_VOLATILE for a lasting key below a volatile one, ERROR_INVALID_PARAMETER past
// kMaxKeyDepth; on any error nothing is created.
LONG CreateKey(const KeyRef& base, const std::vector<std::u16string_view>& names, bool isVolatile,
               CreateResult* result);

// Unlinks key from its parent and marks it and everything below it deleted, so handles to them see that.
void DeleteKey(KeyNode* key);

// Marks every key below root deleted and empties root.
void ClearKey(KeyNode* root);

// Gives target the keys and values of source (a root of another tree); target's old contents are deleted.
void MoveContents(KeyNode* source, KeyNode* target);

// A tree of the same keys (names and volatility) without their values, to try changes on.
RootSet CopyKeys(const RootSet& source);

// Sets or replaces a value; a replaced value keeps its place in the enumeration order.
void SetValue(KeyNode* key, std::u16string_view name, DWORD type, std::vector<BYTE> data);

}  // namespace ce::registry
