// Started by the registry tests with CE_REGISTRY set: its first registry call must load that hive. Exits 0
// when the key the hive holds is there and a new key was added (which saves it back).
#include <windows.h>
#include <winreg.h>

int main() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"FromFile", 0, 0, &key) != ERROR_SUCCESS) {
        return 1;
    }
    RegCloseKey(key);
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"AddedByChild", 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return 2;
    }
    RegCloseKey(key);
    return 0;
}
