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

struct Arguments {
    bool processes = false;
    uint64_t mib = 64;
    int rounds = 5000;
};

Arguments Parse(int argc, char** argv) {
    Arguments arguments;
    std::vector<const char*> numbers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--processes") == 0) {
            arguments.processes = true;
        } else {
            numbers.push_back(argv[i]);
        }
    }
    if (!numbers.empty()) {
        arguments.mib = std::strtoull(numbers[0], nullptr, 10);
    }
    if (numbers.size() > 1) {
        arguments.rounds = std::atoi(numbers[1]);
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    if (IsFarEndCommand(argc, argv)) {
        return ServeFarEnd(argv[2]);
    }
    const Arguments arguments = Parse(argc, argv);
    const uint64_t bytes = arguments.mib * 1024 * 1024;
    std::unique_ptr<BenchDevice> device;
    if (arguments.processes) {
        device = std::make_unique<BenchDevice>();
        if (!device->ok()) {
            std::fprintf(stderr, "tulkbench: no device directory for the programs\n");
            return 1;
        }
    }

    Results serial;
    {
        SerialPair pair(0, 5);
        if (!pair.ok()) {
            std::fprintf(stderr, "tulkbench: cannot activate the pair (is tulk.dll built?)\n");
            return 1;
        }
        std::printf("tulkbench: %llu MiB each way in %zu-byte writes, %d round trips per size%s\n",
                    static_cast<unsigned long long>(arguments.mib), kWriteChunk, arguments.rounds,
                    arguments.processes ? ", far end in another program" : "");
        if (arguments.processes) {
            // The far end opens its port and takes up flow control first; the near end's then reaches it.
            std::unique_ptr<PortEnd> near = PortEnd::Open(pair.Name(0));
            const std::u16string farName = pair.Name(1);
            std::unique_ptr<FarEnd> far =
                near ? ProcessFarEnd(std::string(farName.begin(), farName.end())) : nullptr;
            if (!far || !near->UseHardwareFlowControl()) {
                std::fprintf(stderr, "tulkbench: cannot open the pair across two programs\n");
                return 1;
            }
            serial = Measure(Ends{near.get(), far.get()}, bytes, arguments.rounds);
        } else {
            ByteChannel ports = pair.Open();
            std::unique_ptr<FarEnd> far = ThreadFarEnd(ports.b.get());
            serial = Measure(Ends{ports.a.get(), far.get()}, bytes, arguments.rounds);
        }
    }
    ByteChannel sockets = MakeSocketpairChannel();
    std::unique_ptr<FarEnd> socketFar = ThreadFarEnd(sockets.b.get());
    const Results baseline = Measure(Ends{sockets.a.get(), socketFar.get()}, bytes, arguments.rounds);

    Report(arguments.processes ? "COM5: | COM6:" : "COM5:<->COM6:", serial, baseline);
    return serial.verified() && baseline.oneWay.verified && baseline.bothWays.verified ? 0 : 1;
}
