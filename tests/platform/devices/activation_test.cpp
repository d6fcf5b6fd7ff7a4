// ActivateDevice and DeactivateDevice: the registry record, the name, the module and rollback on failure.
#include "platform/devices/device_test_support.h"

namespace devtest {
namespace {

using ActivationTest = DeviceTest;

// The failure leaves nothing: no active record, the name free, the module unloaded.
void ExpectNoTrace() {
    EXPECT_EQ(CountSubkeys(kActiveKey), 0u);
    SetLastError(kUnsetError);
    EXPECT_EQ(CreateFileW(u"TST1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(TestModuleMapped());
    EXPECT_EQ(DriverCount(testdrv::kAttaches), DriverCount(testdrv::kDetaches));
}

TEST_F(ActivationTest, RecordsTheInstanceAndHandsInitItsActiveKey) {
    WriteTestKey(3);
    const std::u16string spelled = u"drivers\\BUILTIN\\tst3";  // recorded as given
    SetLastError(kUnsetError);
    HANDLE device = ActivateDevice(spelled.c_str(), 0x1234ABCD);
    ASSERT_NE(device, nullptr) << GetLastError();
    EXPECT_LAST_ERROR(kUnsetError);

    const StoredValue key = ReadValue(ActiveSubkey(1), u"Key");
    EXPECT_EQ(key.type, REG_SZ);
    EXPECT_EQ(key.text, spelled);
    EXPECT_EQ(key.size, (spelled.size() + 1) * sizeof(WCHAR));
    const StoredValue name = ReadValue(ActiveSubkey(1), u"Name");
    EXPECT_EQ(name.type, REG_SZ);
    EXPECT_EQ(name.text, u"TST3:");
    EXPECT_EQ(name.size, 6 * sizeof(WCHAR));
    const StoredValue handle = ReadValue(ActiveSubkey(1), u"Hnd");
    EXPECT_EQ(handle.type, REG_DWORD);
    EXPECT_EQ(handle.number, static_cast<DWORD>(reinterpret_cast<uintptr_t>(device)));

    const testdrv::Info info = GetInfo(OpenDevice(u"TST3:"));
    EXPECT_EQ(std::u16string(info.activeKey), u"Drivers\\Active\\01");
    EXPECT_EQ(info.clientInfo, 0x1234ABCDu);
}

TEST_F(ActivationTest, ActiveNumbersTakeTheLowestFree) {
    ActivateTest(1);
    HANDLE second = ActivateTest(2);
    ActivateTest(3);
    ASSERT_TRUE(DeactivateDevice(second));
    EXPECT_FALSE(KeyExists(ActiveSubkey(2)));
    EXPECT_EQ(ReadValue(ActiveSubkey(3), u"Name").text, u"TST3:");
    ActivateTest(4);
    EXPECT_EQ(ReadValue(ActiveSubkey(2), u"Name").text, u"TST4:");
    EXPECT_EQ(CountSubkeys(kActiveKey), 3u);
}

TEST_F(ActivationTest, ANameInUseIsRefusedWhateverItsCase) {
    HANDLE device = ActivateTest(1);
    for (const char16_t* prefix : {u"TST", u"tst"}) {
        SetLastError(kUnsetError);
        EXPECT_EQ(ActivateDevice(WriteDeviceKey(u"Rival", prefix, 1).c_str(), 0), nullptr);
        EXPECT_LAST_ERROR(ERROR_DEVICE_IN_USE);
    }
    EXPECT_EQ(CountSubkeys(kActiveKey), 1u);
    EXPECT_EQ(DriverCount(testdrv::kAttaches), 1u);

    ASSERT_TRUE(DeactivateDevice(device));
    EXPECT_NE(ActivateDevice(WriteDeviceKey(u"Rival", kTestPrefix, 1).c_str(), 0), nullptr) << GetLastError();
}

// One change to a valid test key, and the error that follows.
enum class Edit { UseMissingKey, Delete, Text, Number };

struct BadKeyCase {
    const char* label;
    Edit edit;
    const char16_t* value;
    std::u16string text;
    DWORD number;
    DWORD error;
};

void PrintTo(const BadKeyCase& value, std::ostream* out) {
    *out << value.label;
}

class BadDeviceKey : public DeviceTest, public ::testing::WithParamInterface<BadKeyCase> {};

TEST_P(BadDeviceKey, FailsWithoutTrace) {
    const BadKeyCase& bad = GetParam();
    std::u16string key = WriteTestKey(1);
    switch (bad.edit) {
        case Edit::UseMissingKey:
            key += u"\\Missing";
            break;
        case Edit::Delete:
            DeleteValue(key, bad.value);
            break;
        case Edit::Text:
            SetValue(key, bad.value, bad.text);
            break;
        case Edit::Number:
            SetValue(key, bad.value, bad.number);
            break;
    }
    SetLastError(kUnsetError);
    EXPECT_EQ(ActivateDevice(key.c_str(), 0), nullptr);
    EXPECT_LAST_ERROR(bad.error);
    ExpectNoTrace();
}

const BadKeyCase kBadKeys[] = {
    {"MissingKey", Edit::UseMissingKey, nullptr, u"", 0, ERROR_FILE_NOT_FOUND},
    {"NoPrefix", Edit::Delete, u"Prefix", u"", 0, ERROR_INVALID_PARAMETER},
    {"ShortPrefix", Edit::Text, u"Prefix", u"TS", 0, ERROR_INVALID_PARAMETER},
    {"LongPrefix", Edit::Text, u"Prefix", u"TSTX", 0, ERROR_INVALID_PARAMETER},
    {"PunctuationInPrefix", Edit::Text, u"Prefix", u"T_T", 0, ERROR_INVALID_PARAMETER},
    {"NonAsciiPrefix", Edit::Text, u"Prefix", u"T\u00C9T", 0, ERROR_INVALID_PARAMETER},
    {"PrefixNotAString", Edit::Number, u"Prefix", u"", 7, ERROR_INVALID_PARAMETER},
    {"NoIndex", Edit::Delete, u"Index", u"", 0, ERROR_INVALID_PARAMETER},
    {"IndexTen", Edit::Number, u"Index", u"", 10, ERROR_INVALID_PARAMETER},
    {"IndexAsString", Edit::Text, u"Index", u"1", 0, ERROR_INVALID_PARAMETER},
    {"NoDll", Edit::Delete, u"Dll", u"", 0, ERROR_INVALID_PARAMETER},
    {"EmptyDll", Edit::Text, u"Dll", u"", 0, ERROR_INVALID_PARAMETER},
    {"MissingModule", Edit::Text, u"Dll", u"nosuch.dll", 0, ERROR_MOD_NOT_FOUND},
    {"MissingModulePath", Edit::Text, u"Dll", u"/nonexistent/testdrv.dll", 0, ERROR_MOD_NOT_FOUND},
    {"MissingEntryPoint", Edit::Text, u"Dll", u"partial.dll", 0, ERROR_PROC_NOT_FOUND},
    // A valid prefix whose entry points the module lacks, as a disabled port's "C0M".
    {"PrefixWithoutEntryPoints", Edit::Text, u"Prefix", u"C0M", 0, ERROR_PROC_NOT_FOUND},
    {"DllMainRefuses", Edit::Text, u"Dll",
     std::u16string(kRefusingDriverDir.begin(), kRefusingDriverDir.end()) + u"/testdrv.dll", 0,
     ERROR_DLL_INIT_FAILED},
};

INSTANTIATE_TEST_SUITE_P(Keys, BadDeviceKey, ::testing::ValuesIn(kBadKeys),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ActivationTest, NullKeyIsAnInvalidParameter) {
    SetLastError(kUnsetError);
    EXPECT_EQ(ActivateDevice(nullptr, 0), nullptr);
    EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
}

// Init's refusal: the driver's own error when it set one, ERROR_GEN_FAILURE when it did not.
class InitFailure : public DeviceTest, public ::testing::WithParamInterface<std::pair<DWORD, DWORD>> {};

TEST_P(InitFailure, LeavesNoTraceAndKeepsTheDriversError) {
    const std::u16string key = WriteTestKey(1);
    SetValue(key, testdrv::kFailInit, GetParam().first);
    SetLastError(kUnsetError);
    EXPECT_EQ(ActivateDevice(key.c_str(), 0), nullptr);
    EXPECT_LAST_ERROR(GetParam().second);
    ExpectNoTrace();
    EXPECT_EQ(DriverCount(testdrv::kDetaches), 1u);

    // The next start takes the same active number and a module loaded afresh.
    DeleteValue(key, testdrv::kFailInit);
    ASSERT_NE(ActivateDevice(key.c_str(), 0), nullptr);
    EXPECT_TRUE(KeyExists(ActiveSubkey(1)));
    EXPECT_EQ(GetInfo(OpenDevice(TestName(1))).initsSinceLoad, 1u);
}

INSTANTIATE_TEST_SUITE_P(Errors, InitFailure,
                         ::testing::Values(std::make_pair(DWORD{ERROR_ACCESS_DENIED},
                                                          DWORD{ERROR_ACCESS_DENIED}),
                                           std::make_pair(DWORD{0}, DWORD{ERROR_GEN_FAILURE})));

TEST_F(ActivationTest, DeactivationUnloadsAndTheNextLoadStartsAfresh) {
    HANDLE device = ActivateTest(1);
    EXPECT_TRUE(TestModuleMapped());
    SetLastError(kUnsetError);
    ASSERT_TRUE(DeactivateDevice(device));
    EXPECT_LAST_ERROR(kUnsetError);
    EXPECT_FALSE(KeyExists(ActiveSubkey(1)));
    EXPECT_FALSE(TestModuleMapped());
    EXPECT_EQ(DriverCount(testdrv::kDetaches), 1u);

    ActivateTest(1);
    EXPECT_EQ(GetInfo(OpenDevice(TestName(1))).initsSinceLoad, 1u);
    EXPECT_EQ(DriverCount(testdrv::kAttaches), 2u);
}

TEST_F(ActivationTest, InstancesShareTheirModuleUntilTheLastGoes) {
    HANDLE first = ActivateTest(1);
    const std::string path = kTestDriverDir + "/./testdrv.dll";  // the same file, named by path
    HANDLE second =
        ActivateDevice(WriteDeviceKey(u"ByPath", kTestPrefix, 2, {path.begin(), path.end()}).c_str(), 0);
    ASSERT_NE(second, nullptr) << GetLastError();
    HANDLE file = OpenDevice(TestName(2));
    EXPECT_EQ(GetInfo(file).initsSinceLoad, 2u);
    EXPECT_EQ(DriverCount(testdrv::kAttaches), 1u);

    ASSERT_TRUE(DeactivateDevice(first));
    EXPECT_EQ(DriverCount(testdrv::kDetaches), 0u);
    EXPECT_EQ(GetInfo(file).opens, 1u);
    ASSERT_TRUE(DeactivateDevice(second));
    EXPECT_FALSE(TestModuleMapped());
    EXPECT_EQ(DriverCount(testdrv::kDetaches), 1u);
}

TEST_F(ActivationTest, DriverPathIsSearchedInOrder) {
    const std::u16string key = WriteTestKey(1);
    UseDriverPath(kRefusingDriverDir + ":" + kTestDriverDir);
    SetLastError(kUnsetError);
    EXPECT_EQ(ActivateDevice(key.c_str(), 0), nullptr);
    EXPECT_LAST_ERROR(ERROR_DLL_INIT_FAILED);

    UseDriverPath("::/nonexistent:" + kTestDriverDir + ":" + kRefusingDriverDir);
    HANDLE device = ActivateDevice(key.c_str(), 0);
    ASSERT_NE(device, nullptr) << GetLastError();
    EXPECT_TRUE(DeactivateDevice(device));

    ASSERT_EQ(unsetenv("CE_DRIVER_PATH"), 0);
    EXPECT_EQ(ActivateDevice(key.c_str(), 0), nullptr);
    EXPECT_LAST_ERROR(ERROR_MOD_NOT_FOUND);
}

TEST_F(ActivationTest, InitMayOpenOtherDevices) {
    ActivateTest(1);
    const std::u16string key = WriteTestKey(2);
    SetValue(key, testdrv::kOpenInInit, u"tst1:");
    ASSERT_NE(ActivateDevice(key.c_str(), 0), nullptr) << GetLastError();
    EXPECT_EQ(GetInfo(OpenDevice(TestName(2))).openedInInit, 1u);
    const testdrv::Info other = GetInfo(OpenDevice(TestName(1)));
    EXPECT_EQ(other.opens, 2u);
    EXPECT_EQ(other.closes, 1u);
}

// Armed while another instance holds the module, so that DllMain's registry calls do not count, and so
// that the end shows whether the failed activation gave its use of the module back.
struct FaultCase {
    const char* point;
    DWORD skip;
    DWORD error;
};

void PrintTo(const FaultCase& value, std::ostream* out) {
    *out << value.point;
}

class ActivationFault : public DeviceTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ActivationFault, FailsWithTheFaultsErrorAndLeavesNoTrace) {
    HANDLE holder = ActivateTest(1);
    const std::u16string key = WriteTestKey(2);
    ASSERT_TRUE(CePlatformInjectFault(GetParam().point, GetParam().skip, GetParam().error));
    SetLastError(kUnsetError);
    EXPECT_EQ(ActivateDevice(key.c_str(), 0), nullptr);
    EXPECT_LAST_ERROR(GetParam().error);
    EXPECT_EQ(CountSubkeys(kActiveKey), 1u);
    EXPECT_EQ(CreateFileW(TestName(2).c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);

    ASSERT_TRUE(DeactivateDevice(holder));
    EXPECT_FALSE(TestModuleMapped());
    CePlatformClearFaults();
    EXPECT_NE(ActivateDevice(key.c_str(), 0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Points, ActivationFault,
                         ::testing::Values(FaultCase{"ActivateDevice", 0, ERROR_OUTOFMEMORY},
                                           FaultCase{"RegOpenKeyExW", 0, ERROR_ACCESS_DENIED},
                                           FaultCase{"LoadModule", 0, ERROR_NOT_ENOUGH_MEMORY},
                                           // Drivers, Drivers\Active, then the instance's own key.
                                           FaultCase{"RegCreateKeyExW", 2, ERROR_CANTWRITE},
                                           // Key, then Name.
                                           FaultCase{"RegSetValueExW", 1, ERROR_CANTWRITE}),
                         [](const auto& info) { return std::string(info.param.point); });

TEST_F(ActivationTest, DeactivationRefusesWhatIsNotAnActiveDevice) {
    HANDLE device = ActivateTest(1);
    HANDLE stale = ActivateTest(2);
    ASSERT_TRUE(DeactivateDevice(stale));
    const HANDLE bad[] = {nullptr,
                          INVALID_HANDLE_VALUE,
                          reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(device) ^ 0x5A5A0000u),
                          CreateEventW(nullptr, TRUE, FALSE, nullptr),
                          OpenDevice(TestName(1)),
                          stale};
    for (HANDLE handle : bad) {
        SetLastError(kUnsetError);
        EXPECT_FALSE(DeactivateDevice(handle)) << handle;
        EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    }
    // Nor does CloseHandle end a device, and a fault leaves it running.
    EXPECT_FALSE(CloseHandle(device));
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    ASSERT_TRUE(CePlatformInjectFault("DeactivateDevice", 0, ERROR_BUSY));
    EXPECT_FALSE(DeactivateDevice(device));
    EXPECT_LAST_ERROR(ERROR_BUSY);
    EXPECT_TRUE(KeyExists(ActiveSubkey(1)));
    EXPECT_TRUE(DeactivateDevice(device));
}

}  // namespace
}  // namespace devtest
