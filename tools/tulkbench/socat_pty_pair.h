// Two PTYs joined by socat, as a Linux user joins two programs that expect serial ports:
// `socat -d -d pty,raw,echo=0 pty,raw,echo=0`, socat found on PATH. POSIX side only.
#pragma once

#include <memory>
#include <string>

#include "measured_channel.h"

struct SocatPtys {
    std::unique_ptr<CpuClock> process;  // socat's CPU time; socat is stopped when this ends
    std::string paths[2];               // the two PTYs' device files
    std::string problem;                // why there is no pair (no socat, or what it said), one line
};

SocatPtys StartSocatPtys();
