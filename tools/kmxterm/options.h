// kmxterm's command line.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "session.h"

inline constexpr DWORD kDefaultLingerMs = 200;

struct Options {
    bool help = false;
    std::string port;  // "COM5:"; a name typed without its colon gets one
    SessionOptions session;
    DWORD lingerMs = kDefaultLingerMs;
};

// False, with *error saying what is wrong, for a command line that makes no sense.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

const char* UsageText();
