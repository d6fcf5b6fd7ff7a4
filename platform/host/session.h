// The host's record of one program: its process, its secret token, and the registry keys and device files
// it holds, so that its calls reach only its own handles and its exit releases them.
//
// Lock order: a session's lock is taken alone and never held across a registry or device call.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include <windows.h>

#include "wire/protocol.h"

namespace ce::host {

using namespace wire;

using Token = std::array<uint8_t, kTokenBytes>;

// Keys and files one program may hold in the host, so that no program can take the whole handle table
// from the others (it holds 262,142).
inline constexpr size_t kMaxHandlesPerSession = 8192;

class Session {
  public:
    Session(pid_t pid, const Token& token) : pid_(pid), token_(token) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    pid_t pid() const { return pid_; }
    const Token& token() const { return token_; }

    // The handle a program's value stands for in the host: a predefined root or a key this session holds;
    // nullptr (which every call refuses as invalid) for anything else.
    HKEY Key(uint32_t value);
    HANDLE File(uint32_t value);

    // Holds a place for one more handle within kMaxHandlesPerSession, before the call that opens it runs;
    // false when the session holds its quota. Adopting a handle takes the place; otherwise it goes back.
    bool ReserveHandle();
    void ReturnHandle();
    // Records a handle a call of this session just opened, in a place reserved for it. After End, the
    // handle is closed at once instead: nobody is left to close it. False in that case.
    bool AdoptKey(HKEY key);
    bool AdoptFile(HANDLE file);
    // Removes a handle from the session for closing; false when the session does not hold it.
    bool ReleaseKey(uint32_t value);
    bool ReleaseFile(uint32_t value);

    // The program is gone: each device file it held gets the exiting-process notification, so calls still
    // blocked on it return, then every file and key is closed and its windows leave the directory.
    void End();
    bool Ended();

  private:
    const pid_t pid_;
    const Token token_;
    std::mutex lock_;
    bool ended_ = false;        // lock_
    std::set<uint32_t> keys_;   // lock_
    std::set<uint32_t> files_;  // lock_
    size_t reserved_ = 0;       // lock_: places held for calls running now
};

// A place for the handle a call may open, reserved before the call runs and given back unless the call's
// handle took it.
class HandlePlace {
  public:
    // Reserves a place when the call may open a handle.
    HandlePlace(Session& session, bool wanted)
        : session_(session), wanted_(wanted), held_(wanted && session.ReserveHandle()) {}
    ~HandlePlace() {
        if (held_) {
            session_.ReturnHandle();
        }
    }
    HandlePlace(const HandlePlace&) = delete;
    HandlePlace& operator=(const HandlePlace&) = delete;

    // The session holds its quota: the call must not run.
    bool refused() const { return wanted_ && !held_; }
    // The call's handle takes the place (see Session::AdoptKey).
    bool AdoptKey(HKEY key) { return Take() && session_.AdoptKey(key); }
    bool AdoptFile(HANDLE file) { return Take() && session_.AdoptFile(file); }

  private:
    bool Take() { return std::exchange(held_, false); }

    Session& session_;
    const bool wanted_;
    bool held_;
};

}  // namespace ce::host
