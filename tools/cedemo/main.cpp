// cedemo: one loopback device driven through the platform the way a program on the device would drive a
// serial port. It writes the driver's key, activates it, finds it under Drivers\Active, opens it by name,
// sends a line through it, changes its comm state, and takes it down again, printing each step.
// Exits 0 when every step did what it should, 1 at the first step that did not.
#include <cstdio>
#include <cstring>
#include <string>

#include <windows.h>

namespace {

constexpr const WCHAR* kDriverKey = u"Drivers\\BuiltIn\\Loopback";
constexpr const WCHAR* kPrefix = u"LPB";
constexpr DWORD kIndex = 1;
constexpr const WCHAR* kDeviceName = u"LPB1:";
constexpr const WCHAR* kModule = u"loopdrv.dll";
constexpr DWORD kMaxValueChars = 256;
constexpr DWORD kNewBaud = CBR_115200;
constexpr BYTE kNewByteSize = 7;
constexpr const char kLine[] = "hello through the loopback driver\r\n";

// The names this program prints are its own ASCII constants and what it wrote into the registry.
std::string Ascii(const WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return out;
}

// The system's words for the error, as FormatMessageW gives them, without their line end.
std::string ErrorWords(DWORD error) {
    WCHAR text[kMaxValueChars] = {};
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                       kMaxValueChars, nullptr) == 0) {
        return "no words for it";
    }
    std::string words = Ascii(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r')) {
        words.pop_back();
    }
    return words;
}

bool Failed(const char* step, DWORD error) {
    std::printf("FAILED     %s: %s (error %u)\n", step, ErrorWords(error).c_str(),
                static_cast<unsigned>(error));
    return false;
}

bool SetString(HKEY key, const WCHAR* name, const WCHAR* value) {
    DWORD bytes = static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes) == ERROR_SUCCESS;
}

bool WriteDriverKey() {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDriverKey, 0, nullptr, 0, 0, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) {
        return Failed("RegCreateKeyExW", static_cast<DWORD>(rc));
    }
    DWORD index = kIndex;
    bool ok = SetString(key, u"Prefix", kPrefix) && SetString(key, u"Dll", kModule) &&
              RegSetValueExW(key, u"Index", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&index),
                             sizeof(index)) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!ok) {
        return Failed("RegSetValueExW", 0);
    }
    std::printf("registry   HKLM\\%s: Prefix=%s Index=%u Dll=%s\n", Ascii(kDriverKey).c_str(),
                Ascii(kPrefix).c_str(), static_cast<unsigned>(kIndex), Ascii(kModule).c_str());
    return true;
}

// The Drivers\Active entry whose Key names our driver key, printed; false when there is none.
bool ShowActiveEntry() {
    HKEY active = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Active", 0, 0, &active) != ERROR_SUCCESS) {
        return false;
    }
    bool found = false;
    WCHAR entry[kMaxValueChars];
    DWORD chars = kMaxValueChars;
    for (DWORD i = 0; !found && RegEnumKeyExW(active, i, entry, &chars, nullptr, nullptr, nullptr, nullptr) ==
                                    ERROR_SUCCESS;
         ++i, chars = kMaxValueChars) {
        HKEY sub = nullptr;
        if (RegOpenKeyExW(active, entry, 0, 0, &sub) != ERROR_SUCCESS) {
            continue;
        }
        WCHAR keyPath[kMaxValueChars] = {};
        WCHAR name[kMaxValueChars] = {};
        DWORD handle = 0;
        DWORD bytes = sizeof(keyPath) - sizeof(WCHAR);
        RegQueryValueExW(sub, u"Key", nullptr, nullptr, reinterpret_cast<BYTE*>(keyPath), &bytes);
        if (lstrcmpiW(keyPath, kDriverKey) == 0) {
            bytes = sizeof(name) - sizeof(WCHAR);
            RegQueryValueExW(sub, u"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &bytes);
            bytes = sizeof(handle);
            RegQueryValueExW(sub, u"Hnd", nullptr, nullptr, reinterpret_cast<BYTE*>(&handle), &bytes);
            std::printf("active     HKLM\\Drivers\\Active\\%s: Key=%s Name=%s Hnd=0x%08x\n",
                        Ascii(entry).c_str(), Ascii(keyPath).c_str(), Ascii(name).c_str(),
                        static_cast<unsigned>(handle));
            found = true;
        }
        RegCloseKey(sub);
    }
    RegCloseKey(active);
    return found;
}

