#include "registry/registry_store.h"

#include <algorithm>

#include "registry/hive_image.h"
#include "registry/key_path.h"

namespace ce::registry {
namespace {

using Guard = std::lock_guard<std::mutex>;

DWORD Count(size_t n) {
    return static_cast<DWORD>(std::min<size_t>(n, MAXDWORD));
}

// Applies one step to roots; the values only when asked, since a try on a copy of the keys has none.
LONG ApplyStep(const RootSet& roots, const ImportStep& step, bool withValues) {
    const KeyRef& root = roots.roots[step.root];
    if (step.section->remove) {
        if (const KeyRef key = FindKey(root, step.names)) {
            DeleteKey(key.get());
        }
        return ERROR_SUCCESS;
    }
    CreateResult created;
    const LONG status = CreateKey(root, step.names, false, &created);
    if (status != ERROR_SUCCESS || !withValues) {
        return status;
    }
    KeyNode* key = created.key.get();
    for (const regfile::ValueLine& value : step.section->values) {
        if (!value.remove) {
            SetValue(key, value.name, value.type, value.data);
        } else if (key->values.Remove(value.name)) {
            key->lastWrite = FileTimeNow();
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

RegistryStore& Store() {
    static RegistryStore* store = new RegistryStore;
    return *store;
}

KeyRef RegistryStore::Root(HKEY key) const {
    const int index = RootIndex(key);
    return index < 0 ? nullptr : roots_.roots[static_cast<size_t>(index)];
}

void RegistryStore::Changed(bool lasting) {
    if (lasting) {
        generation_.fetch_add(1, std::memory_order_release);
    }
}

LONG RegistryStore::CheckKey(const KeyRef& key) {
    return WithKey(key, [] { return ERROR_SUCCESS; });
}

LONG RegistryStore::CreateKey(const KeyRef& base, std::u16string_view path, bool isVolatile,
                              CreateResult* result) {
    return WithPath(base, path, [&](const std::vector<std::u16string_view>& names) {
        const LONG status = registry::CreateKey(base, names, isVolatile, result);
        if (status == ERROR_SUCCESS) {
            Changed(result->created && !isVolatile);
        }
        return status;
    });
}

LONG RegistryStore::OpenKey(const KeyRef& base, std::u16string_view path, KeyRef* result) {
    return WithPath(base, path, [&](const std::vector<std::u16string_view>& names) {
        *result = FindKey(base, names);
        return *result ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegistryStore::DeleteKey(const KeyRef& base, std::u16string_view path) {
    return WithPath(base, path, [&](const std::vector<std::u16string_view>& names) {
        const KeyRef key = FindKey(base, names);
        if (!key) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (key->depth == 0) {
            return ERROR_ACCESS_DENIED;
        }
        const bool lasting = !key->isVolatile;
        registry::DeleteKey(key.get());
        Changed(lasting);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::EnumKey(const KeyRef& key, DWORD index, std::u16string* name, uint64_t* lastWrite) {
    return WithKey(key, [&] {
        if (index >= key->subkeys.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const KeyRef& child = key->subkeys[index];
        *name = child->name;
        *lastWrite = child->lastWrite;
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::QueryInfo(const KeyRef& key, KeyInfo* info) {
    return WithKey(key, [&] {
        *info = KeyInfo{};
        info->subkeys = Count(key->subkeys.size());
        for (const KeyRef& child : key->subkeys) {
            info->maxSubkeyChars = std::max(info->maxSubkeyChars, Count(child->name.size()));
        }
        info->values = Count(key->values.size());
        for (const RegValue& value : key->values) {
            info->maxValueNameChars = std::max(info->maxValueNameChars, Count(value.name.size()));
            info->maxValueBytes = std::max(info->maxValueBytes, Count(value.data.size()));
        }
        info->lastWrite = key->lastWrite;
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::QueryValue(const KeyRef& key, std::u16string_view name, RegValue* value) {
    return WithKey(key, [&] {
        const RegValue* found = key->values.Find(name);
        if (found == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        *value = *found;
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::EnumValue(const KeyRef& key, DWORD index, RegValue* value) {
    return WithKey(key, [&] {
        if (index >= key->values.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        *value = key->values[index];
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::SetValue(const KeyRef& key, std::u16string_view name, DWORD type,
                             std::vector<BYTE> data) {
    return WithKey(key, [&] {
        registry::SetValue(key.get(), name, type, std::move(data));
        Changed(!key->isVolatile);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::DeleteValue(const KeyRef& key, std::u16string_view name) {
    return WithKey(key, [&] {
        if (!key->values.Remove(name)) {
            return ERROR_FILE_NOT_FOUND;
        }
        key->lastWrite = FileTimeNow();
        Changed(!key->isVolatile);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::Import(const std::vector<ImportStep>& steps, size_t* failed) {
    Guard guard(mutex_);
    // Whether a step is refused depends only on the keys, so a try on a copy of them finds every refusal
    // before the tree changes; the same steps on the tree then cannot be refused.
    const RootSet trial = CopyKeys(roots_);
    for (size_t i = 0; i < steps.size(); ++i) {
        if (const LONG status = ApplyStep(trial, steps[i], false); status != ERROR_SUCCESS) {
            *failed = i;
            return status;
        }
    }
    for (const ImportStep& step : steps) {
        ApplyStep(roots_, step, true);
    }
    Changed(!steps.empty());
    return ERROR_SUCCESS;
}

regfile::Document RegistryStore::Snapshot(uint64_t* generation) {
    Guard guard(mutex_);
    *generation = Generation();
    return BuildDocument(roots_);
}

uint64_t RegistryStore::Replace(RootSet* loaded) {
    Guard guard(mutex_);
    for (size_t i = 0; i < kRootCount; ++i) {
        MoveContents(loaded->roots[i].get(), roots_.roots[i].get());
    }
    Changed(true);
    return Generation();
}

void RegistryStore::Clear() {
    Guard guard(mutex_);
    for (const KeyRef& root : roots_.roots) {
        ClearKey(root.get());
    }
    Changed(true);
}

}  // namespace ce::registry
