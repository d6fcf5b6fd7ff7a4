// A pair of ports run by the device manager from keys as the manager writes them, both ends opened by name
// for reading and writing, and the small tools the serial tests share: calls that must end within a bound,
// settings, status queries and byte streams that verify themselves.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "common/timing.h"
#include "driver/driver_test_support.h"

namespace serialtest {

using tulktest::kUnsetError;

inline constexpr DWORD kData = GENERIC_READ | GENERIC_WRITE;
inline constexpr DWORD kRingBytes = 2048;
inline constexpr DWORD kRingCapacity = kRingBytes - 1;  // one byte stays free
inline constexpr DWORD kXoffLimit = 128;                // XoffLim of the first-open DCB
inline constexpr DWORD kXoffFill = kRingBytes - kXoffLimit;
inline constexpr DWORD kHandshakeDropAbove = kRingBytes * 3 / 4;  // lines drop above this fill
inline constexpr DWORD kHandshakeRaiseBelow = kRingBytes / 2;     // and rise again below this one
inline constexpr BYTE kXon = 0x11;
inline constexpr BYTE kXoff = 0x13;

// How long something that must happen soon may take, and how long to watch for something that must not.
inline constexpr DWORD kSoonMs = 2000 * ce_test::kSlowdown;
inline constexpr DWORD kQuietMs = 300;
// The tick counter counts whole milliseconds, so a measured span may look up to this much shorter.
inline constexpr int64_t kTickSlackMs = 2;

// Read timeouts that return at once with whatever the ring holds; writes without a limit.
inline constexpr COMMTIMEOUTS kReturnAtOnce = {MAXDWORD, 0, 0, 0, 0};
// Reads that wait up to the constant for the first byte and return with it.
constexpr COMMTIMEOUTS WaitForAny(DWORD ms) {
    return {MAXDWORD, MAXDWORD, ms, 0, 0};
}

// A call made on another thread, so that a test can check that it blocks and that it ends. One that never
// ends is a hang: the destructor gives it a generous bound and then stops the program rather than CI.
class Background {
  public:
    explicit Background(std::function<void()> body);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    bool Wait(DWORD ms);  // true once the call has ended
    bool Done();

  private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

// The result of one ReadFile or WriteFile call made in the background.
struct Transfer {
    BOOL ok = FALSE;
    DWORD bytes = kUnsetError;
    DWORD error = kUnsetError;
};

// A byte stream both ends can produce independently, so a reader verifies every byte without a copy.
// With avoidFlowChars the XON and XOFF characters never occur in it.
class Stream {
  public:
    explicit Stream(uint32_t seed, bool avoidFlowChars = true) : state_(seed | 1u), avoid_(avoidFlowChars) {}
    BYTE Next();
    std::vector<BYTE> Take(size_t count);

  private:
    uint32_t state_;
    bool avoid_;
};

// Settings and queries through the comm API; each asserts that the call worked.
DCB GetState(HANDLE port);
void ChangeState(HANDLE port, const std::function<void(DCB&)>& change);
void SetTimeouts(HANDLE port, const COMMTIMEOUTS& timeouts);
// The status, which must carry no error, or with `errors` whatever errors it reports (and clears).
COMSTAT Status(HANDLE port, DWORD* errors = nullptr);
DWORD InQueue(HANDLE port);
DWORD ModemLines(HANDLE port);
void Escape(HANDLE port, DWORD function);
void SetMask(HANDLE port, DWORD mask);
// Writes and answers the count written; the call must succeed.
DWORD Write(HANDLE port, const std::vector<BYTE>& bytes);
// Reads up to `count` under the port's current timeouts; the call must succeed.
std::vector<BYTE> Read(HANDLE port, DWORD count);
// Everything the ring holds now: switches the port's read timeouts to return at once.
std::vector<BYTE> Drain(HANDLE port);
bool WaitForInQueue(HANDLE port, DWORD count, DWORD timeoutMs = kSoonMs);
Transfer WriteCall(HANDLE port, const void* bytes, DWORD count);
Transfer ReadCall(HANDLE port, void* bytes, DWORD count);

// Both ends of one pair, activated and opened with read and write access. The first end is a_, the second b_.
class PairTest : public tulktest::DriverTest {
  protected:
    explicit PairTest(std::u16string family = u"COM") : family_(std::move(family)) {}
    void SetUp() override;
    void TearDown() override;

    std::u16string Name(DWORD end) const;
    HANDLE Reopen(DWORD end, DWORD access);  // another handle on one end

    std::u16string family_;
    HANDLE devices_[2] = {};
    HANDLE ports_[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    HANDLE& a_ = ports_[0];
    HANDLE& b_ = ports_[1];
    std::vector<HANDLE> extra_;
};

using tulktest::PrintTo;
using tulktest::RowName;

// The family names for parameterised suites, and a test-name generator for them.
inline const char16_t* const kFamilies[] = {u"COM", u"KMX"};
std::string FamilyName(const char16_t* family);

}  // namespace serialtest
