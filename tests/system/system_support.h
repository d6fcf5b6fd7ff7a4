// Helpers of the system tests: each test has a device of its own (see hosttest::HostTest) and runs the
// helper program's roles as other programs on it, talking to them through their standard streams.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "common/timing.h"
#include "platform/host/host_test_support.h"

namespace systemtest {

inline const std::string kSystemHelper = CE_TEST_SYSTEM_HELPER;
inline constexpr int kLineWaitMs = 30000 * ce_test::kSlowdown;

// Another program with pipes to its standard input and output; killed and reaped when dropped.
class Program {
  public:
    explicit Program(const std::vector<std::string>& argv);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t pid() const { return pid_; }
    // One line of its output without the newline; "<timeout>" or "<end>" when none comes.
    std::string ReadLine(int timeoutMs = kLineWaitMs);
    // Every line until its output ends.
    std::vector<std::string> ReadRest(int timeoutMs = kLineWaitMs);
    void Say(const std::string& line);
    void CloseInput();
    // Its exit status, or 128 + the signal that ended it.
    int Wait();

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
    bool reaped_ = false;
};

// A helper role as a program.
std::vector<std::string> Role(const std::vector<std::string>& words);

// The pair COM5:/COM6: written and activated by a program that has ended by the time this returns.
class SystemTest : public hosttest::HostTest {
  protected:
    void SetUp() override;
};

// "host <pid> serves <dir>: <n> programs, ..." as the number of programs; -1 when no host answers.
int ProgramsOnDevice();

}  // namespace systemtest
