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

// A one-byte read on its own thread, which the constructor waits to see blocked in the test driver (a
// failure if it does not within the timeout); its outcome is in once joined. A test that fails before
// joining leaves the thread to end with the device.
class BlockedRead {
  public:
    explicit BlockedRead(HANDLE file, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~BlockedRead() {
        if (thread_.joinable()) {
            thread_.detach();
        }
    }
    BlockedRead(const BlockedRead&) = delete;
    BlockedRead& operator=(const BlockedRead&) = delete;
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
