// Everything at once on one pair for a few seconds: writers, readers and event waiters on both ends, while
// other threads switch flow-control modes and timeouts, drive the lines, purge, send immediate characters,
// close and reopen handles and deactivate and reactivate the ports. Every call is bounded by timeouts or
// ended by a mask change, so when the run stops every thread must come back by itself; one that does not
// has deadlocked. Under ThreadSanitizer the same run proves the absence of data races.
#include <atomic>
#include <cstdio>
#include <random>

#include "driver/serial/serial_fixture.h"

namespace serialtest {
namespace {

constexpr DWORD kRunMs = 2500;
constexpr DWORD kStopBoundMs = 10000 * ce_test::kSlowdown;
constexpr DWORD kMaxTransferBytes = 5000;
constexpr DWORD kChaosPauseMs = 40;
constexpr int kDeactivationsPerEnd = 2;
constexpr DWORD kAllEvents =
    EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR;

// Every timeout here ends a call within a fraction of a second.
const COMMTIMEOUTS kBoundedTimeouts[] = {
    {MAXDWORD, 0, 0, 0, 200},
    {MAXDWORD, MAXDWORD, 50, 0, 100},
    {20, 0, 60, 0, 150},
    {0, 0, 100, 0, 50},
};

const DWORD kBaudRates[] = {9600, 115200, 56000, 19200};

using Random = std::mt19937;

DWORD Pick(Random& random, DWORD below) {
    return std::uniform_int_distribution<DWORD>(0, below - 1)(random);
}

struct End {
    DWORD index = 0;
    std::atomic<HANDLE> owner{INVALID_HANDLE_VALUE};
    std::atomic<HANDLE> watcher{INVALID_HANDLE_VALUE};
    HANDLE device = nullptr;  // the chaos thread's
};

struct Counters {
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> read{0};
    std::atomic<uint64_t> events{0};
};

void RandomState(HANDLE port, Random& random) {
    DCB dcb{};
    if (!GetCommState(port, &dcb)) {
        return;
    }
    dcb.fOutX = Pick(random, 3) == 0;
    dcb.fInX = Pick(random, 3) == 0;
    dcb.fTXContinueOnXoff = Pick(random, 2);
    dcb.fOutxCtsFlow = Pick(random, 3) == 0;
    dcb.fOutxDsrFlow = Pick(random, 4) == 0;
    dcb.fDtrControl = Pick(random, 3);
    dcb.fRtsControl = Pick(random, 4);
    dcb.fNull = Pick(random, 4) == 0;
    dcb.fDsrSensitivity = Pick(random, 6) == 0;
    dcb.EvtChar = static_cast<char>(Pick(random, 256));
    dcb.BaudRate = kBaudRates[Pick(random, std::size(kBaudRates))];
    SetCommState(port, &dcb);
}

void RandomControl(End& end, Random& random) {
    HANDLE port = end.owner.load();
    switch (Pick(random, 10)) {
        case 0:
            RandomState(port, random);
            break;
        case 1: {
            COMMTIMEOUTS timeouts = kBoundedTimeouts[Pick(random, std::size(kBoundedTimeouts))];
            SetCommTimeouts(port, &timeouts);
            break;
        }
        case 2:
            EscapeCommFunction(port, SETXOFF + Pick(random, 6));  // SETXOFF to CLRDTR
            break;
        case 3:
            PurgeComm(port, Pick(random, 16));
            break;
        case 4:
            TransmitCommChar(port, static_cast<char>(Pick(random, 256)));
            break;
        case 5: {
            COMSTAT status{};
            DWORD errors = 0;
            ClearCommError(port, &errors, &status);
            DWORD lines = 0;
            GetCommModemStatus(port, &lines);
            break;
        }
        case 6:
        case 7:
            // A new mask ends a wait, so waiters never sleep through the stop.
            SetCommMask(end.watcher.load(), kAllEvents & (Pick(random, 0x100) | EV_RXCHAR));
            break;
        case 8:
            SetCommMask(port, kAllEvents & (Pick(random, 0x100) | EV_TXEMPTY));
            break;
        default:
            SetupComm(port, 4096, 4096);
            break;
    }
}

class StressTest : public PairTest, public ::testing::WithParamInterface<const char16_t*> {
  protected:
    StressTest() : PairTest(GetParam()) {}

