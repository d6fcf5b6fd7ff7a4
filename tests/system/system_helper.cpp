// The roles of the system tests' other programs: the one that activates a pair and leaves, the one that
// blocks in the driver, the one that only opens a port, and an end of the stress run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "driver/driver_test_support.h"
#include "driver/stress/stress_end.h"
#include "system/helper_roles.h"

namespace systemtest {
namespace {

// Writes the keys of COM5: and COM6: as the manager does and activates both; they stay active after this
// program ends.
int Activate() {
    Steps steps;
    for (DWORD end : {0u, 1u}) {
        HANDLE device = tulktest::ActivatePort(tulktest::PairEnd(u"COM", end));
        steps.Check(device != nullptr, "activate " + std::to_string(end), std::to_string(GetLastError()));
    }
    return steps.ExitCode();
}

// One thread blocked in a read with no timeout, another in a wait for events that never come. When the
// standard input ends, a third aborts both, and the program reports how they ended.
int Block(const std::string& name) {
    Steps steps;
    HANDLE port = tulktest::OpenByName(Wide(name), GENERIC_READ | GENERIC_WRITE);
    if (!steps.Check(port != INVALID_HANDLE_VALUE, "open", std::to_string(GetLastError()))) {
        return steps.ExitCode();
    }
    COMMTIMEOUTS forever{};
    steps.Check(SetCommTimeouts(port, &forever) != FALSE, "no timeouts");
    steps.Check(SetCommMask(port, EV_BREAK | EV_RING) != FALSE, "mask");
    BOOL waited = TRUE;
    DWORD events = 0xDEADBEEFu;
    std::thread waiter([&] { waited = WaitCommEvent(port, &events, nullptr); });
    std::thread releaser([&] {
        char byte = 0;
        while (read(STDIN_FILENO, &byte, 1) > 0) {
        }
        PurgeComm(port, PURGE_RXABORT);
        SetCommMask(port, 0);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    BYTE byte = 0;
    DWORD done = 0xDEADBEEFu;
    const BOOL read = ReadFile(port, &byte, 1, &done, nullptr);
    releaser.join();
    waiter.join();
    steps.Check(read != FALSE && done == 0, "read aborted", std::to_string(done));
    steps.Check(waited != FALSE && events == 0, "wait ended by the mask", std::to_string(events));
    steps.Check(CloseHandle(port) != FALSE, "close");
    return steps.ExitCode();
}

int Open(const std::string& name) {
    Steps steps;
    HANDLE port = tulktest::OpenByName(Wide(name), GENERIC_READ | GENERIC_WRITE);
    steps.Check(port != INVALID_HANDLE_VALUE, "open", std::to_string(GetLastError()));
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
    }
    return steps.ExitCode();
}

void Say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

// One end of the stress run, its commands on standard input (see stress_end.h); ends after "check".
int StressRole(const std::string& port, unsigned seed) {
    stress::StressEnd end(Wide(port), seed);
    if (!end.Open()) {
        Say("FAIL open: " + std::to_string(GetLastError()));
        return 1;
    }
    Say("open");
    for (std::string line; std::getline(std::cin, line);) {
        const std::string answer = end.Command(line);
        if (!answer.empty()) {
            Say(answer);
        }
        if (line.rfind("check", 0) == 0) {
            return answer.rfind("ok ", 0) == 0 ? 0 : 1;
        }
    }
    return 1;
}

}  // namespace

bool Steps::Check(bool held, const std::string& step, const std::string& why) {
    if (held) {
        std::printf("ok %s\n", step.c_str());
    } else {
        std::printf("FAIL %s: %s\n", step.c_str(), why.c_str());
        failed_ = true;
    }
    std::fflush(stdout);
    return held;
}

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace systemtest

int main(int argc, char** argv) {
    using namespace systemtest;
    alarm(kWatchdogSeconds);
    const std::string role = argc > 1 ? argv[1] : "";
    const std::string argument = argc > 2 ? argv[2] : "";
    if (role == "activate") {
        return Activate();
    }
    if (role == "block") {
        return Block(argument);
    }
    if (role == "open") {
        return Open(argument);
    }
    if (role == "window") {
        return WindowRole(argument);
    }
    if (role == "stress") {
        return StressRole(argument, argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 1);
    }
    std::fprintf(stderr,
                 "usage: system_helper activate | block PORT | open PORT | "
                 "stress PORT SEED | window TITLE\n");
    return 2;
}
