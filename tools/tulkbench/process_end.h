// The far end of a channel in a program of its own, and the device the measurement uses.
#pragma once

#include <memory>
#include <string>

#include "measured_channel.h"
#include "traffic.h"

// The device the measurement runs on, chosen before the first platform call: the one CE_DEVICE names
// (other than "none"), shared with whoever uses it; else, across programs, a temporary device that goes
// away (with the host serving it) at the end; else this program's own, in-process, so that the person's
// device is never touched.
class BenchDevice {
  public:
    explicit BenchDevice(bool acrossPrograms);
    ~BenchDevice();
    BenchDevice(const BenchDevice&) = delete;
    BenchDevice& operator=(const BenchDevice&) = delete;

    bool ok() const { return ok_; }
    // A device others may use as well: the pair goes where nothing else is, and leaves nothing behind.
    bool shared() const { return shared_; }
    // "inside this program", "on a temporary device", "on the device <directory>".
    std::string Description() const;
    // The CPU time of the device host, which runs the driver for programs; null in-process, or when no
    // host answers. On a shared device it counts whatever else the host does meanwhile.
    std::unique_ptr<CpuClock> HostClock() const;

  private:
    std::string directory_;  // empty in-process
    bool ok_ = false;
    bool shared_ = false;
    bool temporary_ = false;
};

// Starts this program again as the far end on the port; nullptr when it could not open it.
std::unique_ptr<FarEnd> ProcessFarEnd(const std::string& port);

// This program started as a far end: "<program> --serve-end <port>" or "<program> --serve-descriptor".
bool IsFarEndCommand(int argc, char** argv);
// The far end's program: opens its end and runs the tasks its standard input names, answering each.
int ServeFarEnd(int argc, char** argv);
