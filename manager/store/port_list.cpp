// The list itself: its table of entry pointers, the searches over it and its start-up and end.
#include "store/port_list.h"

#include <new>

#include "store/registry_access.h"

namespace {

constexpr const WCHAR* kWriteTestKey = u"Drivers\\BuiltIn\\TEST";

// Entries and the table come from LocalAlloc, so a failing allocation is an answer, not an exception.
PortEntry* NewEntry() {
    void* memory = LocalAlloc(LPTR, sizeof(PortEntry));
    return memory != nullptr ? new (memory) PortEntry : nullptr;
}

void DeleteEntry(PortEntry* entry) {
    entry->~PortEntry();
    LocalFree(entry);
}

PortEntry** NewTable(int slots) {
    return static_cast<PortEntry**>(LocalAlloc(LPTR, static_cast<SIZE_T>(slots) * sizeof(PortEntry*)));
}

}  // namespace

PortList::PortList() {
    store::RegKey probe;
    if (!probe.Create(kWriteTestKey)) {
        return;
    }
    probe.Close();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kWriteTestKey);
    registryWritable_ = 1;
    Refresh();
}

PortList::~PortList() {
    for (int i = 0; i < count_; ++i) {
        DeleteEntry(entries_[i]);
    }
    if (entries_ != nullptr) {
        LocalFree(entries_);
    }
}

PortEntry* PortList::At(int index) const {
    return index >= 0 && index < count_ ? entries_[index] : nullptr;
}

int PortList::Count() const {
    return count_;
}

int PortList::AddEntry() {
    PortEntry** table = NewTable(count_ + 1);
    if (table == nullptr) {
        return -1;
    }
    PortEntry* entry = NewEntry();
    if (entry == nullptr) {
        LocalFree(table);
        return -1;
    }
    for (int i = 0; i < count_; ++i) {
        table[i] = entries_[i];
    }
    table[count_] = entry;
    if (entries_ != nullptr) {
        LocalFree(entries_);
    }
    entries_ = table;
    return count_++;
}

void PortList::RemoveAt(int index) {
    if (index < 0 || index >= count_) {
        return;
    }
    DeleteEntry(entries_[index]);
    for (int i = index; i + 1 < count_; ++i) {
        entries_[i] = entries_[i + 1];
    }
    --count_;
    if (count_ == 0) {
        LocalFree(entries_);
        entries_ = nullptr;
        return;
    }
    // A table that cannot shrink stays as it is: one unused slot is harmless.
    PortEntry** table = NewTable(count_);
    if (table != nullptr) {
        for (int i = 0; i < count_; ++i) {
            table[i] = entries_[i];
        }
        LocalFree(entries_);
        entries_ = table;
    }
}

int PortList::IndexOf(const PortEntry* entry) const {
    for (int i = 0; i < count_; ++i) {
        if (entries_[i] == entry) {
            return i;
        }
    }
    return -1;
}

PortEntry* PortList::FindByKey(LPCWSTR keyPath) const {
    if (keyPath == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < count_; ++i) {
        if (lstrcmpW(entries_[i]->keyPath, keyPath) == 0) {
            return entries_[i];
        }
    }
    return nullptr;
}

PortEntry* PortList::FindByArrayIndex(LONG arrayIndex) const {
    for (int i = 0; i < count_; ++i) {
        if (entries_[i]->arrayIndex == arrayIndex) {
            return entries_[i];
        }
    }
    return nullptr;
}

PortEntry* PortList::FindPartner(const PortEntry* entry) const {
    if (entry == nullptr || entry->arrayIndex < 0) {
        return nullptr;
    }
    return FindByArrayIndex(entry->arrayIndex ^ 1);
}

bool PortList::IsComNumberUnlisted(LONG number) const {
    for (int i = 0; i < count_; ++i) {
        const PortEntry& entry = *entries_[i];
        if (entry.prefix[0] == u'C' && entry.portNumber != kNoPortNumber && entry.portNumber == number) {
            return false;
        }
    }
    return true;
}

bool PortList::IsPortNumberFree(DWORD combinedNumber) const {
    if (combinedNumber >= kCombinedNumbers) {
        return false;
    }
    const LONG wanted = static_cast<LONG>(combinedNumber);
    for (int i = 0; i < count_; ++i) {
        const PortEntry& entry = *entries_[i];
        if (CombinedNumberOf(entry) == wanted) {
            return false;
        }
        // A physical port holds its COM number whatever its prefix says.
        if (entry.isPhysical && wanted < kNumbersPerFamily && entry.portNumber == wanted) {
            return false;
        }
    }
    return true;
}

bool PortList::IsArrayIndexHeld(LONG arrayIndex) const {
    for (int i = 0; i < count_; ++i) {
        if (!entries_[i]->isPhysical && entries_[i]->arrayIndex == arrayIndex) {
            return true;
        }
    }
    return false;
}

LONG PortList::FreeArrayIndex() const {
    for (LONG index = 0; index < kVirtualPortSlots; ++index) {
        if (!IsArrayIndexHeld(index)) {
            return index;
        }
    }
    return -1;
}

PortEntry* PortList::FindOrAddByKey(LPCWSTR keyPath) {
    if (PortEntry* found = FindByKey(keyPath)) {
        return found;
    }
    const int index = AddEntry();
    if (index < 0) {
        return nullptr;
    }
    lstrcpynW(entries_[index]->keyPath, keyPath, kKeyPathChars);
    return entries_[index];
}
