#include "pipe_relay.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "error_text.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunkBytes = 4096;
constexpr int kInputPollMs = 100;
constexpr auto kDrainPoll = std::chrono::milliseconds(5);
// How often a write nobody takes is tried again: the port tells no one when its partner opens.
constexpr auto kListenerPoll = std::chrono::milliseconds(50);

class Relay {
  public:
    Relay(SerialPort& port, ByteSink& out) : port_(port), out_(out), lastReceived_(Clock::now()) {}

    void StartReceiving() {
        receiver_ = std::thread([this] { Receive(); });
    }

    void Finish() {
        stop_.store(true);
        if (receiver_.joinable()) {
            receiver_.join();
        }
    }

    void Fail(const std::string& error) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (result_.ok) {
            result_.ok = false;
            result_.error = error;
        }
        failed_.store(true);
    }

    void PortFailed(const char* doing) {
        Fail(port_.name() + " " + doing + ": " + Win32ErrorText(GetLastError()));
    }

    bool failed() const { return failed_.load(); }

    // The linger counts from the end of the input at the earliest.
    void InputEnded() {
        std::lock_guard<std::mutex> guard(mutex_);
        lastReceived_ = Clock::now();
    }

    bool QuietFor(std::chrono::milliseconds span) {
        std::lock_guard<std::mutex> guard(mutex_);
        return Clock::now() - lastReceived_ >= span;
    }

    RelayResult result() {
        std::lock_guard<std::mutex> guard(mutex_);
        return result_;
    }

  private:
    void Receive() {
        const auto end = port_.ReceiveUntil(stop_, [this](std::string_view bytes) {
            std::string error;
            if (!out_.Write(bytes.data(), bytes.size(), &error)) {
                Fail("output: " + error);
                return false;
            }
            std::lock_guard<std::mutex> guard(mutex_);
            lastReceived_ = Clock::now();
            return true;
        });
        if (end == SerialPort::ReceiveEnd::PortFailed) {
            PortFailed("read");
        }
    }

    SerialPort& port_;
    ByteSink& out_;
    std::thread receiver_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::mutex mutex_;
    Clock::time_point lastReceived_;  // guarded by mutex_
    RelayResult result_;              // guarded by mutex_
};

// Sends all of data, waiting while nobody has the other end open; false when the port failed.
bool SendWaitingForListener(SerialPort& port, const char* data, DWORD size, Relay& relay,
                            const RelayNote& note) {
    DWORD done = 0;
    bool waiting = false;
    while (!relay.failed()) {
        const SerialPort::SendResult result = port.Send(data + done, size - done);
        done += result.sent;
        switch (result.end) {
            case SerialPort::SendEnd::Sent:
                return true;
            case SerialPort::SendEnd::Failed:
                relay.PortFailed("write");
                return false;
            case SerialPort::SendEnd::NoListener:
                if (result.sent != 0) {
                    waiting = false;  // somebody took a part and left: a new wait
                }
                if (!waiting) {
                    note(port.name() + " nobody has the other end open; waiting for it");
                    waiting = true;
                }
                std::this_thread::sleep_for(kListenerPoll);
                break;
        }
    }
    return false;
}

// Sends the input until it ends; false when something failed on the way.
bool SendInput(SerialPort& port, ByteSource& in, Relay& relay, const RelayNote& note) {
    std::vector<char> buffer(kChunkBytes);
    while (!relay.failed()) {
        size_t got = 0;
        std::string error;
        switch (in.Read(buffer.data(), buffer.size(), kInputPollMs, &got, &error)) {
            case ReadStatus::Data:
                if (!SendWaitingForListener(port, buffer.data(), static_cast<DWORD>(got), relay, note)) {
                    return false;
                }
                break;
            case ReadStatus::Timeout:
                break;
            case ReadStatus::End:
                return true;
            case ReadStatus::Failed:
                relay.Fail("input: " + error);
                return false;
        }
    }
    return false;
}

}  // namespace

RelayResult RunPipeRelay(SerialPort& port, ByteSource& in, ByteSink& out, DWORD lingerMs,
                         const RelayNote& note) {
    Relay relay(port, out);
    relay.StartReceiving();
    if (SendInput(port, in, relay, note)) {
        while (!relay.failed() && port.OutputQueued() != 0) {
            std::this_thread::sleep_for(kDrainPoll);
        }
        relay.InputEnded();
        while (!relay.failed() && !relay.QuietFor(std::chrono::milliseconds(lingerMs))) {
            std::this_thread::sleep_for(kDrainPoll);
        }
    }
    relay.Finish();
    return relay.result();
}
