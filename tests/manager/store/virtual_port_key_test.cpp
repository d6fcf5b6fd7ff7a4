// Creating virtual ports: the key value by value, activation and its rollback, and pairs.
#include <string>
#include <vector>

#include "manager/store/store_test_support.h"
#include "store/store_timing.h"

namespace storetest {
namespace {

using storetest::PrintTo;

using store::kDeviceSettleMs;

constexpr BYTE kExpectedDevConfig[] = {0x10, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x10,
                                       0x01, 0x00, 0x00, 0x00, 0x4B, 0x00, 0x00, 0x00, 0x00,
                                       0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

std::vector<BYTE> Dword(DWORD value) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return {bytes, bytes + sizeof(value)};
}

std::vector<BYTE> Text(const std::u16string& text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {bytes, bytes + (text.size() + 1) * sizeof(char16_t)};
}

using VirtualPortTest = ListTest;

struct Layout {
    const char* name;
    DWORD combinedNumber;
    LONG pairIndex;
    LONG arrayIndex;
    const char16_t* prefix;
    DWORD index;
};

class KeyLayoutTest : public VirtualPortTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(KeyLayoutTest, KeyHoldsTheValuesInOrderAndTheEntryTheRunningPort) {
    const Layout& layout = GetParam();
    const int index = list_->CreateVirtualPort(layout.combinedNumber, layout.pairIndex, layout.arrayIndex);
    ASSERT_EQ(index, 0);
    const std::u16string path = tulktest::PortKeyPath(layout.arrayIndex);
    const std::u16string name = std::u16string(layout.prefix) + static_cast<char16_t>(u'0' + layout.index);

    std::vector<Value> expected = {{u"Priority", REG_DWORD, Dword(0)},
                                   {u"DeviceArrayIndex", REG_DWORD, Dword(layout.arrayIndex)}};
    if (layout.pairIndex != -1) {
        expected.push_back({u"KMXPair", REG_DWORD, Dword(layout.pairIndex)});
    }
    expected.insert(
        expected.end(),
        {{u"Index", REG_DWORD, Dword(layout.index)},
         {u"Prefix", REG_SZ, Text(layout.prefix)},
         {u"Dll", REG_SZ, Text(u"tulk.dll")},
         {u"DeviceType", REG_DWORD, Dword(0)},
         {u"Tsp", REG_SZ, Text(u"Unimodem.dll")},
         {u"FriendlyName", REG_SZ, Text(u"Virtual port " + name)},
         {u"DevConfig", REG_BINARY, {std::begin(kExpectedDevConfig), std::end(kExpectedDevConfig)}}});
    EXPECT_EQ(ValuesOf(path), expected);

