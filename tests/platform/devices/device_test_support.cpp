#include "platform/devices/device_test_support.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace devtest {
namespace {

HKEY OpenKey(const std::u16string& key, bool create) {
    HKEY handle = nullptr;
    const LONG result = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &handle, nullptr)
                               : RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle);
    EXPECT_TRUE(result == ERROR_SUCCESS || !create) << result;
    return result == ERROR_SUCCESS ? handle : nullptr;
}

void Store(const std::u16string& key, const char16_t* name, DWORD type, const void* data, DWORD size) {
    HKEY handle = OpenKey(key, true);
    EXPECT_EQ(RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(handle);
}

template <class Record>
Record Ask(HANDLE file, DWORD code) {
    Record record{};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(file, code, nullptr, 0, &record, sizeof(record), &returned, nullptr))
        << "error " << GetLastError();
    EXPECT_EQ(returned, sizeof(record));
    return record;
}

std::u16string Digit(DWORD value) {
    return std::u16string(1, static_cast<char16_t>(u'0' + value % 10));
}

}  // namespace

#ifndef CE_TEST_HOST_PROGRAM
void DeviceTest::SetUp() {
    UseDriverPath(kTestDriverDir);
    CePlatformReset();
}
#endif

void OpenDeviceTest::SetUp() {
    DeviceTest::SetUp();
    device_ = ActivateTest(1);
    file_ = OpenDevice(TestName(1));
}

void UseDriverPath(const std::string& path) {
    ASSERT_EQ(setenv("CE_DRIVER_PATH", path.c_str(), 1), 0);
}

std::u16string WriteDeviceKey(const std::u16string& name, const std::u16string& prefix, DWORD index,
                              const std::u16string& dll) {
    const std::u16string key = u"Drivers\\BuiltIn\\" + name;
    SetValue(key, u"Prefix", prefix);
    SetValue(key, u"Index", index);
    SetValue(key, u"Dll", dll);
    return key;
}

std::u16string WriteTestKey(DWORD index) {
    return WriteDeviceKey(kTestPrefix + Digit(index), kTestPrefix, index);
}

HANDLE ActivateTest(DWORD index, DWORD clientInfo) {
    HANDLE device = ActivateDevice(WriteTestKey(index).c_str(), clientInfo);
    EXPECT_NE(device, nullptr) << "activation of TST" << index << " failed with " << GetLastError();
    return device;
}

std::u16string TestName(DWORD index) {
    return kTestPrefix + Digit(index) + u":";
}

std::u16string ActiveSubkey(DWORD number) {
    return std::u16string(kActiveKey) + u"\\" + Digit(number / 10) + Digit(number);
}

void SetValue(const std::u16string& key, const char16_t* name, DWORD value) {
    Store(key, name, REG_DWORD, &value, sizeof(value));
}

void SetValue(const std::u16string& key, const char16_t* name, const std::u16string& value) {
    Store(key, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
}

void DeleteValue(const std::u16string& key, const char16_t* name) {
    HKEY handle = OpenKey(key, true);
    EXPECT_EQ(RegDeleteValueW(handle, name), ERROR_SUCCESS);
    RegCloseKey(handle);
}

StoredValue ReadValue(const std::u16string& key, const char16_t* name) {
    StoredValue value;
    HKEY handle = OpenKey(key, false);
    WCHAR data[256] = {};
    value.size = sizeof(data) - sizeof(WCHAR);
    if (handle == nullptr || RegQueryValueExW(handle, name, nullptr, &value.type,
                                              reinterpret_cast<LPBYTE>(data), &value.size) != ERROR_SUCCESS) {
        value = StoredValue{};
    } else if (value.type == REG_SZ) {
        value.text = data;
    } else {
        std::memcpy(&value.number, data, sizeof(value.number));
    }
    RegCloseKey(handle);
    return value;
}

bool KeyExists(const std::u16string& key) {
    HKEY handle = OpenKey(key, false);
    RegCloseKey(handle);
    return handle != nullptr;
}

DWORD CountSubkeys(const std::u16string& key) {
    DWORD subkeys = 0;
    HKEY handle = OpenKey(key, false);
    if (handle != nullptr) {
        RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
        RegCloseKey(handle);
    }
    return subkeys;
}

HANDLE OpenDevice(const std::u16string& name, DWORD access) {
    HANDLE file = CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "open failed with " << GetLastError();
    return file;
}

testdrv::Info GetInfo(HANDLE file) {
    return Ask<testdrv::Info>(file, testdrv::kGetInfo);
}

testdrv::LastCall GetLastCall(HANDLE file) {
    return Ask<testdrv::LastCall>(file, testdrv::kGetLastCall);
}

HANDLE SetLinger(HANDLE file) {
    HANDLE linger = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD value = static_cast<DWORD>(reinterpret_cast<uintptr_t>(linger));
    EXPECT_TRUE(
        DeviceIoControl(file, testdrv::kSetLinger, &value, sizeof(value), nullptr, 0, nullptr, nullptr));
    return linger;
}

DWORD DriverCount(LPCWSTR name) {
    return ReadValue(testdrv::kCountsKey, name).number;
}

BlockedRead::BlockedRead(HANDLE file, std::chrono::milliseconds timeout)
    : thread_([outcome = outcome_, file] {
          char byte = 0;
          outcome->result = ReadFile(file, &byte, 1, &outcome->count, nullptr);
          outcome->error = GetLastError();
      }) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (DriverCount(testdrv::kBlocked) != 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(DriverCount(testdrv::kBlocked), 1u) << "the read never blocked";
}

bool TestModuleMapped() {
    char resolved[PATH_MAX];
    const std::string module = kTestDriverDir + "/testdrv.dll";
    EXPECT_NE(realpath(module.c_str(), resolved), nullptr) << module;
    std::ifstream maps("/proc/self/maps");
    const std::string suffix = std::string(" ") + resolved;
    for (std::string line; std::getline(maps, line);) {
        if (line.ends_with(suffix)) {
            return true;
        }
    }
    return false;
}

}  // namespace devtest
