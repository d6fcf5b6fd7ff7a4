// The far end of the pair in a program of its own on the device, and the device the measurement uses.
#pragma once

#include <memory>
#include <string>

#include "traffic.h"

// A device for the measurement across programs: CE_DEVICE when given, else a temporary directory that goes
// away (with the host serving it) at the end. Made before the first platform call.
class BenchDevice {
  public:
    BenchDevice();
    ~BenchDevice();
    BenchDevice(const BenchDevice&) = delete;
    BenchDevice& operator=(const BenchDevice&) = delete;

    bool ok() const { return !directory_.empty(); }
    const std::string& directory() const { return directory_; }

  private:
    std::string directory_;
    bool temporary_ = false;
};

// Starts this program again as the far end on the port; nullptr when it could not open it.
std::unique_ptr<FarEnd> ProcessFarEnd(const std::string& port);

// This program started as a far end: "<program> --serve-end <port>".
bool IsFarEndCommand(int argc, char** argv);
// The far end's program: opens the port and runs the tasks its standard input names, answering each.
int ServeFarEnd(const std::string& port);
