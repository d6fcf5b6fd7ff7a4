// tulkbench: throughput and latency of a pair of virtual serial ports, beside a Unix socketpair in the same
// run. Every byte is verified. Figures are printed, never judged.
//
// By default both ends of the pair are used by threads of this program. With --processes the far end is a
// second program on the same device (CE_DEVICE, or a temporary device of the run's own), so every call
// crosses to the device host as it does between two applications.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "byte_channel.h"
#include "process_end.h"
#include "serial_pair.h"
#include "store/port_list.h"
#include "traffic.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kWriteChunk = 4096;

struct Figures {
    double mibPerSecond = 0;
    double cpuMsPerMib = 0;
    bool verified = false;
};

// The near end of a channel and whoever serves its far end.
struct Ends {
    ByteEnd* near;
    FarEnd* far;
};

Figures Throughput(Ends ends, uint64_t bytes, bool bothWays) {
    bool readOk = true;
    double farCpuMs = 0;
    const std::clock_t cpuBefore = std::clock();
    const auto start = Clock::now();
    bool ok = ends.far->Start(Task{bothWays ? Task::ReadAndWrite : Task::Read, bytes, 0, 0});
    std::thread reader;
    if (bothWays) {
        reader = std::thread([&] { readOk = ReadPattern(ends.near, bytes); });
    }
    ok = WritePattern(ends.near, bytes) && ok;
    if (bothWays) {
        reader.join();
    }
    ok = ends.far->Finish(&farCpuMs) && ok && readOk;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC + farCpuMs;
    const double mib = static_cast<double>(bytes) * (bothWays ? 2 : 1) / (1024.0 * 1024.0);
    return Figures{mib / seconds, cpuMs / mib, ok};
}

struct Latency {
    double medianUs = 0;
    double p99Us = 0;
    bool verified = false;
};

Latency RoundTrip(Ends ends, size_t size, int rounds) {
    std::vector<double> samples;
    samples.reserve(rounds);
    bool ok = ends.far->Start(Task{Task::Echo, 0, size, rounds});
    std::vector<uint8_t> message(size), reply(size);
    for (int r = 0; r < rounds && ok; ++r) {
        for (size_t i = 0; i < size; ++i) {
            message[i] = PatternByte(static_cast<uint64_t>(r) * size + i);
        }
        const auto start = Clock::now();
        ok = ends.near->WriteAll(message.data(), size);
        size_t got = 0;
        while (ok && got < size) {
            const size_t n = ends.near->ReadSome(reply.data() + got, size - got);
            ok = n != 0;
            got += n;
        }
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        ok = ok && reply == message;
    }
    double farCpuMs = 0;
    const bool echoOk = ends.far->Finish(&farCpuMs);
    std::sort(samples.begin(), samples.end());
    Latency latency;
    if (!samples.empty()) {
        latency.medianUs = samples[samples.size() / 2];
        latency.p99Us = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    }
    latency.verified = ok && echoOk && static_cast<int>(samples.size()) == rounds;
    return latency;
}

struct Results {
    Figures oneWay, bothWays;
    Latency small, medium;

    bool verified() const {
        return oneWay.verified && bothWays.verified && small.verified && medium.verified;
    }
};

Results Measure(Ends ends, uint64_t bytes, int rounds) {
    Results results;
    results.oneWay = Throughput(ends, bytes, false);
    results.bothWays = Throughput(ends, bytes, true);
    results.small = RoundTrip(ends, 1, rounds);
    results.medium = RoundTrip(ends, 64, rounds);
    return results;
}

const char* Verdict(bool ok) {
    return ok ? "verified" : "FAILED";
}

void Report(const char* pairLabel, const Results& serial, const Results& baseline) {
    std::printf("\n%-28s %16s %16s %10s\n", "", pairLabel, "socketpair", "ratio");
    auto row = [](const char* label, double pairValue, double socketValue, const char* unit) {
        std::printf("%-28s %12.1f %-3s %12.1f %-3s %9.3f\n", label, pairValue, unit, socketValue, unit,
                    socketValue != 0 ? pairValue / socketValue : 0.0);
    };
    row("one-way throughput", serial.oneWay.mibPerSecond, baseline.oneWay.mibPerSecond, "MiB/s");
    row("both-ways throughput", serial.bothWays.mibPerSecond, baseline.bothWays.mibPerSecond, "MiB/s");
    row("CPU per MiB (one way)", serial.oneWay.cpuMsPerMib, baseline.oneWay.cpuMsPerMib, "ms");
    row("1-byte round trip median", serial.small.medianUs, baseline.small.medianUs, "us");
    row("1-byte round trip p99", serial.small.p99Us, baseline.small.p99Us, "us");
    row("64-byte round trip median", serial.medium.medianUs, baseline.medium.medianUs, "us");
    row("64-byte round trip p99", serial.medium.p99Us, baseline.medium.p99Us, "us");
    std::printf("\ndata: pair %s, socketpair %s\n", Verdict(serial.verified()), Verdict(baseline.verified()));
}

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr uint64_t kMaxMib = 1 << 20;
constexpr int kMaxRounds = 10000000;
// The names the pair takes when they are free (COM5: and COM6:), so that runs read alike.
constexpr DWORD kPreferredNumbers[2] = {5, 6};

const char* kUsage =
    "usage: tulkbench [--processes] [MIB [ROUNDS]]\n"
    "  Throughput and round trips through a pair of virtual serial ports, beside a Unix socketpair.\n"
    "  MIB       traffic each way, in MiB (default 64)\n"
    "  ROUNDS    round trips per message size (default 5000)\n"
    "  --processes  the pair's far end in a second program, every call through the device host\n"
    "  The pair runs inside this program, or with --processes on a temporary device, unless CE_DEVICE\n"
    "  names a device: there it takes two free names and slots and removes its pair at the end.\n";

