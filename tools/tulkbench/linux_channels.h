// What a Linux user would pick instead of a pair, carrying the same traffic: a socketpair, a raw PTY pair
// (the kernel's master and slave, nothing between them) and a socat PTY pair (two PTYs joined by socat).
#pragma once

#include "measured_channel.h"

enum class LinuxChannel { Socketpair, RawPty, SocatPty };

// The channel, its far end served by a thread of this program or by a second program; with the problem
// set (and nothing to measure) when it cannot be had, as when socat is not installed.
MeasuredChannel OpenLinuxChannel(LinuxChannel kind, bool farInAnotherProgram);
