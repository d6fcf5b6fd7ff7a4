// A tmux server of a test's own: programs run in a real terminal of a fixed size, keys go in with
// send-keys (clicks as xterm SGR mouse reports), and the screen is read back with capture-pane.
// Users compile tests/tools/program_runner.cpp and define TMUX_PROGRAM.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/timing.h"
#include "tools/program_runner.h"

namespace ce_test {

inline constexpr auto kScreenWait = std::chrono::milliseconds(10000 * kSlowdown);

// A place on the screen in 0-based cells (a character counts one cell).
struct Place {
    int column = -1, row = -1;
    bool Found() const { return row >= 0; }
};

class Tmux {
  public:
    explicit Tmux(const std::string& name = "test")
        : socket_(name + "-" + std::to_string(getpid()) + "-" + std::to_string(++Servers())) {}
    ~Tmux() { Run({"kill-server"}); }
    Tmux(const Tmux&) = delete;
    Tmux& operator=(const Tmux&) = delete;

    static bool Available() { return std::system("tmux -V > /dev/null 2>&1") == 0; }

    tooltest::RunResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"-L", socket_});
        return tooltest::RunProgram(TMUX_PROGRAM, args, {});
    }

    // The first program starts the session in a terminal of the given size, each further one a window of
    // its own, named `window`.
    void Start(const std::string& command, const std::string& window = "main", int columns = 150,
               int rows = 20) {
        std::vector<std::string> args =
            started_ ? std::vector<std::string>{"new-window", "-d", "-t", "t"}
                     : std::vector<std::string>{
                           "new-session",       "-d", "-s", "t", "-x", std::to_string(columns), "-y",
                           std::to_string(rows)};
        args.insert(args.end(), {"-n", window, command});
        ASSERT_EQ(Run(args).exitCode, 0);
        started_ = true;
    }
    void Keys(const std::vector<std::string>& keys, const std::string& window = "main") {
        std::vector<std::string> args = {"send-keys", "-t", Target(window)};
        args.insert(args.end(), keys.begin(), keys.end());
        ASSERT_EQ(Run(args).exitCode, 0);
    }
    // A left click, pressed and released.
    void Click(Place at, const std::string& window = "main") {
        ASSERT_TRUE(at.Found());
        const std::string cell = std::to_string(at.column + 1) + ";" + std::to_string(at.row + 1);
        ASSERT_EQ(Run({"send-keys", "-t", Target(window), "-l", "\x1b[<0;" + cell + "M\x1b[<0;" + cell + "m"})
                      .exitCode,
                  0);
    }
    std::string Screen(const std::string& window = "main") {
        return Run({"capture-pane", "-p", "-t", Target(window)}).out;
    }
    bool Shows(const std::string& text, const std::string& window = "main") {
        return WaitFor([&] { return Screen(window).find(text) != std::string::npos; });
    }
    bool ShowsNoMore(const std::string& text, const std::string& window = "main") {
        return WaitFor([&] { return Screen(window).find(text) == std::string::npos; });
    }
    // Where text starts on the screen.
    Place Find(const std::string& text, const std::string& window = "main") {
        std::istringstream lines(Screen(window));
        int row = 0;
        for (std::string line; std::getline(lines, line); ++row) {
            const size_t at = line.find(text);
            if (at != std::string::npos) {
                int column = 0;
                for (size_t i = 0; i < at; ++i) {
                    column += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 ? 1 : 0;
                }
                return Place{column, row};
            }
        }
        return Place{};
    }
    // A tmux format expanded for the window (such as "#{cursor_flag}"), without the line end.
    std::string Format(const std::string& format, const std::string& window = "main") {
        std::string out = Run({"display-message", "-p", "-t", Target(window), format}).out;
        while (!out.empty() && out.back() == '\n') {
            out.pop_back();
        }
        return out;
    }
    void Resize(int columns, int rows, const std::string& window = "main") {
        ASSERT_EQ(Run({"resize-window", "-t", Target(window), "-x", std::to_string(columns), "-y",
                       std::to_string(rows)})
                      .exitCode,
                  0);
    }

    template <typename Condition>
    static bool WaitFor(Condition done) {
        const auto deadline = std::chrono::steady_clock::now() + kScreenWait;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

  private:
    static int& Servers() {
        static int servers = 0;
        return servers;
    }
    static std::string Target(const std::string& window) { return "t:" + window; }

    std::string socket_;
    bool started_ = false;
};

}  // namespace ce_test