bool EchoLine(HANDLE port) {
    DWORD length = static_cast<DWORD>(std::strlen(kLine));
    DWORD written = 0;
    if (!WriteFile(port, kLine, length, &written, nullptr) || written != length) {
        return Failed("WriteFile", GetLastError());
    }
    std::printf("write      WriteFile: %u bytes\n", static_cast<unsigned>(written));
    char back[sizeof(kLine)] = {};
    DWORD read = 0;
    if (!ReadFile(port, back, sizeof(back), &read, nullptr)) {
        return Failed("ReadFile", GetLastError());
    }
    std::printf("read       ReadFile: %u bytes \"%.*s\"\n", static_cast<unsigned>(read),
                static_cast<int>(read >= 2 ? read - 2 : read), back);
    if (read != length || std::memcmp(back, kLine, length) != 0) {
        return Failed("ReadFile gave back other bytes than were written", 0);
    }
    return true;
}

void PrintDcb(const char* label, const DCB& dcb) {
    static constexpr char kParity[] = "NOEMS";
    static constexpr const char* kStop[] = {"1", "1.5", "2"};
    std::printf("comm       %s: %u baud, %u%c%s\n", label, static_cast<unsigned>(dcb.BaudRate),
                static_cast<unsigned>(dcb.ByteSize), dcb.Parity <= SPACEPARITY ? kParity[dcb.Parity] : '?',
                dcb.StopBits <= TWOSTOPBITS ? kStop[dcb.StopBits] : "?");
}

bool ChangeCommState(HANDLE port) {
    DCB dcb = {};
    if (!GetCommState(port, &dcb)) {
        return Failed("GetCommState", GetLastError());
    }
    PrintDcb("GetCommState", dcb);
    dcb.BaudRate = kNewBaud;
    dcb.ByteSize = kNewByteSize;
    dcb.Parity = EVENPARITY;
    if (!SetCommState(port, &dcb)) {
        return Failed("SetCommState", GetLastError());
    }
    PrintDcb("SetCommState", dcb);
    DCB now = {};
    if (!GetCommState(port, &now)) {
        return Failed("GetCommState", GetLastError());
    }
    PrintDcb("GetCommState", now);
    if (now.BaudRate != kNewBaud || now.ByteSize != kNewByteSize || now.Parity != EVENPARITY) {
        return Failed("GetCommState does not show what SetCommState set", 0);
    }
    return true;
}

bool RunDemo() {
    if (!WriteDriverKey()) {
        return false;
    }
    HANDLE device = ActivateDevice(kDriverKey, 0);
    if (device == nullptr) {
        return Failed("ActivateDevice of loopdrv.dll (in ce-drivers or CE_DRIVER_PATH)", GetLastError());
    }
    std::printf("activate   ActivateDevice: device handle %p\n", device);
    if (!ShowActiveEntry()) {
        DeactivateDevice(device);
        return Failed("no Drivers\\Active entry names the driver key", 0);
    }
    HANDLE port =
        CreateFileW(kDeviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        DeactivateDevice(device);
        return Failed("CreateFileW", GetLastError());
    }
    std::printf("open       CreateFileW(\"%s\"): handle %p\n", Ascii(kDeviceName).c_str(), port);
    bool ok = EchoLine(port) && ChangeCommState(port);
    CloseHandle(port);
    std::printf("close      CloseHandle\n");
    if (!DeactivateDevice(device)) {
        return Failed("DeactivateDevice", GetLastError());
    }
    std::printf("deactivate DeactivateDevice: done\n");
    if (ShowActiveEntry()) {
        return Failed("the Drivers\\Active entry outlived DeactivateDevice", 0);
    }
    std::printf("active     no entry names HKLM\\%s any more\n", Ascii(kDriverKey).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDriverKey);
    return ok;
}

}  // namespace

int main() {
    bool ok = RunDemo();
    std::printf("%s\n", ok ? "cedemo: all steps succeeded" : "cedemo: stopped at the failed step");
    return ok ? 0 : 1;
}
