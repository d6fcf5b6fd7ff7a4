#include "store/stored_ports.h"

#include <devload.h>

#include <string_view>

#include "store/registry_access.h"
#include "store/store_timing.h"
#include "store/virtual_port_key.h"

namespace {

// The port a kept key names, read as the device manager reads it; false when it names none.
bool ReadStoredName(HKEY key, WCHAR prefix[kPrefixChars], DWORD* number) {
    return store::ReadString(key, kValuePrefix, prefix, kPrefixChars) &&
           store::ReadDword(key, kValueIndex, number) && *number < static_cast<DWORD>(kNumbersPerFamily);
}

// Whether Drivers\Active lists an instance started from keyPath.
bool RunsFromKey(const WCHAR* keyPath) {
    bool found = false;
    store::ForEachSubkey(DEVLOAD_ACTIVE_KEY, [&](LPCWSTR, HKEY active) {
        WCHAR key[kKeyPathChars];
        if (store::ReadString(active, DEVLOAD_DEVKEY_VALNAME, key, kKeyPathChars) &&
            lstrcmpiW(key, keyPath) == 0) {
            found = true;
        }
    });
    return found;
}

constexpr const WCHAR* kStartUpKey = u"Init\\StartUp";
constexpr const WCHAR* kStartUpValue = u"TulkPorts";
constexpr const WCHAR* kProgramName = u"tulkcfg";
constexpr const WCHAR* kStartArgument = u" start";
constexpr size_t kCommandChars = MAX_PATH + 8;

}  // namespace

bool KeepStartingStoredPorts() {
    store::RegKey startUp;
    if (!startUp.Create(kStartUpKey)) {
        return false;
    }
    if (RegQueryValueExW(startUp.get(), kStartUpValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        return true;
    }
    WCHAR program[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    const bool usable = length != 0 && length < MAX_PATH &&
                        std::u16string_view(program).find(u' ') == std::u16string_view::npos;
    WCHAR command[kCommandChars];
    lstrcpyW(command, usable ? program : kProgramName);
    lstrcatW(command, kStartArgument);
    const DWORD bytes = static_cast<DWORD>((lstrlenW(command) + 1) * sizeof(WCHAR));
    return RegSetValueExW(startUp.get(), kStartUpValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                          bytes) == ERROR_SUCCESS;
}

void ActivateStoredPorts(const std::function<void(const StoredPortStart&)>& report) {
    for (LONG slot = 0; slot < kVirtualPortSlots; ++slot) {
        WCHAR keyPath[kKeyPathChars];
        FormatVirtualPortKey(keyPath, slot);
        StoredPortStart start;
        start.slot = slot;
        bool kept = false;
        if (report) {
            store::RegKey key;
            kept = key.Open(keyPath);
            WCHAR prefix[kPrefixChars];
            DWORD number = 0;
            if (kept && ReadStoredName(key.get(), prefix, &number)) {
                wsprintfW(start.name, u"%s%u:", prefix, number);
            }
        }
        // The instances belong to the device manager from here on; the handles are only told.
        start.device = ActivateDevice(keyPath, 0);
        start.error = start.device == nullptr ? GetLastError() : ERROR_SUCCESS;
        if (kept) {
            start.alreadyRunning = start.device == nullptr && RunsFromKey(keyPath);
            report(start);
        }
        store::StoreWait(store::kStoredPortSpacingMs);
    }
}

void ListStoppedStoredPorts(PortList& ports) {
    for (LONG slot = 0; slot < kVirtualPortSlots; ++slot) {
        WCHAR keyPath[kKeyPathChars];
        FormatVirtualPortKey(keyPath, slot);
        store::RegKey key;
        WCHAR prefix[kPrefixChars];
        DWORD number = 0;
        if (ports.FindByKey(keyPath) != nullptr || !key.Open(keyPath) ||
            !ReadStoredName(key.get(), prefix, &number)) {
            continue;
        }
        const int index = ports.AddEntry();
        if (index < 0) {
            return;
        }
        PortEntry& entry = *ports.At(index);
        lstrcpyW(entry.keyPath, keyPath);
        lstrcpyW(entry.prefix, prefix);
        entry.portNumber = static_cast<LONG>(number);
        entry.arrayIndex = slot;
    }
}
