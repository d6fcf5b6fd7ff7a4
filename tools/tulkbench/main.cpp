// tulkbench: throughput and latency of a pair of virtual serial ports, beside a Unix socketpair in the same
// run. Every byte is verified. Figures are printed, never judged.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "byte_channel.h"
#include "serial_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kWriteChunk = 4096;
constexpr size_t kReadChunk = 65536;

// The byte at a stream offset: a pattern with no short period, so a lost or repeated piece shows.
inline uint8_t PatternByte(uint64_t offset) {
    return static_cast<uint8_t>((offset * 2654435761u) >> 13 ^ (offset >> 9));
}

struct Figures {
    double mibPerSecond = 0;
    double cpuMsPerMib = 0;
    bool verified = false;
};

void Writer(ByteEnd* end, uint64_t total, bool* ok) {
    std::vector<uint8_t> chunk(kWriteChunk);
    for (uint64_t offset = 0; offset < total; offset += kWriteChunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kWriteChunk, total - offset));
        for (size_t i = 0; i < n; ++i) {
            chunk[i] = PatternByte(offset + i);
        }
        if (!end->WriteAll(chunk.data(), n)) {
            *ok = false;
            return;
        }
    }
    *ok = true;
}

void Reader(ByteEnd* end, uint64_t total, bool* ok) {
    std::vector<uint8_t> buffer(kReadChunk);
    uint64_t offset = 0;
    while (offset < total) {
        const size_t n =
            end->ReadSome(buffer.data(), static_cast<size_t>(std::min<uint64_t>(kReadChunk, total - offset)));
        if (n == 0) {
            *ok = false;
            return;
        }
        for (size_t i = 0; i < n; ++i) {
            if (buffer[i] != PatternByte(offset + i)) {
                std::fprintf(stderr, "mismatch at byte %llu\n", static_cast<unsigned long long>(offset + i));
                *ok = false;
                return;
            }
        }
        offset += n;
    }
    *ok = true;
}

Figures Throughput(ByteChannel& channel, uint64_t bytes, bool bothWays) {
    bool okWriteA = true, okReadB = true, okWriteB = true, okReadA = true;
    const std::clock_t cpuBefore = std::clock();
    const auto start = Clock::now();
    std::thread readB(Reader, channel.b.get(), bytes, &okReadB);
    std::thread writeA(Writer, channel.a.get(), bytes, &okWriteA);
    std::thread readA, writeB;
    if (bothWays) {
        readA = std::thread(Reader, channel.a.get(), bytes, &okReadA);
        writeB = std::thread(Writer, channel.b.get(), bytes, &okWriteB);
    }
    writeA.join();
    readB.join();
    if (bothWays) {
        writeB.join();
        readA.join();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    const double mib = static_cast<double>(bytes) * (bothWays ? 2 : 1) / (1024.0 * 1024.0);
    return Figures{mib / seconds, cpuMs / mib, okWriteA && okReadB && okWriteB && okReadA};
}

struct Latency {
    double medianUs = 0;
    double p99Us = 0;
    bool verified = false;
};

Latency RoundTrip(ByteChannel& channel, size_t size, int rounds) {
    std::vector<double> samples;
    samples.reserve(rounds);
    bool echoOk = true;
    std::thread echo([&] {
        std::vector<uint8_t> buffer(size);
        for (int r = 0; r < rounds && echoOk; ++r) {
            size_t got = 0;
            while (got < size) {
                const size_t n = channel.b->ReadSome(buffer.data() + got, size - got);
                if (n == 0) {
                    echoOk = false;
                    return;
                }
                got += n;
            }
            echoOk = channel.b->WriteAll(buffer.data(), size);
        }
    });
    std::vector<uint8_t> message(size), reply(size);
    bool ok = true;
    for (int r = 0; r < rounds && ok; ++r) {
        for (size_t i = 0; i < size; ++i) {
            message[i] = PatternByte(static_cast<uint64_t>(r) * size + i);
        }
        const auto start = Clock::now();
        ok = channel.a->WriteAll(message.data(), size);
        size_t got = 0;
        while (ok && got < size) {
            const size_t n = channel.a->ReadSome(reply.data() + got, size - got);
            ok = n != 0;
            got += n;
        }
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        ok = ok && reply == message;
    }
    echo.join();
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
};

Results Measure(ByteChannel& channel, uint64_t bytes, int rounds) {
    Results results;
    results.oneWay = Throughput(channel, bytes, false);
    results.bothWays = Throughput(channel, bytes, true);
    results.small = RoundTrip(channel, 1, rounds);
    results.medium = RoundTrip(channel, 64, rounds);
    return results;
}

const char* Verdict(bool ok) {
    return ok ? "verified" : "FAILED";
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5000;
    const uint64_t bytes = mib * 1024 * 1024;

    SerialPair pair(0, 5);
    if (!pair.ok()) {
        std::fprintf(stderr, "tulkbench: cannot activate the pair (is tulk.dll built?)\n");
        return 1;
    }
    ByteChannel ports = pair.Open();
    ByteChannel sockets = MakeSocketpairChannel();

    std::printf("tulkbench: %llu MiB each way in %zu-byte writes, %d round trips per size\n",
                static_cast<unsigned long long>(mib), kWriteChunk, rounds);
    const Results serial = Measure(ports, bytes, rounds);
    const Results baseline = Measure(sockets, bytes, rounds);

    std::printf("\n%-28s %16s %16s %10s\n", "", "COM5:<->COM6:", "socketpair", "ratio");
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
    const bool ok = serial.oneWay.verified && serial.bothWays.verified && serial.small.verified &&
                    serial.medium.verified && baseline.oneWay.verified && baseline.bothWays.verified;
    std::printf("\ndata: pair %s, socketpair %s\n",
                Verdict(serial.oneWay.verified && serial.bothWays.verified && serial.small.verified &&
                        serial.medium.verified),
                Verdict(baseline.oneWay.verified && baseline.bothWays.verified));
    return ok ? 0 : 1;
}
