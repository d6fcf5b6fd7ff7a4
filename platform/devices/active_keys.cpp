#include "devices/active_keys.h"

#include <devload.h>

#include "devices/registry_key.h"

namespace ce {
namespace {

constexpr const char16_t* kDriversKey = u"Drivers";
constexpr const char16_t* kActiveSubkey = u"Active";

std::u16string TwoDigits(int number) {
    return {static_cast<char16_t>(u'0' + number / 10), static_cast<char16_t>(u'0' + number % 10)};
}

LONG WriteEntry(const RegistryKey& key, const ActiveEntry& entry) {
    LONG result = key.WriteString(DEVLOAD_DEVKEY_VALNAME, entry.deviceKey);
    if (result == ERROR_SUCCESS) {
        result = key.WriteString(DEVLOAD_DEVNAME_VALNAME, entry.name);
    }
    if (result == ERROR_SUCCESS) {
        result = key.WriteDword(DEVLOAD_HANDLE_VALNAME, entry.handle);
    }
    return result;
}

}  // namespace

LONG ActiveKeys::Create(const ActiveEntry& entry, std::u16string* path) {
    std::lock_guard<std::mutex> guard(lock_);
    // Drivers stays an ordinary key (driver keys live under it); only the record of running instances is
    // volatile, so that a saved hive never lists devices that are not running.
    RegistryKey drivers;
    LONG result = drivers.Create(HKEY_LOCAL_MACHINE, kDriversKey, REG_OPTION_NON_VOLATILE, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    RegistryKey active;
    result = active.Create(drivers.get(), kActiveSubkey, REG_OPTION_VOLATILE, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    for (int number = kFirstActiveNumber; number <= kLastActiveNumber; ++number) {
        const std::u16string subkey = TwoDigits(number);
        std::u16string candidate = std::u16string(DEVLOAD_ACTIVE_KEY) + u"\\" + subkey;
        RegistryKey instance;
        bool created = false;
        result = instance.Create(active.get(), subkey.c_str(), REG_OPTION_VOLATILE, &created);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        if (!created) {
            continue;  // taken, possibly by a key some program left there
        }
        result = WriteEntry(instance, entry);
        instance.Close();
        if (result != ERROR_SUCCESS) {
            RegDeleteKeyW(active.get(), subkey.c_str());
            return result;
        }
        *path = std::move(candidate);
        return ERROR_SUCCESS;
    }
    return ERROR_NO_SYSTEM_RESOURCES;
}

void ActiveKeys::Remove(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
}

}  // namespace ce
