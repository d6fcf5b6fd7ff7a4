// How many connections the host serves at once, so that a flood of them never uses up its descriptors and
// no one program takes them all. Every connection counts from its accept to its end, in all and against the
// program at its other end; a program may hold half of what programs may use; and the last few are kept
// for the host's controls (cedevice status and stop), so that those are served when programs take the
// rest.
//
// The limits follow the descriptors the host may open (RLIMIT_NOFILE, read at every accept), less a number
// kept for the host's own files: its log and locks, the hive's saves, the files drivers open.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <mutex>
#include <unordered_map>

#include <windows.h>

namespace ce::host {

inline constexpr size_t kHostOwnDescriptors = 32;
inline constexpr size_t kControlConnections = 4;
inline constexpr size_t kMaxConnections = 4096;
inline constexpr size_t kMaxConnectionsPerProgram = 1024;

struct ConnectionLimits {
    size_t total;       // connections of any kind
    size_t programs;    // of programs (all but the controls' share)
    size_t perProgram;  // of one program
};

// The limits for a host that may open descriptorLimit descriptors.
ConnectionLimits LimitsFor(size_t descriptorLimit);

class ConnectionBudget {
  public:
    // A connection of process pid was accepted: ERROR_SUCCESS and counted, or why it is refused
    // (ERROR_NO_SYSTEM_RESOURCES: the host has no room; ERROR_NOT_ENOUGH_QUOTA: the program has its share).
    DWORD Admit(pid_t pid);
    // An admitted connection said it is a program's, not a control: ERROR_SUCCESS and counted, or
    // ERROR_NO_SYSTEM_RESOURCES when only the controls' share is left.
    DWORD AdmitProgram();
    // An admitted connection ended; program tells whether AdmitProgram counted it.
    void Leave(pid_t pid, bool program);

  private:
    std::mutex lock_;
    size_t total_ = 0;                              // lock_
    size_t programs_ = 0;                           // lock_
    std::unordered_map<pid_t, size_t> perProgram_;  // lock_: programs with connections only
};

// The host's one budget.
ConnectionBudget& Budget();

}  // namespace ce::host
