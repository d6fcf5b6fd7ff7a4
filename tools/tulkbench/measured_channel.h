// A channel under measurement: its near end, whoever serves its far end, and the process between the two
// ends (the device host, socat), if any, whose CPU time counts with theirs.
#pragma once

#include <memory>
#include <string>

#include "byte_channel.h"
#include "traffic.h"

// The CPU time a process has spent so far, in milliseconds.
class CpuClock {
  public:
    virtual ~CpuClock() = default;
    virtual double Ms() = 0;
};

// The members end bottom-up: the far end's server before the ends it uses, the ends before the process
// between them.
struct MeasuredChannel {
    std::string heading;                // the channel's column in the table
    std::string problem;                // why it cannot be measured, one line; empty when it can
    std::unique_ptr<CpuClock> carrier;  // the process between the ends, or null when there is none
    std::unique_ptr<ByteEnd> near;      // this program's end, the one that measures
    std::unique_ptr<ByteEnd> farHere;   // the far end when a thread of this program serves it, else null
    std::unique_ptr<FarEnd> far;        // whoever serves the far end

    bool ok() const { return problem.empty(); }
};
