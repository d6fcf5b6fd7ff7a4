// kmxterm without a terminal: the input goes to the port and the port's bytes to the output, byte for byte.
#pragma once

#include <string>

#include <windows.h>

#include "byte_stream.h"
#include "serial_port.h"

struct RelayResult {
    bool ok = true;
    std::string error;  // one line saying what failed, when not ok
};

// Relays until the input ends; then waits until the other end has taken all we wrote and the port has
// been quiet for lingerMs, so that an answer to the last input still reaches the output.
RelayResult RunPipeRelay(SerialPort& port, ByteSource& in, ByteSink& out, DWORD lingerMs);
