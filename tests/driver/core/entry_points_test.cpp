// The entry points' checks of what they are handed: stale and garbage handles, access, the recording of
// communication events, and the entries that only forward.
#include <gtest/gtest.h>

#include "driver/core/fake_layer_test.h"

namespace tulktest {
namespace {

constexpr DWORD kStreamFailure = 0xFFFFFFFFu;

using EntryPointTest = FakeLayerTest;

// Every entry that takes a handle refuses one that names nothing, without touching memory behind it.
TEST_F(EntryPointTest, HandlesThatNameNothingAreRefused) {
    OpenContext* closed = Open(state_, kData);
    ASSERT_TRUE(COM_Close(Handle(closed)));
    BYTE buffer[4] = {};
    DWORD returned = 0;
    for (const DWORD_PTR handle : {DWORD_PTR{0}, DWORD_PTR{0x1234}, Handle(closed)}) {
        SCOPED_TRACE(handle);
        SetLastError(kUnsetError);
        EXPECT_FALSE(COM_Close(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(kUnsetError);
        EXPECT_EQ(COM_Read(handle, buffer, sizeof(buffer)), kStreamFailure);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(kUnsetError);
        EXPECT_EQ(KMX_Write(handle, buffer, sizeof(buffer)), kStreamFailure);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(kUnsetError);
        EXPECT_FALSE(COM_IOControl(handle, 0x001B006C, nullptr, 0, nullptr, 0, &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(COM_Seek(handle, 0, 0), kStreamFailure);
    }
    for (const DWORD_PTR handle : {DWORD_PTR{0}, DWORD_PTR{0x1234}, Handle(closed)}) {
        SetLastError(kUnsetError);
        EXPECT_FALSE(KMX_Deinit(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(kUnsetError);
        EXPECT_EQ(COM_Open(handle, 0, 0), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(COM_PowerUp(handle));
    }
    EXPECT_TRUE(COM_PowerDown(0));
    EXPECT_EQ(fake::Count("PowerOn") + fake::Count("PowerOff") + fake::Count("Ioctl"), 0);
}

struct AccessCase {
    DWORD access;
    bool read;  // read (true) or write (false)
};

class DataAccessTest : public FakeLayerTest, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(DataAccessTest, ReadAndWriteNeedTheirAccess) {
    OpenContext* context = Open(state_, GetParam().access);
    ASSERT_NE(context, nullptr);
    BYTE buffer[4] = {};
    SetLastError(kUnsetError);
    const DWORD result = GetParam().read ? COM_Read(Handle(context), buffer, sizeof(buffer))
                                         : COM_Write(Handle(context), buffer, sizeof(buffer));
    EXPECT_EQ(result, kStreamFailure);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ACCESS));
}

INSTANTIATE_TEST_SUITE_P(Refusals, DataAccessTest,
                         ::testing::Values(AccessCase{0, true}, AccessCase{0, false},
                                           AccessCase{GENERIC_WRITE, true}, AccessCase{GENERIC_READ, false}));

class PowerTest : public FakeLayerTest, public ::testing::WithParamInterface<BOOL> {};

TEST_P(PowerTest, PowerEntriesForwardTheLayersAnswer) {
    fake::Behave().powerResult = GetParam();
    EXPECT_EQ(COM_PowerUp(Handle(state_)), GetParam());
    EXPECT_EQ(KMX_PowerDown(Handle(state_)), GetParam());
    EXPECT_EQ(fake::TakeLog(), (std::vector<std::string>{"PowerOn", "PowerOff"}));
}

INSTANTIATE_TEST_SUITE_P(Answers, PowerTest, ::testing::Values(TRUE, FALSE));

struct SignalCase {
    const char* name;
    DWORD events;
    DWORD recordedOnMasked;  // on the handle waiting for EV_CTS | EV_DSR
    bool woken;
};

class SignalTest : public FakeLayerTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(SignalTest, RecordsOnHandlesWaitingForAnyOfTheEvents) {
    OpenContext* masked = Open(state_, kData);
    OpenContext* other = Open(state_, 0);
    ASSERT_NE(other, nullptr);
    for (auto [context, mask] :
         {std::pair{masked, DWORD{EV_CTS | EV_DSR}}, std::pair{other, DWORD{EV_RXCHAR}}}) {
        LockGuard events(context->EventLock);
        context->WaitMask = mask;
    }
    state_->EventMask.store(EV_CTS | EV_DSR | EV_RXCHAR);
    SignalCommEvents(state_, GetParam().events);
    EXPECT_EQ(masked->EventFlags.load(), GetParam().recordedOnMasked);
    EXPECT_EQ(WaitForSingleObject(masked->CommEvent, 0) == WAIT_OBJECT_0, GetParam().woken);
    EXPECT_EQ(other->EventFlags.load(), 0u);
    EXPECT_EQ(WaitForSingleObject(other->CommEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

INSTANTIATE_TEST_SUITE_P(Events, SignalTest,
                         ::testing::Values(SignalCase{"Masked", EV_DSR, EV_DSR, true},
                                           SignalCase{"AllBitsRecorded", EV_DSR | EV_RING, EV_DSR | EV_RING,
                                                      true},
                                           SignalCase{"OutsideEveryMask", EV_BREAK, 0, false}),
                         [](const ::testing::TestParamInfo<SignalCase>& info) { return info.param.name; });

// Events for a port nobody has open reach nobody; the thread that signals (the partner's, say) keeps its
// last error.
TEST_F(EntryPointTest, SignalOnAPortWithoutHandlesLeavesTheLastErrorAlone) {
    SetLastError(kUnsetError);
    SignalCommEvents(state_, EV_RXCHAR);
    EXPECT_EQ(GetLastError(), kUnsetError);
}

}  // namespace
}  // namespace tulktest
