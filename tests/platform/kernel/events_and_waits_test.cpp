#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <ceplatform.h>
#include <windows.h>

#include "common/timing.h"

namespace {

using ce_test::Stopwatch;
using ce_test::UpperBoundMs;

HANDLE NewEvent(bool manual, bool initial) {
    HANDLE event = CreateEventW(nullptr, manual, initial, nullptr);
    EXPECT_NE(event, nullptr);
    return event;
}

TEST(Events, AutoResetReleasesOneWaitAndClears) {
    HANDLE event = NewEvent(false, true);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT)
        << "an auto-reset event clears when a wait takes it";
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "two sets before a wait count once";
    CloseHandle(event);
}

TEST(Events, ManualResetStaysSetUntilReset) {
    HANDLE event = NewEvent(true, false);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

// Two threads hand a signal back and forth as fast as they can, now and then with a pause that outlasts
// any spin before sleeping: every hand-over must arrive, whether the waiter caught it spinning or asleep.
TEST(Waits, RapidHandOversAreNeverLost) {
    constexpr int kRounds = 20000;
    constexpr int kPauseEvery = 97;
    constexpr DWORD kRoundBoundMs = 5000;
    HANDLE ping = NewEvent(false, false);
    HANDLE pong = NewEvent(false, false);
    std::atomic<int> lost{0};
    std::thread responder([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (WaitForSingleObject(ping, kRoundBoundMs) != WAIT_OBJECT_0) {
                lost.fetch_add(1);
                return;
            }
            if (i % kPauseEvery == 0) {
                Sleep(1);
            }
            SetEvent(pong);
        }
    });
    int answered = 0;
    for (int i = 0; i < kRounds; ++i) {
        SetEvent(ping);
        if (WaitForSingleObject(pong, kRoundBoundMs) != WAIT_OBJECT_0) {
            break;
        }
        ++answered;
    }
    responder.join();
    EXPECT_EQ(answered, kRounds);
    EXPECT_EQ(lost.load(), 0);
    EXPECT_EQ(WaitForSingleObject(ping, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(pong, 0), WAIT_TIMEOUT);
    CloseHandle(ping);
    CloseHandle(pong);
}

// PulseEvent releases exactly the threads waiting at that moment: one for auto-reset, all for manual reset,
// and leaves the event clear either way.
struct PulseCase {
    bool manual;
    int waiters;
    int expectedReleased;
};

class PulseEventTest : public testing::TestWithParam<PulseCase> {};

TEST_P(PulseEventTest, ReleasesTheThreadsWaitingNow) {
    const PulseCase c = GetParam();
    HANDLE event = NewEvent(c.manual, false);
    HANDLE ready = NewEvent(false, false);
    std::atomic<int> released{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < c.waiters; ++i) {
        threads.emplace_back([&] {
            SetEvent(ready);
            if (WaitForSingleObject(event, 600) == WAIT_OBJECT_0) {
                released.fetch_add(1);
            }
        });
        WaitForSingleObject(ready, INFINITE);
    }
    Sleep(100);  // let every waiter park in its wait
    ASSERT_TRUE(PulseEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "a pulse leaves the event clear";
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(released.load(), c.expectedReleased);
    CloseHandle(event);
    CloseHandle(ready);
}

INSTANTIATE_TEST_SUITE_P(Waiters, PulseEventTest,
                         testing::Values(PulseCase{false, 0, 0}, PulseCase{true, 0, 0},
                                         PulseCase{false, 1, 1}, PulseCase{true, 1, 1},
                                         PulseCase{false, 3, 1}, PulseCase{true, 3, 3}));

TEST(Waits, TimeoutIsNeverShortAndNotMuchLonger) {
    HANDLE event = NewEvent(false, false);
    for (DWORD timeout : {20u, 150u}) {
        Stopwatch watch;
        EXPECT_EQ(WaitForSingleObject(event, timeout), WAIT_TIMEOUT);
        const int64_t elapsed = watch.ElapsedMs();
        EXPECT_GE(elapsed, timeout);
        EXPECT_LE(elapsed, UpperBoundMs(timeout));
    }
    CloseHandle(event);
}

TEST(Waits, MultipleObjectsAnswersTheLowestSignaledIndex) {
    HANDLE events[3] = {NewEvent(false, false), NewEvent(true, true), NewEvent(false, true)};
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    ResetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 10), WAIT_TIMEOUT)
        << "index 2 was auto-reset and taken";

    std::thread setter([&] {
        Sleep(30);
        SetEvent(events[2]);
    });
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    setter.join();
    EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_TIMEOUT) << "the other objects were not touched";
    for (HANDLE e : events) {
        CloseHandle(e);
    }
}

