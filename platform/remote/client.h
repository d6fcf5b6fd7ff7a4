// A program's connections to its device's host.
//
// The program has one session connection for its life: the host takes its end for the program's exit and
// then releases everything the program held. Each thread opens its own call connection on its first call,
// bound to the session by the session's secret token and the same process, so a call that blocks in a
// driver blocks only its thread. When the host is gone, the call that finds out fails with
// ERROR_DEVICE_NOT_AVAILABLE (one line on stderr says why), and the next call joins a new host, starting it
// if needed: a reboot of the device, in which handles of the old session are no longer valid.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <windows.h>

#include "wire/wire.h"

namespace ce::remote {

using namespace wire;

inline constexpr DWORD kHostGoneError = ERROR_DEVICE_NOT_AVAILABLE;

// Sends the request over this thread's call connection and receives the reply (header included). Answers
// ERROR_SUCCESS; ERROR_INVALID_PARAMETER for a request over kMaxMessageBytes, which is never sent; or
// kHostGoneError when the host cannot be reached or broke off.
DWORD Call(Writer& request, std::vector<uint8_t>* reply);

// The fields of a reply Call answered, after the host's word that it ran the request.
Reader ReplyFields(const std::vector<uint8_t>& reply);

// One call to the host: the request to fill in, then its reply's fields once Send answered ERROR_SUCCESS.
class RemoteCall {
  public:
    explicit RemoteCall(Op op) : request(op) {}

    DWORD Send() {
        const DWORD sent = Call(request, &message_);
        if (sent == ERROR_SUCCESS) {
            reader_.emplace(ReplyFields(message_));
        }
        return sent;
    }
    bool replied() const { return reader_.has_value(); }
    Reader& reply() { return *reader_; }

    Writer request;

  private:
    std::vector<uint8_t> message_;
    std::optional<Reader> reader_;
};

// Another connection of this program's session (joining or starting the host as a call would) whose
// hello is hello; -1 when none can be had or the host refused it. *session is the session it belongs to.
int ConnectToSession(Op hello, uint64_t* session);

// The session handles are valid in; 0 before the first session. Handles of another session are stale.
uint64_t CurrentSession();

// While one lives, this thread's calls join a running host only: where none runs they fail with
// kHostGoneError (and say nothing on stderr) instead of starting one.
class HostStartRefused {
  public:
    HostStartRefused();
    ~HostStartRefused();
    HostStartRefused(const HostStartRefused&) = delete;
    HostStartRefused& operator=(const HostStartRefused&) = delete;

  private:
    bool refusedBefore_;
};

}  // namespace ce::remote
