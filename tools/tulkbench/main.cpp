// tulkbench: throughput and latency of a pair of virtual serial ports, beside what a Linux user would pick
// instead (a socketpair, a raw PTY pair, a socat PTY pair) carrying the same traffic in the same run. Every
// byte is verified. Figures are printed, never judged.
//
// By default both ends of each channel are used by threads of this program. With --processes the far end
// is a second program: for the pair, on the same device (CE_DEVICE, or a temporary device of the run's
// own), so every call crosses to the device host as it does between two applications.
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
#include "linux_channels.h"
#include "measured_channel.h"
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
    double carrierMsPerMib = 0;  // the part of cpuMsPerMib spent between the ends
    bool verified = false;
};

// CPU time of the process between the ends so far; 0 when there is none.
double CarrierMs(const MeasuredChannel& channel) {
    return channel.carrier ? channel.carrier->Ms() : 0;
}

Figures Throughput(MeasuredChannel& channel, uint64_t bytes, bool bothWays) {
    bool readOk = true;
    double farCpuMs = 0;
    const double carrierBefore = CarrierMs(channel);
    const std::clock_t cpuBefore = std::clock();
    const auto start = Clock::now();
    bool ok = channel.far->Start(Task{bothWays ? Task::ReadAndWrite : Task::Read, bytes, 0, 0});
    std::thread reader;
    if (bothWays) {
        reader = std::thread([&] { readOk = ReadPattern(channel.near.get(), bytes); });
    }
    ok = WritePattern(channel.near.get(), bytes) && ok;
    if (bothWays) {
        reader.join();
    }
    ok = channel.far->Finish(&farCpuMs) && ok && readOk;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double carrierMs = CarrierMs(channel) - carrierBefore;
    const double cpuMs =
        1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC + farCpuMs + carrierMs;
    const double mib = static_cast<double>(bytes) * (bothWays ? 2 : 1) / (1024.0 * 1024.0);
    return Figures{mib / seconds, cpuMs / mib, carrierMs / mib, ok};
}

struct Latency {
    double medianUs = 0;
    double p99Us = 0;
    bool verified = false;
};

