#include "options.h"

#include <charconv>

#include "bridge_port.h"
#include "command_options.h"

namespace {

constexpr uint32_t kMaxTcpPort = 65535;

bool ParseTcpPort(const std::string& text, uint16_t* port) {
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value > kMaxTcpPort) {
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

// "[ADDRESS:]TCPPORT"; an IPv6 address goes in brackets: "[::1]:4000".
bool ParseListenAddress(const std::string& text, Options* options) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return ParseTcpPort(text, &options->tcpPort);
    }
    std::string address = text.substr(0, colon);
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    if (address.empty()) {
        return false;
    }
    options->address = address;
    return ParseTcpPort(text.substr(colon + 1), &options->tcpPort);
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    *options = Options();
    int modes = 0;
    const std::vector<CommandOption> known = {
        {{"--help", "-h"},
         nullptr,
         [&](const std::string&) {
             options->help = true;
             return true;
         }},
        {{"--rfc2217"},
         "[ADDRESS:]TCPPORT, TCPPORT 0 to 65535",
         [&](const std::string& value) {
             ++modes;
             options->mode = LinkMode::Rfc2217;
             return ParseListenAddress(value, options);
         }},
        {{"--pty"},
         "the PATH to link the terminal at",
         [&](const std::string& value) {
             ++modes;
             options->mode = LinkMode::Pty;
             options->path = value;
             return !value.empty();
         }},
    };
    if (!WalkCommandLine(args, known, &options->port, error)) {
        return false;
    }
    if (options->help) {
        return true;
    }
    if (options->port.empty()) {
        *error = "no port named (kmxlink COM5: --pty /tmp/ttyCOM5)";
        return false;
    }
    options->port = PortName(options->port);
    if (modes != 1) {
        *error = modes == 0
                     ? "say how to serve " + options->port + ": --rfc2217 [ADDRESS:]TCPPORT or --pty PATH"
                     : "--rfc2217 and --pty exclude each other: one bridge per kmxlink";
        return false;
    }
    return true;
}

const char* UsageText() {
    return R"usage(kmxlink: one port of the device for Linux programs and the network.

  kmxlink PORT --rfc2217 [ADDRESS:]TCPPORT   serve PORT to RFC 2217 clients; ADDRESS defaults to 127.0.0.1
  kmxlink PORT --pty PATH                    a pseudo-terminal for Linux programs, its name linked at PATH

e.g.  kmxlink COM5: --rfc2217 4000       and in pyserial  serial.serial_for_url("rfc2217://127.0.0.1:4000")
      kmxlink COM5: --pty /tmp/ttyCOM5   and then         picocom -b 115200 /tmp/ttyCOM5

kmxlink runs in the foreground until SIGINT or SIGTERM. It prints one line when it is ready, naming
where it serves (with TCPPORT 0 it picks a free port and the line names it), and one line for each client
or program that comes and goes. The port is open while a client is connected or while any program has
the pseudo-terminal open, and closed otherwise: the other end sees DTR and RTS drop as when a cable is
unplugged, and another program may use the port in between.

--rfc2217: a Telnet server with the COM-PORT-OPTION (RFC 2217), for pyserial's rfc2217:// URLs and other
  network serial clients. Clients set the speed, data bits, parity, stop bits, flow control, DTR, RTS and
  break, and are told of every change of CTS, DSR, RI and DCD. One client at a time: another one is told
  that the port is in use and closed. RFC 2217 has no authentication: an ADDRESS other than the loopback
  (127.0.0.1, ::1) gives the port to everyone who can reach that address.

--pty: a pseudo-terminal for programs that open a device file (picocom, minicom, screen, socat, pyserial).
  The speed, stop bits and RTS/CTS flow control a program sets on the terminal go to the port at once; a
  Linux pseudo-terminal takes only 8 data bits without parity, so these stay as the port has them. XON and
  XOFF pass to the port as data; a program that sets IXON has its terminal act on them. Modem lines cannot cross a Linux pseudo-terminal (its modem calls fail), so programs
  that need DTR, RTS, CTS, DSR, DCD, RI or break use --rfc2217; the port's DTR and RTS are on while a
  program has the terminal open. kmxlink replaces a link at PATH that it left behind, refuses to replace
  any other file, and removes its link when it ends.

PORT is a port of the device (CE_DEVICE chooses the device), e.g. COM5: or COM5.
)usage";
}
