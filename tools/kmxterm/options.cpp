#include "options.h"

#include <charconv>
#include <map>

#include "command_options.h"

namespace {

constexpr char kColon = ':';

bool ParseMilliseconds(const std::string& text, DWORD* value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, *value);
    return error == std::errc() && stop == end && !text.empty();
}

bool ParseEnter(const std::string& text, std::string* enter) {
    static const std::map<std::string, std::string> kEnters = {{"cr", "\r"}, {"lf", "\n"}, {"crlf", "\r\n"}};
    const auto found = kEnters.find(text);
    if (found == kEnters.end()) {
        return false;
    }
    *enter = found->second;
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    *options = Options();
    PortSettings& settings = options->session.settings;
    auto flag = [](bool* value) {
        return [value](const std::string&) {
            *value = true;
            return true;
        };
    };
    bool hex = false;
    const std::vector<CommandOption> known = {
        {{"--help", "-h"}, nullptr, flag(&options->help)},
        {{"--hex"}, nullptr, flag(&hex)},
        {{"--echo"}, nullptr, flag(&options->session.echo)},
        {{"--baud"},
         "a rate in bit/s",
         [&](const std::string& v) { return ParseBaudRate(v, &settings.baudRate); }},
        {{"--data"},
         "5, 6, 7 or 8",
         [&](const std::string& v) { return ParseDataBits(v, &settings.dataBits); }},
        {{"--parity"},
         "none, odd, even, mark or space",
         [&](const std::string& v) { return ParseParity(v, &settings.parity); }},
        {{"--stop"},
         "1, 1.5 or 2",
         [&](const std::string& v) { return ParseStopBits(v, &settings.stopBits); }},
        {{"--flow"},
         "none, rtscts, dtrdsr or xonxoff",
         [&](const std::string& v) { return ParseFlowControl(v, &settings.flow); }},
        {{"--linger"},
         "milliseconds",
         [&](const std::string& v) { return ParseMilliseconds(v, &options->lingerMs); }},
        {{"--enter"},
         "cr, lf or crlf",
         [&](const std::string& v) { return ParseEnter(v, &options->session.enter); }},
    };
    if (!WalkCommandLine(args, known, &options->port, error)) {
        return false;
    }
    if (hex) {
        options->session.view = ViewMode::Hex;
    }
    if (options->help) {
        return true;
    }
    if (options->port.empty()) {
        *error = "no port named (kmxterm COM5:)";
        return false;
    }
    if (options->port.back() != kColon) {
        options->port.push_back(kColon);
    }
    return true;
}

const char* UsageText() {
    return R"(kmxterm: a terminal for one serial port of the device.

  kmxterm [options] PORT          e.g.  kmxterm COM5:    kmxterm --baud 9600 --flow rtscts COM6:

On a terminal, what you type goes to the port and what the port receives shows on the screen, above a
status line: the port and its settings, the lines from the other end (DSR, DCD, CTS, RING; + is on),
our own DTR and RTS, and the last events the port reported. Control bytes show as ^X, bytes from 0x80
as <hex>; CR, LF and CR LF each end a line. Keys typed while nobody has the other end open are
dropped, and the status line says so.

Without a terminal (standard input or output a pipe or a file), kmxterm copies standard input to the
port and the port to standard output, byte for byte. While nobody has the other end open, it waits
for somebody to open it (and says so once on standard error). At the end of the input it waits until
the other end has taken everything, then until the port has been quiet for the linger time, and exits
with 0; on an error it says what failed on standard error and exits with 1.

Options:
  --baud N           bit rate (default 115200)
  --data 5|6|7|8     data bits (default 8)
  --parity none|odd|even|mark|space      (default none)
  --stop 1|1.5|2     stop bits (default 1)
  --flow none|rtscts|dtrdsr|xonxoff      flow control (default none)
  --hex              show received bytes in hex, 16 to a line
  --echo             show what you type as well
  --enter cr|lf|crlf what the Enter key sends (default cr)
  --linger MS        quiet time before a pipe run ends (default 200)
  --help             this text

)";
}
