// The tests' other programs: each command is one program's part in a test across processes.
#include <ceplatform.h>
#include <devload.h>
#include <pkfuncs.h>
#include <winreg.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/test_driver/test_driver_protocol.h"
#include "platform/host/helper_registry_script.h"

namespace {

std::u16string Wide(const char* text) {
    return std::u16string(text, text + std::strlen(text));
}

int SetValue(const char* name, const char* number) {
    HKEY key = nullptr;
    const DWORD value = static_cast<DWORD>(std::strtoul(number, nullptr, 0));
    const std::u16string wide = Wide(name);
    const bool done = RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"HostTest", 0, nullptr, 0, 0, nullptr, &key,
                                      nullptr) == ERROR_SUCCESS &&
                      RegSetValueExW(key, wide.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                     sizeof(value)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return done ? 0 : 1;
}

int GetValue(const char* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    HKEY key = nullptr;
    const std::u16string wide = Wide(name);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HostTest", 0, 0, &key) != ERROR_SUCCESS ||
        RegQueryValueExW(key, wide.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS) {
        return 1;
    }
    RegCloseKey(key);
    std::printf("%lu\n", static_cast<unsigned long>(value));
    return 0;
}

// Writes Drivers\BuiltIn\TST<index> for the test driver, one data open at a time, activates it and leaves
// it running.
int Activate(const char* index) {
    const DWORD number = static_cast<DWORD>(std::strtoul(index, nullptr, 10));
    const std::u16string path = u"Drivers\\BuiltIn\\TST" + Wide(index);
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr);
    RegSetValueExW(key, DEVLOAD_PREFIX_VALNAME, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"TST"), 8);
    RegSetValueExW(key, DEVLOAD_DLLNAME_VALNAME, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"testdrv.dll"),
                   24);
    RegSetValueExW(key, DEVLOAD_INDEX_VALNAME, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    const DWORD exclusive = 1;
    RegSetValueExW(key, testdrv::kExclusive, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&exclusive), 4);
    RegCloseKey(key);
    HANDLE device = ActivateDevice(path.c_str(), 0);
    if (device == nullptr) {
        std::fprintf(stderr, "activate: error %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    return 0;
}

// Deactivates the device of Drivers\Active\<number> with the handle the device manager published there.
int Deactivate(const char* number) {
    const std::u16string path = std::u16string(DEVLOAD_ACTIVE_KEY) + u"\\" + Wide(number);
    HKEY entry = nullptr;
    DWORD handle = 0;
    DWORD size = sizeof(handle);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &entry) != ERROR_SUCCESS ||
        RegQueryValueExW(entry, DEVLOAD_HANDLE_VALNAME, nullptr, nullptr, reinterpret_cast<BYTE*>(&handle),
                         &size) != ERROR_SUCCESS) {
        return 1;
    }
    RegCloseKey(entry);
    return DeactivateDevice(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle))) ? 0 : 2;
}

// Opens the device with data access, blocks one thread in a read and one in a wait for comm events, says
// "ready" and waits to be killed.
int Block(const char* name) {
    const std::u16string wide = Wide(name);
    HANDLE file = CreateFileW(wide.c_str(), testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    std::thread([file] {
        char byte = 0;
        DWORD done = 0;
        ReadFile(file, &byte, 1, &done, nullptr);
    }).detach();
    std::thread([file] {
        DWORD events = 0;
        WaitCommEvent(file, &events, nullptr);
    }).detach();
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}

// Opens the device with data access and ends without closing it.
int LeaveOpen(const char* name) {
    const std::u16string wide = Wide(name);
    return CreateFileW(wide.c_str(), testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr) ==
                   INVALID_HANDLE_VALUE
               ? 1
               : 0;
}

// Appends text to a file after an optional delay: the start-up list's order shows in the file.
int Stamp(const char* path, const char* text, const char* delayMs) {
    if (delayMs != nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delayMs)));
    }
    std::ofstream(path, std::ios::app) << text << "\n";
    return 0;
}

// One registry call: joins (or starts) the device's host.
int Touch() {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, 0, &key);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // "socket-calls" first: this thread's calls go over its connection's socket, not through shared memory.
    if (argc > 1 && std::string(argv[1]) == "socket-calls") {
        CePlatformInjectFault("CallRegion", 0, ERROR_SUCCESS);
        ++argv;
        --argc;
    }
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "set" && argc == 4) {
        return SetValue(argv[2], argv[3]);
    }
    if (command == "get" && argc == 3) {
        return GetValue(argv[2]);
    }
    if (command == "activate" && argc == 3) {
        return Activate(argv[2]);
    }
    if (command == "deactivate" && argc == 3) {
        return Deactivate(argv[2]);
    }
    if (command == "block" && argc == 3) {
        return Block(argv[2]);
    }
    if (command == "leave-open" && argc == 3) {
        return LeaveOpen(argv[2]);
    }
    if (command == "stamp" && (argc == 4 || argc == 5)) {
        return Stamp(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    }
    if (command == "fail" && argc == 2) {
        return 3;
    }
    if (command == "touch" && argc == 2) {
        return Touch();
    }
    if (command == "registry-script" && argc == 2) {
        hosttest::RegistryScript();
        return 0;
    }
    std::fprintf(stderr, "host_test_helper: unknown command\n");
    return 2;
}
