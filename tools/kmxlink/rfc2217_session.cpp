#include "rfc2217_session.h"

#include <mutex>

#include "com_port_control.h"
#include "comm_event_watch.h"
#include "port_link.h"
#include "telnet_channel.h"

namespace {

// Past this much for the client, the session takes no more from the client nor the port, and keeps the line
// changes to send (merged) until the client has read.
constexpr size_t kOutputHighWater = 64 * 1024;
constexpr DWORD kWatchedEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

// What the watching thread saw and the loop has not yet told: events and errors merged, the latest state.
struct PortNews {
    bool any = false;
    DWORD events = 0;
    DWORD modemStatus = 0;
    DWORD errors = 0;
    COMSTAT queues{};
};

class Rfc2217Session final : public LinkSession, TelnetChannel::Listener {
  public:
    Rfc2217Session(std::unique_ptr<PortLink> link, Wakeup& wakeup)
        : link_(std::move(link)),
          wakeup_(wakeup),
          telnet_(*this),
          control_(link_->port(), link_->pump(),
                   [this](unsigned char code, std::string_view value) { telnet_.SendComPort(code, value); }),
          watch_(link_->port().handle(), kWatchedEvents, [this](DWORD events) { Watched(events); }) {}

    // The watch ends first: its callback uses the session.
    ~Rfc2217Session() override { watch_.Stop(); }

    bool Start(std::string* error) {
        if (!telnet_.ok()) {
            *error = "out of memory for the Telnet state";
            return false;
        }
        watch_.Start();
        telnet_.Offer();
        return true;
    }

    size_t InputRoom() override { return Pending() >= kOutputHighWater ? 0 : link_->pump().UnsentRoom(); }

    void Input(std::string_view bytes) override { telnet_.Receive(bytes); }

    std::string_view Output() override {
        link_->NoteDropped();
        if (Pending() < kOutputHighWater) {
            TellPortNews();
        }
        std::string received;
        while (!control_.suspended() && Pending() < kOutputHighWater &&
               link_->pump().TakeReceived(&received, kOutputHighWater - Pending()) != 0) {
            telnet_.SendData(received);
            received.clear();
        }
        return std::string_view(telnet_.output()).substr(sent_);
    }

    void OutputSent(size_t count) override {
        std::string& output = telnet_.output();
        sent_ += count;
        if (sent_ == output.size() || sent_ >= kOutputHighWater) {
            output.erase(0, sent_);
            sent_ = 0;
        }
    }

    void Finish() override { link_->Finish(); }

    bool PortFailed(std::string* why) override { return link_->Failed(why); }

    // TelnetChannel::Listener
    void Data(std::string_view bytes) override { link_->pump().Send(bytes); }
    void ComPortCommand(std::string_view command) override { control_.Command(command); }
    void ComPortAgreed() override { control_.Agreed(); }

  private:
    size_t Pending() { return telnet_.output().size() - sent_; }

    // On the watching thread.
    void Watched(DWORD events) {
        BridgePort& port = link_->port();
        PortNews news;
        news.modemStatus = port.ModemStatus();
        news.errors = port.TakeErrors(&news.queues);
        {
            std::lock_guard<std::mutex> guard(mutex_);
            news_.any = true;
            news_.events |= events;
            news_.errors |= news.errors;
            news_.modemStatus = news.modemStatus;
            news_.queues = news.queues;
        }
        wakeup_.Wake();
    }

    void TellPortNews() {
        PortNews news;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            news = news_;
            news_ = PortNews();
        }
        if (news.any) {
            control_.PortEvents(news.events, news.modemStatus, news.errors, news.queues);
        }
    }

    std::unique_ptr<PortLink> link_;
    Wakeup& wakeup_;
    TelnetChannel telnet_;
    ComPortControl control_;
    size_t sent_ = 0;  // bytes at the front of telnet_.output() already sent
    std::mutex mutex_;
    PortNews news_;         // guarded by mutex_
    CommEventWatch watch_;  // last: its thread uses the members above
};

}  // namespace

std::unique_ptr<LinkSession> OpenPortForClient(const std::string& name, Wakeup& wakeup, std::string* error) {
    std::unique_ptr<PortLink> link = PortLink::Open(name, wakeup, error);
    if (!link) {
        return nullptr;
    }
    auto session = std::make_unique<Rfc2217Session>(std::move(link), wakeup);
    if (!session->Start(error)) {
        return nullptr;
    }
    return session;
}
