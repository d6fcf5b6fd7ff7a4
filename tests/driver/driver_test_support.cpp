#include "driver/driver_test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

namespace tulktest {
namespace {

// DevConfig as the manager writes it: Unimodem's record for a direct connection at 19200 baud, 8N1.
constexpr BYTE kDevConfig[] = {0x10, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x10, 0x01, 0x00, 0x00, 0x00,
                               0x4B, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr DWORD kPollMs = 5;

HKEY CreateKey(const std::u16string& key) {
    HKEY handle = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, 0, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    return handle;
}

void Set(HKEY key, const char16_t* name, DWORD type, const void* data, size_t size) {
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
              ERROR_SUCCESS);
}

void SetDwordValue(HKEY key, const char16_t* name, DWORD value) {
    Set(key, name, REG_DWORD, &value, sizeof(value));
}

void SetStringValue(HKEY key, const char16_t* name, const std::u16string& value) {
    Set(key, name, REG_SZ, value.c_str(), (value.size() + 1) * sizeof(char16_t));
}

std::u16string Decimal(DWORD value) {
    std::u16string text;
    for (const char c : std::to_string(value)) {
        text.push_back(static_cast<char16_t>(c));
    }
    return text;
}

}  // namespace

void DriverTest::SetUp() {
    ASSERT_EQ(setenv("CE_DRIVER_PATH", TULK_DRIVER_DIR, 1), 0);
    CePlatformReset();
}

void DriverTest::TearDown() {
    CePlatformReset();
}

std::u16string PortKeyPath(DWORD arrayIndex) {
    return u"Drivers\\BuiltIn\\TULK" + Decimal(arrayIndex);
}

std::u16string DeviceName(const PortKey& port) {
    return port.prefix + Decimal(port.number) + u":";
}

std::u16string WritePortKey(const PortKey& port) {
    const std::u16string path = PortKeyPath(port.arrayIndex);
    HKEY key = CreateKey(path);
    SetDwordValue(key, u"Priority", 0);
    SetDwordValue(key, u"DeviceArrayIndex", port.arrayIndex);
    if (port.partner != kNoPartner) {
        SetDwordValue(key, u"KMXPair", static_cast<DWORD>(port.partner));
    }
    SetDwordValue(key, u"Index", port.number);
    SetStringValue(key, u"Prefix", port.prefix);
    SetStringValue(key, u"Dll", u"tulk.dll");
    SetDwordValue(key, u"DeviceType", 0);
    SetStringValue(key, u"Tsp", u"Unimodem.dll");
    SetStringValue(key, u"FriendlyName", u"Virtual port " + port.prefix + Decimal(port.number));
    Set(key, u"DevConfig", REG_BINARY, kDevConfig, sizeof(kDevConfig));
    RegCloseKey(key);
    return path;
}

HANDLE ActivatePort(const PortKey& port) {
    return ActivateDevice(WritePortKey(port).c_str(), 0);
}

PortKey PairEnd(const std::u16string& prefix, DWORD end) {
    return PortKey{
        .arrayIndex = end, .prefix = prefix, .number = 5 + end, .partner = static_cast<LONG>(end ^ 1)};
}

std::u16string WriteActiveKey(DWORD number, const std::u16string& deviceKey) {
    const std::u16string path = u"Drivers\\Active\\" + Decimal(number);
    HKEY key = CreateKey(path);
    SetStringValue(key, u"Key", deviceKey);
    RegCloseKey(key);
    return path;
}

void SetDword(const std::u16string& key, const char16_t* name, DWORD value) {
    HKEY handle = CreateKey(key);
    SetDwordValue(handle, name, value);
    RegCloseKey(handle);
}

void DeleteValue(const std::u16string& key, const char16_t* name) {
    HKEY handle = CreateKey(key);
    EXPECT_EQ(RegDeleteValueW(handle, name), ERROR_SUCCESS);
    RegCloseKey(handle);
}

HANDLE OpenByName(const std::u16string& name, DWORD access) {
    return CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

DWORD QueryOpenState(HANDLE file) {
    DWORD returned = kUnsetError;
    EXPECT_TRUE(DeviceIoControl(file, 0x001B006C, nullptr, 0, nullptr, 0, &returned, nullptr))
        << "error " << GetLastError();
    return returned;
}

int ThreadCount() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<int>(std::distance(std::filesystem::begin(tasks), std::filesystem::end(tasks)));
}

int BaselineThreadCount() {
    std::thread([] {}).join();
    return ThreadCount();
}

bool DriverModuleMapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("/tulk.dll") != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeoutMs) {
            return condition();
        }
        Sleep(kPollMs);
    }
    return true;
}

}  // namespace tulktest
