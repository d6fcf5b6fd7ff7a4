// Refresh: what the device shows, in three phases. The running driver instances (Drivers\Active), the
// physical ports this manager disabled (Drivers\BuiltIn keys marked C0M), and COM ports that answer when
// opened although the registry did not show them. Keys and values that cannot be read are passed over.
#include <devload.h>

#include <string>

#include "store/port_list.h"
#include "store/registry_access.h"
#include "store/virtual_port_key.h"

namespace {

constexpr const WCHAR* kActiveKey = DEVLOAD_ACTIVE_KEY;
constexpr const WCHAR* kBuiltInKey = DEVLOAD_BUILT_IN_KEY;
constexpr const WCHAR* kUnimodemSubkey = u"Unimodem";
constexpr const WCHAR* kComPrefix = u"COM";
// The disabled mark: C, the digit zero, M.
constexpr const WCHAR* kDisabledPrefix = u"C0M";
constexpr int kFamilyChars = 3;
// Probing a port that does not exist ends with one of these.
constexpr DWORD kNoSuchPortErrors[] = {ERROR_FILE_NOT_FOUND, ERROR_DEV_NOT_EXIST};

static_assert(std::char_traits<WCHAR>::length(kVirtualPortKeyStem) == kVirtualPortKeyStemChars);

bool StartsWith(const WCHAR* text, const WCHAR* start, int chars) {
    for (int i = 0; i < chars; ++i) {
        if (text[i] != start[i]) {
            return false;
        }
        if (text[i] == u'\0') {
            return true;
        }
    }
    return true;
}

// Device names carry one digit: COM1: gives 1, KMX3: gives 3. Anything else has no number this store uses.
bool DeviceNumberOf(const WCHAR* name, LONG* number) {
    for (int i = 0; i < kFamilyChars; ++i) {
        if (name[i] == u'\0') {
            return false;
        }
    }
    if (name[kFamilyChars] < u'0' || name[kFamilyChars] > u'9' || name[kFamilyChars + 1] != u':') {
        return false;
    }
    *number = name[kFamilyChars] - u'0';
    return true;
}

HANDLE HandleOf(DWORD value) {
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value));
}

// FriendlyName of a driver key, or of its Unimodem subkey when the key has none.
void ReadFriendlyName(const WCHAR* keyPath, PortEntry* entry) {
    {
        store::RegKey key;
        if (!key.Open(keyPath)) {
            return;
        }
        if (store::ReadString(key.get(), DEVLOAD_FRIENDLYNAME_VALNAME, entry->friendlyName,
                              kFriendlyNameChars)) {
            return;
        }
    }
    WCHAR modemPath[kKeyPathChars];
    store::RegKey modem;
    if (store::JoinKeyPath(modemPath, kKeyPathChars, keyPath, kUnimodemSubkey) && modem.Open(modemPath)) {
        store::ReadString(modem.get(), DEVLOAD_FRIENDLYNAME_VALNAME, entry->friendlyName, kFriendlyNameChars);
    }
}

}  // namespace

DWORD PortList::FindActiveInstance(LPCWSTR keyPath, HANDLE* handle) {
    DWORD found = 0;
    *handle = nullptr;
    store::ForEachSubkey(kActiveKey, [&](LPCWSTR, HKEY active) {
        WCHAR key[kKeyPathChars];
        if (found != 0 || !store::ReadString(active, DEVLOAD_DEVKEY_VALNAME, key, kKeyPathChars) ||
            lstrcmpiW(key, keyPath) != 0) {
            return;
        }
        found = 1;
        DWORD value = 0;
        if (store::ReadDword(active, DEVLOAD_HANDLE_VALNAME, &value)) {
            *handle = HandleOf(value);
        }
    });
    return found;
}

void PortList::Refresh() {
    RefreshRunningInstances();
    RefreshDisabledPorts();
    ProbeUnlistedComPorts();
}

