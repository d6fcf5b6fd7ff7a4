// Opens and closes driven through a layer of the test's own: the slots a first open calls and in which
// order, a refusing Open slot, the one data owner beside queries, the close that drains calls still inside
// and the retirement of an instance with handles open.
#include <gtest/gtest.h>

#include <thread>

#include "common/timing.h"
#include "driver/core/fake_layer_test.h"

namespace tulktest {
namespace {

using OpenCloseTest = FakeLayerTest;

TEST_F(OpenCloseTest, FirstOpenStartsThePortAndLastCloseStopsIt) {
    OpenContext* owner = Open(state_, kData);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(fake::TakeLog(),
              (std::vector<std::string>{"SetDCB(9600)", "SetCommTimeouts", "Open", "PurgeComm(8)"}));
    OpenContext* query = Open(state_, 0);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(state_->OpenCount.load(), 2u);
    ASSERT_TRUE(COM_Close(Handle(owner)));
    EXPECT_EQ(fake::Count("Close"), 0);
    ASSERT_TRUE(COM_Close(Handle(query)));
    EXPECT_EQ(fake::TakeLog(), std::vector<std::string>{"Close"});
    SetLastError(kUnsetError);
    EXPECT_FALSE(COM_Close(Handle(query)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(OpenCloseTest, RefusedOpenLeavesThePortUsable) {
    fake::Behave().openResult = FALSE;
    SetLastError(kUnsetError);
    EXPECT_EQ(Open(state_, kData), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPEN_FAILED));
    EXPECT_EQ(state_->OpenCount.load(), 0u);
    EXPECT_EQ(state_->AccessOwner.load(), nullptr);
    EXPECT_EQ(state_->OpenList, nullptr);
    fake::Behave().openResult = TRUE;
    fake::TakeLog();
    ASSERT_NE(Open(state_, kData), nullptr);
    EXPECT_EQ(fake::Count("Open"), 1);
    EXPECT_EQ(fake::Count("PurgeComm(8)"), 1);
}

TEST_F(OpenCloseTest, OneDataOwnerAndAnyNumberOfQueriesBesideIt) {
    struct Case {
        DWORD held, asked;
        bool opens;
    };
    for (const Case c : {Case{kData, kData, false}, Case{GENERIC_READ, GENERIC_WRITE, false},
                         Case{GENERIC_WRITE, GENERIC_READ, false}, Case{kData, 0, true}, Case{0, kData, true},
                         Case{0, 0, true}}) {
        OpenContext* held = Open(state_, c.held);
        ASSERT_NE(held, nullptr);
        SetLastError(kUnsetError);
        OpenContext* asked = Open(state_, c.asked);
        EXPECT_EQ(asked != nullptr, c.opens) << std::hex << c.held << " then " << c.asked;
        if (!c.opens) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ACCESS));
        }
        if (asked != nullptr) {
            EXPECT_TRUE(COM_Close(Handle(asked)));
        }
        EXPECT_TRUE(COM_Close(Handle(held)));
        EXPECT_EQ(state_->AccessOwner.load(), nullptr);
    }
}

struct DrainCase {
    const char* name;
    bool releasedByClose;  // the blocked call waits on what the close sets
};

class CloseDrainTest : public FakeLayerTest, public ::testing::WithParamInterface<DrainCase> {};

// A call blocked inside the handle: the close wakes it and waits for it, but never longer than its 20 passes
// of 100 ms; a call that stays inside after that still finds its handle's record when it leaves.
TEST_P(CloseDrainTest, CloseReturnsWithinTwoSeconds) {
    OpenContext* owner = Open(state_, kData);
    ASSERT_NE(owner, nullptr);
    HANDLE gate =
        GetParam().releasedByClose ? state_->ReadEvent : CreateEventW(nullptr, TRUE, FALSE, nullptr);
    fake::Behave().ioctlGate = gate;
    std::atomic<BOOL> answered{-1};
    std::thread blocked([&] {
        DWORD returned = 0;
        answered = COM_IOControl(Handle(owner), 0x001B006C, nullptr, 0, nullptr, 0, &returned);
    });
    ASSERT_TRUE(WaitUntil([] { return fake::Count("Ioctl") == 1; }, 2000));
    ce_test::Stopwatch watch;
    EXPECT_TRUE(COM_Close(Handle(owner)));
    const int64_t elapsed = watch.ElapsedMs();
    if (GetParam().releasedByClose) {
        EXPECT_LT(elapsed, 1900);
    } else {
        EXPECT_GE(elapsed, 1990);
        EXPECT_EQ(answered.load(), -1);
        fake::Behave().ioctlGate = nullptr;
        SetEvent(gate);
    }
    EXPECT_LE(elapsed, ce_test::UpperBoundMs(2000));
    blocked.join();
    EXPECT_EQ(answered.load(), TRUE);
    if (!GetParam().releasedByClose) {
        CloseHandle(gate);
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, CloseDrainTest,
                         ::testing::Values(DrainCase{"WokenByTheClose", true},
                                           DrainCase{"StaysInside", false}),
                         [](const ::testing::TestParamInfo<DrainCase>& info) { return info.param.name; });

TEST_F(OpenCloseTest, DeinitClosesOpenHandlesThenDeinitsTheLayer) {
    OpenContext* owner = Open(state_, kData);
    OpenContext* query = Open(state_, 0);
    ASSERT_NE(query, nullptr);
    fake::TakeLog();
    Destroy(state_);
    EXPECT_EQ(fake::TakeLog(), (std::vector<std::string>{"Close", "Deinit"}));
    for (OpenContext* gone : {owner, query}) {
        SetLastError(kUnsetError);
        EXPECT_FALSE(COM_Close(Handle(gone)));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    SetLastError(kUnsetError);
    EXPECT_EQ(COM_Open(Handle(state_), 0, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(OpenCloseTest, FailedInitHandsTheOpsObjectBack) {
    fake::Behave().initFails = true;
    EXPECT_EQ(Create(PairEnd(u"COM", 1), fake::kLayer), nullptr);
    EXPECT_EQ(fake::TakeLog(), (std::vector<std::string>{"Init", "Deinit(null)", "ReleaseOps"}));
}

}  // namespace
}  // namespace tulktest
