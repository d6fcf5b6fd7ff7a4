// Fixed sequences of registry and device calls that print every outcome (status, last error, outputs and
// what was left untouched), one line per call. Run once in-process and once through a device host, they
// must print the same lines.
#pragma once

#include <windows.h>

#include <cstdio>

namespace hosttest {

void RegistryScript();
void DeviceScript();

// Drivers\BuiltIn\TST<index> at path for the test driver, one data open at a time.
void WriteHostDriverKey(const char16_t* path, DWORD index);

inline constexpr DWORD kUnset = 0xDEADBEEFu;

// One call's line: its result, the last error, and what else it left; the last error is then reset.
inline void Line(const char* what, unsigned long result, const char* detail = "") {
    std::printf("%s: %lx error=%lx %s\n", what, result, static_cast<unsigned long>(GetLastError()), detail);
    SetLastError(kUnset);
}

}  // namespace hosttest
