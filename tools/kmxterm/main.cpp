// kmxterm: a terminal program for one serial port, and a byte pipe to it for scripts.
#include <iostream>
#include <string>
#include <vector>

#include "console_posix.h"
#include "error_text.h"
#include "open_port.h"
#include "options.h"
#include "pipe_relay.h"
#include "serial_port.h"
#include "session.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

int Fail(const std::string& message) {
    std::cerr << "kmxterm: " << message << '\n';
    return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        return Fail(error + " (kmxterm --help shows the usage)");
    }
    if (options.help) {
        std::cout << UsageText() << KeyHelpText() << '\n';
        return kExitSuccess;
    }
    SerialPort port;
    DWORD code = 0;
    std::string what;
    if (!port.Open(options.port, options.session.settings, &code, &what)) {
        // A port that did not open at all gets the words of why; one that refused a setting, the step.
        return Fail(port.handle() == INVALID_HANDLE_VALUE
                        ? OpenFailureWords(options.port, code)
                        : options.port + " " + what + ": " + Win32ErrorText(code));
    }
    if (!StandardStreamsAreTerminals()) {
        StandardInput in;
        StandardOutput out;
        const RelayResult result = RunPipeRelay(port, in, out, options.lingerMs, [](const std::string& note) {
            std::cerr << "kmxterm: " << note << std::endl;
        });
        return result.ok ? kExitSuccess : Fail(result.error);
    }
    RawTerminal terminal;
    if (!terminal.Enter(&error)) {
        return Fail(error);
    }
    const bool ok = RunSession(port, terminal, options.session, &error);
    port.Close();
    return ok ? kExitSuccess : Fail(error);
}
