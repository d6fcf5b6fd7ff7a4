#include "registry/key_tree.h"

#include <ctime>

#include "registry/key_path.h"

namespace ce::registry {
namespace {

constexpr char16_t kLatin1UpperFirst = 0x00C0;
constexpr char16_t kLatin1UpperLast = 0x00DE;
constexpr char16_t kMultiplicationSign = 0x00D7;  // sits among the capitals but is no letter
constexpr char16_t kCaseOffset = 0x20;

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kNanosecondsPerTick = 100;
constexpr uint64_t kSecondsFrom1601To1970 = 11'644'473'600;

void MarkDeleted(KeyNode* key) {
    key->deleted = true;
    key->parent = nullptr;
    key->values.TakeAll();
    for (const KeyRef& child : key->subkeys.TakeAll()) {
        MarkDeleted(child.get());
    }
}

void CopySubkeys(const KeyNode& source, KeyNode* target) {
    for (const KeyRef& child : source.subkeys) {
        auto copy = std::make_shared<KeyNode>(child->name, target, child->isVolatile);
        CopySubkeys(*child, copy.get());
        target->subkeys.Insert(std::move(copy));
    }
}

}  // namespace

const std::array<const char16_t*, kRootCount> kRootNames = {
    u"HKEY_CLASSES_ROOT",
    u"HKEY_CURRENT_USER",
    u"HKEY_LOCAL_MACHINE",
    u"HKEY_USERS",
};

char16_t FoldChar(char16_t c) {
    if ((c >= u'A' && c <= u'Z') ||
        (c >= kLatin1UpperFirst && c <= kLatin1UpperLast && c != kMultiplicationSign)) {
        return static_cast<char16_t>(c + kCaseOffset);
    }
    return c;
}

std::u16string FoldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) {
        c = FoldChar(c);
    }
    return folded;
}

KeyNode::KeyNode(std::u16string keyName, KeyNode* parentKey, bool volatileKey)
    : name(std::move(keyName)),
      depth(parentKey == nullptr ? 0 : parentKey->depth + 1),
      isVolatile(volatileKey),
      parent(parentKey),
      lastWrite(FileTimeNow()) {}

uint64_t FileTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<uint64_t>(now.tv_sec) + kSecondsFrom1601To1970) * kTicksPerSecond +
           static_cast<uint64_t>(now.tv_nsec) / kNanosecondsPerTick;
}

RootSet::RootSet() {
    for (size_t i = 0; i < kRootCount; ++i) {
        roots[i] = std::make_shared<KeyNode>(kRootNames[i], nullptr, false);
    }
}

int RootIndex(HKEY key) {
    const auto value = reinterpret_cast<uintptr_t>(key);
    if (value >= kFirstRootHandle && value < kFirstRootHandle + kRootCount) {
        return static_cast<int>(value - kFirstRootHandle);
    }
    return -1;
}

int RootIndexByName(std::u16string_view name) {
    const std::u16string folded = FoldName(name);
    for (size_t i = 0; i < kRootCount; ++i) {
        if (folded == FoldName(kRootNames[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

KeyRef FindKey(const KeyRef& base, const std::vector<std::u16string_view>& names) {
    KeyRef key = base;
    for (const std::u16string_view name : names) {
        const KeyRef* child = key->subkeys.Find(name);
        if (child == nullptr) {
            return nullptr;
        }
        key = *child;
    }
    return key;
}

LONG CreateKey(const KeyRef& base, const std::vector<std::u16string_view>& names, bool isVolatile,
               CreateResult* result) {
    KeyRef existing = base;
    size_t found = 0;
    for (; found < names.size(); ++found) {
        const KeyRef* child = existing->subkeys.Find(names[found]);
        if (child == nullptr) {
            break;
        }
        existing = *child;
    }
    if (found == names.size()) {
        *result = CreateResult{existing, false};
        return ERROR_SUCCESS;
    }
    if (existing->isVolatile && !isVolatile) {
        return ERROR_CHILD_MUST_BE_VOLATILE;
    }
    if (existing->depth + (names.size() - found) > kMaxKeyDepth) {
        return ERROR_INVALID_PARAMETER;
    }
    // Build the missing chain apart from the tree and link it with one insertion, so a failed allocation
    // leaves the tree untouched.
    const KeyRef top = std::make_shared<KeyNode>(std::u16string(names[found]), existing.get(), isVolatile);
    KeyRef bottom = top;
    for (size_t i = found + 1; i < names.size(); ++i) {
        auto child = std::make_shared<KeyNode>(std::u16string(names[i]), bottom.get(), isVolatile);
        bottom->subkeys.Insert(child);
        bottom = std::move(child);
    }
    existing->subkeys.Insert(top);
    existing->lastWrite = top->lastWrite;
    *result = CreateResult{bottom, true};
    return ERROR_SUCCESS;
}

void DeleteKey(KeyNode* key) {
    KeyNode* parent = key->parent;
    // Keep the node alive until it is marked: the parent's list may hold its last reference.
    std::optional<KeyRef> detached = parent->subkeys.Remove(key->name);
    parent->lastWrite = FileTimeNow();
    MarkDeleted(key);
}

void ClearKey(KeyNode* root) {
    root->values.TakeAll();
    for (const KeyRef& child : root->subkeys.TakeAll()) {
        MarkDeleted(child.get());
    }
    root->lastWrite = FileTimeNow();
}

void MoveContents(KeyNode* source, KeyNode* target) {
    ClearKey(target);
    target->values = std::move(source->values);
    target->subkeys = std::move(source->subkeys);
    for (const KeyRef& child : target->subkeys) {
        child->parent = target;
    }
}

RootSet CopyKeys(const RootSet& source) {
    RootSet copy;
    for (size_t i = 0; i < kRootCount; ++i) {
        CopySubkeys(*source.roots[i], copy.roots[i].get());
    }
    return copy;
}

void SetValue(KeyNode* key, std::u16string_view name, DWORD type, std::vector<BYTE> data) {
    if (RegValue* existing = key->values.Find(name)) {
        existing->type = type;
        existing->data = std::move(data);
    } else {
        key->values.Insert(RegValue{std::u16string(name), type, std::move(data)});
    }
    key->lastWrite = FileTimeNow();
}

}  // namespace ce::registry
