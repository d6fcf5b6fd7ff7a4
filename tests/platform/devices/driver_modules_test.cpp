// Driver modules: loaded with the first instance, shared, unloaded with the last; the driver path; and
// failed activations that leave no trace. In-process only: the module's mapping and the fault points are
// the process's own.
#include "platform/devices/device_test_support.h"

namespace devtest {
namespace {

using DriverModuleTest = DeviceTest;

const std::string kRefusingDriverDir = CE_TEST_REFUSING_DRIVER_DIR;

// The failure leaves nothing: no active record, the name free, the module unloaded.
void ExpectNoTrace() {
    EXPECT_EQ(CountSubkeys(kActiveKey), 0u);
    SetLastError(kUnsetError);
    EXPECT_EQ(CreateFileW(u"TST1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(TestModuleMapped());
    EXPECT_EQ(DriverCount(testdrv::kAttaches), DriverCount(testdrv::kDetaches));
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
    // Init's refusal: the driver's own error when it set one, ERROR_GEN_FAILURE when it did not.
    {"InitRefusesWithItsError", Edit::Number, testdrv::kFailInit, u"", ERROR_ACCESS_DENIED,
     ERROR_ACCESS_DENIED},
    {"InitRefusesWithoutError", Edit::Number, testdrv::kFailInit, u"", 0, ERROR_GEN_FAILURE},
};

INSTANTIATE_TEST_SUITE_P(Keys, BadDeviceKey, ::testing::ValuesIn(kBadKeys),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(DriverModuleTest, DeactivationUnloadsAndTheNextLoadStartsAfresh) {
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

TEST_F(DriverModuleTest, InstancesShareTheirModuleUntilTheLastGoes) {
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

TEST_F(DriverModuleTest, DriverPathIsSearchedInOrder) {
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

TEST_F(DriverModuleTest, ADeactivationFaultLeavesTheDeviceRunning) {
    HANDLE device = ActivateTest(1);
    ASSERT_TRUE(CePlatformInjectFault("DeactivateDevice", 0, ERROR_BUSY));
    EXPECT_FALSE(DeactivateDevice(device));
    EXPECT_LAST_ERROR(ERROR_BUSY);
    EXPECT_TRUE(KeyExists(ActiveSubkey(1)));
    EXPECT_TRUE(DeactivateDevice(device));
}

}  // namespace
}  // namespace devtest
