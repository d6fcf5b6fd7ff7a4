// Helpers of the device host's tests: a device directory per test, other programs, the host's controls.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "tools/program_runner.h"

namespace hosttest {

inline const std::string kHelper = CE_TEST_HOST_HELPER;
inline const std::string kHostProgram = CE_TEST_HOST_PROGRAM;
inline const std::string kDriverDir = CE_TEST_HOST_DRIVER_DIR;
inline constexpr DWORD kUnsetError = 0xDEADBEEFu;

// Every test gets a device directory of its own, named in CE_DEVICE before its first platform call, and
// stops its host at the end.
class HostTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::string dir_;
};

// Starts a program with this process's environment, CE_DEVICE replaced when device is given. Its standard
// output goes to *output and its standard input comes from *input when asked for.
pid_t Spawn(const std::vector<std::string>& argv, int* output = nullptr, const char* device = nullptr,
            int* input = nullptr);
// Its exit status, or 128 + the signal that ended it.
int Wait(pid_t pid);
// Runs the test helper to its end, with CE_DEVICE replaced when device is given; answers its exit status,
// with its standard output in *output when asked for.
int RunHelper(const std::vector<std::string>& arguments, std::string* output = nullptr,
              const char* device = nullptr);
// One line of a program's output (without the newline); empty at its end.
std::string ReadLine(int fd);
// Runs "cedevice <command>" on this test's device.
int HostCommand(const char* command);

// The first line "cedevice status" prints for the device ("host <pid> serves <dir>: <n> programs, ..."),
// with its exit status in *exitStatus.
std::string HostStatus(const std::string& dir, int* exitStatus);
// The process serving the device, asked over a control connection; 0 when none answers.
pid_t HostPid(const std::string& dir);
// No host holds the device's lock: the host is gone, whether its parent reaped it yet or not.
bool HostLockFree(const std::string& dir);
// Polls until done() or the timeout passes; answers done().
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

using tooltest::ReadWholeFile;

}  // namespace hosttest