struct Arguments {
    bool help = false;
    bool processes = false;
    uint64_t mib = 64;
    int rounds = 5000;
};

// A whole number from 1 to most, nothing else.
bool ParseCount(const std::string& text, uint64_t most, uint64_t* value) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return *value >= 1 && *value <= most;
}

// False with *error saying what is wrong.
bool Parse(int argc, char** argv, Arguments* arguments, std::string* error) {
    std::vector<std::string> numbers;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            arguments->help = true;
        } else if (word == "--processes") {
            arguments->processes = true;
        } else if (word.size() > 1 && word[0] == '-') {
            *error = "unknown option " + word;
            return false;
        } else {
            numbers.push_back(word);
        }
    }
    if (numbers.size() > 2) {
        *error = "too many arguments: " + numbers[2];
        return false;
    }
    if (!numbers.empty() && !ParseCount(numbers[0], kMaxMib, &arguments->mib)) {
        *error = "MIB " + numbers[0] + ": expected a whole number from 1 to " + std::to_string(kMaxMib);
        return false;
    }
    uint64_t rounds = 0;
    if (numbers.size() > 1) {
        if (!ParseCount(numbers[1], kMaxRounds, &rounds)) {
            *error =
                "ROUNDS " + numbers[1] + ": expected a whole number from 1 to " + std::to_string(kMaxRounds);
            return false;
        }
        arguments->rounds = static_cast<int>(rounds);
    }
    return true;
}

// Two free names, the preferred ones when both are free; false when fewer than two are.
bool ChooseNumbers(const PortList& ports, DWORD numbers[2]) {
    if (ports.IsPortNumberFree(kPreferredNumbers[0]) && ports.IsPortNumberFree(kPreferredNumbers[1])) {
        numbers[0] = kPreferredNumbers[0];
        numbers[1] = kPreferredNumbers[1];
        return true;
    }
    int found = 0;
    for (DWORD number = 0; number < kCombinedNumbers && found < 2; ++number) {
        if (ports.IsPortNumberFree(number)) {
            numbers[found++] = number;
        }
    }
    return found == 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tulkbench: %s\n", message.c_str());
    return kExitFailure;
}

std::string Narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

}  // namespace

int main(int argc, char** argv) {
    if (IsFarEndCommand(argc, argv)) {
        return ServeFarEnd(argv[2]);
    }
    Arguments arguments;
    std::string error;
    if (!Parse(argc, argv, &arguments, &error)) {
        std::fprintf(stderr, "tulkbench: %s (tulkbench --help shows the usage)\n", error.c_str());
        return kExitUsage;
    }
    if (arguments.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const uint64_t bytes = arguments.mib * 1024 * 1024;
    BenchDevice device(arguments.processes);
    if (!device.ok()) {
        return Fail("no device directory for the programs");
    }

    Results serial;
    std::string label;
    {
        // The store's own rules find where the pair may go without touching anybody's ports.
        std::unique_ptr<PortList> ports = std::make_unique<PortList>();
        if (ports->RegistryWritable() == 0) {
            return Fail("cannot write the registry of the device");
        }
        DWORD numbers[2] = {};
        const LONG slot = ports->FreePairSlot();
        if (slot < 0 || !ChooseNumbers(*ports, numbers)) {
            return Fail(
                "no two free port names and driver slots on the device (tulkcfg list shows the ports)");
        }
        ports.reset();
        SerialPair pair(slot, numbers[0], numbers[1]);
        if (!pair.ok()) {
            return Fail(pair.problem());
        }
        const std::string near = Narrow(pair.Name(0));
        const std::string farName = Narrow(pair.Name(1));
        std::printf("tulkbench: %llu MiB each way in %zu-byte writes, %d round trips per size%s\n",
                    static_cast<unsigned long long>(arguments.mib), kWriteChunk, arguments.rounds,
                    arguments.processes ? ", far end in another program" : "");
        if (device.shared()) {
            std::printf("tulkbench: %s and %s %s, removed at the end\n", near.c_str(), farName.c_str(),
                        device.Description().c_str());
        }
        if (arguments.processes) {
            // The far end opens its port and takes up flow control first; the near end's then reaches it.
            std::unique_ptr<PortEnd> nearEnd = PortEnd::Open(pair.Name(0));
            std::unique_ptr<FarEnd> far = nearEnd ? ProcessFarEnd(farName) : nullptr;
            if (!far || !nearEnd->UseHardwareFlowControl()) {
                return Fail("cannot open the pair across two programs");
            }
            serial = Measure(Ends{nearEnd.get(), far.get()}, bytes, arguments.rounds);
            label = near + " | " + farName;
        } else {
            ByteChannel ports = pair.Open();
            std::unique_ptr<FarEnd> far = ThreadFarEnd(ports.b.get());
            serial = Measure(Ends{ports.a.get(), far.get()}, bytes, arguments.rounds);
            label = near + "<->" + farName;
        }
    }
    ByteChannel sockets = MakeSocketpairChannel();
    std::unique_ptr<FarEnd> socketFar = ThreadFarEnd(sockets.b.get());
    const Results baseline = Measure(Ends{sockets.a.get(), socketFar.get()}, bytes, arguments.rounds);

    Report(label.c_str(), serial, baseline);
    return serial.verified() && baseline.oneWay.verified && baseline.bothWays.verified ? 0 : kExitFailure;
}
