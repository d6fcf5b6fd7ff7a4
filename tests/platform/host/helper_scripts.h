// A fixed sequence of registry calls that prints every outcome (status, last error, outputs and what was
// left untouched), one line per call. Run once in-process and once through a device host, it must print the
// same lines.
#pragma once

#include <windows.h>

#include <cstdio>

namespace hosttest {

void RegistryScript();

inline constexpr DWORD kUnset = 0xDEADBEEFu;

// One call's line: its result, the last error, and what else it left; the last error is then reset.
inline void Line(const char* what, unsigned long result, const char* detail = "") {
    std::printf("%s: %lx error=%lx %s\n", what, result, static_cast<unsigned long>(GetLastError()), detail);
    SetLastError(kUnset);
}

}  // namespace hosttest