    const PortEntry& entry = *list_->At(index);
    EXPECT_EQ(std::u16string(entry.keyPath), path);
    EXPECT_EQ(std::u16string(entry.prefix), layout.prefix);
    EXPECT_EQ(entry.portNumber, static_cast<LONG>(layout.index));
    EXPECT_EQ(entry.arrayIndex, layout.arrayIndex);
    EXPECT_EQ(entry.isPhysical | entry.isDisabled | entry.friendlyName[0], 0u);
    EXPECT_EQ(TextOf(ActiveKeyOf(path), u"Name"), name + u":");
    EXPECT_EQ(DeactivateDevice(entry.deviceHandle), TRUE);
    EXPECT_EQ(Waits(), std::vector<DWORD>{kDeviceSettleMs});
}

INSTANTIATE_TEST_SUITE_P(Ports, KeyLayoutTest,
                         ::testing::Values(Layout{"Com9Alone", 9, -1, 7, u"COM", 9},
                                           Layout{"Kmx0PairedWith3", 10, 3, 2, u"KMX", 0},
                                           Layout{"Kmx9PairedWith0", 19, 0, 19, u"KMX", 9}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualPortTest, FailedActivationLeavesNoKeyAndNoEntryEvenWhereAKeyWasLeftOver) {
    tulktest::SetDword(tulktest::PortKeyPath(4), u"Leftover", 1);
    ASSERT_TRUE(CePlatformInjectFault("ActivateDevice", 0, ERROR_GEN_FAILURE));
    EXPECT_EQ(list_->CreateVirtualPort(5, -1, 4), -1);
    EXPECT_EQ(list_->Count(), 0);
    EXPECT_FALSE(KeyExists(tulktest::PortKeyPath(4)));
    EXPECT_EQ(Waits(), std::vector<DWORD>{kDeviceSettleMs});
}

// Ports and pairs: numbers out of range, the same or taken, slots out of range or held, no key.
TEST_F(VirtualPortTest, RefusedBeforeWritingAnything) {
    list_->At(list_->AddEntry())->arrayIndex = 6;
    PortEntry* physical = list_->At(list_->AddEntry());
    physical->isPhysical = 1;
    physical->portNumber = 1;
    const struct {
        DWORD combinedNumber;
        LONG pairIndex;
        LONG arrayIndex;
    } refused[] = {{20, -1, 0}, {5, -1, -1}, {5, -1, 20}, {5, 20, 0}, {5, -2, 0}, {5, -1, 6}};
    for (const auto& call : refused) {
        EXPECT_EQ(list_->CreateVirtualPort(call.combinedNumber, call.pairIndex, call.arrayIndex), -1);
    }
    for (const auto& [first, second] : {std::pair{5u, 5u}, {1u, 5u}, {5u, 1u}, {5u, 20u}}) {
        EXPECT_EQ(list_->CreatePair(first, second).first, -1);
    }
    ASSERT_TRUE(CePlatformInjectFault("RegCreateKeyExW", 0, ERROR_ACCESS_DENIED));
    EXPECT_EQ(list_->CreateVirtualPort(5, -1, 0), -1);
    EXPECT_EQ(list_->Count(), 2);
    EXPECT_TRUE(Waits().empty());
    for (const LONG slot : {0, 6, 19}) {
        EXPECT_FALSE(KeyExists(tulktest::PortKeyPath(slot)));
    }
}

TEST_F(VirtualPortTest, NoMemoryForTheEntryStopsThePortAgain) {
    OnNextWait([] { CePlatformInjectFault("LocalAlloc", 0, ERROR_NOT_ENOUGH_MEMORY); });
    EXPECT_EQ(list_->CreateVirtualPort(5, -1, 0), -1);
    EXPECT_EQ(list_->Count(), 0);
    EXPECT_FALSE(KeyExists(tulktest::PortKeyPath(0)));
    EXPECT_EQ(tulktest::OpenByName(u"COM5:", 0), INVALID_HANDLE_VALUE);
}

TEST_F(VirtualPortTest, PairLeavesTheKeysOfKeptPortsThatDoNotRunAlone) {
    tulktest::SetDword(tulktest::PortKeyPath(1), u"Kept", 1);
    const PairIndices pair = list_->CreatePair(5, 6);
    ASSERT_GE(pair.first, 0);
    EXPECT_EQ(list_->At(pair.first)->arrayIndex, 2);
    ASSERT_EQ(ValuesOf(tulktest::PortKeyPath(1)).size(), 1u);
    EXPECT_FALSE(KeyExists(tulktest::PortKeyPath(0)));
}

// Where a pair goes when slots are held already, by ports whose partners are gone or by whole pairs.
struct Slots {
    const char* name;
    std::vector<LONG> held;
    LONG pairSlot;  // -1: no pair fits
};

class PairSlotTest : public VirtualPortTest, public ::testing::WithParamInterface<Slots> {};

TEST_P(PairSlotTest, PairTakesTwoFreeSlotsTwoKAndTwoKPlusOne) {
    for (const LONG slot : GetParam().held) {
        list_->At(list_->AddEntry())->arrayIndex = slot;
    }
    const int before = list_->Count();
    const PairIndices pair = list_->CreatePair(5, 6);
    const LONG slot = GetParam().pairSlot;
    if (slot < 0) {
        EXPECT_EQ(pair.first, -1);
        EXPECT_EQ(list_->Count(), before);
        EXPECT_TRUE(Waits().empty());
        return;
    }
    ASSERT_GE(pair.first, 0);
    EXPECT_EQ(list_->At(pair.first)->arrayIndex, slot);
    EXPECT_EQ(list_->At(pair.second)->arrayIndex, slot + 1);
    // Each end's key names the other's slot.
    EXPECT_EQ(ValuesOf(tulktest::PortKeyPath(slot))[2], (Value{u"KMXPair", REG_DWORD, Dword(slot + 1)}));
    EXPECT_EQ(ValuesOf(tulktest::PortKeyPath(slot + 1))[2], (Value{u"KMXPair", REG_DWORD, Dword(slot)}));
    EXPECT_EQ(list_->FindPartner(list_->At(pair.second)), list_->At(pair.first));
}

std::vector<LONG> Slots0To17(std::vector<LONG> more) {
    for (LONG slot = 0; slot <= 17; ++slot) {
        more.push_back(slot);
    }
    return more;
}

INSTANTIATE_TEST_SUITE_P(
    Held, PairSlotTest,
    ::testing::Values(Slots{"None", {}, 0}, Slots{"OnePair", {0, 1}, 2}, Slots{"OddNeighbourHeld", {1}, 2},
                      Slots{"AfterPairOddHeld", {0, 1, 3}, 4}, Slots{"LowestFreeIsOdd", {0}, 2},
                      Slots{"LowestFreeIsOddNextHeld", {0, 2}, 4}, Slots{"LastPairLeft", Slots0To17({}), 18},
                      Slots{"OnlySlotEighteenLeft", Slots0To17({19}), -1},
                      Slots{"AllHeld", Slots0To17({18, 19}), -1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace storetest
