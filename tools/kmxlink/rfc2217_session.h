// One RFC 2217 client on the port: Telnet, the COM-PORT-OPTION layer and the port's threads together.
#pragma once

#include <memory>
#include <string>

#include "link_session.h"

// Opens name for a client; null with *error.
std::unique_ptr<LinkSession> OpenPortForClient(const std::string& name, Wakeup& wakeup, std::string* error);
