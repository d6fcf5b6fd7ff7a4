// A virtual port's creation from the registry, its open/close cycle, its end, and the port table.
#include "driver/virtual/virtual_fixture.h"

namespace vtest {
namespace {

using tulktest::PrintTo;
using tulktest::RowName;

constexpr DWORD kActiveNumber = 70;
constexpr DWORD kUnusedIndex = 7;  // no instance in this slot, so a port made here is never registered

class PortLifecycleTest : public VirtualPortTest {
  protected:
    // Init straight through the table, outside any instance; null when it fails. The ops object goes with
    // the port, or is freed here when Init fails.
    static VirtualPort* InitFromActive(const std::u16string& activeKey, PortState* owner) {
        PortOpsObject* object = CreatePortOpsObject(0);
        if (object == nullptr) {
            ADD_FAILURE() << "no ops object";
            return nullptr;
        }
        VirtualPort* port = object->ops->Init(activeKey.c_str(), owner, object);
        if (port == nullptr) {
            ReleasePortOpsObject(object);
        }
        return port;
    }
};

struct BadKeyCase {
    const char* name;
    void (*write)();  // writes the active key kActiveNumber, or not
};

std::u16string ActivePath() {
    return u"Drivers\\Active\\" + std::u16string(u"70");
}

class BadKeyTest : public PortLifecycleTest, public ::testing::WithParamInterface<BadKeyCase> {};

TEST_P(BadKeyTest, InitFailsAndKeepsNothing) {
    GetParam().write();
    SetPartnerIndex(3, 4);
    ClearFirstInstancePending();
    EXPECT_EQ(InitFromActive(ActivePath(), nullptr), nullptr);
    EXPECT_EQ(PartnerIndexOf(3), 4u) << "a failed Init touched the partner table";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, BadKeyTest,
    ::testing::Values(
        BadKeyCase{"NoActiveKey", [] {}},
        BadKeyCase{"NoKeyValue", [] { tulktest::SetDword(ActivePath(), u"Other", 1); }},
        BadKeyCase{"KeyNamesMissingKey",
                   [] { tulktest::WriteActiveKey(kActiveNumber, u"Drivers\\BuiltIn\\Missing"); }},
        BadKeyCase{"EmptyKeyValue", [] { tulktest::WriteActiveKey(kActiveNumber, u""); }},
        BadKeyCase{"KeyValueTooLong",
                   [] { tulktest::WriteActiveKey(kActiveNumber, u"Drivers\\" + std::u16string(130, u'x')); }},
        BadKeyCase{"IndexOutOfTable",
                   [] {
                       const std::u16string key =
                           tulktest::WritePortKey(PortKey{.arrayIndex = 3, .partner = 4});
                       tulktest::SetDword(key, u"DeviceArrayIndex", kPortTableSlots);
                       tulktest::WriteActiveKey(kActiveNumber, key);
                   }}),
    RowName{});

TEST_F(PortLifecycleTest, FirstInstanceResetsPartnersAndMissingPairMeansNone) {
    SetPartnerIndex(5, 6);
    PortState* single = Create(PortKey{.arrayIndex = 2, .partner = tulktest::kNoPartner});
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(PartnerIndexOf(5), kNoPortIndex) << "stale entry survived the first instance";
    EXPECT_EQ(PartnerIndexOf(2), kNoPortIndex);
    EXPECT_EQ(FindOwnIndex(Vp(single)), 2u);
}

// A later instance without KMXPair keeps what an earlier one at its index left behind.
TEST_F(PortLifecycleTest, LaterInstanceWithoutPairKeepsTheOldEntry) {
    PortState* first = Create(PortKey{.arrayIndex = 3, .number = 8, .partner = 4});
    ASSERT_NE(first, nullptr);
    Destroy(first);
    tulktest::DeleteValue(tulktest::PortKeyPath(3), u"KMXPair");
    PortState* second = Create(PortKey{.arrayIndex = 3, .number = 8, .partner = tulktest::kNoPartner});
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(PartnerIndexOf(3), 4u);
}

class PartnerValueTest : public PortLifecycleTest, public ::testing::WithParamInterface<LONG> {};

// No KMXPair (-1), a partner slot with no instance (3), or a value the table has no slot for: the port has
// no partner, its writes end at once with nothing sent, and its line operations change nothing.
TEST_P(PartnerValueTest, PortWithoutPartnerSendsNothing) {
    const LONG value = GetParam();
    PortState* port = Create(PortKey{.arrayIndex = 0, .number = 5, .partner = value});
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(PartnerIndexOf(0), value >= 0 && value < 20 ? static_cast<DWORD>(value) : kNoPortIndex);
    PartnerRef partner;
    EXPECT_FALSE(AcquirePartner(Vp(port), &partner));
    ASSERT_NE(OpenData(port), nullptr);
    const BYTE data[] = {1, 2, 3};
    DWORD count = sizeof(data);
    Ops(port).TxIntr(Vp(port), data, &count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(WaitForSingleObject(port->TransmitEvent, 0), WAIT_OBJECT_0) << "write not ended";
    for (PortSetDtrFn* PortOps::*slot :
         {&PortOps::SetDTR, &PortOps::ClearDTR, &PortOps::SetRTS, &PortOps::ClearRTS}) {
        (Ops(port).*slot)(Vp(port));
    }
    DWORD lines = 0;
    Ops(port).GetModemStatus(Vp(port), &lines);
    EXPECT_EQ(lines, static_cast<DWORD>(MS_DSR_ON | MS_RLSD_ON));
    EXPECT_TRUE(Ops(port).XmitComChar(Vp(port), 'x'));
}

INSTANTIATE_TEST_SUITE_P(Values, PartnerValueTest,
                         ::testing::Values(tulktest::kNoPartner, 3, 20, 25, -2, 0x7FFFFFFF));

// A partner thread that found the port keeps it alive through its retirement.
TEST_F(PortLifecycleTest, RetiredPartnerStaysUsableUntilReleased) {
    CreatePair();
    ASSERT_NE(OpenData(b_), nullptr);
    PartnerRef partner;
    ASSERT_TRUE(AcquirePartner(Vp(a_), &partner));
    Destroy(b_);
    EXPECT_EQ(FindOwnIndex(partner.port), kNoPortIndex);
    PartnerRef none;
    EXPECT_FALSE(AcquirePartner(Vp(a_), &none)) << "a retired port is still found";
    const BYTE byte = 'x';
    DWORD count = 1;
    EXPECT_EQ(DeliverToPartner({a_, ByteTimeUs(GetDcb(a_))}, partner.state, partner.port, &byte, &count),
              DeliveryResult::kRefused);
    ReleasePartner(&partner);
}

TEST_F(PortLifecycleTest, OpenAndCloseAreNotNested) {
    CreatePair();
    VirtualPort* port = Vp(a_);
    EXPECT_EQ(Ops(a_).Close(port), 0u);
    EXPECT_EQ(port->openCount.load(), 0u) << "close of a closed port counted down";
    EXPECT_EQ(Ops(a_).Open(port), 1u);
    port->modemStatus.store(kModemCts);
    EXPECT_EQ(Ops(a_).Open(port), 0u);
    EXPECT_EQ(port->modemStatus.load(), kModemCts) << "second open reset the port";
    EXPECT_EQ(port->openCount.load(), 1u);
    EXPECT_EQ(Ops(a_).Close(port), 0u);
    EXPECT_EQ(port->openCount.load(), 0u);
    EXPECT_EQ(port->isOpen.load(), 0);
}

TEST_F(PortLifecycleTest, DeinitClosesAnOpenPortAndToleratesNone) {
    CreatePair();
    VirtualPort* port = InitFromActive(
        tulktest::WriteActiveKey(kActiveNumber, tulktest::WritePortKey(PortKey{.arrayIndex = kUnusedIndex})),
        a_);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(FindOwnIndex(port), kNoPortIndex);
    EXPECT_EQ(VirtualOpen(port), 1u);
    EXPECT_EQ(VirtualDeinit(port), 1u);
    EXPECT_EQ(VirtualDeinit(nullptr), 0u);
}

}  // namespace
}  // namespace vtest
