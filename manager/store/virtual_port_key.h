// Names of the virtual port key family: Drivers\BuiltIn\TULK<slot> and its values.
#pragma once

#include <windows.h>

inline constexpr const WCHAR* kVirtualPortKeyStem = u"Drivers\\BuiltIn\\TULK";
inline constexpr int kVirtualPortKeyStemChars = 20;

inline constexpr const WCHAR* kValuePriority = u"Priority";
inline constexpr const WCHAR* kValueDeviceArrayIndex = u"DeviceArrayIndex";
inline constexpr const WCHAR* kValuePartner = u"KMXPair";
inline constexpr const WCHAR* kValueIndex = u"Index";
inline constexpr const WCHAR* kValuePrefix = u"Prefix";
inline constexpr const WCHAR* kValueDll = u"Dll";
inline constexpr const WCHAR* kValueDeviceType = u"DeviceType";
inline constexpr const WCHAR* kValueTsp = u"Tsp";
inline constexpr const WCHAR* kValueFriendlyName = u"FriendlyName";
inline constexpr const WCHAR* kValueDevConfig = u"DevConfig";

inline constexpr const WCHAR* kDriverModule = u"tulk.dll";
inline constexpr const WCHAR* kTelephonyProvider = u"Unimodem.dll";

// keyPath needs room for kKeyPathChars.
void FormatVirtualPortKey(WCHAR* keyPath, LONG arrayIndex);

// Writes the values of a virtual port into an open key, in the order the device manager, the driver and
// the telephony service expect them: the port named by combinedNumber (0..19) in driver slot arrayIndex,
// pairIndex its partner's slot or kNoArrayIndex. Results are not looked at: a value that cannot be
// written shows up when the key is activated.
void WriteVirtualPortValues(HKEY key, DWORD combinedNumber, LONG pairIndex, LONG arrayIndex);

// "COM5:" for combined number 5, "KMX6:" for 16; name needs room for kDeviceNameChars.
void FormatVirtualPortName(WCHAR* name, DWORD combinedNumber);
