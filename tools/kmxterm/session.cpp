#include "session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "error_text.h"
#include "line_watch.h"
#include "prefix_keys.h"
#include "status_line.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeyPollMs = 50;
constexpr auto kStatusRefresh = std::chrono::milliseconds(250);  // modem lines change without events too
constexpr DWORD kBreakMs = 250;
constexpr size_t kFileChunk = 1024;
constexpr char kEscape = 0x1B;
constexpr char kCtrlC = 0x03;
constexpr char kCtrlG = 0x07;
constexpr char kBackspace = 0x08;
constexpr char kDelete = 0x7F;
constexpr int kMinRowsForStatus = 2;
constexpr const char* kNoListener = "nobody has the other end open";

std::string Csi(int row, char command) {
    return "\x1b[" + std::to_string(row) + command;
}

// What goes to the port, in order: typed bytes, or a file to send.
struct Job {
    std::string bytes;
    std::string file;  // empty for bytes
};

class Session {
  public:
    Session(SerialPort& port, Terminal& terminal, const SessionOptions& options)
        : port_(port),
          terminal_(terminal),
          options_(options),
          view_(options.view),
          watch_(port.handle(), [this] { statusDirty_.store(true); }) {}

    bool Run(std::string* error) {
        SetUpScreen();
        watch_.Start();
        receiver_ = std::thread([this] { Receive(); });
        writer_ = std::thread([this] { Write(); });
        auto lastStatus = Clock::now() - kStatusRefresh;
        std::string keys;
        while (!quit_ && !portFailed_.load()) {
            keys.clear();
            if (!terminal_.ReadKeys(&keys, kKeyPollMs)) {
                break;  // the terminal went away
            }
            for (const char key : keys) {
                HandleKey(key);
            }
            if (terminal_.Rows() != rows_ || terminal_.Columns() != columns_) {
                SetUpScreen();
            }
            if (statusDirty_.exchange(false) || Clock::now() - lastStatus >= kStatusRefresh) {
                DrawStatus();
                lastStatus = Clock::now();
            }
        }
        Shutdown();
        RestoreScreen();
        if (portFailed_.load()) {
            std::lock_guard<std::mutex> guard(screenMutex_);
            *error = portError_;
            return false;
        }
        return true;
    }

  private:
    // ---- the screen: everything written under screenMutex_

    void SetUpScreen() {
        std::lock_guard<std::mutex> guard(screenMutex_);
        const bool first = rows_ == 0;
        rows_ = terminal_.Rows();
        columns_ = terminal_.Columns();
        std::string text = first ? "\x1b[2J" : "";
        if (rows_ >= kMinRowsForStatus) {
            // The data scrolls above the status line; setting the region homes the cursor, so go to its end.
            text += "\x1b[1;" + std::to_string(rows_ - 1) + "r" + Csi(first ? 1 : rows_ - 1, 'H');
        }
        terminal_.Write(text);
        statusDirty_.store(true);
    }

    void RestoreScreen() {
        std::lock_guard<std::mutex> guard(screenMutex_);
        if (rows_ >= kMinRowsForStatus) {
            terminal_.Write("\x1b[r" + Csi(rows_, 'H') + "\x1b[2K");
        }
    }

    void DrawStatus() {
        StatusFacts facts;
        facts.port = port_.name();
        facts.settings = DescribeSettings(options_.settings);
        facts.modem = port_.ModemStatus();
        facts.dtr = port_.dtr();
        facts.rts = port_.rts();
        facts.events = watch_.Recent();
        std::lock_guard<std::mutex> guard(screenMutex_);
        if (rows_ < kMinRowsForStatus) {
            return;
        }
        facts.message = prompting_ ? "send file: " + prompt_ + "_" : message_;
        terminal_.Write(
            "\x1b"
            "7" +
            Csi(rows_, 'H') + "\x1b[7m" + FormatStatus(facts, columns_) +
            "\x1b[0m\x1b"
            "8");
    }

    void ShowBytes(std::string_view bytes) {
        std::lock_guard<std::mutex> guard(screenMutex_);
        terminal_.Write(view_.Render(bytes));
    }