    // Opens the owner and the watcher of an end, with bounded timeouts before anyone else gets them.
    void OpenEnd(End& end) {
        HANDLE owner = tulktest::OpenByName(Name(end.index), kData);
        if (owner != INVALID_HANDLE_VALUE) {
            COMMTIMEOUTS timeouts = kBoundedTimeouts[0];
            SetCommTimeouts(owner, &timeouts);
        }
        end.owner.store(owner);
        end.watcher.store(tulktest::OpenByName(Name(end.index), 0));
    }
    static void CloseEnd(End& end) {
        for (std::atomic<HANDLE>* handle : {&end.owner, &end.watcher}) {
            HANDLE old = handle->exchange(INVALID_HANDLE_VALUE);
            if (old != INVALID_HANDLE_VALUE) {
                CloseHandle(old);
            }
        }
    }

    void Chaos(End (&ends)[2], const std::atomic<bool>& stop) {
        Random random(99);
        int deactivations[2] = {};
        while (!stop.load()) {
            Sleep(kChaosPauseMs);
            End& end = ends[Pick(random, 2)];
            const DWORD what = Pick(random, 8);
            if (what == 0 && deactivations[end.index] < kDeactivationsPerEnd) {
                ++deactivations[end.index];
                HANDLE owner = end.owner.exchange(INVALID_HANDLE_VALUE);
                HANDLE watcher = end.watcher.exchange(INVALID_HANDLE_VALUE);
                EXPECT_TRUE(DeactivateDevice(end.device)) << "error " << GetLastError();
                CloseHandle(owner);
                CloseHandle(watcher);
                end.device = tulktest::ActivatePort(tulktest::PairEnd(family_, end.index));
                EXPECT_NE(end.device, nullptr) << "error " << GetLastError();
                OpenEnd(end);
            } else if (what < 4) {
                HANDLE owner = end.owner.exchange(INVALID_HANDLE_VALUE);
                CloseHandle(owner);
                HANDLE fresh = tulktest::OpenByName(Name(end.index), kData);
                end.owner.store(fresh);
            } else if (what < 6) {
                HANDLE watcher = end.watcher.exchange(INVALID_HANDLE_VALUE);
                CloseHandle(watcher);
                end.watcher.store(tulktest::OpenByName(Name(end.index), 0));
            }
        }
    }
};

TEST_P(StressTest, EverythingAtOnceNeverDeadlocks) {
    End ends[2];
    for (DWORD i : {0u, 1u}) {
        ends[i].index = i;
        ends[i].device = devices_[i];
        CloseHandle(ports_[i]);
        ports_[i] = INVALID_HANDLE_VALUE;
        OpenEnd(ends[i]);
        ASSERT_NE(ends[i].owner.load(), INVALID_HANDLE_VALUE);
    }
    std::atomic<bool> stop{false};
    Counters counters;
    std::vector<std::unique_ptr<Background>> workers;
    for (End& end : ends) {
        const uint32_t seed = 1000 * (end.index + 1);
        workers.push_back(std::make_unique<Background>([&end, &stop, &counters, seed] {
            Random random(seed + 1);
            std::vector<BYTE> bytes(kMaxTransferBytes);
            for (BYTE& byte : bytes) {
                byte = static_cast<BYTE>(Pick(random, 256));
            }
            while (!stop.load()) {
                DWORD written = 0;
                if (WriteFile(end.owner.load(), bytes.data(), Pick(random, kMaxTransferBytes), &written,
                              nullptr)) {
                    counters.written.fetch_add(written);
                }
            }
        }));
        workers.push_back(std::make_unique<Background>([&end, &stop, &counters, seed] {
            Random random(seed + 2);
            std::vector<BYTE> bytes(kMaxTransferBytes);
            while (!stop.load()) {
                DWORD read = 0;
                if (ReadFile(end.owner.load(), bytes.data(), 1 + Pick(random, kMaxTransferBytes - 1), &read,
                             nullptr)) {
                    counters.read.fetch_add(read);
                }
            }
        }));
        workers.push_back(std::make_unique<Background>([&end, &stop, &counters, seed] {
            Random random(seed + 3);
            while (!stop.load()) {
                HANDLE port = Pick(random, 3) == 0 ? end.owner.load() : end.watcher.load();
                DWORD events = 0;
                if (!SetCommMask(port, kAllEvents) || !WaitCommEvent(port, &events, nullptr)) {
                    Sleep(1);  // a closed or replaced handle
                } else if (events != 0) {
                    counters.events.fetch_add(1);
                }
            }
        }));
        workers.push_back(std::make_unique<Background>([&end, &stop, seed] {
            Random random(seed + 4);
            while (!stop.load()) {
                RandomControl(end, random);
            }
        }));
    }
    workers.push_back(std::make_unique<Background>([&] { Chaos(ends, stop); }));

    Sleep(kRunMs);
    stop.store(true);
    // Waiters end when their mask changes; everything else is bounded by its timeouts.
    const ce_test::Stopwatch stopping;
    bool allEnded = false;
    while (!allEnded && stopping.ElapsedMs() < kStopBoundMs) {
        for (End& end : ends) {
            SetCommMask(end.watcher.load(), EV_RXCHAR);
            SetCommMask(end.owner.load(), EV_RXCHAR);
        }
        allEnded = true;
        for (auto& worker : workers) {
            allEnded = allEnded && worker->Wait(10);
        }
    }
    EXPECT_TRUE(allEnded) << "threads still inside the driver " << stopping.ElapsedMs()
                          << " ms after the run stopped: deadlock";
    for (End& end : ends) {
        CloseEnd(end);
    }
    workers.clear();  // joins; closing released anything still inside

    std::printf("written %llu bytes, read %llu, %llu event waits ended by events\n",
                static_cast<unsigned long long>(counters.written.load()),
                static_cast<unsigned long long>(counters.read.load()),
                static_cast<unsigned long long>(counters.events.load()));
    EXPECT_GT(counters.written.load(), 0u);
    EXPECT_GT(counters.read.load(), 0u);
    EXPECT_GT(counters.events.load(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, StressTest, ::testing::ValuesIn(Families()),
                         [](const ::testing::TestParamInfo<const char16_t*>& info) {
                             return FamilyName(info.param);
                         });

using SharedHandleTest = PairTest;

// Two threads writing on one handle each get their own count back, whatever the other writer does with the
// port's write state once the first is done.
TEST_F(SharedHandleTest, WritersOnOneHandleEachGetTheirOwnCount) {
    constexpr int kRounds = 2000;
    std::atomic<bool> stop{false};
    Background reader([&] {
        SetTimeouts(b_, WaitForAny(20));
        std::vector<BYTE> buffer(kRingBytes);
        DWORD read = 0;
        while (!stop.load()) {
            ReadFile(b_, buffer.data(), kRingBytes, &read, nullptr);
        }
    });
    std::atomic<int> wrongCounts{0};
    const auto writer = [&](DWORD size) {
        const std::vector<BYTE> bytes(size, 'c');
        for (int round = 0; round < kRounds; ++round) {
            DWORD written = 0;
            if (!WriteFile(a_, bytes.data(), size, &written, nullptr) || written != size) {
                wrongCounts.fetch_add(1);
            }
        }
    };
    std::thread small(writer, 1);
    std::thread large(writer, 1500);
    small.join();
    large.join();
    stop.store(true);
    EXPECT_TRUE(reader.Wait(kSoonMs));
    EXPECT_EQ(wrongCounts.load(), 0);
}

}  // namespace
}  // namespace serialtest
