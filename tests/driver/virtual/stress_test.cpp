// Both ends of a pair writing and taking in at once while lines, settings and flow control change, ports
// purge, close and open again: no deadlock, no race, and every byte a writer counted as sent arrives on the
// other side exactly once and in order.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>

#include "driver/virtual/virtual_fixture.h"

namespace vtest {
namespace {

constexpr DWORD kRunMs = 3000;
constexpr DWORD kStopTimeoutMs = 20000;  // a thread still busy this long after the stop is stuck
constexpr DWORD kServeWaitMs = 10;
constexpr DWORD kHeldWriterWaitMs = 5;
constexpr DWORD kMaxWriteBytes = 5000;
constexpr DWORD kMaxChaosPauseMs = 3;
constexpr DWORD kImmediateOneIn = 40;  // how often a service step also posts an immediate character
// Data bytes carry their stream position modulo 128; immediate characters have the top bit set, so both
// can be told apart on arrival.
constexpr BYTE kImmediateBit = 0x80;
constexpr DWORD kStreamModulus = 0x80;

struct End {
    PortState* state = nullptr;
    OpenContext* handle = nullptr;  // chaos thread only, after set-up
    HANDLE kick = nullptr;          // set by the service thread on a transmit report
    std::atomic<uint64_t> sent{0};  // bytes this end's writer counted as sent
    uint64_t received = 0;          // data bytes this end took in; service thread only until the join
    std::atomic<uint64_t> immediates{0};
    std::atomic<bool> disorder{false};
};

class StressTest : public VirtualPortTest {
  protected:
    void SetUp() override {
        VirtualPortTest::SetUp();
        CreatePair();
        if (HasFatalFailure()) {
            return;
        }
        ends_[0].state = a_;
        ends_[1].state = b_;
        for (End& end : ends_) {
            end.handle = OpenData(end.state);
            ASSERT_NE(end.handle, nullptr);
            end.kick = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            ASSERT_NE(end.kick, nullptr);
        }
    }
    void TearDown() override {
        for (End& end : ends_) {
            if (end.kick != nullptr) {
                CloseHandle(end.kick);
            }
        }
        VirtualPortTest::TearDown();
    }

    // The port's dispatch thread, as the core runs it, taking in with a random room each time.
    void Serve(End& self, unsigned seed) {
        std::mt19937 random(seed);
        PortState* state = self.state;
        while (!stopService_.load()) {
            WaitForSingleObject(state->SerialEvent, kServeWaitMs);
            for (DWORD report; (report = Ops(state).GetInterruptType(Vp(state))) != kInterruptNone;) {
                if ((report & kInterruptReceive) != 0) {
                    TakeIn(self, random);
                }
                if ((report & kInterruptTransmit) != 0) {
                    SetEvent(self.kick);
                }
                if ((report & kInterruptModem) != 0) {
                    Ops(state).ModemIntr(Vp(state));
                }
            }
        }
    }

    static void TakeIn(End& self, std::mt19937& random) {
        BYTE target[kFifoBytes];
        DWORD count = 1 + random() % kFifoBytes;
        Ops(self.state).RxIntr(Vp(self.state), target, &count, RxInto::kRing);
        for (DWORD i = 0; i < count; ++i) {
            if ((target[i] & kImmediateBit) != 0) {
                self.immediates.fetch_add(1);
            } else if (target[i] != self.received++ % kStreamModulus) {
                self.disorder.store(true);
            }
        }
        // Receive flow control of a real core posts characters from this thread.
        if (random() % kImmediateOneIn == 0) {
            Ops(self.state).XmitComChar(Vp(self.state), static_cast<BYTE>(kImmediateBit | random()));
        }
    }

    // An application writing without pause; a refused write ends and the next one goes on with the stream.
    void Write(End& self, unsigned seed) {
        std::mt19937 random(seed);
        std::vector<BYTE> chunk(kMaxWriteBytes);
        uint64_t next = 0;
        PortState* state = self.state;
        const HANDLE wakes[] = {self.kick, state->TransmitEvent};
        while (!stopWriters_.load()) {
            const DWORD length = 1 + random() % kMaxWriteBytes;
            for (DWORD i = 0; i < length; ++i) {
                chunk[i] = static_cast<BYTE>((next + i) % kStreamModulus);
            }
            for (DWORD offset = 0; offset < length && !stopWriters_.load();) {
                DWORD count = length - offset;
                Ops(state).TxIntr(Vp(state), chunk.data() + offset, &count);
                offset += count;
                next += count;
                self.sent.fetch_add(count);
                if (count == 0 &&
                    WaitForMultipleObjects(2, wakes, FALSE, kHeldWriterWaitMs) == WAIT_OBJECT_0 + 1) {
                    break;
                }
            }
        }
    }

