// kmxterm's engine on one end of a tulk pair activated in-process, the test holding the other end: the
// settings it applies, the pipe relay, and the terminal session driven through a stand-in terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "common/timing.h"
#include "driver/driver_test_support.h"
#include "pipe_relay.h"
#include "serial_port.h"
#include "session.h"
#include "tools/program_runner.h"

namespace {

using tulktest::WaitUntil;

constexpr DWORD kWaitMs = 5000 * ce_test::kSlowdown;

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 2654435761u + seed) >> 7);
    }
    return bytes;
}

class KmxtermEngine : public tulktest::DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        devices_[0] = tulktest::ActivatePort(tulktest::PairEnd(u"COM", 0));
        devices_[1] = tulktest::ActivatePort(tulktest::PairEnd(u"COM", 1));
        ASSERT_NE(devices_[0], nullptr);
        ASSERT_NE(devices_[1], nullptr);
    }

    void TearDown() override {
        if (other_ != INVALID_HANDLE_VALUE) {
            CloseHandle(other_);
        }
        DriverTest::TearDown();
    }

    // The test's own end, COM6:, with reads that return what is there after a short wait.
    void OpenOtherEnd() {
        other_ = tulktest::OpenByName(u"COM6:", GENERIC_READ | GENERIC_WRITE);
        ASSERT_NE(other_, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 50, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(other_, &timeouts));
        SetOtherFlow(FlowControl::None);
    }

    void SetOtherFlow(FlowControl flow) {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        ASSERT_TRUE(GetCommState(other_, &dcb));
        PortSettings settings;
        settings.flow = flow;
        ApplySettings(settings, &dcb);
        ASSERT_TRUE(SetCommState(other_, &dcb));
    }

    std::string ReadOther(size_t wanted) {
        std::string got;
        char buffer[4096];
        ce_test::Stopwatch watch;
        while (got.size() < wanted && watch.ElapsedMs() < kWaitMs) {
            DWORD n = 0;
            EXPECT_TRUE(ReadFile(other_, buffer, sizeof(buffer), &n, nullptr));
            got.append(buffer, n);
        }
        return got;
    }

    void WriteOther(const std::string& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(other_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
    }

    // Opens COM5:, the end kmxterm works on.
    static void OpenPort(SerialPort& port, const PortSettings& settings = PortSettings()) {
        DWORD error = 0;
        std::string what;
        ASSERT_TRUE(port.Open("COM5:", settings, &error, &what)) << what << " " << error;
    }

    HANDLE devices_[2] = {nullptr, nullptr};
    HANDLE other_ = INVALID_HANDLE_VALUE;
};

// ---- settings

struct FlowCase {
    FlowControl flow;
    std::array<DWORD, 6> handshake;  // fOutxCtsFlow, fOutxDsrFlow, fDtrControl, fRtsControl, fOutX, fInX
};

class KmxtermFlows : public KmxtermEngine, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(KmxtermFlows, SettingsReachThePort) {
    PortSettings settings{CBR_9600, 7, EVENPARITY, TWOSTOPBITS, GetParam().flow};
    SerialPort port;
    OpenPort(port, settings);
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    ASSERT_TRUE(GetCommState(port.handle(), &dcb));
    EXPECT_EQ((std::array<DWORD, 4>{dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits}),
              (std::array<DWORD, 4>{CBR_9600, 7, EVENPARITY, TWOSTOPBITS}));
    EXPECT_EQ((std::array<DWORD, 6>{dcb.fOutxCtsFlow, dcb.fOutxDsrFlow, dcb.fDtrControl, dcb.fRtsControl,
                                    dcb.fOutX, dcb.fInX}),
              GetParam().handshake);
}

INSTANTIATE_TEST_SUITE_P(
    Kmxterm, KmxtermFlows,
    ::testing::Values(FlowCase{FlowControl::None, {0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0}},
                      FlowCase{FlowControl::RtsCts, {1, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, 0, 0}},
                      FlowCase{FlowControl::DtrDsr, {0, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_ENABLE, 0, 0}},
                      FlowCase{FlowControl::XonXoff, {0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 1, 1}}));

