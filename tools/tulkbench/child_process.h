// The programs tulkbench starts (its far ends, the device host's status command, socat) and the CPU time
// of a process. POSIX side only: the <windows.h> side never includes this.
#pragma once

#include <string>
#include <vector>

// A descriptor of this program that a started program gets under another number.
struct Handover {
    int descriptor;
    int as;
};

// Starts a program, found on PATH when argv[0] names no directory, with the descriptors handed over and
// no others of this program's (all are close-on-exec); its pid, or -1 with errno set (ENOENT: no such
// program).
int StartProgram(const std::vector<std::string>& argv, const std::vector<Handover>& handovers);
// Waits for a started program to end: its exit status, or -1 when a signal ended it.
int WaitForProgram(int pid);
// This program's own file, however it was started.
std::string SelfPath();
// The CPU time a process has spent so far, all its threads, user and system, in milliseconds; 0 when it
// cannot be read. The kernel counts it in clock ticks (10 ms on most machines).
double ProcessCpuMs(int pid);