Latency RoundTrip(MeasuredChannel& channel, size_t size, int rounds) {
    std::vector<double> samples;
    samples.reserve(rounds);
    ByteEnd* near = channel.near.get();
    bool ok = channel.far->Start(Task{Task::Echo, 0, size, rounds});
    std::vector<uint8_t> message(size), reply(size);
    for (int r = 0; r < rounds && ok; ++r) {
        for (size_t i = 0; i < size; ++i) {
            message[i] = PatternByte(static_cast<uint64_t>(r) * size + i);
        }
        const auto start = Clock::now();
        ok = near->WriteAll(message.data(), size);
        size_t got = 0;
        while (ok && got < size) {
            const size_t n = near->ReadSome(reply.data() + got, size - got);
            ok = n != 0;
            got += n;
        }
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        ok = ok && reply == message;
    }
    double farCpuMs = 0;
    const bool echoOk = channel.far->Finish(&farCpuMs);
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

Results Measure(MeasuredChannel& channel, uint64_t bytes, int rounds) {
    Results results;
    results.oneWay = Throughput(channel, bytes, false);
    results.bothWays = Throughput(channel, bytes, true);
    results.small = RoundTrip(channel, 1, rounds);
    results.medium = RoundTrip(channel, 64, rounds);
    return results;
}

// One column of the table: the pair first, then the Linux channels measured beside it.
struct Column {
    std::string heading;
    Results results;
};

constexpr int kLabelWidth = 22;
constexpr int kPairWidth = 14;  // "COM5:<->COM6:"
constexpr int kPeerWidth = 11;  // "socketpair"
constexpr int kRatioGap = 2;

struct Row {
    const char* label;
    double (*value)(const Results&);
};

const Row kRows[] = {
    {"one-way MiB/s", [](const Results& r) { return r.oneWay.mibPerSecond; }},
    {"both-ways MiB/s", [](const Results& r) { return r.bothWays.mibPerSecond; }},
    {"CPU ms/MiB one-way", [](const Results& r) { return r.oneWay.cpuMsPerMib; }},
    {"  of which between", [](const Results& r) { return r.oneWay.carrierMsPerMib; }},
    {"1-byte RTT median us", [](const Results& r) { return r.small.medianUs; }},
    {"1-byte RTT p99 us", [](const Results& r) { return r.small.p99Us; }},
    {"64-byte RTT median us", [](const Results& r) { return r.medium.medianUs; }},
    {"64-byte RTT p99 us", [](const Results& r) { return r.medium.p99Us; }},
};

const char* Verdict(bool ok) {
    return ok ? "verified" : "FAILED";
}

// A table with a column per channel, the pair's first, then the pair's figures divided by each other
// channel's.
void Report(const std::vector<Column>& columns) {
    const Column& pair = columns.front();
    const int peers = static_cast<int>(columns.size()) - 1;
    std::printf("\n");
    if (peers > 0) {
        std::printf("%*s%s\n", kLabelWidth + kPairWidth + peers * kPeerWidth + kRatioGap, "",
                    "the pair's figure divided by");
    }
    auto headings = [&] {
        for (int i = 1; i <= peers; ++i) {
            std::printf("%*s", kPeerWidth, columns[i].heading.c_str());
        }
    };
    std::printf("%*s%*s", kLabelWidth, "", kPairWidth, pair.heading.c_str());
    headings();
    std::printf("%*s", kRatioGap, "");
    headings();
    std::printf("\n");
    for (const Row& row : kRows) {
        const double ours = row.value(pair.results);
        std::printf("%-*s%*.1f", kLabelWidth, row.label, kPairWidth, ours);
        for (int i = 1; i <= peers; ++i) {
            std::printf("%*.1f", kPeerWidth, row.value(columns[i].results));
        }
        std::printf("%*s", kRatioGap, "");
        for (int i = 1; i <= peers; ++i) {
            const double theirs = row.value(columns[i].results);
            std::printf("%*.3f", kPeerWidth, theirs != 0 ? ours / theirs : 0.0);
        }
        std::printf("\n");
    }
    std::printf("%-*s%*s", kLabelWidth, "data", kPairWidth, Verdict(pair.results.verified()));
    for (int i = 1; i <= peers; ++i) {
        std::printf("%*s", kPeerWidth, Verdict(columns[i].results.verified()));
    }
    std::printf(
        "\nCPU: both ends' programs and the process between them (the device host, socat); \"of which\n"
        "between\" is that process's part\n");
}

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr uint64_t kMaxMib = 1 << 20;
constexpr int kMaxRounds = 10000000;
// The names the pair takes when they are free (COM5: and COM6:), so that runs read alike.
constexpr DWORD kPreferredNumbers[2] = {5, 6};

const char* kUsage =
    "usage: tulkbench [--processes] [MIB [ROUNDS]]\n"
    "  Throughput and round trips through a pair of virtual serial ports, beside the same traffic\n"
    "  through a socketpair, a raw PTY pair and a socat PTY pair (when socat is on PATH).\n"
    "  MIB       traffic each way, in MiB (default 64)\n"
    "  ROUNDS    round trips per message size (default 5000)\n"
    "  --processes  each channel's far end in a second program; the pair's calls go through the\n"
    "               device host\n"
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
        return ServeFarEnd(argc, argv);
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

    std::vector<Column> columns;
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
                    arguments.processes ? ", each far end in a second program" : "");
        if (device.shared()) {
            std::printf("tulkbench: %s and %s %s, removed at the end\n", near.c_str(), farName.c_str(),
                        device.Description().c_str());
        }
        MeasuredChannel channel;
        channel.carrier = device.HostClock();
        if (arguments.processes) {
            // The far end opens its port and takes up flow control first; the near end's then reaches it.
            std::unique_ptr<PortEnd> nearEnd = PortEnd::Open(pair.Name(0));
            channel.far = nearEnd ? ProcessFarEnd(farName) : nullptr;
            if (!channel.far || !nearEnd->UseHardwareFlowControl()) {
                return Fail("cannot open the pair across two programs");
            }
            channel.near = std::move(nearEnd);
            channel.heading = near + " | " + farName;
        } else {
            ByteChannel ends = pair.Open();
            channel.near = std::move(ends.a);
            channel.farHere = std::move(ends.b);
            channel.far = ThreadFarEnd(channel.farHere.get());
            channel.heading = near + "<->" + farName;
        }
        columns.push_back({channel.heading, Measure(channel, bytes, arguments.rounds)});
    }
    for (const LinuxChannel kind : {LinuxChannel::Socketpair, LinuxChannel::RawPty, LinuxChannel::SocatPty}) {
        MeasuredChannel channel = OpenLinuxChannel(kind, arguments.processes);
        if (!channel.ok()) {
            std::printf("tulkbench: %s not measured: %s\n", channel.heading.c_str(), channel.problem.c_str());
            continue;
        }
        columns.push_back({channel.heading, Measure(channel, bytes, arguments.rounds)});
    }

    Report(columns);
    const bool verified = std::all_of(columns.begin(), columns.end(),
                                      [](const Column& column) { return column.results.verified(); });
    return verified ? 0 : kExitFailure;
}
