// Deleting virtual ports, disabling and re-enabling physical ones, starting the stored ports, the waits.
#include <string>
#include <vector>

#include "common/timing.h"
#include "manager/store/store_test_support.h"
#include "store/store_timing.h"
#include "store/stored_ports.h"

namespace storetest {
namespace {

using store::kDeviceSettleMs;

class DeletionTest : public ListTest {
  protected:
    // COM5: in slot 0 and COM6: in slot 1; answers the first end.
    PortEntry* MakePair() {
        PortEntry* first = list_->At(list_->CreatePair(5, 6).first);
        EXPECT_NE(first, nullptr);
        return first;
    }
    static bool Running(const std::u16string& name) {
        HANDLE file = tulktest::OpenByName(name, 0);
        return file != INVALID_HANDLE_VALUE && CloseHandle(file);
    }
};

// An entry read before another program's activation wrote Hnd has no handle. Deleting it stops the port it
// finds running under its key; while that activation has still not written Hnd, it refuses and leaves the
// running port and its key alone.
TEST_F(DeletionTest, EntryWithoutAHandleNeverRemovesTheKeyOfARunningPort) {
    PortEntry* first = MakePair();
    first->deviceHandle = nullptr;
    const std::u16string active = ActiveKeyOf(tulktest::PortKeyPath(0));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, active.c_str(), 0, 0, &key), ERROR_SUCCESS);
    DWORD handle = 0;
    DWORD size = sizeof(handle);
    ASSERT_EQ(RegQueryValueExW(key, u"Hnd", nullptr, nullptr, reinterpret_cast<BYTE*>(&handle), &size),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key, u"Hnd"), ERROR_SUCCESS);
    EXPECT_EQ(list_->DeletePort(first), 0u);
    EXPECT_TRUE(Running(u"COM5:"));
    EXPECT_TRUE(KeyExists(tulktest::PortKeyPath(0)));

    ASSERT_EQ(RegSetValueExW(key, u"Hnd", 0, REG_DWORD, reinterpret_cast<BYTE*>(&handle), sizeof(handle)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(list_->DeletePort(first), 1u);
    EXPECT_FALSE(Running(u"COM5:"));
    EXPECT_FALSE(KeyExists(tulktest::PortKeyPath(0)));
}

TEST_F(DeletionTest, KeyThatResistsDeletionIsEmptiedAndDeletedAgain) {
    PortEntry* first = MakePair();
    for (const char16_t* other : {u"PortIsRO", u"SplitPort", u"RemoteHost", u"TULKNet", u"RemoteReal"}) {
        tulktest::SetDword(tulktest::PortKeyPath(0), other, 1);
    }
    OnNextWait([] { CePlatformInjectFault("RegDeleteKeyW", 0, ERROR_ACCESS_DENIED); });
    EXPECT_EQ(list_->DeletePort(first), 1u);
    EXPECT_FALSE(KeyExists(tulktest::PortKeyPath(0)));
    EXPECT_EQ(list_->Count(), 1);
}

TEST_F(DeletionTest, StoppedPortWhoseKeyCannotBeOpenedIsDeletedByTheNextAttempt) {
    PortEntry* first = MakePair();
    OnNextWait([] {
        CePlatformInjectFault("RegDeleteKeyW", 0, ERROR_ACCESS_DENIED);
        CePlatformInjectFault("RegOpenKeyExW", 0, ERROR_ACCESS_DENIED);
    });
    EXPECT_EQ(list_->DeletePort(first), 0u);
    EXPECT_EQ(list_->At(0), first);
    EXPECT_EQ(first->deviceHandle, nullptr);
    EXPECT_FALSE(Running(u"COM5:"));
    EXPECT_EQ(ValuesOf(tulktest::PortKeyPath(0)).size(), 10u);
    const size_t waits = Waits().size();
    EXPECT_EQ(list_->DeletePort(first), 1u);
    EXPECT_EQ(Waits().size(), waits);  // nothing left to stop
    EXPECT_FALSE(KeyExists(tulktest::PortKeyPath(0)));
    EXPECT_EQ(list_->Count(), 1);
}

// Only listed virtual ports are deleted and only listed physical ones toggled; a refusal writes nothing. (A
// failing deactivation and a port found only by probing are the dialog's tests.)
TEST_F(DeletionTest, RefusedEntriesAreLeftAlone) {
    StartPhysicalPort({});
    list_->Refresh();
    PortEntry* physical = list_->At(0);
    PortEntry* first = MakePair();
    PortEntry strangers[] = {*physical, *first};
    const size_t values = ValuesOf(first->keyPath).size();
    const size_t waits = Waits().size();
    for (PortEntry* refused : {&strangers[1], static_cast<PortEntry*>(nullptr), physical}) {
        EXPECT_EQ(list_->DeletePort(refused), 0u);
    }
    for (PortEntry* refused : {&strangers[0], static_cast<PortEntry*>(nullptr), first}) {
        EXPECT_EQ(list_->TogglePhysicalPort(refused), 0u);
    }
    EXPECT_EQ(list_->Count(), 3);
    EXPECT_EQ(Waits().size(), waits);
    EXPECT_TRUE(Running(u"COM1:"));
    EXPECT_TRUE(Running(u"COM5:"));
    EXPECT_EQ(TextOf(u"Drivers\\BuiltIn\\Serial1", u"Prefix"), u"COM");
    EXPECT_EQ(ValuesOf(first->keyPath).size(), values);
    EXPECT_EQ(TextOf(first->keyPath, u"Prefix"), u"COM");
}

TEST_F(DeletionTest, ReEnablingWhileAVirtualPortHasTheNameRestoresOnlyThePrefix) {
    StartPhysicalPort({});
    list_->Refresh();
    PortEntry* com1 = list_->At(0);
    ASSERT_EQ(list_->TogglePhysicalPort(com1), 1u);
    ASSERT_GE(list_->CreateVirtualPort(1, -1, 0), 0);
    EXPECT_EQ(list_->TogglePhysicalPort(com1), 0u);
    EXPECT_EQ(TextOf(com1->keyPath, u"Prefix"), u"COM");
    EXPECT_EQ(com1->isDisabled, 1u);
    EXPECT_EQ(list_->Count(), 2);
}

TEST(StoreTiming, WaitsReallyLastTheirTimeUnlessReplaced) {
    store::SetWaitFunction(nullptr);
    const ce_test::Stopwatch watch;
    store::StoreWait(kDeviceSettleMs);
    EXPECT_GE(watch.ElapsedMs(), kDeviceSettleMs);
    EXPECT_LE(watch.ElapsedMs(), ce_test::UpperBoundMs(kDeviceSettleMs));
}

}  // namespace
}  // namespace storetest
