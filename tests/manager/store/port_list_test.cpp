// The list itself: start-up, entries, searches, the numbers and slots it hands out, running out of memory.
#include <string>

#include "manager/store/store_test_support.h"

namespace storetest {
namespace {

using storetest::PrintTo;

class PortListTest : public ListTest {
  protected:
    PortEntry* Add(LONG arrayIndex, DWORD isPhysical = 0, const char16_t* prefix = u"COM",
                   LONG portNumber = kNoPortNumber) {
        PortEntry* entry = list_->At(list_->AddEntry());
        entry->isPhysical = isPhysical;
        lstrcpyW(entry->prefix, prefix);
        entry->portNumber = portNumber;
        entry->arrayIndex = arrayIndex;
        return entry;
    }
};

TEST_F(PortListTest, RegistryTestLeavesNoKeyAndAnUnwritableRegistryAnEmptyList) {
    EXPECT_EQ(list_->RegistryWritable(), 1u);
    EXPECT_FALSE(KeyExists(u"Drivers\\BuiltIn\\TEST"));
    StartPhysicalPort({});
    ASSERT_TRUE(CePlatformInjectFault("RegCreateKeyExW", 0, ERROR_ACCESS_DENIED));
    PortList refused;
    EXPECT_EQ(refused.RegistryWritable(), 0u);
    EXPECT_EQ(refused.Count(), 0);  // not even the running port
    EXPECT_EQ(PortList().Count(), 1);
}

TEST_F(PortListTest, RemovalClosesTheGapAndKeepsAddresses) {
    PortEntry* first = Add(0);
    Add(1);
    PortEntry* third = Add(2);
    for (const int outside : {-1, 3, 1000}) {
        list_->RemoveAt(outside);
        EXPECT_EQ(list_->Count(), 3);
    }
    list_->RemoveAt(1);
    ASSERT_EQ(list_->Count(), 2);
    EXPECT_EQ(list_->At(0), first);
    EXPECT_EQ(list_->At(1), third);
    EXPECT_EQ(list_->At(2), nullptr);
    list_->RemoveAt(1);
    list_->RemoveAt(0);
    EXPECT_EQ(list_->At(0), nullptr);
    ASSERT_EQ(list_->AddEntry(), 0);
    const PortEntry& fresh = *list_->At(0);
    EXPECT_EQ(std::u16string(fresh.prefix), u"COM");
    EXPECT_EQ(fresh.portNumber, kNoPortNumber);
    EXPECT_EQ(fresh.arrayIndex, kNoArrayIndex);
}

TEST_F(PortListTest, EntriesAreFoundByIdentityWholeKeyAndSlot) {
    PortEntry* listed = Add(3);
    lstrcpyW(listed->keyPath, u"Drivers\\BuiltIn\\TULK3");
    const PortEntry twin = *listed;
    EXPECT_EQ(list_->IndexOf(listed), 0);
    EXPECT_EQ(list_->IndexOf(&twin), -1);
    EXPECT_EQ(list_->FindByKey(u"Drivers\\BuiltIn\\TULK3"), listed);
    for (const char16_t* other :
         {u"drivers\\builtin\\tulk3", u"Drivers\\BuiltIn\\TULK", u"Drivers\\BuiltIn\\TULK30"}) {
        EXPECT_EQ(list_->FindByKey(other), nullptr);
    }
    EXPECT_EQ(list_->FindByArrayIndex(3), listed);
    EXPECT_EQ(list_->FindByArrayIndex(2), nullptr);
}

TEST_F(PortListTest, FreeArrayIndexIsTheLowestSlotNoVirtualPortHolds) {
    EXPECT_EQ(list_->FreeArrayIndex(), 0);
    Add(0, 1);  // a physical entry holds no slot, whatever its field says
    EXPECT_EQ(list_->FreeArrayIndex(), 0);
    PortEntry* zero = Add(0);
    PortEntry* one = Add(1);
    EXPECT_EQ(list_->FreeArrayIndex(), 2);
    Add(2);
    Add(3);
    list_->RemoveAt(list_->IndexOf(zero));
    list_->RemoveAt(list_->IndexOf(one));
    EXPECT_EQ(list_->FreeArrayIndex(), 0);
    Add(0);
    Add(1);
    for (LONG slot = 4; slot < kVirtualPortSlots; ++slot) {
        Add(slot);
    }
    EXPECT_EQ(list_->FreeArrayIndex(), -1);
}

// Which combined number one entry holds: COM n is n, KMX n is 10 + n; a disabled port holds none.
struct Holding {
    const char* name;
    DWORD isPhysical;
    const char16_t* prefix;
    LONG portNumber;
    LONG taken;  // -1: none
};

class CombinedNumberTest : public PortListTest, public ::testing::WithParamInterface<Holding> {};

TEST_P(CombinedNumberTest, EntryHoldsExactlyItsNumber) {
    const Holding& holding = GetParam();
    Add(kNoArrayIndex, holding.isPhysical, holding.prefix, holding.portNumber);
    for (DWORD number = 0; number <= kCombinedNumbers; ++number) {
        const bool taken = static_cast<LONG>(number) == holding.taken || number == kCombinedNumbers;
        EXPECT_EQ(list_->IsPortNumberFree(number), !taken) << number;
    }
    for (LONG number = 0; number < kNumbersPerFamily; ++number) {
        EXPECT_EQ(list_->IsComNumberUnlisted(number), number != holding.taken) << number;
    }
}

INSTANTIATE_TEST_SUITE_P(Entries, CombinedNumberTest,
                         ::testing::Values(Holding{"PhysicalCom1", 1, u"COM", 1, 1},
                                           Holding{"DisabledCom1", 1, u"COM", kNoPortNumber, -1},
                                           Holding{"VirtualKmx3", 0, u"KMX", 3, 13},
                                           Holding{"VirtualCom3", 0, u"COM", 3, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortListTest, RunningOutOfMemoryFailsTheAdditionAndKeepsTheList) {
    PortEntry* kept = Add(0);
    for (const DWORD skip : {0u, 1u}) {  // the grown table, then the entry
        ASSERT_TRUE(CePlatformInjectFault("LocalAlloc", skip, ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(list_->AddEntry(), -1) << skip;
        EXPECT_EQ(list_->Count(), 1);
        EXPECT_EQ(list_->At(0), kept);
    }
    Add(1);
    ASSERT_TRUE(CePlatformInjectFault("LocalAlloc", 0, ERROR_NOT_ENOUGH_MEMORY));
    list_->RemoveAt(0);  // the table cannot shrink, yet the entry goes
    ASSERT_EQ(list_->Count(), 1);
    EXPECT_EQ(list_->At(0)->arrayIndex, 1);
}

}  // namespace
}  // namespace storetest
