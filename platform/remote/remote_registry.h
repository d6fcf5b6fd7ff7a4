// The Reg*W calls of a program whose registry lives in the device host. Each runs the same call in the
// host, with null pointers where the caller passed null pointers, and writes back what the host's call
// wrote. Caller memory the program cannot reach fails the call with ERROR_NOACCESS instead of a fault.
#pragma once

#include <windows.h>

namespace ce::host {

LONG RemoteRegCreateKey(HKEY key, LPCWSTR subKey, DWORD options, PHKEY result, LPDWORD disposition);
LONG RemoteRegOpenKey(HKEY key, LPCWSTR subKey, PHKEY result);
LONG RemoteRegCloseKey(HKEY key);
LONG RemoteRegDeleteKey(HKEY key, LPCWSTR subKey);
LONG RemoteRegEnumKey(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                      LPWSTR className, LPDWORD classChars, PFILETIME lastWrite);
LONG RemoteRegQueryInfoKey(HKEY key, LPWSTR className, LPDWORD classChars, LPDWORD reserved, LPDWORD subKeys,
                           LPDWORD maxSubKeyChars, LPDWORD maxClassChars, LPDWORD values,
                           LPDWORD maxValueNameChars, LPDWORD maxValueBytes, LPDWORD securityBytes,
                           PFILETIME lastWrite);
LONG RemoteRegFlushKey(HKEY key);
LONG RemoteRegSetValue(HKEY key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size);
LONG RemoteRegQueryValue(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RemoteRegEnumValue(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved, LPDWORD type,
                        LPBYTE data, LPDWORD size);
LONG RemoteRegDeleteValue(HKEY key, LPCWSTR name);

}  // namespace ce::host