// ---- the pipe relay

// Input in fixed pieces; its end waits for a go, so the test decides when the input is over.
class MemorySource : public ByteSource {
  public:
    MemorySource(std::string bytes, size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}

    ReadStatus Read(void* buffer, size_t size, int timeoutMs, size_t* got, std::string*) override {
        *got = 0;
        if (offset_ < bytes_.size()) {
            *got = std::min({size, piece_, bytes_.size() - offset_});
            std::copy_n(bytes_.data() + offset_, *got, static_cast<char*>(buffer));
            offset_ += *got;
            return ReadStatus::Data;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (!ended_ &&
            !ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ended_; })) {
            return ReadStatus::Timeout;
        }
        endedAt_ = std::chrono::steady_clock::now();
        return ReadStatus::End;
    }

    void End() {
        std::lock_guard<std::mutex> guard(mutex_);
        ended_ = true;
        ready_.notify_all();
    }

    std::chrono::steady_clock::time_point endedAt() {
        std::lock_guard<std::mutex> guard(mutex_);
        return endedAt_;
    }

  private:
    std::string bytes_;
    size_t piece_;
    size_t offset_ = 0;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool ended_ = false;
    std::chrono::steady_clock::time_point endedAt_;
};

class MemorySink : public ByteSink {
  public:
    explicit MemorySink(bool broken = false) : broken_(broken) {}
    bool Write(const void* data, size_t size, std::string* error) override {
        if (broken_) {
            *error = "closed";
            return false;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        bytes_.append(static_cast<const char*>(data), size);
        return true;
    }
    std::string bytes() {
        std::lock_guard<std::mutex> guard(mutex_);
        return bytes_;
    }

  private:
    bool broken_;
    std::mutex mutex_;
    std::string bytes_;
};

void IgnoreNote(const std::string&) {}

TEST_F(KmxtermEngine, PipeRelayWaitsForSomebodyToOpenTheOtherEnd) {
    SerialPort port;
    OpenPort(port);
    MemorySource source("before", 100);
    MemorySink sink;
    std::mutex notesMutex;
    std::vector<std::string> notes;
    RelayResult result;
    std::thread relay([&] {
        result = RunPipeRelay(port, source, sink, 0, [&](const std::string& note) {
            std::lock_guard<std::mutex> guard(notesMutex);
            notes.push_back(note);
        });
    });
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard<std::mutex> guard(notesMutex);
            return !notes.empty();
        },
        kWaitMs));
    Sleep(300);  // several tries while nobody listens: still one note
    OpenOtherEnd();
    EXPECT_EQ(ReadOther(6), "before");
    source.End();
    relay.join();
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(notes, std::vector<std::string>{"COM5: nobody has the other end open; waiting for it"});
}

TEST_F(KmxtermEngine, PipeRelayCarriesBothWaysByteForByteAndLingers) {
    constexpr size_t kOut = 96 * 1024;
    constexpr size_t kBack = 40 * 1024;
    constexpr DWORD kLingerMs = 300;
    PortSettings settings;
    settings.flow = FlowControl::RtsCts;  // lossless: the 2 KiB ring would overflow without it
    // Handshaking is set once both ends are open: a port's first open starts with CTS off, whatever its
    // partner did with RTS before.
    OpenOtherEnd();
    SerialPort port;
    OpenPort(port, settings);
    SetOtherFlow(FlowControl::RtsCts);

    const std::string out = Pattern(kOut, 1);
    const std::string back = Pattern(kBack, 2);
    MemorySource source(out, 1000);  // odd pieces, so the port's pieces and ours never line up
    MemorySink sink;
    std::string received;
    std::thread other([&] {
        WriteOther(back);
        received = ReadOther(kOut);
        source.End();
    });
    RelayResult result;
    std::thread relay([&] { result = RunPipeRelay(port, source, sink, kLingerMs, IgnoreNote); });
    relay.join();
    other.join();
    const auto finished = std::chrono::steady_clock::now();
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(received == out) << "the port got " << received.size() << " of " << out.size() << " bytes";
    EXPECT_TRUE(sink.bytes() == back) << "the output got " << sink.bytes().size() << " of " << back.size();
    EXPECT_GE(finished - source.endedAt(), std::chrono::milliseconds(kLingerMs));
}

