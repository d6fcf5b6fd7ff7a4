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
