// What the tests of the device manager and of the device host share about the test driver.
#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/test_driver/test_driver_protocol.h"

namespace testdrv {

// A count of the test driver under kCountsKey; 0 when missing.
DWORD DriverCount(LPCWSTR name);

// A one-byte read on its own thread, blocked in the test driver once Blocked() says so; its outcome is in
// once joined. A test that fails before joining leaves the thread to end with the device.
class BlockedRead {
  public:
    explicit BlockedRead(HANDLE file);
    ~BlockedRead() {
        if (thread_.joinable()) {
            thread_.detach();
        }
    }
    BlockedRead(const BlockedRead&) = delete;
    BlockedRead& operator=(const BlockedRead&) = delete;
    // Whether the driver counts one call as blocked, waited for up to the timeout.
    static bool Blocked(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void Join() { thread_.join(); }
    BOOL result() const { return outcome_->result; }
    DWORD error() const { return outcome_->error; }
    DWORD count() const { return outcome_->count; }

  private:
    struct Outcome {
        BOOL result = TRUE;
        DWORD error = 0;
        DWORD count = 77;
    };
    std::shared_ptr<Outcome> outcome_ = std::make_shared<Outcome>();
    std::thread thread_;
};

}  // namespace testdrv
