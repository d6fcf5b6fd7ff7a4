// kmxlink: one port of the device for Linux programs and the network, as an RFC 2217 server or a
// pseudo-terminal. See UsageText() in options.cpp.
#include <iostream>
#include <string>
#include <vector>

#include "bridge_port.h"
#include "loop_posix.h"
#include "options.h"
#include "rfc2217_session.h"
#include "say.h"
#include "server_posix.h"
#include "terminal_posix.h"
#include "terminal_session.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message) {
    SayError(message);
    return kExitFailure;
}

// The port must exist and be free when kmxlink starts, so that a mistake shows at once; it is closed again
// until a client or a program comes. Its settings on a fresh open are the terminal's first ones.
bool ProbePort(const std::string& name, DCB* settings, std::string* error) {
    BridgePort port;
    if (!port.Open(name, error)) {
        return false;
    }
    *settings = port.Settings();
    return true;
}

int ServeTerminal(const Options& options, StopSignals& stops, const DCB& settings) {
    TerminalPlan plan;
    plan.portName = options.port;
    plan.path = options.path;
    plan.initial.baudRate = settings.BaudRate;
    plan.initial.twoStopBits = settings.StopBits == TWOSTOPBITS;
    plan.initial.rtsCts = settings.fOutxCtsFlow != FALSE;
    plan.open = [&](Wakeup& wakeup, std::string* error) {
        return OpenPortForTerminal(options.port, wakeup, error);
    };
    std::string error;
    return RunTerminal(plan, stops, &error) ? kExitSuccess : Fail(error);
}

int ServeClients(const Options& options, StopSignals& stops) {
    ServerPlan plan;
    plan.portName = options.port;
    plan.address = options.address;
    plan.tcpPort = options.tcpPort;
    plan.open = [&](Wakeup& wakeup, std::string* error) {
        return OpenPortForClient(options.port, wakeup, error);
    };
    std::string error;
    return RunServer(plan, stops, &error) ? kExitSuccess : Fail(error);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        SayError(error + " (kmxlink --help shows the usage)");
        return kExitUsage;
    }
    if (options.help) {
        std::cout << UsageText();
        return kExitSuccess;
    }
    StopSignals stops;
    if (!stops.Take(&error)) {
        return Fail(error);
    }
    DCB settings{};
    if (!ProbePort(options.port, &settings, &error)) {
        return Fail(error);
    }
    return options.mode == LinkMode::Pty ? ServeTerminal(options, stops, settings)
                                         : ServeClients(options, stops);
}
