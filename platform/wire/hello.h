// A connection's first exchange, from the side that connects (a program, or cedevice's own commands): the
// hello, the host's answer within kHelloTimeoutMs, and, when the host will not serve, why in words.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "wire/wire.h"

namespace ce::wire {

enum class HelloOutcome {
    Accepted,  // the host answered; the answer is in Hello::reply
    Refused,   // the host said why not (Hello::error)
    NoAnswer,  // nothing within kHelloTimeoutMs: the host is stopped or overwhelmed
    Ended,     // the connection ended without a word
};

struct Hello {
    HelloOutcome outcome = HelloOutcome::Ended;
    DWORD error = ERROR_SUCCESS;  // Refused: the host's reason
    std::vector<uint8_t> reply;   // Accepted: the answer, header included
};

// Sends hello on the fresh connection fd (with the descriptor `passed`, when given) and waits for the host's
// answer.
Hello ExchangeHello(int fd, Writer& hello, int passed = -1);

// Why a hello that was not accepted was not, for a line on stderr ("the device host ..."); fd is its
// connection, whose peer tells whose host it was, and dir the device.
std::string HelloProblem(const Hello& hello, int fd, const std::string& dir);

// Whether a host of dir is of another version: it refused the version, or it ended the hello without a
// word while it lives (as hosts before the refusal message did).
bool OfAnotherVersion(const Hello& hello, int fd, const std::string& dir);

}  // namespace ce::wire
