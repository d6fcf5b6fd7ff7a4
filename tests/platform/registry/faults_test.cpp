// Fault points: an injected failure changes nothing, in memory or in the hive.
#include <string>

#include "platform/registry/registry_test_support.h"

namespace {

using regtest::PrintTo;

using regtest::RegistryTest;

constexpr DWORD kInjected = ERROR_DISK_FULL;

struct FaultCase {
    const char* label;
    const char* point;
    LONG (*call)(HKEY base);
    bool (*unchanged)(HKEY base);
};

LONG ReadV(HKEY base) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG status =
        RegQueryValueExW(base, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    return status == ERROR_SUCCESS ? static_cast<LONG>(value) : -1;
}

class FaultPoints : public RegistryTest, public ::testing::WithParamInterface<FaultCase> {
  protected:
    std::string HivePath() const { return dir_.File("faults.reg"); }
    regtest::ScratchDir dir_;
};

TEST_P(FaultPoints, FailTheCallAndChangeNothing) {
    const FaultCase& c = GetParam();
    ASSERT_TRUE(CeRegistryUseHive(HivePath().c_str()));
    HKEY base = Create(HKEY_LOCAL_MACHINE, u"Faults");
    Create(base, u"Existing");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(base, u"v", 1));
    const std::string saved = regtest::ReadWholeFile(HivePath());

    ASSERT_TRUE(CePlatformInjectFault(c.point, 0, kInjected));
    EXPECT_EQ(static_cast<LONG>(kInjected), c.call(base));
    EXPECT_TRUE(c.unchanged(base));
    EXPECT_EQ(saved, regtest::ReadWholeFile(HivePath()));

    // The fault fires once: the same call then goes through.
    EXPECT_EQ(ERROR_SUCCESS, c.call(base));
}

INSTANTIATE_TEST_SUITE_P(
    Registry, FaultPoints,
    ::testing::Values(
        FaultCase{"Create", "RegCreateKeyExW",
                  [](HKEY base) {
                      HKEY key = nullptr;
                      const LONG status =
                          RegCreateKeyExW(base, u"New", 0, nullptr, 0, 0, nullptr, &key, nullptr);
                      RegCloseKey(key);
                      return status;
                  },
                  [](HKEY base) { return !regtest::KeyExists(base, u"New"); }},
        FaultCase{"Open", "RegOpenKeyExW",
                  [](HKEY base) {
                      HKEY key = reinterpret_cast<HKEY>(0x1234);
                      const LONG status = RegOpenKeyExW(base, u"Existing", 0, 0, &key);
                      if (status != ERROR_SUCCESS && key != nullptr) {
                          return static_cast<LONG>(-1);
                      }
                      RegCloseKey(key);
                      return status;
                  },
                  [](HKEY base) { return regtest::KeyExists(base, u"Existing"); }},
        FaultCase{"DeleteKey", "RegDeleteKeyW", [](HKEY base) { return RegDeleteKeyW(base, u"Existing"); },
                  [](HKEY base) { return regtest::KeyExists(base, u"Existing"); }},
        FaultCase{"SetValue", "RegSetValueExW",
                  [](HKEY base) {
                      const DWORD value = 2;
                      return RegSetValueExW(base, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                            sizeof(value));
                  },
                  [](HKEY base) { return ReadV(base) == 1; }},
        FaultCase{"DeleteValue", "RegDeleteValueW", [](HKEY base) { return RegDeleteValueW(base, u"v"); },
                  [](HKEY base) { return ReadV(base) == 1; }}),
    regtest::LabelName<FaultCase>);

TEST_F(RegistryTest, FaultFiresAfterTheCallsItSkips) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Skips");
    ASSERT_TRUE(CePlatformInjectFault("RegSetValueExW", 2, kInjected));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, u"a", 1));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, u"b", 1));
    EXPECT_EQ(static_cast<LONG>(kInjected), SetDword(key, u"c", 1));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, u"d", 1));
    EXPECT_EQ((std::vector<std::u16string>{u"a", u"b", u"d"}), ValueNames(key));
}

}  // namespace
