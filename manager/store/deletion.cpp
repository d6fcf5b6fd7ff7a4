// Deleting a virtual port: stop its driver instance, remove its key and drop its entry.
#include <iterator>

#include "store/port_list.h"
#include "store/registry_access.h"
#include "store/store_timing.h"
#include "store/virtual_port_key.h"

namespace {

// Every value name of the virtual port key family, in the order a key that resists deletion is emptied:
// what this manager writes, then names the family knows that this manager never writes.
constexpr const WCHAR* kPortValues[] = {
    kValuePriority,     kValueDeviceArrayIndex, u"PortIsRO",   u"SplitPort",     kValuePartner,
    kValueIndex,        kValuePrefix,           kValueDll,     kValueDeviceType, kValueTsp,
    kValueFriendlyName, kValueDevConfig,        u"RemoteHost", u"RemotePort",    u"TULKNet",
    u"RemoteCOM",       u"RemoteReal",
};
static_assert(std::size(kPortValues) == 17);

// True when the key is gone, or was emptied and its deletion tried again.
bool RemovePortKey(const WCHAR* keyPath) {
    const LONG deleted = RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath);
    // A key someone else removed already leaves nothing to delete.
    if (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    store::RegKey key;
    if (!key.Open(keyPath)) {
        return false;
    }
    for (const WCHAR* value : kPortValues) {
        RegDeleteValueW(key.get(), value);
    }
    key.Close();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath);
    return true;
}

}  // namespace

DWORD PortList::DeletePort(PortEntry* entry) {
    const int index = IndexOf(entry);
    // Only virtual ports are deleted: a physical port's key belongs to the platform.
    if (index < 0 || entry->isPhysical || entry->keyPath[0] == u'\0') {
        return 0;
    }
    // Without a handle the instance is looked up by its key, unless an earlier attempt of ours stopped it: an
    // entry read while another program's activation had not yet written Hnd names a running port too, whose
    // key must not go while it runs. An activation still that far behind a moment later is left alone.
    if (entry->deviceHandle == nullptr && entry->instanceStopped == 0) {
        HANDLE running = nullptr;
        if (FindActiveInstance(entry->keyPath, &running) != 0 && running == nullptr) {
            store::StoreWait(store::kDeviceSettleMs);
            if (FindActiveInstance(entry->keyPath, &running) != 0 && running == nullptr) {
                return 0;
            }
        }
        entry->deviceHandle = running;
    }
    if (entry->deviceHandle != nullptr) {
        if (!DeactivateDevice(entry->deviceHandle)) {
            return 0;
        }
        store::StoreWait(store::kDeviceSettleMs);
        entry->deviceHandle = nullptr;
        entry->instanceStopped = 1;
    }
    if (!RemovePortKey(entry->keyPath)) {
        return 0;
    }
    RemoveAt(index);
    return 1;
}
