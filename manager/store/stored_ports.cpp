#include "store/stored_ports.h"

#include "store/port_entry.h"
#include "store/store_timing.h"
#include "store/virtual_port_key.h"

void ActivateStoredPorts() {
    for (LONG slot = 0; slot < kVirtualPortSlots; ++slot) {
        WCHAR keyPath[kKeyPathChars];
        FormatVirtualPortKey(keyPath, slot);
        // The instances belong to the device manager from here on; the handles are not needed.
        ActivateDevice(keyPath, 0);
        store::StoreWait(store::kStoredPortSpacingMs);
    }
}
