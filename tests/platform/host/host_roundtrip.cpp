// Round trips through the device: a small I/O control and 64 KiB writes and reads on the test driver's
// echo, beside the same traffic over a SOCK_SEQPACKET socketpair between two threads. Run with CE_DEVICE
// set to "none" for the in-process figures; otherwise a fresh device directory is used.
#include <ceplatform.h>
#include <devload.h>
#include <sys/socket.h>
#include <unistd.h>
#include <winreg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/test_driver/test_driver_protocol.h"

namespace {

constexpr int kSmallCalls = 20000;
constexpr int kLargeCalls = 2000;
constexpr DWORD kLargeBytes = 64 * 1024;

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

struct Figures {
    double medianUs;
    double mibPerSecond;
};

template <class Call>
Figures Measure(int count, size_t bytesPerCall, Call&& call) {
    std::vector<double> times;
    times.reserve(count);
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto before = Clock::now();
        call();
        times.push_back(Micros(Clock::now() - before));
    }
    const double seconds = Micros(Clock::now() - start) / 1e6;
    std::nth_element(times.begin(), times.begin() + count / 2, times.end());
    return {times[count / 2], static_cast<double>(bytesPerCall) * count / seconds / (1024 * 1024)};
}

HANDLE StartDevice() {
    HKEY key = nullptr;
    const DWORD index = 9;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\BuiltIn\\TST9", 0, nullptr, 0, 0, nullptr, &key, nullptr);
    RegSetValueExW(key, DEVLOAD_PREFIX_VALNAME, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"TST"), 8);
    RegSetValueExW(key, DEVLOAD_DLLNAME_VALNAME, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"testdrv.dll"),
                   24);
    RegSetValueExW(key, DEVLOAD_INDEX_VALNAME, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&index), 4);
    RegCloseKey(key);
    return ActivateDevice(u"Drivers\\BuiltIn\\TST9", 0);
}

// The same exchanges between two threads over a socketpair: a request, and an answer of the same size.
Figures SocketPair(int count, size_t bytes) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds);
    std::thread echo([&] {
        std::vector<char> buffer(bytes + 64);
        for (ssize_t got; (got = recv(fds[1], buffer.data(), buffer.size(), 0)) > 0;) {
            send(fds[1], buffer.data(), static_cast<size_t>(got), 0);
        }
    });
    std::vector<char> buffer(bytes + 64, 'x');
    const Figures figures = Measure(count, bytes * 2, [&] {
        send(fds[0], buffer.data(), bytes, 0);
        recv(fds[0], buffer.data(), buffer.size(), 0);
    });
    shutdown(fds[0], SHUT_RDWR);
    echo.join();
    close(fds[0]);
    close(fds[1]);
    return figures;
}

}  // namespace

int main() {
    char scratch[] = "/tmp/ceroundtrip.XXXXXX";
    const bool ownDevice = std::getenv("CE_DEVICE") == nullptr;
    if (ownDevice) {
        setenv("CE_DEVICE", (std::string(mkdtemp(scratch)) + "/device").c_str(), 1);
        setenv("CE_HOST_PROGRAM", CE_TEST_HOST_PROGRAM, 0);
    }
    setenv("CE_DRIVER_PATH", CE_TEST_HOST_DRIVER_DIR, 0);
    HANDLE device = StartDevice();
    HANDLE file = CreateFileW(u"TST9:", testdrv::kDataAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == nullptr || file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "host_roundtrip: no test device (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    BYTE in = 1;
    BYTE out = 0;
    DWORD returned = 0;
    const Figures small = Measure(
        kSmallCalls, 1, [&] { DeviceIoControl(file, testdrv::kCopy, &in, 1, &out, 1, &returned, nullptr); });
    std::vector<BYTE> data(kLargeBytes, 0x5A);
    DWORD done = 0;
    const Figures large = Measure(kLargeCalls, kLargeBytes * 2, [&] {
        WriteFile(file, data.data(), kLargeBytes, &done, nullptr);
        ReadFile(file, data.data(), kLargeBytes, &done, nullptr);
    });
    const Figures pairSmall = SocketPair(kSmallCalls, 1);
    const Figures pairLarge = SocketPair(kLargeCalls, kLargeBytes);
    const char* where = CeDeviceDirectory() != nullptr ? "through the host" : "in-process";
    std::printf("host_roundtrip (%s)                        device      socketpair\n", where);
    std::printf("1-byte I/O control round trip, median us     %8.1f    %8.1f\n", small.medianUs,
                pairSmall.medianUs);
    std::printf("64 KiB write + read, median us              %8.1f    %8.1f\n", large.medianUs,
                pairLarge.medianUs);
    std::printf("64 KiB write + read, MiB/s moved            %8.0f    %8.0f\n", large.mibPerSecond,
                pairLarge.mibPerSecond);
    CloseHandle(file);
    DeactivateDevice(device);
    if (ownDevice) {
        const std::string stop = std::string(CE_TEST_HOST_PROGRAM) + " stop >/dev/null";
        return std::system(stop.c_str()) == 0 ? 0 : 1;
    }
    return 0;
}