TEST_F(KmxtermEngine, PipeRelayReportsWhatFailed) {
    SerialPort port;
    OpenPort(port);
    OpenOtherEnd();
    {
        // The output refuses: the relay stops and says so, although the input never ends.
        MemorySource source("", 1);
        MemorySink sink(true);
        std::thread other([&] { WriteOther("x"); });
        const RelayResult result = RunPipeRelay(port, source, sink, 0, IgnoreNote);
        other.join();
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "output: closed");
    }
    {
        // The port goes away under the relay.
        MemorySource source("", 1);
        MemorySink sink;
        std::thread gone([&] {
            Sleep(100);
            DeactivateDevice(devices_[0]);
        });
        const RelayResult result = RunPipeRelay(port, source, sink, 0, IgnoreNote);
        gone.join();
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error.rfind("COM5: read: ", 0), 0u) << result.error;
    }
}

// ---- the session

// Keys the test types, and everything the session wrote.
class FakeTerminal : public Terminal {
  public:
    static constexpr int kRows = 24;
    static constexpr int kColumns = 200;  // the whole status line fits

    bool ReadKeys(std::string* keys, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(mutex_);
        typed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [this] { return !keys_.empty() || closed_; });
        keys->append(keys_);
        keys_.clear();
        return !closed_;
    }
    void Write(std::string_view text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        screen_.append(text);
    }
    int Rows() override { return kRows; }
    int Columns() override { return kColumns; }

    void Type(const std::string& keys) {
        std::lock_guard<std::mutex> guard(mutex_);
        keys_ += keys;
        typed_.notify_all();
    }
    void Close() {
        std::lock_guard<std::mutex> guard(mutex_);
        closed_ = true;
        typed_.notify_all();
    }
    std::string Screen() {
        std::lock_guard<std::mutex> guard(mutex_);
        return screen_;
    }
    // The screen without the status line's drawings, which come between the data at any time.
    std::string Data() {
        static constexpr std::string_view kSaveCursor = "\0337";
        static constexpr std::string_view kRestoreCursor = "\0338";
        std::string data = Screen();
        for (size_t at = data.find(kSaveCursor); at != std::string::npos; at = data.find(kSaveCursor, at)) {
            data.erase(at, data.find(kRestoreCursor, at) + kRestoreCursor.size() - at);
        }
        return data;
    }
    bool DataHas(const std::string& text) {
        return WaitUntil([&] { return Data().find(text) != std::string::npos; }, kWaitMs);
    }
    // The status line drawn last.
    std::string Status() {
        const std::string screen = Screen();
        const std::string start = "\x1b[" + std::to_string(kRows) + "H\x1b[7m";
        const size_t at = screen.rfind(start);
        if (at == std::string::npos) {
            return std::string();
        }
        const size_t from = at + start.size();
        return screen.substr(from, screen.find("\x1b[0m", from) - from);
    }
    bool StatusHas(const std::string& text) {
        return WaitUntil([&] { return Status().find(text) != std::string::npos; }, kWaitMs);
    }

  private:
    std::mutex mutex_;
    std::condition_variable typed_;
    std::string keys_;
    bool closed_ = false;
    std::string screen_;
};

class KmxtermSession : public KmxtermEngine {
  protected:
    void Start(SessionOptions options = SessionOptions()) {
        options_ = options;
        OpenPort(port_, options_.settings);
        OpenOtherEnd();
        SetOtherFlow(options_.settings.flow);
        session_ = std::thread([this] { ok_ = RunSession(port_, terminal_, options_, &error_); });
    }
    void Finish() {
        if (session_.joinable()) {
            session_.join();
        }
    }
    void TearDown() override {
        terminal_.Close();
        Finish();
        KmxtermEngine::TearDown();
    }

    SessionOptions options_;
    SerialPort port_;
    FakeTerminal terminal_;
    std::thread session_;
    bool ok_ = false;
    std::string error_;
};

