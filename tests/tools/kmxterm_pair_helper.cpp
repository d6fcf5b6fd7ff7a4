// For the terminal test: kmxterm's own terminal front on COM5: of a pair activated in this process, with
// a partner on COM6: that answers every byte in upper case and logs what it received to the file named by its
// argument.
#include <atomic>
#include <cctype>
#include <fstream>
#include <iostream>
#include <thread>

#include <windows.h>

#include "console_posix.h"
#include "serial_port.h"
#include "session.h"
#include "tools/pair_keys.h"

namespace {

void Partner(SerialPort* port, const std::atomic<bool>* stop, std::ofstream* log) {
    port->ReceiveUntil(*stop, [&](std::string_view bytes) {
        log->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        log->flush();
        std::string answer;
        for (const char c : bytes) {
            answer.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
        return port->WriteAll(answer.data(), static_cast<DWORD>(answer.size()));
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kmxterm_pair_helper LOGFILE\n";
        return 2;
    }
    HANDLE ends[2] = {ActivatePairEnd(0), ActivatePairEnd(1)};
    SerialPort ours;
    SerialPort partner;
    DWORD error = 0;
    std::string what;
    // Ours first: a port's first open starts with CTS off, and the partner's open raises its RTS after.
    if (ends[0] == nullptr || ends[1] == nullptr || !ours.Open("COM5:", PortSettings{}, &error, &what) ||
        !partner.Open("COM6:", PortSettings{}, &error, &what)) {
        std::cerr << "kmxterm_pair_helper: no pair: " << what << " " << error << '\n';
        return 1;
    }
    std::ofstream log(argv[1], std::ios::binary);
    std::atomic<bool> stop{false};
    std::thread answering(Partner, &partner, &stop, &log);
    std::string problem;
    bool ok = false;
    {
        RawTerminal terminal;
        ok = terminal.Enter(&problem) && RunSession(ours, terminal, SessionOptions{}, &problem);
    }
    stop.store(true);
    answering.join();
    if (!ok) {
        std::cerr << "kmxterm_pair_helper: " << problem << '\n';
    }
    return ok ? 0 : 1;
}