TEST(Waits, AutoResetSignalGoesToExactlyOneOfSeveralWaits) {
    HANDLE shared = NewEvent(false, false);
    HANDLE others[2] = {NewEvent(false, false), NewEvent(false, false)};
    std::atomic<int> woken{0};
    std::vector<std::thread> threads;
    for (HANDLE other : others) {
        threads.emplace_back([&, other] {
            HANDLE set[2] = {other, shared};
            if (WaitForMultipleObjects(2, set, FALSE, 2000) == WAIT_OBJECT_0 + 1) {
                woken.fetch_add(1);
            }
        });
    }
    Sleep(100);
    SetEvent(shared);
    Sleep(100);
    SetEvent(others[0]);
    SetEvent(others[1]);
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(woken.load(), 1);
    EXPECT_EQ(WaitForSingleObject(shared, 0), WAIT_TIMEOUT);
    CloseHandle(shared);
    CloseHandle(others[0]);
    CloseHandle(others[1]);
}

TEST(Waits, BadArgumentsFail) {
    HANDLE event = NewEvent(false, true);
    HANDLE two[2] = {event, event};
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForMultipleObjects(2, two, TRUE, 0), WAIT_FAILED) << "the device knows no wait-for-all";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(0, two, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, two, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "failed waits took nothing";
    CloseHandle(event);
}

// Closed, never-issued and garbage handles fail cleanly everywhere, and a reused slot does not revive an
// old handle.
TEST(Handles, StaleAndGarbageHandlesAreInvalid) {
    HANDLE event = NewEvent(true, true);
    ASSERT_TRUE(CloseHandle(event));
    HANDLE reused = NewEvent(true, true);
    const HANDLE garbage[] = {event,
                              nullptr,
                              INVALID_HANDLE_VALUE,
                              reinterpret_cast<HANDLE>(0x12345678),
                              reinterpret_cast<HANDLE>(0x7fffffffffffull),
                              reinterpret_cast<HANDLE>(HKEY_LOCAL_MACHINE)};
    for (HANDLE h : garbage) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED) << h;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetEvent(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(ResetEvent(h));
        EXPECT_FALSE(PulseEvent(h));
        EXPECT_FALSE(CloseHandle(h));
    }
    EXPECT_EQ(WaitForSingleObject(reused, 0), WAIT_OBJECT_0) << "the new object is untouched";
    CloseHandle(reused);
}

TEST(Handles, ClosingAHandleLeavesItsWaitersWaiting) {
    // A named event gives a second handle to the same object.
    HANDLE named = CreateEventW(nullptr, FALSE, FALSE, u"close-test");
    HANDLE second = CreateEventW(nullptr, FALSE, FALSE, u"CLOSE-TEST");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "names compare case-insensitively";
    std::thread waiter([named] { EXPECT_EQ(WaitForSingleObject(named, 2000), WAIT_OBJECT_0); });
    Sleep(50);
    CloseHandle(named);
    EXPECT_TRUE(SetEvent(second)) << "the object lives while a handle or a waiter holds it";
    waiter.join();
    CloseHandle(second);
}

TEST(Events, CreateEventFaultPointFailsOnceWithItsError) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CePlatformInjectFault("NoSuchPoint", 0, ERROR_OUTOFMEMORY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_TRUE(CePlatformInjectFault("CreateEventW", 1, ERROR_OUTOFMEMORY));
    HANDLE first = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(first, nullptr) << "the skipped call passes";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateEventW(nullptr, FALSE, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
    HANDLE third = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(third, nullptr) << "a fault fires once";
    CloseHandle(first);
    CloseHandle(third);
}

}  // namespace
