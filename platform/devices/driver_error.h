// Keeps a driver's error apart from the caller's around one entry point call.
//
// The error is cleared before the call so that a failure reports what the driver set (or a fallback when it
// set nothing), and put back after a success so that a call that worked leaves the caller's error alone.
// A driver that sets an error and still succeeds keeps it, as on the device, where the driver runs on the
// caller's thread.
#pragma once

#include <windows.h>

namespace ce {

class DriverErrorScope {
  public:
    DriverErrorScope() : saved_(GetLastError()) { SetLastError(ERROR_SUCCESS); }
    DriverErrorScope(const DriverErrorScope&) = delete;
    DriverErrorScope& operator=(const DriverErrorScope&) = delete;

    // The driver failed: answers (and leaves set) its error, or fallback when it set none.
    DWORD Failed(DWORD fallback) {
        DWORD error = GetLastError();
        if (error == ERROR_SUCCESS) {
            error = fallback;
            SetLastError(error);
        }
        return error;
    }

    void Succeeded() {
        if (GetLastError() == ERROR_SUCCESS) {
            SetLastError(saved_);
        }
    }

    // The driver's outcome does not concern the caller (a Deinit, a Close undoing a failed open).
    void Restore() { SetLastError(saved_); }

  private:
    const DWORD saved_;
};

}  // namespace ce
