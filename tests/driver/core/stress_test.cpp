// Several threads open, close, wait for and signal communication events on a port while another one
// retires it and creates it again, for a few seconds: nothing deadlocks, nothing races, nothing leaks.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "core/live_records.h"
#include "driver/core/in_process.h"

namespace tulktest {
namespace {

constexpr DWORD kRunMs = 3000;
constexpr DWORD kInstanceLifeMs = 25;
constexpr DWORD kEventWaitMs = 5;
constexpr DWORD kWaitedEvents = EV_RXCHAR | EV_CTS | EV_DSR;

class StressTest : public InProcessTest {
  protected:
    // The instance the workers use now; 0 while there is none.
    std::atomic<DWORD_PTR> current_{0};
    std::atomic<bool> stop_{false};
    std::atomic<long> opens_{0}, signals_{0}, lifetimes_{0};
};

// A handle that waits for events, as IOCTL_SERIAL_SET_WAIT_MASK would leave it.
void WaitFor(PortState* state, OpenContext* context, DWORD mask) {
    LockGuard events(context->EventLock);
    context->WaitMask = mask;
    state->EventMask.fetch_or(mask);
}

TEST_F(StressTest, OpenCloseSignalAndRetireFromManyThreads) {
    const std::u16string active = WriteKeys(PairEnd(u"COM", 0));
    ASSERT_NE(Create(PairEnd(u"COM", 1)), nullptr);  // the partner stays all along

    std::vector<std::thread> workers;
    workers.emplace_back([&] {
        while (!stop_) {
            PortState* state = CreateInstance(active.c_str(), kVirtualPortLayer);
            ASSERT_NE(state, nullptr);
            current_ = Handle(state);
            Sleep(kInstanceLifeMs);
            current_ = 0;
            EXPECT_TRUE(COM_Deinit(Handle(state)));
            ++lifetimes_;
        }
    });
    for (int i = 0; i < 3; ++i) {
        workers.emplace_back([&, seed = i] {
            std::minstd_rand random(seed);
            while (!stop_) {
                const DWORD access = (random() & 1) != 0 ? GENERIC_READ | GENERIC_WRITE : 0;
                const DWORD_PTR open = COM_Open(current_.load(), access, 0);
                if (open == 0) {
                    std::this_thread::yield();  // no instance, retired meanwhile, or data access taken
                    continue;
                }
                ++opens_;
                OpenContext* context = ReferenceOpenContext(open);  // may already be closed by the retirement
                if (context != nullptr) {
                    WaitFor(context->Device, context, kWaitedEvents);
                    WaitForSingleObject(context->CommEvent, kEventWaitMs);
                    DWORD returned = 0;
                    COM_IOControl(open, 0x001B006C, nullptr, 0, nullptr, 0, &returned);
                    ReleaseOpenContext(context);
                }
                COM_Close(open);
            }
        });
    }
    workers.emplace_back([&] {
        std::minstd_rand random(7);
        while (!stop_) {
            PortState* state = ReferencePortState(current_.load());
            if (state != nullptr) {
                SignalCommEvents(state, 1u << (random() % 9));
                ReleasePortState(state);
                ++signals_;
            }
            std::this_thread::yield();
        }
    });

    Sleep(kRunMs);
    stop_ = true;
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_GT(lifetimes_.load(), 0);
    EXPECT_GT(opens_.load(), 0);
    EXPECT_GT(signals_.load(), 0);
}

}  // namespace
}  // namespace tulktest
