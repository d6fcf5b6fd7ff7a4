// One end of the stress run (see stress_end.h): a writer, a reader, an event waiter and helpers that change
// the port under them.
#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "driver/stress/stress_end.h"

#include "driver/driver_test_support.h"
#include "driver/stress/stress_records.h"

namespace stress {
namespace {

constexpr DWORD kMaxWriteBytes = 3000;
constexpr DWORD kReadBytes = 4096;
constexpr DWORD kControlPauseMs = 2;
constexpr DWORD kRoughPauseMs = 15;
// Shorter than the test's wait for an answer, so a stall is reported with its figures. A writer that has
// stalled for kStallReports of them gives up, so that a run that holds a writer for good fails its checks
// instead of hanging.
constexpr DWORD kStallReportMs = 5000;
constexpr int kStallReports = 4;
constexpr DWORD kLastRecordWaitMs = 20000;
constexpr DWORD kAllEvents =
    EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR;
constexpr DWORD kBaudRates[] = {9600, 115200, 56000, 19200};

// Calls that end within a fraction of a second, and never early enough to lose track of a record.
const COMMTIMEOUTS kTimeouts[] = {
    {MAXDWORD, MAXDWORD, 200, 0, 200},
    {20, 0, 60, 0, 150},
    {0, 0, 100, 10, 100},
};

using Random = std::mt19937;

DWORD Pick(Random& random, DWORD below) {
    return std::uniform_int_distribution<DWORD>(0, below - 1)(random);
}

// Settings of a lossless transfer: the end's flow control both ways and nothing else, nothing discarded.
void LosslessState(HANDLE port, Flow flow, Random* random) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(port, &dcb)) {
        return;
    }
    dcb.BaudRate = random != nullptr ? kBaudRates[Pick(*random, std::size(kBaudRates))] : CBR_115200;
    dcb.fNull = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = dcb.fInX = flow == Flow::kXonXoff;
    // Sending XON must not cancel an XOFF the partner sent: in full duplex both happen.
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutxCtsFlow = flow == Flow::kRtsCts;
    dcb.fRtsControl = flow == Flow::kRtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutxDsrFlow = flow == Flow::kDtrDsr;
    dcb.fDtrControl = random != nullptr && Pick(*random, 2) == 0 ? DTR_CONTROL_DISABLE : DTR_CONTROL_ENABLE;
    if (flow == Flow::kDtrDsr) {
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    }
    dcb.EvtChar = static_cast<char>(random != nullptr ? 0x80 + Pick(*random, 0x40) : 0);
    SetCommState(port, &dcb);
}

// Anything goes but the characters the stream must keep: XON and XOFF stay what the records avoid.
void RoughState(HANDLE port, Random& random) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(port, &dcb)) {
        return;
    }
    dcb.BaudRate = kBaudRates[Pick(random, std::size(kBaudRates))];
    // Receive software flow stays off: a port switched off it while its XOFF is out keeps its own writer
    // held for good, which would end the run here rather than show anything new.
    dcb.fOutX = Pick(random, 3) == 0;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = Pick(random, 2);
    dcb.fOutxCtsFlow = Pick(random, 2);
    dcb.fOutxDsrFlow = Pick(random, 4) == 0;
    dcb.fDtrControl = Pick(random, 3);
    dcb.fRtsControl = Pick(random, 4);
    dcb.fDsrSensitivity = Pick(random, 6) == 0;
    dcb.XonChar = static_cast<char>(kXon);
    dcb.XoffChar = static_cast<char>(kXoff);
    SetCommState(port, &dcb);
}

}  // namespace

class StressEndState {
  public:
    StressEndState(const std::u16string& name, unsigned seed, Lossless lossless)
        : name_(name), seed_(seed), lossless_(lossless) {}
    ~StressEndState() {
        stopHelpers_.store(true);
        stopWriter_.store(true);
        stopReading_.store(true);
        helpers_.clear();
        writer_.reset();
        reader_.reset();
        EndWaiter();
        for (HANDLE handle : {owner_.load(), watcher_.load()}) {
            if (handle != INVALID_HANDLE_VALUE) {
                CloseHandle(handle);
            }
        }
    }

    bool Open() {
        owner_.store(Reopen(INVALID_HANDLE_VALUE));
        watcher_.store(tulktest::OpenByName(name_, 0));
        return owner_.load() != INVALID_HANDLE_VALUE && watcher_.load() != INVALID_HANDLE_VALUE;
    }

