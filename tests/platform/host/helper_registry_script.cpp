#include <ceplatform.h>
#include <unistd.h>
#include <winreg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/host/helper_scripts.h"

namespace hosttest {
namespace {

constexpr BYTE kFill = 0xAB;

const char* Hex(const void* data, size_t size) {
    static char text[512];
    text[0] = 0;
    for (size_t i = 0; i < size && i * 2 + 2 < sizeof(text); ++i) {
        std::snprintf(text + i * 2, 3, "%02x", static_cast<const BYTE*>(data)[i]);
    }
    return text;
}

void QueryValue(HKEY key, LPCWSTR name, DWORD capacity, bool withSize = true) {
    BYTE data[64];
    std::memset(data, kFill, sizeof(data));
    DWORD type = 0x77;
    DWORD size = capacity;
    const LONG status = RegQueryValueExW(key, name, nullptr, &type, capacity != 0 ? data : nullptr,
                                         withSize ? &size : nullptr);
    char detail[400];
    std::snprintf(detail, sizeof(detail), "type=%lu size=%lu data=%s", static_cast<unsigned long>(type),
                  static_cast<unsigned long>(size), Hex(data, 24));
    Line("query", status, detail);
}

void EnumValues(HKEY key, DWORD nameChars, DWORD dataBytes) {
    for (DWORD index = 0; index < 4; ++index) {
        WCHAR name[32];
        BYTE data[32];
        std::memset(name, kFill, sizeof(name));
        std::memset(data, kFill, sizeof(data));
        DWORD chars = nameChars;
        DWORD bytes = dataBytes;
        DWORD type = 0x77;
        const LONG status = RegEnumValueW(key, index, name, &chars, nullptr, &type, data, &bytes);
        char detail[600];
        std::snprintf(detail, sizeof(detail), "chars=%lu bytes=%lu type=%lu name=%s",
                      static_cast<unsigned long>(chars), static_cast<unsigned long>(bytes),
                      static_cast<unsigned long>(type), Hex(name, 12));
        std::printf("  data=%s\n", Hex(data, 12));
        Line("enum value", status, detail);
    }
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
                  time.dwLowDateTime != 0 || time.dwHighDateTime != 0, Hex(name, 16), Hex(className, 4));
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
    HKEY key = reinterpret_cast<HKEY>(0x1234);
    DWORD disposition = 0x77;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"HostTest\\A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, &disposition);
    std::printf("  disposition=%lu key=%d\n", static_cast<unsigned long>(disposition), key != nullptr);
    Line("create", status);
    HKEY again = nullptr;
    status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"HostTest\\A", 0, nullptr, 0, 0, nullptr, &again, &disposition);
    std::printf("  disposition=%lu\n", static_cast<unsigned long>(disposition));
    Line("create existing", status);
    HKEY refused = reinterpret_cast<HKEY>(0x1234);
    Line("create null name",
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, 0, 0, nullptr, &refused, nullptr));
    std::printf("  nulled=%d\n", refused == nullptr);
    refused = reinterpret_cast<HKEY>(0x1234);
    Line("create bad option",
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"X", 0, nullptr, 0x8, 0, nullptr, &refused, nullptr));
    std::printf("  nulled=%d\n", refused == nullptr);
    Line("create no result",
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"X", 0, nullptr, 0, 0, nullptr, nullptr, nullptr));
    Line("create bad path",
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"\\lead", 0, nullptr, 0, 0, nullptr, &refused, nullptr));

    const DWORD number = 0x01020304;
    Line("set dword", RegSetValueExW(key, u"dw", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4));
    const char16_t text[] = u"hello";
    Line("set sz", RegSetValueExW(key, u"sz", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)));
    const BYTE empty = 0;
    Line("set default empty", RegSetValueExW(key, nullptr, 0, REG_BINARY, &empty, 0));
    Line("set null data", RegSetValueExW(key, u"bad", 0, REG_BINARY, nullptr, 4));
    Line("set bad handle", RegSetValueExW(reinterpret_cast<HKEY>(0x4321), u"x", 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&number), 4));

    QueryValue(key, u"sz", 4);
    QueryValue(key, u"sz", 64);
    QueryValue(key, u"sz", 0);
    QueryValue(key, u"dw", 4);
    QueryValue(key, u"missing", 64);
    QueryValue(key, u"sz", 64, false);
    DWORD reserved = 0;
    Line("query reserved", RegQueryValueExW(key, u"sz", &reserved, nullptr, nullptr, nullptr));
    QueryValue(reinterpret_cast<HKEY>(0x4321), u"sz", 64);

    EnumValues(key, 2, 32);
    EnumValues(key, 32, 2);
    EnumValues(key, 32, 32);

    HKEY parent = nullptr;
    Line("open parent", RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HostTest", 0, 0, &parent));
    EnumKey(parent, 0, 16, 4);
    EnumKey(parent, 0, 1, 4);
    EnumKey(parent, 0, 16, 0);
    EnumKey(parent, 1, 16, 4);
    Line("enum key no count", RegEnumKeyExW(parent, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));

    DWORD counts[7];
    std::memset(counts, kFill, sizeof(counts));
    WCHAR className[2] = {0x5555, 0x5555};
    DWORD classChars = 2;
    status = RegQueryInfoKeyW(key, className, &classChars, nullptr, &counts[0], &counts[1], &counts[2],
                              &counts[3], &counts[4], &counts[5], &counts[6], nullptr);
    std::printf("  info=%s class=%s chars=%lu\n", Hex(counts, sizeof(counts)), Hex(className, 4),
                static_cast<unsigned long>(classChars));
    Line("info", status);
    Line("info reserved", RegQueryInfoKeyW(key, nullptr, nullptr, &reserved, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr));

    HKEY missing = reinterpret_cast<HKEY>(0x1234);
    Line("open missing", RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HostTest\\none", 0, 0, &missing));
    std::printf("  nulled=%d\n", missing == nullptr);
    HKEY same = nullptr;
    Line("open self", RegOpenKeyExW(key, nullptr, 0, 0, &same));
    Line("open no result", RegOpenKeyExW(key, nullptr, 0, 0, nullptr));
    Line("delete value", RegDeleteValueW(key, u"dw"));
    Line("delete value again", RegDeleteValueW(key, u"dw"));
    Line("flush", RegFlushKey(HKEY_LOCAL_MACHINE));
    Line("delete root", RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""));
    Line("delete key", RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"HostTest\\A"));
    QueryValue(key, u"sz", 64);
    Line("query deleted through other", RegQueryValueExW(same, u"sz", nullptr, nullptr, nullptr, nullptr));
    Line("close", RegCloseKey(key));
    Line("close again", RegCloseKey(key));
    Line("close root", RegCloseKey(HKEY_LOCAL_MACHINE));
    Line("close bogus", RegCloseKey(reinterpret_cast<HKEY>(0x4321)));
    RegCloseKey(again);
    RegCloseKey(same);
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
    QueryValue(key, u"dw", 64);
    RegCloseKey(key);
    Line("delete tree", RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"HostTest"));
}

}  // namespace hosttest
