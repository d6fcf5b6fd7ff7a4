// kmxterm without a terminal: the input goes to the port and the port's bytes to the output, byte for byte.
#pragma once

#include <functional>
#include <string>

#include <windows.h>

#include "byte_stream.h"
#include "serial_port.h"

struct RelayResult {
    bool ok = true;
    std::string error;  // one line saying what failed, when not ok
};

// A line for the person running the relay, about the relay itself (not the port's bytes).
using RelayNote = std::function<void(const std::string&)>;

// Relays until the input ends; then waits until the other end has taken all we wrote and the port has
// been quiet for lingerMs, so that an answer to the last input still reaches the output. While nobody has
// the other end open, the input waits for somebody to open it, and note says so once each time.
RelayResult RunPipeRelay(SerialPort& port, ByteSource& in, ByteSink& out, DWORD lingerMs,
                         const RelayNote& note);
