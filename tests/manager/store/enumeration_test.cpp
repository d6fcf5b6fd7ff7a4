// Refresh and the open-state query against running virtual ports, stand-in physical ports and keys.
#include <memory>
#include <string>

#include "manager/store/store_test_support.h"

namespace storetest {
namespace {

using storetest::PrintTo;

using tulktest::PairEnd;

class EnumerationTest : public ListTest {
  protected:
    // The list as the manager builds it at start-up.
    PortList& Build() {
        list_ = std::make_unique<PortList>();
        return *list_;
    }
    PortEntry* Only(LONG portNumber) {
        PortEntry* found = nullptr;
        for (int i = 0; i < list_->Count(); ++i) {
            if (list_->At(i)->portNumber == portNumber) {
                EXPECT_EQ(found, nullptr) << "port number " << portNumber << " listed twice";
                found = list_->At(i);
            }
        }
        return found;
    }
    // A stand-in port that runs but that Drivers\Active does not show, so that only probing can find it.
    static void HideFromActiveKeys(const std::u16string& deviceKey) {
        tulktest::DeleteValue(ActiveKeyOf(deviceKey), u"Key");
    }
};

TEST_F(EnumerationTest, PhysicalPortsAreListedEnabledOrDisabledByTheirPrefix) {
    HANDLE com1 = StartPhysicalPort({});
    WritePhysicalKey({.keyName = u"Serial2", .number = 2});  // COM but not running: not listed
    WritePhysicalKey({.keyName = u"Serial3", .number = 3});
    SetText(u"Drivers\\BuiltIn\\Serial3", u"Prefix", u"C0M");
    WritePhysicalKey({.keyName = u"Serial4", .number = 4});
    SetText(u"Drivers\\BuiltIn\\Serial4", u"Prefix", u"COM0");  // the letter O, not the digit
    PortList& list = Build();
    ASSERT_EQ(list.Count(), 2);
    const PortEntry* enabled = Only(1);
    ASSERT_NE(enabled, nullptr);
    EXPECT_EQ(enabled->isPhysical, 1u);
    EXPECT_EQ(enabled->isDisabled, 0u);
    EXPECT_EQ(enabled->deviceHandle, com1);
    EXPECT_EQ(list.IndexOf(enabled), 0);
    const PortEntry* disabled = list.At(1);
    EXPECT_EQ(std::u16string(disabled->keyPath), u"Drivers\\BuiltIn\\Serial3");
    EXPECT_EQ(disabled->isPhysical & disabled->isDisabled, 1u);
    EXPECT_EQ(disabled->portNumber, kNoPortNumber);
    EXPECT_EQ(disabled->deviceHandle, nullptr);
    EXPECT_TRUE(list.IsPortNumberFree(3));
    EXPECT_FALSE(list.IsPortNumberFree(1));
    EXPECT_EQ(CountsOf(1).dataOpens, 0u);  // listed, so never probed
}

// A running port that Drivers\Active does not show is found by opening it; how its driver refuses the
// open decides whether it exists.
struct Probe {
    const char* name;
    DWORD openError;  // 0: the open succeeds
    bool listed;
};

class ProbeTest : public EnumerationTest, public ::testing::WithParamInterface<Probe> {};

TEST_P(ProbeTest, OnlyAPortThatIsNotThereIsLeftOut) {
    const Probe& probe = GetParam();
    WritePhysicalKey({.keyName = u"Serial7", .number = 7, .failOpen = probe.openError});
    ASSERT_NE(ActivateDevice(u"Drivers\\BuiltIn\\Serial7", 0), nullptr);
    HideFromActiveKeys(u"Drivers\\BuiltIn\\Serial7");
    PortList& list = Build();
    EXPECT_EQ(CountsOf(7).dataOpens, 1u);
    ASSERT_EQ(list.Count(), probe.listed ? 1 : 0);
    if (probe.listed) {
        const PortEntry& entry = *list.At(0);
        EXPECT_EQ(entry.isPhysical, 1u);
        EXPECT_EQ(entry.portNumber, 7);
        EXPECT_EQ(entry.keyPath[0], u'\0');
        EXPECT_EQ(entry.deviceHandle, nullptr);
        EXPECT_EQ(std::u16string(entry.prefix), u"COM");
    }
}

INSTANTIATE_TEST_SUITE_P(Opens, ProbeTest,
                         ::testing::Values(Probe{"Opens", 0, true},
                                           Probe{"FileNotFound", ERROR_FILE_NOT_FOUND, false},
                                           Probe{"DeviceGone", ERROR_DEV_NOT_EXIST, false},
                                           Probe{"Sharing", ERROR_SHARING_VIOLATION, true},
                                           Probe{"AccessDenied", ERROR_ACCESS_DENIED, true},
                                           Probe{"HeldByAnotherProgram", physport::kHeldError, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EnumerationTest, RefreshingAgainChangesNothing) {
    tulktest::ActivatePort(PairEnd(u"COM", 0));
    tulktest::ActivatePort(PairEnd(u"COM", 1));
    StartPhysicalPort({.friendlyName = u"Cable"});
    StartPhysicalPort({.keyName = u"Serial7", .number = 7});
    HideFromActiveKeys(u"Drivers\\BuiltIn\\Serial7");
    SetText(u"Drivers\\BuiltIn\\Serial3", u"Prefix", u"C0M");
    PortList& list = Build();
    ASSERT_EQ(list.Count(), 5);
    std::vector<PortEntry> before;
    for (int i = 0; i < list.Count(); ++i) {
        before.push_back(*list.At(i));
    }
    list.Refresh();
    ASSERT_EQ(list.Count(), 5);
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_TRUE(SameEntry(*list.At(i), before[i])) << i;
    }
}

TEST_F(EnumerationTest, UnreadableValuesLeaveFieldsAtTheirDefaults) {
    tulktest::ActivatePort({.arrayIndex = 0, .prefix = u"KMX", .number = 5});
    tulktest::ActivatePort({.arrayIndex = 1, .prefix = u"KMX", .number = 6});
    tulktest::ActivatePort({.arrayIndex = 2, .prefix = u"KMX", .number = 7});
    tulktest::ActivatePort({.arrayIndex = 3, .prefix = u"KMX", .number = 8});
    SetText(tulktest::PortKeyPath(0), u"Prefix", u"KMXKMX");  // one character over the field
    tulktest::DeleteValue(tulktest::PortKeyPath(1), u"Prefix");
    tulktest::DeleteValue(ActiveKeyOf(tulktest::PortKeyPath(2)), u"Name");
    tulktest::DeleteValue(tulktest::PortKeyPath(3), u"DeviceArrayIndex");
    StartPhysicalPort({.friendlyName = std::u16string(255, u'x')});  // 512 bytes with the NUL: over the limit
    StartPhysicalPort({.keyName = u"Serial2", .number = 2, .friendlyName = std::u16string(254, u'y')});
    const std::u16string longKey = u"Drivers\\BuiltIn\\" + std::u16string(240, u'L');
    StartPhysicalPort({.keyName = longKey.substr(16), .number = 3});  // key path of 256 characters
    PortList& list = Build();
    ASSERT_EQ(list.Count(), 7);
    EXPECT_TRUE(std::u16string(list.FindByArrayIndex(0)->prefix) == u"COM");
    EXPECT_TRUE(std::u16string(list.FindByArrayIndex(1)->prefix) == u"COM");
    EXPECT_EQ(list.FindByArrayIndex(2)->portNumber, kNoPortNumber);
    const PortEntry* noIndex = list.FindByKey(tulktest::PortKeyPath(3).c_str());
    ASSERT_NE(noIndex, nullptr);
    EXPECT_EQ(noIndex->arrayIndex, kNoArrayIndex);
    EXPECT_EQ(noIndex->portNumber, kNoPortNumber);
    EXPECT_EQ(noIndex->deviceHandle, nullptr);
    EXPECT_EQ(Only(1)->friendlyName[0], u'\0');
    EXPECT_EQ(std::u16string(Only(2)->friendlyName).size(), 254u);
    ASSERT_NE(Only(3), nullptr);
    EXPECT_EQ(Only(3)->keyPath[0], u'\0');  // found by probing only, never under a cut path
}

TEST_F(EnumerationTest, BranchesOfMoreThan255KeysAreReadToTheEnd) {
    constexpr int kFillers = 300;
    for (int i = 0; i < kFillers; ++i) {
        tulktest::SetDword(u"Drivers\\BuiltIn\\Filler" + Decimal(i), u"Index", 0);
    }
    SetText(u"Drivers\\BuiltIn\\Serial9", u"Prefix", u"C0M");
    PortList& list = Build();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_TRUE(std::u16string(list.At(0)->keyPath) == u"Drivers\\BuiltIn\\Serial9");
}

struct Use {
    const char* name;
    DWORD access;
    DWORD open;
};

class OpenStateTest : public EnumerationTest, public ::testing::WithParamInterface<Use> {};

TEST_P(OpenStateTest, VirtualPortIsOpenOnlyWhileAnApplicationReadsOrWrites) {
    tulktest::ActivatePort(PairEnd(u"COM", 0));
    PortList& list = Build();
    const PortEntry* com5 = Only(5);
    HANDLE app = tulktest::OpenByName(u"COM5:", GetParam().access);
    ASSERT_NE(app, INVALID_HANDLE_VALUE);
    EXPECT_EQ(list.IsPortOpen(com5), GetParam().open);
    CloseHandle(app);
    EXPECT_EQ(list.IsPortOpen(com5), 0u);
}

INSTANTIATE_TEST_SUITE_P(Access, OpenStateTest,
                         ::testing::Values(Use{"Read", GENERIC_READ, 1}, Use{"Write", GENERIC_WRITE, 1},
                                           Use{"ReadWrite", GENERIC_READ | GENERIC_WRITE, 1},
                                           Use{"QueryOnly", 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EnumerationTest, OpenStateIsNoForPortsThatCannotAnswer) {
    StartPhysicalPort({});
    HANDLE app = tulktest::OpenByName(u"COM1:", GENERIC_READ | GENERIC_WRITE);
    PortList& list = Build();
    PortEntry* com1 = Only(1);
    EXPECT_EQ(list.IsPortOpen(com1), 0u);  // it refuses the query even while held
    EXPECT_EQ(CountsOf(1).opens, 2u);      // the application's and the query's
    CloseHandle(app);
    EXPECT_EQ(list.IsPortOpen(nullptr), 0u);
    com1->portNumber = kNoPortNumber;
    EXPECT_EQ(list.IsPortOpen(com1), 0u);
    PortEntry gone;
    gone.portNumber = 4;
    EXPECT_EQ(list.IsPortOpen(&gone), 0u);
}

}  // namespace
}  // namespace storetest
