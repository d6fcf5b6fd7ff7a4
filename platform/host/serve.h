// The host's handlers of the calls programs make. A handler takes every field of the request, answers
// false when one is missing or does not fit (the program then gets ERROR_INVALID_PARAMETER, and nothing
// ran), and otherwise runs the call in the host and writes the reply's fields.
//
// Every reply starts with a u32 that is 0, or the error of a request the host refused before running it.
#pragma once

#include <cstdint>
#include <vector>

#include "host/session.h"
#include "wire/wire.h"

namespace ce::host {

using namespace wire;

using Handler = bool (*)(Session& session, Reader& request, Writer& reply);

// The handler of a call operation, or nullptr.
Handler RegistryHandler(Op op);
Handler DeviceHandler(Op op);
Handler WindowHandler(Op op);

// Runs one request of the session and answers the reply to send.
std::vector<uint8_t> Serve(Session& session, const std::vector<uint8_t>& request);

// Longest string a request may carry; the calls themselves refuse names over their own limits.
inline constexpr size_t kMaxStringChars = kMaxCallDataBytes / sizeof(char16_t);

}  // namespace ce::host
