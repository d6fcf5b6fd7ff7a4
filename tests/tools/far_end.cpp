// The far end of a pair for the tests of programs that serve a port (kmxlink): opens a port of the device
// that CE_DEVICE names and does what the test says, one command a line on standard input, one answer a line
// on standard output.
//
//   write HEX          ok N               the bytes written (a write to a closed partner takes fewer)
//   read N MS          data HEX           up to N bytes, waiting at most MS ms for all of them
//   dtr 0|1, rts 0|1   ok | error CODE    our lines (the partner's DSR and DCD, and CTS)
//   flow NAME          ok | error CODE    none, rtscts or xonxoff, both directions
//   modem              modem NAMES        the partner's lines that are on: CTS DSR RING RLSD
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "open_port.h"
#include "port_settings.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string Hex(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        text.push_back(kHexDigits[static_cast<unsigned char>(c) >> 4]);
        text.push_back(kHexDigits[static_cast<unsigned char>(c) & 0xF]);
    }
    return text;
}

std::string Unhex(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

class FarEnd {
  public:
    explicit FarEnd(const std::string& name) : port_(OpenPortByName(name)) {}
    ~FarEnd() {
        if (port_ != INVALID_HANDLE_VALUE) {
            CloseHandle(port_);
        }
    }
    bool opened() const { return port_ != INVALID_HANDLE_VALUE; }

    std::string Do(const std::string& line) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "write") {
            std::string hex;
            in >> hex;
            const std::string bytes = Unhex(hex);
            DWORD written = 0;
            return WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                       ? "ok " + std::to_string(written)
                       : Error();
        }
        if (command == "read") {
            DWORD count = 0;
            DWORD ms = 0;
            in >> count >> ms;
            COMMTIMEOUTS timeouts{0, 0, ms, 0, 0};
            std::string bytes(count, '\0');
            DWORD got = 0;
            if (!SetCommTimeouts(port_, &timeouts) || !ReadFile(port_, bytes.data(), count, &got, nullptr)) {
                return Error();
            }
            bytes.resize(got);
            return "data " + Hex(bytes);
        }
        if (command == "dtr" || command == "rts") {
            int on = 0;
            in >> on;
            const DWORD code = command == "dtr" ? (on != 0 ? SETDTR : CLRDTR) : (on != 0 ? SETRTS : CLRRTS);
            return Answer(EscapeCommFunction(port_, code) != FALSE);
        }
        if (command == "flow") {
            std::string name;
            in >> name;
            FlowControl flow = FlowControl::None;
            DCB dcb{};
            dcb.DCBlength = sizeof(dcb);
            if (!ParseFlowControl(name, &flow) || !GetCommState(port_, &dcb)) {
                return Error();
            }
            PortSettings wanted = SettingsOf(dcb);
            wanted.flow = flow;
            ApplySettings(wanted, &dcb);
            return Answer(SetCommState(port_, &dcb) != FALSE);
        }
        if (command == "modem") {
            DWORD status = 0;
            GetCommModemStatus(port_, &status);
            return "modem" +
                   Names(
                       status,
                       {{MS_CTS_ON, "CTS"}, {MS_DSR_ON, "DSR"}, {MS_RING_ON, "RING"}, {MS_RLSD_ON, "RLSD"}});
        }
        return "error unknown command " + command;
    }

  private:
    static std::string Names(DWORD bits, const std::vector<std::pair<DWORD, const char*>>& names) {
        std::string text;
        for (const auto& [bit, name] : names) {
            if ((bits & bit) != 0) {
                text += std::string(" ") + name;
            }
        }
        return text;
    }

    static std::string Error() { return "error " + std::to_string(GetLastError()); }
    static std::string Answer(bool ok) { return ok ? "ok" : Error(); }

    HANDLE port_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: far_end PORT\n";
        return 2;
    }
    FarEnd end(argv[1]);
    if (!end.opened()) {
        std::cout << "error " << GetLastError() << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::cout << end.Do(line) << std::endl;
    }
    return 0;
}
