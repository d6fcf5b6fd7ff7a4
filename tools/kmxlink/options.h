// kmxlink's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class LinkMode { None, Rfc2217, Pty };

inline constexpr const char* kDefaultAddress = "127.0.0.1";

struct Options {
    bool help = false;
    std::string port;  // "COM5:"
    LinkMode mode = LinkMode::None;
    std::string address = kDefaultAddress;  // RFC 2217: where to listen
    uint16_t tcpPort = 0;                   // 0: a free port, named in the ready line
    std::string path;                       // pseudo-terminal: where its name is linked
};

// False, with *error saying what is wrong, for a command line that makes no sense.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

const char* UsageText();
