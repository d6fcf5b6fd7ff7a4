// The system tests' other programs: one executable, a role per command line. Each role prints what it saw
// on standard output, one line per step ("ok <step>" or "FAIL <step>: <why>"), and exits 0 when every step
// held. A watchdog ends a role that hangs, so a deadlock shows as a program killed by SIGALRM.
#pragma once

#include <string>

#include <windows.h>

namespace systemtest {

inline constexpr unsigned kWatchdogSeconds = 120;

// A role's steps and its verdict.
class Steps {
  public:
    // Prints "ok <step>" or "FAIL <step>: <why>"; answers held.
    bool Check(bool held, const std::string& step, const std::string& why = {});
    int ExitCode() const { return failed_ ? 1 : 0; }

  private:
    bool failed_ = false;
};

std::u16string Wide(const std::string& text);
int WindowRole(const std::string& title);

}  // namespace systemtest
