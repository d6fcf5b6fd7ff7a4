// Many threads on one registry with a hive attached: no lost keys, no torn values, a loadable file.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry_test_support.h"

namespace {

using regtest::RegistryTest;

constexpr int kThreads = 4;
constexpr int kRoundsPerThread = 60;

TEST_F(RegistryTest, ConcurrentChangesStayConsistentAndSaveALoadableHive) {
    regtest::ScratchDir dir;
    const std::string hive = dir.File("busy.reg");
    ASSERT_TRUE(CeRegistryUseHive(hive.c_str()));
    Create(HKEY_LOCAL_MACHINE, u"Shared");

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            const std::u16string own = u"Shared\\T" + regtest::Wide(std::to_string(t));
            for (int round = 0; round < kRoundsPerThread; ++round) {
                HKEY key = nullptr;
                if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, own.c_str(), 0, nullptr, 0, 0, nullptr, &key,
                                    nullptr) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                const DWORD value = static_cast<DWORD>(round);
                if (RegSetValueExW(key, u"Round", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                   sizeof(value)) != ERROR_SUCCESS) {
                    ++failures;
                }
                // Everyone also churns one common key, which other threads delete under it.
                HKEY common = nullptr;
                if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Shared\\Common", 0, nullptr, 0, 0, nullptr, &common,
                                    nullptr) == ERROR_SUCCESS) {
                    const LONG status = RegSetValueExW(common, u"By", 0, REG_DWORD,
                                                       reinterpret_cast<const BYTE*>(&value), sizeof(value));
                    if (status != ERROR_SUCCESS && status != ERROR_KEY_DELETED) {
                        ++failures;
                    }
                    RegCloseKey(common);
                }
                if (round % 3 == 0) {
                    const LONG status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Shared\\Common");
                    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                        ++failures;
                    }
                }
                WCHAR name[16];
                DWORD count = 16;
                RegEnumKeyExW(HKEY_LOCAL_MACHINE, 0, name, &count, nullptr, nullptr, nullptr, nullptr);
                RegCloseKey(key);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    EXPECT_STREQ("", CeRegistryLastError());

    CePlatformReset();
    ASSERT_TRUE(CeRegistryUseHive(hive.c_str())) << CeRegistryLastError();
    for (int t = 0; t < kThreads; ++t) {
        const std::u16string own = u"Shared\\T" + regtest::Wide(std::to_string(t));
        HKEY key = Open(HKEY_LOCAL_MACHINE, own.c_str());
        EXPECT_EQ(regtest::Bytes({kRoundsPerThread - 1, 0, 0, 0}), Get(key, u"Round").second);
    }
}

}  // namespace
