// The entry points' checks of what they are handed: stale and garbage handles, access, and the entries that
// only forward. (Which handles communication events reach is the serial tests'.)
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

// Events for a port nobody has open reach nobody; the thread that signals (the partner's, say) keeps its
// last error.
TEST_F(EntryPointTest, SignalOnAPortWithoutHandlesLeavesTheLastErrorAlone) {
    SetLastError(kUnsetError);
    SignalCommEvents(state_, EV_RXCHAR);
    EXPECT_EQ(GetLastError(), kUnsetError);
}

}  // namespace
}  // namespace tulktest