void PortList::RefreshRunningInstances() {
    store::ForEachSubkey(kActiveKey, [&](LPCWSTR, HKEY active) {
        WCHAR keyPath[kKeyPathChars];
        if (!store::ReadString(active, DEVLOAD_DEVKEY_VALNAME, keyPath, kKeyPathChars)) {
            return;
        }
        WCHAR name[kDeviceNameChars] = u"";
        const bool named = store::ReadString(active, DEVLOAD_DEVNAME_VALNAME, name, kDeviceNameChars);
        LONG number = kNoPortNumber;
        const bool numbered = named && DeviceNumberOf(name, &number);
        DWORD handle = 0;
        if (StartsWith(keyPath, kVirtualPortKeyStem, kVirtualPortKeyStemChars)) {
            PortEntry* entry = FindOrAddByKey(keyPath);
            if (entry == nullptr) {
                return;
            }
            entry->isDisabled = 0;
            entry->isPhysical = 0;
            store::ReadDword(active, DEVLOAD_HANDLE_VALNAME, &handle);
            store::RegKey device;
            DWORD arrayIndex = 0;
            if (!device.Open(keyPath) ||
                !store::ReadDword(device.get(), kValueDeviceArrayIndex, &arrayIndex) ||
                arrayIndex >= static_cast<DWORD>(kVirtualPortSlots)) {
                return;
            }
            entry->deviceHandle = HandleOf(handle);
            entry->instanceStopped = 0;
            entry->arrayIndex = static_cast<LONG>(arrayIndex);
            // Without a Name or a Prefix the entry keeps what it had: its defaults when it is new.
            if (numbered) {
                entry->portNumber = number;
            }
            store::ReadString(device.get(), kValuePrefix, entry->prefix, kPrefixChars);
            return;
        }
        if (!numbered || !StartsWith(name, kComPrefix, kFamilyChars)) {
            return;
        }
        PortEntry* entry = FindOrAddByKey(keyPath);
        if (entry == nullptr) {
            return;
        }
        store::ReadDword(active, DEVLOAD_HANDLE_VALNAME, &handle);
        entry->deviceHandle = HandleOf(handle);
        entry->isPhysical = 1;
        entry->isDisabled = 0;
        entry->portNumber = number;
        ReadFriendlyName(keyPath, entry);
    });
}

void PortList::RefreshDisabledPorts() {
    store::ForEachSubkey(kBuiltInKey, [&](LPCWSTR keyPath, HKEY key) {
        WCHAR prefix[kPrefixChars];
        if (!store::ReadString(key, DEVLOAD_PREFIX_VALNAME, prefix, kPrefixChars) ||
            !StartsWith(prefix, kDisabledPrefix, kFamilyChars)) {
            return;
        }
        PortEntry* entry = FindOrAddByKey(keyPath);
        if (entry == nullptr) {
            return;
        }
        entry->isDisabled = 1;
        entry->isPhysical = 1;
        entry->deviceHandle = nullptr;
        entry->portNumber = kNoPortNumber;
        ReadFriendlyName(keyPath, entry);
    });
}

void PortList::ProbeUnlistedComPorts() {
    for (LONG number = 0; number < kNumbersPerFamily; ++number) {
        if (!IsComNumberUnlisted(number)) {
            continue;
        }
        WCHAR name[kDeviceNameChars];
        wsprintfW(name, u"%s%d:", kComPrefix, number);
        HANDLE port = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (port != INVALID_HANDLE_VALUE) {
            CloseHandle(port);
        } else {
            // Any other refusal (held by another program, say) still shows that the port exists.
            const DWORD error = GetLastError();
            bool missing = false;
            for (const DWORD noSuchPort : kNoSuchPortErrors) {
                missing = missing || error == noSuchPort;
            }
            if (missing) {
                continue;
            }
        }
        const int index = AddEntry();
        if (index >= 0) {
            At(index)->isPhysical = 1;
            At(index)->portNumber = number;
        }
    }
}