    // A note of our own between the port's lines; the raw terminal needs CR LF line ends.
    void ShowNote(std::string_view text) {
        std::string lines = "\r\n";
        for (const char c : text) {
            lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
        }
        std::lock_guard<std::mutex> guard(screenMutex_);
        terminal_.Write(lines + "\r\n");
    }

    void SetMessage(std::string text) {
        {
            std::lock_guard<std::mutex> guard(screenMutex_);
            message_ = std::move(text);
        }
        statusDirty_.store(true);
    }

    // ---- keys

    void HandleKey(char key) {
        if (prompting_) {
            EditPrompt(key);
            return;
        }
        KeyEvent event;
        if (!prefix_.Feed(key, &event)) {
            SetMessage("Ctrl+A ...");
            return;
        }
        ClearMessage();  // a message lasts until the next key; commands set their own
        switch (event.action) {
            case KeyAction::Send:
                Send(event.byte == '\r' ? options_.enter : std::string(1, event.byte));
                break;
            case KeyAction::ToggleDtr: {
                const bool ok = port_.ToggleDtr();
                Toggled("DTR", ok, port_.dtr());
                break;
            }
            case KeyAction::ToggleRts: {
                const bool ok = port_.ToggleRts();
                Toggled("RTS", ok, port_.rts());
                break;
            }
            case KeyAction::SendFile: {
                std::lock_guard<std::mutex> guard(screenMutex_);
                prompting_ = true;
                prompt_.clear();
                statusDirty_.store(true);
                break;
            }
            case KeyAction::Break:
                SetMessage(port_.SendBreak(kBreakMs) ? "break sent"
                                                     : "break: " + Win32ErrorText(GetLastError()));
                break;
            case KeyAction::Quit:
                quit_ = true;
                break;
            case KeyAction::Help:
                ShowNote(KeyHelpText());
                break;
            case KeyAction::Unknown:
                SetMessage("Ctrl+A " + ByteView(ViewMode::Text).Render(std::string(1, event.byte)) +
                           ": no such command, Ctrl+A h for help");
                break;
        }
    }

    void ClearMessage() {
        std::lock_guard<std::mutex> guard(screenMutex_);
        if (!message_.empty()) {
            message_.clear();
            statusDirty_.store(true);
        }
    }

    void Toggled(const char* line, bool ok, bool on) {
        SetMessage(ok ? std::string(line) + (on ? " on" : " off")
                      : std::string(line) + ": " + Win32ErrorText(GetLastError()));
    }

    void EditPrompt(char key) {
        std::string path;
        {
            std::lock_guard<std::mutex> guard(screenMutex_);
            if (key == '\r' || key == '\n') {
                prompting_ = false;
                path.swap(prompt_);
            } else if (key == kEscape || key == kCtrlC || key == kCtrlG) {
                prompting_ = false;
                prompt_.clear();
                message_ = "send cancelled";
            } else if (key == kDelete || key == kBackspace) {
                // A UTF-8 character goes as a whole: its continuation bytes and its lead.
                while (!prompt_.empty() && (static_cast<unsigned char>(prompt_.back()) & 0xC0) == 0x80) {
                    prompt_.pop_back();
                }
                if (!prompt_.empty()) {
                    prompt_.pop_back();
                }
            } else if (static_cast<unsigned char>(key) >= 0x20) {
                prompt_.push_back(key);
            }
        }
        statusDirty_.store(true);
        if (!path.empty()) {
            Queue(Job{std::string(), path});
        }
    }

    void Send(const std::string& bytes) {
        if (options_.echo) {
            ShowBytes(bytes);
        }
        Queue(Job{bytes, std::string()});
    }

    // ---- the threads

    void Queue(Job job) {
        {
            std::lock_guard<std::mutex> guard(jobMutex_);
            jobs_.push_back(std::move(job));
        }
        jobReady_.notify_one();
    }

    void Receive() {
        const auto end = port_.ReceiveUntil(stopping_, [this](std::string_view bytes) {
            ShowBytes(bytes);
            return true;
        });
        if (end == SerialPort::ReceiveEnd::PortFailed) {
            Failed("read");
        }
    }

