#include "tools/pair_keys.h"

#include <string>

namespace {

void Set(HKEY key, const char16_t* name, DWORD type, const void* data, DWORD size) {
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

}  // namespace

HANDLE ActivatePairEnd(DWORD end) {
    const std::u16string path = end == 0 ? u"Drivers\\BuiltIn\\TULK0" : u"Drivers\\BuiltIn\\TULK1";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    const DWORD number = 5 + end;
    const DWORD partner = end ^ 1;
    Set(key, u"DeviceArrayIndex", REG_DWORD, &end, sizeof(end));
    Set(key, u"KMXPair", REG_DWORD, &partner, sizeof(partner));
    Set(key, u"Index", REG_DWORD, &number, sizeof(number));
    Set(key, u"Prefix", REG_SZ, u"COM", sizeof(u"COM"));
    Set(key, u"Dll", REG_SZ, u"tulk.dll", sizeof(u"tulk.dll"));
    RegCloseKey(key);
    return ActivateDevice(path.c_str(), 0);
}