TEST_F(KmxtermSession, TypedTextGoesOutOrIsDroppedWithAWordAndReceivedTextShows) {
    SessionOptions options;
    options.enter = "\r\n";
    Start(options);
    terminal_.Type("hi\r");
    EXPECT_EQ(ReadOther(4), "hi\r\n");
    WriteOther("yo\r\n\x01!\x80");
    EXPECT_TRUE(terminal_.DataHas("yo\r\n^A!<80>")) << terminal_.Data();
    EXPECT_TRUE(terminal_.StatusHas("COM5: 115200 8N1 none | DSR+ DCD+ CTS+ RING- | DTR+ RTS+ | ev: "))
        << terminal_.Status();
    // Keys typed while nobody has the other end open are dropped with a word, and the session goes on.
    CloseHandle(other_);
    other_ = INVALID_HANDLE_VALUE;
    terminal_.Type("lost");
    EXPECT_TRUE(terminal_.StatusHas("nobody has the other end open; nothing sent")) << terminal_.Status();
    OpenOtherEnd();
    terminal_.Type("found");
    EXPECT_EQ(ReadOther(5), "found");
    terminal_.Type("\x01q");
    Finish();
    EXPECT_TRUE(ok_) << error_;
    // The scroll region is given back and the status line cleared.
    const std::string screen = terminal_.Screen();
    const std::string restore = "\x1b[r\x1b[24H\x1b[2K";
    EXPECT_EQ(screen.substr(screen.size() - restore.size()), restore);
}

TEST_F(KmxtermSession, CommandsSendAFileAndHelpAndRefuseUnknownKeysUntilThePortGoes) {
    tooltest::ScratchDirectory scratch;
    const std::string file = scratch.File("payload.bin");
    const std::string payload = Pattern(5000, 3);
    tooltest::WriteWholeFile(file, payload);
    SessionOptions options;
    options.settings.flow = FlowControl::RtsCts;  // more than the receive ring holds
    Start(options);

    terminal_.Type("\x01s");
    EXPECT_TRUE(terminal_.StatusHas("send file: _"));
    terminal_.Type(file + "x\x7f\r");  // a typo taken back
    EXPECT_TRUE(ReadOther(payload.size()) == payload);
    EXPECT_TRUE(terminal_.StatusHas("sent " + file + ": 5000 bytes")) << terminal_.Status();

    terminal_.Type("\x01s" + scratch.File("absent") + "\r");
    EXPECT_TRUE(terminal_.StatusHas("cannot open " + scratch.File("absent"))) << terminal_.Status();
    terminal_.Type("\x01snever\x1b");
    EXPECT_TRUE(terminal_.StatusHas("send cancelled")) << terminal_.Status();

    terminal_.Type("\x01h");
    EXPECT_TRUE(terminal_.DataHas("d  DTR on/off"));
    terminal_.Type("\x01z");
    EXPECT_TRUE(terminal_.StatusHas("Ctrl+A z: no such command")) << terminal_.Status();
    terminal_.Type("\001b");
    EXPECT_TRUE(terminal_.StatusHas("break sent")) << terminal_.Status();
    char stray = 0;
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(other_, &stray, 1, &got, nullptr));
    EXPECT_EQ(got, 0u) << "a key of a command reached the port";
    // The session ends with the port.
    ASSERT_TRUE(DeactivateDevice(devices_[0]));
    Finish();
    EXPECT_FALSE(ok_);
    EXPECT_EQ(error_.rfind("COM5: read: ", 0), 0u) << error_;
}

TEST_F(KmxtermSession, EchoAndHexView) {
    SessionOptions options;
    options.echo = true;
    options.view = ViewMode::Hex;
    Start(options);
    terminal_.Type("A");
    EXPECT_EQ(ReadOther(1), "A");
    WriteOther("\x01");
    EXPECT_TRUE(terminal_.DataHas("41 01 ")) << terminal_.Data();
    terminal_.Close();
    Finish();
    EXPECT_TRUE(ok_) << "a closed terminal is a normal end";
}

}  // namespace