    void Chaos(unsigned seed) {
        std::mt19937 random(seed);
        using LineSlot = PortSetDtrFn* PortOps::*;
        const LineSlot lines[] = {&PortOps::SetDTR, &PortOps::ClearDTR, &PortOps::SetRTS, &PortOps::ClearRTS};
        const DWORD purges[] = {PURGE_RXABORT, PURGE_TXABORT, PURGE_TXCLEAR,
                                PURGE_RXABORT | PURGE_TXABORT | PURGE_TXCLEAR};
        while (!stopChaos_.load()) {
            End& end = ends_[random() % 2];
            PortState* state = end.state;
            switch (random() % 6) {
                case 0:
                case 1:
                    (Ops(state).*lines[random() % 4])(Vp(state));
                    break;
                case 2: {
                    static thread_local unsigned flow;
                    flow = random();
                    ChangeDcb(state, [](DCB* dcb) {
                        dcb->fOutxCtsFlow = flow & 1;
                        dcb->fOutxDsrFlow = (flow >> 1) & 1;
                    });
                    break;
                }
                case 3:
                    Ops(state).PurgeComm(Vp(state), purges[random() % 4]);
                    break;
                case 4: {
                    EXPECT_TRUE(COM_Close(Handle(end.handle)));
                    Sleep(random() % kMaxChaosPauseMs);
                    end.handle = OpenData(state);
                    EXPECT_NE(end.handle, nullptr);
                    break;
                }
                default: {
                    DWORD modem = 0;
                    COMSTAT status;
                    Ops(state).GetModemStatus(Vp(state), &modem);
                    Ops(state).GetStatus(Vp(state), &status);
                    break;
                }
            }
            Sleep(random() % kMaxChaosPauseMs);
        }
    }

    // A thread that does not end after its stop is stuck; the run ends here rather than hang.
    static void StopOrAbort(std::atomic<bool>& stop, std::atomic<int>& done, const char* what) {
        stop.store(true);
        if (!tulktest::WaitUntil([&] { return done.load() == 2; }, kStopTimeoutMs)) {
            std::fprintf(stderr, "stuck: %s\n", what);
            std::abort();
        }
    }

    End ends_[2];
    std::atomic<bool> stopChaos_{false};
    std::atomic<bool> stopWriters_{false};
    std::atomic<bool> stopService_{false};
};

TEST_F(StressTest, EveryByteSentArrivesInOrder) {
    std::atomic<int> writersDone{0};
    std::atomic<int> serversDone{0};
    auto counted = [](std::atomic<int>& done, std::function<void()> body) {
        return std::thread([&done, body] {
            body();
            done.fetch_add(1);
        });
    };
    std::thread threads[] = {counted(serversDone, [&] { Serve(ends_[0], 11); }),
                             counted(serversDone, [&] { Serve(ends_[1], 12); }),
                             counted(writersDone, [&] { Write(ends_[0], 21); }),
                             counted(writersDone, [&] { Write(ends_[1], 22); })};
    std::thread chaos([&] { Chaos(31); });
    Sleep(kRunMs);
    stopChaos_.store(true);
    chaos.join();
    // Writers first: a writer waiting on its partner needs the partner's service thread to end the wait.
    StopOrAbort(stopWriters_, writersDone, "a writer: a wait on the partner never ended");
    StopOrAbort(stopService_, serversDone, "a service thread");
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < 2; ++i) {
        const End& writer = ends_[i];
        const End& reader = ends_[1 - i];
        EXPECT_FALSE(reader.disorder.load()) << "end " << 1 - i << " received bytes out of order";
        EXPECT_EQ(reader.received, writer.sent.load()) << "from end " << i;
        EXPECT_GT(writer.sent.load(), 0u) << "end " << i << " never got a byte through";
    }
    std::printf("sent %llu and %llu bytes, %llu and %llu immediate characters\n",
                static_cast<unsigned long long>(ends_[0].sent.load()),
                static_cast<unsigned long long>(ends_[1].sent.load()),
                static_cast<unsigned long long>(ends_[1].immediates.load()),
                static_cast<unsigned long long>(ends_[0].immediates.load()));
}

}  // namespace
}  // namespace vtest