    void Write() {
        while (true) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(jobMutex_);
                jobReady_.wait(lock, [this] { return stopping_.load() || !jobs_.empty(); });
                if (stopping_.load()) {
                    return;
                }
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            if (job.file.empty()) {
                const auto size = static_cast<DWORD>(job.bytes.size());
                const SerialPort::SendResult result = port_.Send(job.bytes.data(), size);
                if (stopping_.load()) {
                    return;
                }
                if (result.end == SerialPort::SendEnd::Failed) {
                    Failed("write");
                    return;
                }
                if (result.end == SerialPort::SendEnd::NoListener) {
                    // Keys typed while nobody listens are dropped, as on a line with nobody at the far end.
                    SetMessage(std::string(kNoListener) + "; " +
                               (result.sent == 0 ? std::string("nothing sent")
                                                 : std::to_string(result.sent) + " of " +
                                                       std::to_string(size) + " bytes sent"));
                }
            } else {
                SendFile(job.file);
            }
        }
    }

    void SendFile(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            SetMessage("cannot open " + path);
            return;
        }
        std::vector<char> chunk(kFileChunk);
        size_t sent = 0;
        while (!stopping_.load() && file) {
            file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            const auto got = static_cast<DWORD>(file.gcount());
            if (got == 0) {
                break;
            }
            const SerialPort::SendResult result = port_.Send(chunk.data(), got);
            sent += result.sent;
            if (result.end != SerialPort::SendEnd::Sent) {
                const std::string why = result.end == SerialPort::SendEnd::NoListener
                                            ? std::string(kNoListener)
                                            : Win32ErrorText(GetLastError());
                SetMessage("sending " + path + " stopped after " + std::to_string(sent) + " bytes: " + why);
                return;
            }
            SetMessage("sending " + path + ": " + std::to_string(sent) + " bytes");
        }
        SetMessage("sent " + path + ": " + std::to_string(sent) + " bytes");
    }

    void Failed(const char* doing) {
        const std::string text = port_.name() + " " + doing + ": " + Win32ErrorText(GetLastError());
        {
            std::lock_guard<std::mutex> guard(screenMutex_);
            portError_ = text;
        }
        portFailed_.store(true);
    }

    void Shutdown() {
        {
            std::lock_guard<std::mutex> guard(jobMutex_);
            stopping_.store(true);
        }
        jobReady_.notify_one();
        port_.AbortWrites();  // a write held by flow control would keep us here
        writer_.join();
        receiver_.join();
        watch_.Stop();
    }

    SerialPort& port_;
    Terminal& terminal_;
    const SessionOptions& options_;
    PrefixKeys prefix_;  // main thread only
    bool quit_ = false;  // main thread only

    std::mutex screenMutex_;
    ByteView view_;           // guarded by screenMutex_
    int rows_ = 0;            // guarded by screenMutex_
    int columns_ = 0;         // guarded by screenMutex_
    std::string message_;     // guarded by screenMutex_
    bool prompting_ = false;  // guarded by screenMutex_
    std::string prompt_;      // guarded by screenMutex_
    std::string portError_;   // guarded by screenMutex_
    std::atomic<bool> statusDirty_{true};
    std::atomic<bool> portFailed_{false};

    std::mutex jobMutex_;
    std::condition_variable jobReady_;
    std::deque<Job> jobs_;  // guarded by jobMutex_
    std::atomic<bool> stopping_{false};

    LineWatch watch_;
    std::thread receiver_;
    std::thread writer_;
};

}  // namespace

bool RunSession(SerialPort& port, Terminal& terminal, const SessionOptions& options, std::string* error) {
    return Session(port, terminal, options).Run(error);
}

const char* KeyHelpText() {
    return "Keys: Ctrl+A then\n"
           "  d  DTR on/off          r  RTS on/off\n"
           "  s  send a file         b  send a break\n"
           "  q  or x  quit          h  this help\n"
           "  Ctrl+A  send a Ctrl+A itself";
}
