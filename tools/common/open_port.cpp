#include "open_port.h"

#include <devload.h>

#include <ceplatform.h>

#include <algorithm>
#include <cctype>

#include "error_text.h"
#include "process_name.h"

namespace {

constexpr DWORD kSubkeyChars = MAX_PATH;
constexpr DWORD kTextBytes = 64;
constexpr const char16_t* kTulkModule = u"tulk.dll";
// The manager marks a physical port it disabled by this prefix: C, the digit zero, M.
constexpr const char16_t* kDisabledPrefix = u"C0M";

enum class KeptAs { Nothing, Stopped, StoppedTulk, Disabled };

std::u16string Upper(const std::string& text) {
    std::u16string upper;
    for (const char c : text) {
        upper.push_back(static_cast<char16_t>(std::toupper(static_cast<unsigned char>(c))));
    }
    return upper;
}

std::u16string ReadText(HKEY key, const char16_t* name) {
    WCHAR text[kTextBytes / sizeof(WCHAR) + 1] = {};
    DWORD type = REG_NONE;
    DWORD bytes = kTextBytes;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return text;
}

// What the device keeps under the name in Drivers\BuiltIn, the keys its device manager starts ports from.
KeptAs FindKept(const std::string& name) {
    std::u16string wanted = Upper(name);
    if (!wanted.empty() && wanted.back() == u':') {
        wanted.pop_back();
    }
    HKEY builtIn = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, DEVLOAD_BUILT_IN_KEY, 0, 0, &builtIn) != ERROR_SUCCESS) {
        return KeptAs::Nothing;
    }
    KeptAs kept = KeptAs::Nothing;
    for (DWORD index = 0; kept == KeptAs::Nothing; ++index) {
        WCHAR subkey[kSubkeyChars];
        DWORD chars = kSubkeyChars;
        const LONG status = RegEnumKeyExW(builtIn, index, subkey, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        HKEY key = nullptr;
        if (RegOpenKeyExW(builtIn, subkey, 0, 0, &key) != ERROR_SUCCESS) {
            continue;
        }
        DWORD number = 0;
        DWORD type = REG_NONE;
        DWORD bytes = sizeof(number);
        const std::u16string prefix = ReadText(key, u"Prefix");
        if (RegQueryValueExW(key, u"Index", nullptr, &type, reinterpret_cast<BYTE*>(&number), &bytes) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && number <= 9 && prefix.size() == 3) {
            const std::u16string digit(1, static_cast<char16_t>(u'0' + number));
            if (Upper(std::string(prefix.begin(), prefix.end())) + digit == wanted) {
                kept = lstrcmpiW(ReadText(key, u"Dll").c_str(), kTulkModule) == 0 ? KeptAs::StoppedTulk
                                                                                  : KeptAs::Stopped;
            } else if (prefix == kDisabledPrefix && u"COM" + digit == wanted) {
                kept = KeptAs::Disabled;
            }
        }
        RegCloseKey(key);
    }
    RegCloseKey(builtIn);
    return kept;
}

constexpr DWORD kMostUsersNamed = 4;

// "another program (process 1234, kmxterm)" as the device tells; "another program" when it cannot.
std::string UsersOf(const std::string& name) {
    const std::u16string wide(name.begin(), name.end());
    DWORD users[kMostUsersNamed] = {};
    const DWORD count = std::min(CeGetDeviceUsers(wide.c_str(), users, kMostUsersNamed), kMostUsersNamed);
    std::string words = "another program";
    for (DWORD i = 0; i < count; ++i) {
        if (users[i] == GetCurrentProcessId()) {
            return "this program";
        }
        const std::string program = ProcessName(users[i]);
        words += (i == 0 ? " (process " : ", process ") + std::to_string(users[i]) +
                 (program.empty() ? "" : ", " + program);
    }
    return count == 0 ? words : words + ")";
}

}  // namespace

HANDLE OpenPortByName(const std::string& name) {
    const std::u16string wide(name.begin(), name.end());  // port names are ASCII
    return CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::string OpenFailureWords(const std::string& name, DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
            switch (FindKept(name)) {
                case KeptAs::StoppedTulk:
                    return name + " is kept but not active: tulkcfg start";
                case KeptAs::Stopped:
                    return name + " is kept but not active: its driver did not start with the device";
                case KeptAs::Disabled:
                    return name + " is a physical port disabled in the manager (tulkcfg)";
                case KeptAs::Nothing:
                    break;
            }
            return name + " no such port on the device (tulkcfg list shows the ports)";
        case ERROR_INVALID_ACCESS:
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // A port has one user at a time: the driver refuses a second open for data.
            return name + " is in use by " + UsersOf(name);
        default:
            return name + " cannot open: " + Win32ErrorText(code);
    }
}
