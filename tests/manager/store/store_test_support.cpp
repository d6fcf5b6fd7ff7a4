#include "manager/store/store_test_support.h"

#include <cstdlib>
#include <mutex>
#include <utility>

#include "store/store_timing.h"

namespace storetest {
namespace {

std::mutex g_lock;
std::vector<DWORD> g_waits;
std::function<void()> g_onWait;

void RecordWait(DWORD milliseconds) {
    std::function<void()> action;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_waits.push_back(milliseconds);
        action = std::exchange(g_onWait, nullptr);
    }
    if (action) {
        action();
    }
}

}  // namespace

std::u16string Decimal(DWORD value) {
    std::u16string text;
    for (const char c : std::to_string(value)) {
        text.push_back(static_cast<char16_t>(c));
    }
    return text;
}

void StoreTest::SetUp() {
    ASSERT_EQ(setenv("CE_DRIVER_PATH", STORE_TEST_DRIVER_PATH, 1), 0);
    CePlatformReset();
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_waits.clear();
        g_onWait = nullptr;
    }
    store::SetWaitFunction(&RecordWait);
}

void StoreTest::TearDown() {
    store::SetWaitFunction(nullptr);
    CePlatformReset();
}

std::vector<DWORD> Waits() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_waits;
}

void OnNextWait(std::function<void()> action) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_onWait = std::move(action);
}

std::u16string WritePhysicalKey(const PhysicalPort& port) {
    const std::u16string path = u"Drivers\\BuiltIn\\" + port.keyName;
    tulktest::SetDword(path, u"Index", port.number);
    SetText(path, u"Prefix", u"COM");
    SetText(path, u"Dll", u"serialhw.dll");
    if (!port.friendlyName.empty()) {
        SetText(path, u"FriendlyName", port.friendlyName);
    }
    if (!port.modemFriendlyName.empty()) {
        SetText(path + u"\\Unimodem", u"FriendlyName", port.modemFriendlyName);
    }
    if (port.failOpen != 0) {
        tulktest::SetDword(path, physport::kFailOpen, port.failOpen);
    }
    return path;
}

HANDLE StartPhysicalPort(const PhysicalPort& port) {
    HANDLE device = ActivateDevice(WritePhysicalKey(port).c_str(), 0);
    EXPECT_NE(device, nullptr) << "error " << GetLastError();
    return device;
}

physport::Counts CountsOf(DWORD number) {
    physport::Counts counts{};
    HANDLE file = tulktest::OpenByName(u"COM" + Decimal(number) + u":", 0);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    EXPECT_TRUE(
        DeviceIoControl(file, physport::kGetCounts, nullptr, 0, &counts, sizeof(counts), &returned, nullptr));
    CloseHandle(file);
    --counts.opens;  // this query's own
    return counts;
}

bool SameEntry(const PortEntry& a, const PortEntry& b) {
    return a.isPhysical == b.isPhysical && a.isDisabled == b.isDisabled && a.deviceHandle == b.deviceHandle &&
           a.portNumber == b.portNumber && a.arrayIndex == b.arrayIndex &&
           lstrcmpW(a.keyPath, b.keyPath) == 0 && lstrcmpW(a.prefix, b.prefix) == 0 &&
           lstrcmpW(a.friendlyName, b.friendlyName) == 0;
}

std::u16string ActiveKeyOf(const std::u16string& deviceKey) {
    for (DWORD number = 1; number < 100; ++number) {
        const std::u16string path =
            u"Drivers\\Active\\" + std::u16string(number < 10 ? u"0" : u"") + Decimal(number);
        if (KeyExists(path) && TextOf(path, u"Key") == deviceKey) {
            return path;
        }
    }
    return {};
}

bool KeyExists(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::vector<Value> ValuesOf(const std::u16string& path) {
    std::vector<Value> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &key) != ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[MAX_PATH] = {};
        DWORD chars = MAX_PATH;
        BYTE data[1024] = {};
        DWORD bytes = sizeof(data);
        Value value;
        if (RegEnumValueW(key, index, name, &chars, nullptr, &value.type, data, &bytes) != ERROR_SUCCESS) {
            break;
        }
        value.name = name;
        value.bytes.assign(data, data + bytes);
        values.push_back(std::move(value));
    }
    RegCloseKey(key);
    return values;
}

std::u16string TextOf(const std::u16string& path, const char16_t* name) {
    for (const Value& value : ValuesOf(path)) {
        if (value.name == name && value.type == REG_SZ) {
            std::u16string text(reinterpret_cast<const char16_t*>(value.bytes.data()),
                                value.bytes.size() / 2);
            return text.substr(0, text.find(u'\0'));
        }
    }
    return {};
}

void SetText(const std::u16string& path, const char16_t* name, const std::u16string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

}  // namespace storetest
