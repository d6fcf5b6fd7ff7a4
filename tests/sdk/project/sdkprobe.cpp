// A program written outside the project and built against the installed platform. It activates its own
// driver module from the registry, talks to it by name through the file and control API, takes it down,
// and checks every answer. With "--echo-module <dll> <prefix>" it also activates an echoing driver that the
// platform installed, found only where the installed device manager looks by default.
// Prints one line per check; exits 1 when any check failed.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "upper_ioctl.h"

namespace {

constexpr const WCHAR* kUpperKey = u"Drivers\\BuiltIn\\SdkProbe";
constexpr DWORD kUpperIndex = 3;
constexpr DWORD kClientInfo = 0x5D4;
constexpr const WCHAR* kEchoKey = u"Drivers\\BuiltIn\\SdkEcho";
constexpr DWORD kEchoIndex = 7;
constexpr DWORD kPoison = 0xDEADBEEF;
constexpr BYTE kFill = 0xFF;
constexpr DWORD kNameChars = 64;

int failures = 0;

void Expect(bool ok, const char* format, ...) {
    std::printf("%s ", ok ? "ok      " : "MISMATCH");
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    if (!ok) {
        ++failures;
    }
}

bool WriteDriverKey(const WCHAR* path, const WCHAR* prefix, DWORD index, const WCHAR* dll) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    auto bytes = [](const WCHAR* s) { return static_cast<DWORD>((lstrlenW(s) + 1) * sizeof(WCHAR)); };
    bool ok = RegSetValueExW(key, u"Prefix", 0, REG_SZ, reinterpret_cast<const BYTE*>(prefix),
                             bytes(prefix)) == 0 &&
              RegSetValueExW(key, u"Dll", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll), bytes(dll)) == 0 &&
              RegSetValueExW(key, u"Index", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&index),
                             sizeof(index)) == 0;
    RegCloseKey(key);
    return ok;
}

// Writes a driver key and activates it; nullptr (reported) when the device manager refuses.
HANDLE ActivateKey(const WCHAR* key, const WCHAR* prefix, DWORD index, const WCHAR* dll, DWORD clientInfo,
                   const char* where) {
    Expect(WriteDriverKey(key, prefix, index, dll), "driver key written");
    HANDLE device = ActivateDevice(key, clientInfo);
    Expect(device != nullptr, "ActivateDevice finds the module %s (error %u)", where,
           device != nullptr ? 0 : GetLastError());
    return device;
}

HANDLE OpenPort(const WCHAR* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

void CheckData(HANDLE port, HANDLE other) {
    static constexpr char kSent[] = "Hello, sdk 42";
    static constexpr char kExpected[] = "HELLO, SDK 42";
    constexpr DWORD kSentBytes = sizeof(kSent) - 1;
    DWORD written = kPoison;
    // Each call runs before its Expect, so that the message shows what the call left.
    bool ok = WriteFile(port, kSent, kSentBytes, &written, nullptr);
    Expect(ok && written == kSentBytes, "WriteFile takes %u bytes (took %u)", kSentBytes, written);

    BYTE back[32];
    std::memset(back, kFill, sizeof(back));
    DWORD read = kPoison;
    // The bytes belong to the device, not the handle: the second handle reads them.
    ok = ReadFile(other, back, sizeof(back), &read, nullptr);
    Expect(ok && read == kSentBytes && std::memcmp(back, kExpected, kSentBytes) == 0,
           "ReadFile gives them back upper-cased (%u bytes: \"%.*s\")", read, static_cast<int>(kSentBytes),
           back);
    read = kPoison;
    ok = ReadFile(port, back, sizeof(back), &read, nullptr);
    Expect(ok && read == 0, "an empty device reads 0 bytes (%u)", read);

    UPPER_STATS stats;
    std::memset(&stats, kFill, sizeof(stats));
    DWORD returned = 0;
    ok = DeviceIoControl(port, IOCTL_UPPER_GET_STATS, nullptr, 0, &stats, sizeof(stats), &returned, nullptr);
    Expect(ok && returned == sizeof(stats),
           "DeviceIoControl reaches the driver's own code (%u bytes returned)", returned);
    Expect(stats.ClientInfo == kClientInfo, "Init got ActivateDevice's client info (0x%x)", stats.ClientInfo);
    Expect(stats.Opens == 2 && stats.BytesWritten == kSentBytes && stats.BytesRead == kSentBytes,
           "the driver counted 2 opens, %u bytes in and out (%u, %u, %u)", kSentBytes, stats.Opens,
           stats.BytesWritten, stats.BytesRead);
}

void CheckUpperDevice() {
    HANDLE device =
        ActivateKey(kUpperKey, u"UPC", kUpperIndex, u"upperdrv.dll", kClientInfo, "through CE_DRIVER_PATH");
    if (device == nullptr) {
        return;
    }
    HANDLE port = OpenPort(u"upc3:");
    HANDLE other = OpenPort(u"UPC3:");
    Expect(port != INVALID_HANDLE_VALUE && other != INVALID_HANDLE_VALUE,
           "CreateFileW opens the name in any case");
    if (port != INVALID_HANDLE_VALUE && other != INVALID_HANDLE_VALUE) {
        CheckData(port, other);
        Expect(CloseHandle(port), "CloseHandle");
    }

    Expect(CloseHandle(other), "CloseHandle of the second handle");
    Expect(DeactivateDevice(device), "DeactivateDevice");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUpperKey);
}

void CheckInstalledEchoModule(const WCHAR* dll, const WCHAR* prefix) {
    HANDLE device = ActivateKey(kEchoKey, prefix, kEchoIndex, dll, 0, "installed beside the platform");
    if (device == nullptr) {
        return;
    }
    WCHAR name[kNameChars];
    wsprintfW(name, u"%s%u:", prefix, static_cast<unsigned>(kEchoIndex));
    HANDLE port = OpenPort(name);
    static constexpr char kPing[] = "ping";
    char back[sizeof(kPing)] = {};
    DWORD written = 0;
    DWORD read = 0;
    Expect(port != INVALID_HANDLE_VALUE && WriteFile(port, kPing, 4, &written, nullptr) &&
               ReadFile(port, back, sizeof(back), &read, nullptr) && read == 4 &&
               std::memcmp(back, kPing, 4) == 0,
           "the installed module echoes a write");
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
    }
    Expect(DeactivateDevice(device), "the installed module deactivates");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEchoKey);
}

// Command-line words are ASCII module and prefix names.
void Widen(const char* in, WCHAR* out, size_t chars) {
    size_t i = 0;
    for (; in[i] != 0 && i + 1 < chars; ++i) {
        out[i] = static_cast<WCHAR>(static_cast<unsigned char>(in[i]));
    }
    out[i] = 0;
}

}  // namespace

int main(int argc, char** argv) {
    CheckUpperDevice();
    if (argc == 4 && std::strcmp(argv[1], "--echo-module") == 0) {
        WCHAR dll[kNameChars];
        WCHAR prefix[kNameChars];
        Widen(argv[2], dll, kNameChars);
        Widen(argv[3], prefix, kNameChars);
        CheckInstalledEchoModule(dll, prefix);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: sdkprobe [--echo-module <dll> <prefix>]\n");
        return 2;
    }
    std::printf("sdkprobe: %d mismatch(es)\n", failures);
    return failures == 0 ? 0 : 1;
}
