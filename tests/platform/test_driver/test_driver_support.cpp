#include "platform/test_driver/test_driver_support.h"

#include <gtest/gtest.h>

namespace testdrv {

DWORD DriverCount(LPCWSTR name) {
    HKEY key = nullptr;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCountsKey, 0, 0, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

BlockedRead::BlockedRead(HANDLE file, std::chrono::milliseconds timeout)
    : thread_([outcome = outcome_, file] {
          char byte = 0;
          outcome->result = ReadFile(file, &byte, 1, &outcome->count, nullptr);
          outcome->error = GetLastError();
      }) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (DriverCount(kBlocked) != 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(DriverCount(kBlocked), 1u) << "the read never blocked";
}

}  // namespace testdrv
