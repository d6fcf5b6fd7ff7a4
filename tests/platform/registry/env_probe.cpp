// Started by the registry tests with CE_REGISTRY set: its first registry call must load that hive. Exits 0
// when the key the hive holds is there and a new key was added (which saves it back); 1 when the hive's key
// is missing; 2 when the new key was refused; 3 or 4 when every call was refused with ERROR_BADDB or
// ERROR_SHARING_VIOLATION (a refused hive); 5 for any other answer.
#include <windows.h>
#include <winreg.h>

namespace {

int Refused(LONG opened) {
    HKEY key = nullptr;
    const LONG created =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"AddedByChild", 0, nullptr, 0, 0, nullptr, &key, nullptr);
    if (created != opened) {
        return 5;
    }
    return opened == ERROR_BADDB ? 3 : opened == ERROR_SHARING_VIOLATION ? 4 : 5;
}

}  // namespace

int main() {
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"FromFile", 0, 0, &key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        return 1;
    }
    if (opened != ERROR_SUCCESS) {
        return Refused(opened);
    }
    RegCloseKey(key);
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"AddedByChild", 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return 2;
    }
    RegCloseKey(key);
    return 0;
}
