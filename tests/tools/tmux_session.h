// A tmux server of a test's own: programs run in a real terminal, keys sent as a person types them, the
// screen read back.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/timing.h"
#include "driver/driver_test_support.h"
#include "tools/program_runner.h"

namespace tooltest {

inline constexpr DWORD kScreenWaitMs = 10000 * ce_test::kSlowdown;

// The words of `stty -a` saved in a file: a flag that is on appears bare, one that is off with a '-'.
inline std::set<std::string> SttyFlags(const std::string& file) {
    std::istringstream text(ReadWholeFile(file));
    std::set<std::string> words;
    for (std::string word; text >> word;) {
        words.insert(word);
    }
    return words;
}

class Tmux {
  public:
    Tmux() : socket_("kmxterm-test-" + std::to_string(getpid())) {}
    ~Tmux() { Run({"kill-server"}); }
    Tmux(const Tmux&) = delete;
    Tmux& operator=(const Tmux&) = delete;

    static bool Available() { return std::system("tmux -V > /dev/null 2>&1") == 0; }

    RunResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"-L", socket_});
        return RunProgram(TMUX_PROGRAM, args, {});
    }

    // The first program starts the session, each further one a window of its own, named window.
    void Start(const std::string& command, const std::string& window = "main") {
        std::vector<std::string> args =
            started_ ? std::vector<std::string>{"new-window", "-d", "-t", "t"}
                     : std::vector<std::string>{"new-session", "-d", "-s", "t", "-x", "150", "-y", "20"};
        args.insert(args.end(), {"-n", window, command});
        ASSERT_EQ(Run(args).exitCode, 0);
        started_ = true;
    }
    void Keys(const std::vector<std::string>& keys, const std::string& window = "main") {
        std::vector<std::string> args = {"send-keys", "-t", "t:" + window};
        args.insert(args.end(), keys.begin(), keys.end());
        ASSERT_EQ(Run(args).exitCode, 0);
    }
    std::string Screen(const std::string& window = "main") {
        return Run({"capture-pane", "-p", "-t", "t:" + window}).out;
    }
    bool Shows(const std::string& text, const std::string& window = "main") {
        return tulktest::WaitUntil([&] { return Screen(window).find(text) != std::string::npos; },
                                   kScreenWaitMs);
    }

  private:
    std::string socket_;
    bool started_ = false;
};

}  // namespace tooltest
