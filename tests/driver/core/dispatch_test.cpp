// The dispatch thread's service pass through a layer of the test's own: what it asks the layer, where the
// received bytes go, what it signals, and a thread that does not stop in time keeping its port alive.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/timing.h"
#include "driver/core/fake_layer_test.h"

namespace tulktest {
namespace {

class DispatchTest : public FakeLayerTest {
  protected:
    // Opens the owner handle, waiting for `mask` as a wait for events would.
    OpenContext* OpenWaiting(DWORD mask) {
        OpenContext* owner = Open(state_, kData);
        if (owner != nullptr) {
            LockGuard events(owner->EventLock);
            owner->WaitMask = mask;
            state_->EventMask.store(mask);
        }
        return owner;
    }
    void Serve(std::vector<DWORD> interrupts, DWORD bytesPerCall) {
        {
            std::lock_guard<std::mutex> guard(fake::Recorded().lock);
            fake::Behave().interrupts = std::move(interrupts);
        }
        fake::Behave().rxBytesPerCall = bytesPerCall;
        fake::TakeLog();
        SetEvent(state_->SerialEvent);
    }
};

TEST_F(DispatchTest, PassServesEveryReportThenSignalsOnce) {
    OpenContext* owner = OpenWaiting(EV_RXCHAR | EV_CTS);
    ASSERT_NE(owner, nullptr);
    Serve({kInterruptReceive | kInterruptModem, kInterruptLine, kInterruptReceive}, 10);
    ASSERT_EQ(WaitForSingleObject(owner->CommEvent, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(fake::TakeLog(),
              (std::vector<std::string>{"RxIntr(2047)", "ModemIntr", "LineIntr", "RxIntr(2037)"}));
    EXPECT_EQ(owner->EventFlags.load(), static_cast<DWORD>(EV_RXCHAR));
    EXPECT_EQ(WaitForSingleObject(state_->ReadEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(state_->RxWrite.load(), 20u);
    EXPECT_EQ(state_->RxBytes.load(), 20u);
    EXPECT_EQ(fake::Behave().ownerCallsInPass.load(), 1);  // the pass counts itself into the owner
    EXPECT_TRUE(WaitUntil([&] { return owner->ActiveCalls.load() == 0; }, 2000));
}

// An abort that lands the moment a wait has begun (the call counted among the handle's active calls) still
// ends it: a new event mask a pending WaitCommEvent, and PURGE_RXABORT a pending read. The rounds move the
// abort across the first steps of the wait.
TEST_F(DispatchTest, AbortsAtTheStartOfAWaitAreNeverLost) {
    constexpr int kRounds = 1000;
    OpenContext* owner = Open(state_, kData);
    ASSERT_NE(owner, nullptr);
    const DWORD_PTR handle = Handle(owner);
    COMMTIMEOUTS forever{};
    ASSERT_TRUE(COM_IOControl(handle, IOCTL_SERIAL_SET_TIMEOUTS, reinterpret_cast<PBYTE>(&forever),
                              sizeof(forever), nullptr, 0, nullptr));
    DWORD mask = EV_RXCHAR;
    DWORD purge = PURGE_RXABORT;
    const auto abortWait = [&] {
        COM_IOControl(handle, IOCTL_SERIAL_SET_WAIT_MASK, reinterpret_cast<PBYTE>(&mask), sizeof(mask),
                      nullptr, 0, nullptr);
    };
    const auto abortRead = [&] {
        COM_IOControl(handle, IOCTL_SERIAL_PURGE, reinterpret_cast<PBYTE>(&purge), sizeof(purge), nullptr, 0,
                      nullptr);
    };
    const auto wait = [&] {
        DWORD events = 0;
        DWORD returned = 0;
        COM_IOControl(handle, IOCTL_SERIAL_WAIT_ON_MASK, nullptr, 0, reinterpret_cast<PBYTE>(&events),
                      sizeof(events), &returned);
    };
    const auto read = [&] {
        BYTE byte = 0;
        COM_Read(handle, &byte, 1);
    };
    abortWait();
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        for (int kind = 0; kind < 2; ++kind) {
            std::atomic<bool> done{false};
            std::thread caller([&] {
                kind == 0 ? wait() : read();
                done.store(true);
            });
            // The wait has begun once it counts itself, beside its control call's count: from then on an
            // abort is one it must see. A read counts itself once, after it took the abort count.
            const LONG begun = kind == 0 ? 2 : 1;
            while (owner->ActiveCalls.load() < begun) {
                std::this_thread::yield();
            }
            for (int spin = 0; spin < round % 64; ++spin) {
                std::this_thread::yield();
            }
            kind == 0 ? abortWait() : abortRead();
            // Watched closely: a thousand rounds of the usual 10 ms polls would take most of a minute.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (!done.load() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
            if (!done.load()) {
                ADD_FAILURE() << (kind == 0 ? "the new mask" : "PURGE_RXABORT") << " was lost in round "
                              << round;
                COM_Close(handle);  // ends the call
            }
            caller.join();
        }
    }
}

TEST_F(DispatchTest, ThreadThatDoesNotStopKeepsItsPortUntilItEnds) {
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    fake::Behave().interruptGate = gate;
    SetEvent(state_->SerialEvent);
    ASSERT_TRUE(WaitUntil([] { return fake::Count("GetInterruptType(gated)") == 1; }, 2000));
    ce_test::Stopwatch watch;
    Destroy(state_);
    EXPECT_GE(watch.ElapsedMs(), 3000);
    EXPECT_LE(watch.ElapsedMs(), ce_test::UpperBoundMs(3000));
    EXPECT_EQ(fake::Count("Deinit"), 0);
    fake::Behave().interruptGate = nullptr;
    SetEvent(gate);
    EXPECT_TRUE(WaitUntil([] { return fake::Count("Deinit") == 1; }, 2000));
    CloseHandle(gate);
}

}  // namespace
}  // namespace tulktest
