// The registry key of one virtual port, Drivers\BuiltIn\TULK<slot>, and the start of its driver instance.
#include "store/port_list.h"
#include "store/registry_access.h"
#include "store/store_timing.h"
#include "store/virtual_port_key.h"

namespace {

// Unimodem's device configuration for a direct cable connection: version 0x10, 5 s call set-up timer,
// options 0x110, 19200 baud, 8 data bits, one stop bit, no parity, empty dial modifier. Written byte for
// byte; nothing here reads it back.
constexpr BYTE kDevConfig[] = {0x10, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x10, 0x01, 0x00, 0x00, 0x00,
                               0x4B, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
static_assert(sizeof(kDevConfig) == 25);

constexpr DWORD kDirectConnection = 0;  // Unimodem device type of a null-modem cable
constexpr DWORD kLoadPriority = 0;      // Priority: not the dispatch thread's priority, which is Priority256

struct DeviceName {
    const WCHAR* prefix;
    LONG number;
};

DeviceName DeviceNameOf(DWORD combinedNumber) {
    if (combinedNumber >= static_cast<DWORD>(kNumbersPerFamily)) {
        return {u"KMX", static_cast<LONG>(combinedNumber) - kNumbersPerFamily};
    }
    return {u"COM", static_cast<LONG>(combinedNumber)};
}

bool IsSlot(LONG index) {
    return index >= 0 && index < kVirtualPortSlots;
}

}  // namespace

void WriteVirtualPortValues(HKEY key, DWORD combinedNumber, LONG pairIndex, LONG arrayIndex) {
    const DeviceName name = DeviceNameOf(combinedNumber);
    WCHAR friendlyName[kFriendlyNameChars];
    wsprintfW(friendlyName, u"Virtual port %s%d", name.prefix, name.number);
    store::WriteDword(key, kValuePriority, kLoadPriority);
    store::WriteDword(key, kValueDeviceArrayIndex, static_cast<DWORD>(arrayIndex));
    if (pairIndex != kNoArrayIndex) {
        store::WriteDword(key, kValuePartner, static_cast<DWORD>(pairIndex));
    }
    store::WriteDword(key, kValueIndex, static_cast<DWORD>(name.number));
    store::WriteString(key, kValuePrefix, name.prefix);
    store::WriteString(key, kValueDll, kDriverModule);
    store::WriteDword(key, kValueDeviceType, kDirectConnection);
    store::WriteString(key, kValueTsp, kTelephonyProvider);
    store::WriteString(key, kValueFriendlyName, friendlyName);
    RegSetValueExW(key, kValueDevConfig, 0, REG_BINARY, kDevConfig, sizeof(kDevConfig));
}

void FormatVirtualPortKey(WCHAR* keyPath, LONG arrayIndex) {
    wsprintfW(keyPath, u"%s%d", kVirtualPortKeyStem, arrayIndex);
}

void FormatVirtualPortName(WCHAR* name, DWORD combinedNumber) {
    const DeviceName device = DeviceNameOf(combinedNumber);
    wsprintfW(name, u"%s%d:", device.prefix, device.number);
}

int PortList::CreateVirtualPort(DWORD combinedNumber, LONG pairIndex, LONG arrayIndex) {
    if (combinedNumber >= kCombinedNumbers || !IsSlot(arrayIndex) ||
        (pairIndex != kNoArrayIndex && !IsSlot(pairIndex)) || IsArrayIndexHeld(arrayIndex)) {
        return -1;
    }
    WCHAR keyPath[kKeyPathChars];
    FormatVirtualPortKey(keyPath, arrayIndex);
    const DeviceName name = DeviceNameOf(combinedNumber);
    {
        store::RegKey key;
        if (!key.Create(keyPath)) {
            return -1;
        }
        WriteVirtualPortValues(key.get(), combinedNumber, pairIndex, arrayIndex);
    }
    HANDLE device = ActivateDevice(keyPath, 0);
    store::StoreWait(store::kDeviceSettleMs);
    const int index = device != nullptr ? AddEntry() : -1;
    if (index < 0) {
        // A running instance without an entry could never be stopped by the manager.
        if (device != nullptr && DeactivateDevice(device)) {
            store::StoreWait(store::kDeviceSettleMs);
        }
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath);
        return -1;
    }
    PortEntry& entry = *At(index);
    lstrcpyW(entry.keyPath, keyPath);
    entry.deviceHandle = device;
    lstrcpyW(entry.prefix, name.prefix);
    entry.portNumber = name.number;
    entry.arrayIndex = arrayIndex;
    return index;
}
