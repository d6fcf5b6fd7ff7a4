// A program with a WinMain and no main(): prints what the platform's entry handed it, for
// resources_test.cpp. The command line is printed as UTF-16 units in hex, so every unit is seen.
#include <cstdio>

#include <windows.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd) {
    std::printf(
        "instance=%s previous=%s show=%d line=", hInstance == GetModuleHandleW(nullptr) ? "program" : "other",
        hPrevInstance == nullptr ? "null" : "set", nShowCmd);
    for (LPCWSTR unit = lpCmdLine; *unit != 0; ++unit) {
        std::printf(unit == lpCmdLine ? "%04X" : " %04X", static_cast<unsigned>(*unit));
    }
    std::printf("\n");
    return 7;
}
