#include <ceplatform.h>
#include <unistd.h>
#include <winreg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/host/helper_registry_script.h"

namespace hosttest {
namespace {

constexpr BYTE kFill = 0xAB;
constexpr DWORD kUnset = 0xDEADBEEFu;

// One call's line: its result, the last error, and what else it left; the last error is then reset.
void Line(const char* what, unsigned long result, const char* detail = "") {
    std::printf("%s: %lx error=%lx %s\n", what, result, static_cast<unsigned long>(GetLastError()), detail);
    SetLastError(kUnset);
}

std::string Hex(const void* data, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof(digits), "%02x", static_cast<const BYTE*>(data)[i]);
        text += digits;
    }
    return text;
}

void EnumKey(HKEY key, DWORD index, DWORD nameChars, DWORD classChars) {
    WCHAR name[16];
    WCHAR className[4];
    std::memset(name, kFill, sizeof(name));
    std::memset(className, kFill, sizeof(className));
    DWORD chars = nameChars;
    DWORD classCount = classChars;
    FILETIME time{0, 0};
    const LONG status = RegEnumKeyExW(key, index, name, &chars, nullptr, className, &classCount, &time);
    char detail[400];
    std::snprintf(detail, sizeof(detail), "chars=%lu class=%lu time=%d name=%s cls=%s",
                  static_cast<unsigned long>(chars), static_cast<unsigned long>(classCount),
                  time.dwLowDateTime != 0 || time.dwHighDateTime != 0, Hex(name, 16).c_str(),
                  Hex(className, 4).c_str());
    Line("enum key", status, detail);
}

// Imports text from a file of its own; the problem is printed without the file's name, which differs.
void Import(const char* text) {
    char path[] = "/tmp/ceimport.XXXXXX";
    const int fd = mkstemp(path);
    const bool written =
        fd >= 0 && write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
    if (fd >= 0) {
        close(fd);
    }
    char problem[256] = "";
    const LONG status = written ? CeRegistryImportFile(path, problem, sizeof(problem)) : ERROR_CANTWRITE;
    unlink(path);
    const size_t named = std::strncmp(problem, path, std::strlen(path)) == 0 ? std::strlen(path) : 0;
    Line("import", status, problem + named);
}

}  // namespace

void RegistryScript() {
    SetLastError(kUnset);
    HKEY key = nullptr;
    Line("create",
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"HostTest\\A", 0, nullptr, 0, 0, nullptr, &key, nullptr));
    HKEY refused = reinterpret_cast<HKEY>(0x1234);
    Line("create bad option",
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"X", 0, nullptr, 0x8, 0, nullptr, &refused, nullptr));
    std::printf("  nulled=%d\n", refused == nullptr);
    const DWORD number = 0x01020304;
    Line("set dword", RegSetValueExW(key, u"dw", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4));

    HKEY parent = nullptr;
    Line("open parent", RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HostTest", 0, 0, &parent));
    EnumKey(parent, 0, 16, 4);
    EnumKey(parent, 0, 1, 4);
    EnumKey(parent, 0, 16, 0);
    EnumKey(parent, 1, 16, 4);

    DWORD counts[7];
    std::memset(counts, kFill, sizeof(counts));
    WCHAR className[2] = {0x5555, 0x5555};
    DWORD classChars = 2;
    const LONG status = RegQueryInfoKeyW(key, className, &classChars, nullptr, &counts[0], &counts[1],
                                         &counts[2], &counts[3], &counts[4], &counts[5], &counts[6], nullptr);
    std::printf("  info=%s class=%s chars=%lu\n", Hex(counts, sizeof(counts)).c_str(),
                Hex(className, 4).c_str(), static_cast<unsigned long>(classChars));
    Line("info", status);
    DWORD reserved = 0;
    Line("info reserved", RegQueryInfoKeyW(key, nullptr, nullptr, &reserved, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr));

    Line("flush", RegFlushKey(HKEY_LOCAL_MACHINE));
    Line("close root", RegCloseKey(HKEY_LOCAL_MACHINE));
    RegCloseKey(key);
    RegCloseKey(parent);

    // An import is one change: a lasting key below a volatile one, late in the file, leaves the sections
    // before it unapplied.
    HKEY fleeting = nullptr;
    Line("create volatile", RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"HostTest\\Fleeting", 0, nullptr,
                                            REG_OPTION_VOLATILE, 0, nullptr, &fleeting, nullptr));
    RegCloseKey(fleeting);
    constexpr const char* kImported =
        "Windows Registry Editor Version "
        "5.00\n\n[HKEY_LOCAL_MACHINE\\HostTest\\New]\n\"dw\"=dword:00000007\n";
    Import((std::string(kImported) + "[HKEY_LOCAL_MACHINE\\HostTest\\Fleeting\\Lasting]\n").c_str());
    Line("open unimported", RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HostTest\\New", 0, 0, &key));
    Import(kImported);
    Line("open imported", RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HostTest\\New", 0, 0, &key));
    DWORD value = 0;
    DWORD size = sizeof(value);
    Line("query imported",
         RegQueryValueExW(key, u"dw", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
    std::printf("  value=%lu\n", static_cast<unsigned long>(value));
    RegCloseKey(key);
    Line("delete tree", RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"HostTest"));
}

}  // namespace hosttest
