// One port as the manager knows it: a physical serial port (enabled or disabled by the manager) or a virtual
// port of the driver. Text fields have fixed sizes, NUL included, because the user interface reads them in
// place through the entry pointers it keeps in its tree items.
#pragma once

#include <windows.h>

inline constexpr size_t kFriendlyNameChars = 256;
inline constexpr size_t kPrefixChars = 6;
inline constexpr size_t kKeyPathChars = 255;
// A device name such as "COM5:" with room to spare, NUL included.
inline constexpr size_t kDeviceNameChars = 16;

inline constexpr LONG kNoPortNumber = -1;
inline constexpr LONG kNoArrayIndex = -1;

// Virtual ports live in driver slots 0..19; the two ends of a pair hold 2k and 2k + 1.
inline constexpr LONG kVirtualPortSlots = 20;
// Device names the manager hands out, as one numbering: 0..9 are COM0:..COM9:, 10..19 are KMX0:..KMX9:.
inline constexpr DWORD kCombinedNumbers = 20;
inline constexpr LONG kNumbersPerFamily = 10;

struct PortEntry {
    DWORD isPhysical = 0;
    DWORD isDisabled = 0;  // physical ports only: the key's Prefix is the disabled mark
    WCHAR friendlyName[kFriendlyNameChars] = u"";
    HANDLE deviceHandle = nullptr;  // the device manager's handle of the running instance; null = none known
    // 1 once this manager's own stop of the instance succeeded and only its key was left; a null handle
    // without it may just mean the entry was read before the activation wrote Hnd.
    DWORD instanceStopped = 0;
    WCHAR prefix[kPrefixChars] = u"COM";
    WCHAR keyPath[kKeyPathChars] = u"";  // driver key under HKEY_LOCAL_MACHINE; empty when only probed
    LONG portNumber = kNoPortNumber;     // n of the device name <prefix>n:
    LONG arrayIndex = kNoArrayIndex;     // virtual ports: DeviceArrayIndex
};

// The KMX family counts from 10 in the combined numbering.
inline bool IsKmxPrefix(const WCHAR* prefix) {
    return prefix[0] == u'K';
}

// The combined number the entry holds, or -1 when it holds none.
inline LONG CombinedNumberOf(const PortEntry& entry) {
    if (entry.portNumber == kNoPortNumber) {
        return -1;
    }
    return entry.portNumber + (IsKmxPrefix(entry.prefix) ? kNumbersPerFamily : 0);
}
