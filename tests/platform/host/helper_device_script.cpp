#include <devload.h>
#include <winreg.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/test_driver/test_driver_protocol.h"
#include "platform/host/helper_scripts.h"

namespace hosttest {
namespace {

constexpr BYTE kFill = 0xCC;
// Crosses in several pieces.
constexpr DWORD kLargeBytes = 3 * 1024 * 1024 + 123;

void Read(HANDLE file, DWORD count) {
    char data[16];
    std::memset(data, kFill, sizeof(data));
    DWORD done = 0x77;
    const BOOL result = ReadFile(file, data, count, &done, nullptr);
    char detail[64];
    std::snprintf(detail, sizeof(detail), "done=%lu data=%.8s", static_cast<unsigned long>(done), data);
    Line("read", result, detail);
}

void Control(HANDLE file, DWORD code, const void* in, DWORD inSize, DWORD outSize, bool withReturned = true) {
    BYTE out[16];
    std::memset(out, kFill, sizeof(out));
    DWORD returned = 0x77;
    const BOOL result =
        DeviceIoControl(file, code, const_cast<void*>(in), inSize, outSize != 0 ? out : nullptr, outSize,
                        withReturned ? &returned : nullptr, nullptr);
    char detail[128];
    std::snprintf(detail, sizeof(detail), "returned=%lu out=%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned long>(returned), out[0], out[1], out[2], out[3], out[4], out[5]);
    Line("control", result, detail);
}

unsigned long Sum(const std::vector<BYTE>& bytes) {
    unsigned long sum = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        sum = sum * 31 + bytes[i];
    }
    return sum;
}

void LargeTransfer(HANDLE file) {
    std::vector<BYTE> out(kLargeBytes);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<BYTE>(i * 7 + i / 251);
    }
    DWORD done = 0;
    Line("large write", WriteFile(file, out.data(), kLargeBytes, &done, nullptr));
    std::printf("  written=%lu\n", static_cast<unsigned long>(done));
    std::vector<BYTE> in(kLargeBytes + 10, 0);
    Line("large read", ReadFile(file, in.data(), kLargeBytes + 10, &done, nullptr));
    in.resize(done);
    std::printf("  read=%lu same=%d\n", static_cast<unsigned long>(done), Sum(in) == Sum(out));
}

}  // namespace

void WriteHostDriverKey(const char16_t* path, DWORD index) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
    RegSetValueExW(key, DEVLOAD_PREFIX_VALNAME, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"TST"), 8);
    RegSetValueExW(key, DEVLOAD_DLLNAME_VALNAME, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"testdrv.dll"),
                   24);
    RegSetValueExW(key, DEVLOAD_INDEX_VALNAME, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&index), 4);
    const DWORD exclusive = 1;
    RegSetValueExW(key, testdrv::kExclusive, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&exclusive), 4);
    RegCloseKey(key);
}

void DeviceScript() {
    SetLastError(kUnset);
    WriteHostDriverKey(u"Drivers\\BuiltIn\\TST7", 7);
    HANDLE device = ActivateDevice(u"Drivers\\BuiltIn\\TST7", 0);
    Line("activate", device != nullptr);
    Line("activate again", ActivateDevice(u"Drivers\\BuiltIn\\TST7", 0) != nullptr);
    Line("activate null", ActivateDevice(nullptr, 0) != nullptr);
    Line("activate missing", ActivateDevice(u"Drivers\\BuiltIn\\None", 0) != nullptr);

    HANDLE file = CreateFileW(u"TST7:", testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Line("open", file != INVALID_HANDLE_VALUE);
    Line("open busy", CreateFileW(u"TST7:", testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr) !=
                          INVALID_HANDLE_VALUE);
    Line("open unknown",
         CreateFileW(u"NOPE1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE);
    Line("open null", CreateFileW(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE);

    DWORD done = 0x77;
    Line("write", WriteFile(file, "hello", 5, &done, nullptr));
    std::printf("  done=%lu\n", static_cast<unsigned long>(done));
    Read(file, 3);
    Line("read nothing", ReadFile(file, nullptr, 0, &done, nullptr));
    Line("read no count", ReadFile(file, &done, 1, nullptr, nullptr));
    Line("read bad buffer", ReadFile(file, reinterpret_cast<void*>(16), 2, &done, nullptr));
    Read(file, 8);
    Line("write bad buffer", WriteFile(file, reinterpret_cast<void*>(16), 2, &done, nullptr));
    Line("write null", WriteFile(file, nullptr, 2, &done, nullptr));

    Line("seek", SetFilePointer(file, 10, nullptr, FILE_BEGIN));
    Line("seek negative", SetFilePointer(file, -1, nullptr, FILE_BEGIN));
    LONG high = 1;
    Line("seek high", SetFilePointer(file, 0, &high, FILE_BEGIN));

    Control(file, testdrv::kCopy, "abcd", 4, 8);
    Control(file, testdrv::kCopy, "abcdefgh", 8, 3);
    Control(file, testdrv::kCopy, nullptr, 0, 0, false);
    const DWORD error = 1234;
    Control(file, testdrv::kFail, &error, 4, 0);
    const DWORD none = 0;
    Control(file, testdrv::kFail, &none, 4, 0);
    Control(file, 0xdead, nullptr, 0, 4);
    Control(file, testdrv::kCopy, reinterpret_cast<void*>(16), 4, 4);
    OVERLAPPED overlapped{};
    Line("control overlapped",
         DeviceIoControl(file, testdrv::kCopy, nullptr, 0, nullptr, 0, &done, &overlapped));
    Control(INVALID_HANDLE_VALUE, testdrv::kCopy, "ab", 2, 2);
    Line("write bogus", WriteFile(reinterpret_cast<HANDLE>(0x4321), "x", 1, &done, nullptr));
    LargeTransfer(file);

    Line("close", CloseHandle(file));
    Line("close again", CloseHandle(file));
    Read(file, 1);
    HANDLE other = CreateFileW(u"TST7:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Line("open again", other != INVALID_HANDLE_VALUE);
    Line("deactivate", DeactivateDevice(device));
    Read(other, 1);
    Line("close after deactivate", CloseHandle(other));
    Line("deactivate again", DeactivateDevice(device));
    Line("deactivate null", DeactivateDevice(nullptr));
    Line("open gone",
         CreateFileW(u"TST7:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE);
}

}  // namespace hosttest
