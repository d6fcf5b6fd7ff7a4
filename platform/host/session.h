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

#include <windows.h>

#include "host/protocol.h"

namespace ce::host {

using Token = std::array<uint8_t, kTokenBytes>;

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

    // Records a handle a call of this session just opened. After End, the handle is closed at once
    // instead: nobody is left to close it. False in that case.
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
};

}  // namespace ce::host