    std::string Command(const std::string& line) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "smooth" || command == "rough") {
            StartPhase(command == "rough");
        } else if (command == "stop") {
            StopPhase();
            return "wrote " + std::to_string(Records());
        } else if (command == "drain") {
            uint32_t count = 0;
            words >> count;
            tulktest::WaitUntil([&] { return received_.load() >= count; }, kLastRecordWaitMs);
            return "drained " + std::to_string(received_.load());
        } else if (command == "finish") {
            uint64_t count = 0;
            words >> count;
            WriteUpTo(written_ + count * kRecordBytes, nullptr);
            return "wrote " + std::to_string(Records());
        } else if (command == "check") {
            uint32_t smoothEnd = 0, roughEnd = 0, end = 0;
            words >> smoothEnd >> roughEnd >> end;
            return Check(smoothEnd, roughEnd, end);
        }
        return {};
    }

  private:
    uint64_t Records() const { return written_ / kRecordBytes; }

    HANDLE Reopen(HANDLE old) {
        if (old != INVALID_HANDLE_VALUE) {
            CloseHandle(old);
        }
        HANDLE port = tulktest::OpenByName(name_, GENERIC_READ | GENERIC_WRITE);
        if (port != INVALID_HANDLE_VALUE) {
            COMMTIMEOUTS timeouts = kTimeouts[0];
            SetCommTimeouts(port, &timeouts);
            LosslessState(port, lossless_.flow, nullptr);
        }
        return port;
    }

    // Writes the stream up to the offset (or until *stop), going on from wherever a short write ended.
    void WriteUpTo(uint64_t target, const std::atomic<bool>* stop) {
        Random random(seed_ + 1);
        std::vector<uint8_t> bytes(kMaxWriteBytes);
        DWORD lastProgress = GetTickCount();
        int reports = 0;
        while (written_ < target && !stuck_) {
            if (GetTickCount() - lastProgress > kStallReportMs) {
                ReportStall();
                lastProgress = GetTickCount();
                stuck_ = ++reports == kStallReports;
            }
            if (stop != nullptr && stop->load()) {
                // Go on to the end of the record under way, so the partner's next one is whole.
                target = (written_ + kRecordBytes - 1) / kRecordBytes * kRecordBytes;
                stop = nullptr;
                continue;
            }
            const auto count =
                static_cast<DWORD>(std::min<uint64_t>(1 + Pick(random, kMaxWriteBytes), target - written_));
            for (DWORD i = 0; i < count; ++i) {
                bytes[i] = StreamByte(written_ + i);
            }
            DWORD done = 0;
            if (WriteFile(owner_.load(), bytes.data(), count, &done, nullptr) || done != 0) {
                written_ += done;
                if (done != 0) {
                    lastProgress = GetTickCount();
                    reports = 0;
                }
            } else {
                Sleep(1);  // a handle closed under us
            }
        }
    }

    // What holds a writer that makes no progress, for the test's log.
    void ReportStall() {
        HANDLE port = owner_.load();
        COMSTAT status{};
        DWORD errors = 0;
        DWORD lines = 0;
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        ClearCommError(port, &errors, &status);
        GetCommModemStatus(port, &lines);
        GetCommState(port, &dcb);
        std::fprintf(
            stderr,
            "stress %s: writer stalled at byte %llu: holds cts %u dsr %u rlsd %u xoff %u xoffSent %u, "
            "in %lu out %lu, lines 0x%lx, outX %u inX %u ctsFlow %u dsrFlow %u rts %u dtr %u\n",
            std::string(name_.begin(), name_.end()).c_str(), static_cast<unsigned long long>(written_),
            status.fCtsHold, status.fDsrHold, status.fRlsdHold, status.fXoffHold, status.fXoffSent,
            static_cast<unsigned long>(status.cbInQue), static_cast<unsigned long>(status.cbOutQue),
            static_cast<unsigned long>(lines), dcb.fOutX, dcb.fInX, dcb.fOutxCtsFlow, dcb.fOutxDsrFlow,
            dcb.fRtsControl, dcb.fDtrControl);
    }

    void Read() {
        Random random(seed_ + 2);
        std::vector<uint8_t> bytes(kReadBytes);
        while (!stopReading_.load()) {
            const DWORD size = lossless_.slowReader ? 1 + Pick(random, kReadBytes) : kReadBytes;
            DWORD done = 0;
            if (!ReadFile(owner_.load(), bytes.data(), size, &done, nullptr)) {
                Sleep(1);
            }
            records_.Take(bytes.data(), done);
            received_.store(records_.next());
            if (lossless_.slowReader && Pick(random, 4) == 0) {
                Sleep(1);
            }
        }
    }

    void WaitForEvents() {
        while (!stopWaiting_.load()) {
            DWORD events = 0;
            if (SetCommMask(watcher_.load(), kAllEvents) &&
                WaitCommEvent(watcher_.load(), &events, nullptr)) {
                events_.fetch_add(events != 0 ? 1 : 0);
            } else {
                Sleep(1);
            }
        }
    }

    // Lines and settings that lose nothing: flow control stays RTS/CTS throughout.
    void Change(Random& random) {
        HANDLE port = owner_.load();
        switch (Pick(random, 6)) {
            case 0:
                LosslessState(port, lossless_.flow, &random);
                break;
            case 1: {
                COMMTIMEOUTS timeouts = kTimeouts[Pick(random, std::size(kTimeouts))];
                SetCommTimeouts(port, &timeouts);
                break;
            }
            case 2:
                EscapeCommFunction(port, Pick(random, 2) == 0 ? SETDTR : CLRDTR);
                break;
            case 3: {
                COMSTAT status{};
                DWORD errors = 0;
                DWORD lines = 0;
                ClearCommError(port, &errors, &status);
                GetCommModemStatus(port, &lines);
                break;
            }
            case 4:
                SetCommMask(watcher_.load(), kAllEvents & (Pick(random, 0x100) | EV_DSR));
                break;
            default: {
                COMMPROP properties{};
                GetCommProperties(port, &properties);
                break;
            }
        }
    }

    // What loses bytes, or may: purges, closes, software flow control, lines that hold a writer.
    void Roughen(Random& random) {
        switch (Pick(random, 6)) {
            case 0:
                PurgeComm(owner_.load(), Pick(random, 16));
                break;
            case 1:
                owner_.store(Reopen(owner_.exchange(INVALID_HANDLE_VALUE)));
                break;
            case 2:
                RoughState(owner_.load(), random);
                break;
            case 3:
                // Not SETXOFF, which leaves the port as if it had sent XOFF itself (see RoughState).
                EscapeCommFunction(owner_.load(), SETXON + Pick(random, 5));  // SETXON to CLRDTR
                break;
            case 4:
                TransmitCommChar(owner_.load(), static_cast<char>(kXon));
                break;
            default: {
                HANDLE old = watcher_.exchange(INVALID_HANDLE_VALUE);
                CloseHandle(old);
                watcher_.store(tulktest::OpenByName(name_, 0));
                break;
            }
        }
    }

    void StartPhase(bool rough) {
        stopWriter_.store(false);
        stopHelpers_.store(false);
        rough_ = rough;
        if (!reader_) {
            reader_ = std::make_unique<std::jthread>([this] { Read(); });
            waiter_ = std::make_unique<std::jthread>([this] { WaitForEvents(); });
        }
        const unsigned seed = seed_ + (rough ? 100 : 200);
        writer_ = std::make_unique<std::jthread>([this] { WriteUpTo(UINT64_MAX, &stopWriter_); });
        helpers_.push_back(std::make_unique<std::jthread>([this, seed] {
            Random random(seed);
            while (!stopHelpers_.load()) {
                Change(random);
                Sleep(kControlPauseMs);
            }
        }));
        if (rough) {
            helpers_.push_back(std::make_unique<std::jthread>([this, seed] {
                Random random(seed + 1);
                while (!stopHelpers_.load()) {
                    Roughen(random);
                    Sleep(kRoughPauseMs);
                }
            }));
        }
    }

    void StopPhase() {
        // The writer may be held by what the rough helpers did: it can finish its record only once that is
        // undone. A smooth phase has nothing to undo, and forcing RTS up there would overrun the ring.
        stopHelpers_.store(true);
        helpers_.clear();
        if (rough_) {
            Tidy();
        }
        stopWriter_.store(true);
        writer_.reset();
    }

    void Tidy() {
        // A port retired and started again under the run left handles that answer nothing.
        DCB probe{};
        probe.DCBlength = sizeof(probe);
        if (!GetCommState(owner_.load(), &probe)) {
            owner_.store(Reopen(owner_.exchange(INVALID_HANDLE_VALUE)));
        }
        if (!SetCommMask(watcher_.load(), kAllEvents)) {
            CloseHandle(watcher_.exchange(INVALID_HANDLE_VALUE));
            watcher_.store(tulktest::OpenByName(name_, 0));
        }
        HANDLE port = owner_.load();
        COMMTIMEOUTS timeouts = kTimeouts[0];
        SetCommTimeouts(port, &timeouts);
        // RTS up first: a handshake taken up again may wait for the ring to drain before raising it.
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (GetCommState(port, &dcb)) {
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
            SetCommState(port, &dcb);
        }
        LosslessState(port, lossless_.flow, nullptr);
        EscapeCommFunction(port, SETXON);
        EscapeCommFunction(port, SETDTR);
        SetCommMask(watcher_.load(), kAllEvents);
    }

    std::string Check(uint32_t smoothEnd, uint32_t roughEnd, uint32_t end) {
        tulktest::WaitUntil([&] { return received_.load() >= end; }, kLastRecordWaitMs);
        stopReading_.store(true);
        reader_.reset();
        EndWaiter();
        std::ostringstream why;
        if (records_.disordered()) {
            why << "records out of order; ";
        }
        if (records_.firstRunEnd() < smoothEnd) {
            why << "the smooth phase lost record " << records_.firstRunEnd() << " of " << smoothEnd << "; ";
        }
        if (records_.next() != end) {
            why << "the last record is " << records_.next() << ", not " << end << " (the finish began at "
                << roughEnd << "); ";
        }
        if (records_.lastRunStart() > roughEnd) {
            why << "the finish lost records from " << roughEnd << " to " << records_.lastRunStart() << "; ";
        }
        if (events_.load() == 0) {
            why << "no comm event came; ";
        }
        return why.str().empty()
                   ? "ok " + std::to_string(records_.records()) + " " + std::to_string(events_.load())
                   : "FAIL " + why.str();
    }

    void EndWaiter() {
        stopWaiting_.store(true);
        if (!waiter_) {
            return;
        }
        // A new mask ends the wait under way; the waiter may be about to start another.
        std::atomic<bool> joined{false};
        std::thread ender([&] {
            while (!joined.load()) {
                SetCommMask(watcher_.load(), EV_RXCHAR);
                Sleep(kControlPauseMs);
            }
        });
        waiter_.reset();
        joined.store(true);
        ender.join();
    }

    const std::u16string name_;
    const unsigned seed_;
    const Lossless lossless_;
    std::atomic<HANDLE> owner_{INVALID_HANDLE_VALUE};
    std::atomic<HANDLE> watcher_{INVALID_HANDLE_VALUE};
    uint64_t written_ = 0;  // the writing thread's of the phase, or the command thread's between phases
    bool stuck_ = false;    // the same: the writer gave up
    RecordReader records_;  // the reader's until it is joined
    std::atomic<uint32_t> received_{0};
    std::atomic<uint64_t> events_{0};
    bool rough_ = false;  // the command thread's
    std::atomic<bool> stopWriter_{false};
    std::atomic<bool> stopHelpers_{false};
    std::atomic<bool> stopReading_{false};
    std::atomic<bool> stopWaiting_{false};
    std::unique_ptr<std::jthread> reader_;
    std::unique_ptr<std::jthread> waiter_;
    std::unique_ptr<std::jthread> writer_;
    std::vector<std::unique_ptr<std::jthread>> helpers_;
};

StressEnd::StressEnd(const std::u16string& port, unsigned seed, Lossless lossless)
    : state_(std::make_unique<StressEndState>(port, seed, lossless)) {}

StressEnd::~StressEnd() = default;

bool StressEnd::Open() {
    return state_->Open();
}

std::string StressEnd::Command(const std::string& line) {
    return state_->Command(line);
}

void StressEnd::Say(const std::string& line) {
    std::string answer = Command(line);
    if (!answer.empty()) {
        answers_.push_back(std::move(answer));
    }
}

std::string StressEnd::ReadLine() {
    if (answers_.empty()) {
        return "<no answer>";
    }
    std::string answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
}

}  // namespace stress
