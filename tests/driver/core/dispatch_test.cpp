// The dispatch thread's service pass through a layer of the test's own: what it asks the layer, where the
// received bytes go, what it signals, and a thread that does not stop in time keeping its port alive.
#include <gtest/gtest.h>

#include "common/timing.h"
#include "driver/core/fake_layer_test.h"

namespace tulktest {
namespace {

constexpr DWORD kOfferedBytes = 100;

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

struct RingCase {
    DWORD read, write;
    DWORD room;   // what RxIntr is offered; 0 means the ring is full
    DWORD after;  // RxWrite after the pass
};

class ReceiveRoomTest : public DispatchTest, public ::testing::WithParamInterface<RingCase> {};

TEST_P(ReceiveRoomTest, OffersTheContiguousRoomAndWraps) {
    const RingCase& c = GetParam();
    ASSERT_NE(OpenWaiting(EV_RXCHAR), nullptr);
    {
        LockGuard rx(state_->RxLock);
        state_->RxRead.store(c.read);
        state_->RxWrite.store(c.write);
    }
    Serve({kInterruptReceive}, kOfferedBytes);
    const std::string offered = "RxIntr(" + std::to_string(c.room == 0 ? 16 : c.room) + ")";
    ASSERT_TRUE(WaitUntil([&] { return fake::Count(offered) == 1; }, 2000));
    // The pass is over once its stored bytes are counted (or, for a full ring, its scratch bytes dropped).
    ASSERT_TRUE(WaitUntil(
        [&] {
            return state_->RxBytes.load() + state_->DroppedBytesCore.load() ==
                   std::min(kOfferedBytes, c.room == 0 ? 16 : c.room);
        },
        2000));
    EXPECT_EQ(state_->RxWrite.load(), c.after);
    EXPECT_EQ(state_->DroppedBytesCore.load(), c.room == 0 ? 16u : 0u);
    EXPECT_EQ(WaitForSingleObject(state_->ReadEvent, 0) == WAIT_OBJECT_0, c.room != 0);
}

INSTANTIATE_TEST_SUITE_P(Rings, ReceiveRoomTest,
                         ::testing::Values(RingCase{0, 0, 2047, 100}, RingCase{0, 2047, 0, 2047},
                                           RingCase{5, 3, 1, 4}, RingCase{5, 4, 0, 4},
                                           RingCase{5, 10, 2038, 110}, RingCase{5, 2040, 8, 0}));

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
