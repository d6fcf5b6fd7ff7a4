// Disabling a physical port hands its COM number to virtual ports: its driver instance is stopped and its
// key's Prefix becomes the disabled mark, so the device manager cannot start it and the list shows it as
// disabled, also after the next start. Re-enabling writes the entry's prefix back and starts it again.
#include "store/port_list.h"
#include "store/registry_access.h"
#include "store/store_timing.h"
#include "store/virtual_port_key.h"

namespace {

constexpr const WCHAR* kDisabledPrefix = u"C0M";

bool WritePrefix(const WCHAR* keyPath, const WCHAR* prefix) {
    store::RegKey key;
    if (!key.Open(keyPath)) {
        return false;
    }
    store::WriteString(key.get(), kValuePrefix, prefix);
    return true;
}

}  // namespace

DWORD PortList::TogglePhysicalPort(PortEntry* entry) {
    if (IndexOf(entry) < 0 || !entry->isPhysical || entry->keyPath[0] == u'\0') {
        return 0;
    }
    if (entry->isDisabled) {
        if (!WritePrefix(entry->keyPath, entry->prefix)) {
            return 0;
        }
        HANDLE device = ActivateDevice(entry->keyPath, 0);
        store::StoreWait(store::kDeviceSettleMs);
        // The prefix stays restored when the start fails: the port comes back with the device's next start.
        if (device == nullptr) {
            return 0;
        }
    } else {
        if (!DeactivateDevice(entry->deviceHandle)) {
            return 0;
        }
        store::StoreWait(store::kDeviceSettleMs);
        entry->deviceHandle = nullptr;
        if (!WritePrefix(entry->keyPath, kDisabledPrefix)) {
            return 0;
        }
    }
    Refresh();
    return 1;
}
