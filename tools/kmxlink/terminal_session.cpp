#include "terminal_session.h"

#include "error_text.h"
#include "port_link.h"
#include "port_settings.h"
#include "say.h"

namespace {

constexpr size_t kOutputBytes = 16 * 1024;

void UseHardwareFlow(DCB& dcb, bool on) {
    dcb.fOutxCtsFlow = on ? TRUE : FALSE;
    dcb.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
}

class PortTerminalSession final : public TerminalSession {
  public:
    explicit PortTerminalSession(std::unique_ptr<PortLink> link) : link_(std::move(link)) {}

    size_t InputRoom() override { return link_->pump().UnsentRoom(); }

    void Input(std::string_view bytes) override { link_->pump().Send(bytes); }

    std::string_view Output() override {
        link_->NoteDropped();
        if (output_.size() < kOutputBytes) {
            link_->pump().TakeReceived(&output_, kOutputBytes - output_.size());
        }
        return output_;
    }

    void OutputSent(size_t count) override { output_.erase(0, count); }

    void Finish() override { link_->Finish(); }

    bool PortFailed(std::string* why) override { return link_->Failed(why); }

    // Each setting on its own, so that one the port refuses does not keep the others from it.
    void Apply(const TerminalSettings& settings) override {
        BridgePort& port = link_->port();
        const DCB before = port.Settings();
        const BYTE stopBits = settings.twoStopBits ? TWOSTOPBITS : ONESTOPBIT;
        if (before.BaudRate != settings.baudRate &&
            !port.Change([&](DCB& dcb) { dcb.BaudRate = settings.baudRate; })) {
            Refused(std::to_string(settings.baudRate) + " baud");
        }
        if (before.StopBits != stopBits && !port.Change([&](DCB& dcb) { dcb.StopBits = stopBits; })) {
            Refused(settings.twoStopBits ? "2 stop bits" : "1 stop bit");
        }
        if ((before.fOutxCtsFlow != FALSE) != settings.rtsCts &&
            !port.Change([&](DCB& dcb) { UseHardwareFlow(dcb, settings.rtsCts); })) {
            Refused(settings.rtsCts ? "RTS/CTS flow control" : "no flow control");
        }
        const DCB after = port.Settings();
        const std::string now = DescribeSettings(SettingsOf(after));
        if (now != DescribeSettings(SettingsOf(before))) {
            Say(port.name() + " " + now);
        }
    }

    void Discard(bool received, bool sent) override {
        if (received) {
            output_.clear();
            link_->pump().DiscardReceived();
            link_->port().Purge(PURGE_RXCLEAR);
        }
        if (sent) {
            link_->pump().DiscardUnsent([this] { link_->port().Purge(PURGE_TXABORT | PURGE_TXCLEAR); });
        }
    }

  private:
    void Refused(const std::string& what) {
        const std::string why = Win32ErrorText(GetLastError());
        const std::string kept = DescribeSettings(SettingsOf(link_->port().Settings()));
        Say(link_->port().name() + " refused " + what + " (" + why + "): kept " + kept);
    }

    std::unique_ptr<PortLink> link_;
    std::string output_;
};

}  // namespace

std::unique_ptr<TerminalSession> OpenPortForTerminal(const std::string& name, Wakeup& wakeup,
                                                     std::string* error) {
    std::unique_ptr<PortLink> link = PortLink::Open(name, wakeup, error);
    if (!link) {
        return nullptr;
    }
    return std::make_unique<PortTerminalSession>(std::move(link));
}
