#include "telnet_channel.h"

namespace {

constexpr unsigned char kIac = TELNET_IAC;

// The options we take part in, both ways; every other one is refused (WONT, DONT) by libtelnet.
const telnet_telopt_t kOptions[] = {
    {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {kComPortOption, TELNET_WILL, TELNET_DO},
    {-1, 0, 0},
};

}  // namespace

TelnetChannel::TelnetChannel(Listener& listener)
    : listener_(listener), telnet_(telnet_init(kOptions, &TelnetChannel::OnEvent, 0, this)) {}

TelnetChannel::~TelnetChannel() {
    if (telnet_ != nullptr) {
        telnet_free(telnet_);
    }
}

void TelnetChannel::Offer() {
    telnet_negotiate(telnet_, TELNET_WILL, TELNET_TELOPT_BINARY);
    telnet_negotiate(telnet_, TELNET_DO, TELNET_TELOPT_BINARY);
    telnet_negotiate(telnet_, TELNET_WILL, TELNET_TELOPT_SGA);
    telnet_negotiate(telnet_, TELNET_DO, TELNET_TELOPT_SGA);
    telnet_negotiate(telnet_, TELNET_DO, kComPortOption);
}

void TelnetChannel::OnEvent(telnet_t* /*telnet*/, telnet_event_t* event, void* self) {
    auto* channel = static_cast<TelnetChannel*>(self);
    switch (event->type) {
        case TELNET_EV_SEND:
            channel->output_.append(event->data.buffer, event->data.size);
            break;
        case TELNET_EV_WILL:
        case TELNET_EV_DO:
            if (event->neg.telopt == kComPortOption) {
                channel->listener_.ComPortAgreed();
            }
            break;
        default:
            break;  // the other events report on negotiation only, which libtelnet has answered
    }
}

void TelnetChannel::Receive(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        if (state_ == State::Data) {
            const size_t iac = bytes.find(static_cast<char>(kIac), i);
            const size_t end = iac == std::string_view::npos ? bytes.size() : iac;
            if (end > i) {
                listener_.Data(bytes.substr(i, end - i));
            }
            if (iac == std::string_view::npos) {
                return;
            }
            state_ = State::Command;
            i = iac + 1;
            continue;
        }
        const auto byte = static_cast<unsigned char>(bytes[i++]);
        switch (state_) {
            case State::Data:
                break;
            case State::Command:
                Command(byte);
                break;
            case State::Option: {
                const unsigned char negotiation[] = {kIac, verb_, byte};
                telnet_recv(telnet_, reinterpret_cast<const char*>(negotiation), sizeof(negotiation));
                state_ = State::Data;
                break;
            }
            case State::SubnegotiationOption:
                subOption_ = byte;
                subnegotiation_.clear();
                subnegotiationTooLong_ = false;
                state_ = State::Subnegotiation;
                break;
            case State::Subnegotiation:
                if (byte == kIac) {
                    state_ = State::SubnegotiationCommand;
                } else {
                    Keep(byte);
                }
                break;
            case State::SubnegotiationCommand:
                if (byte == TELNET_SE) {
                    state_ = State::Data;
                    EndSubnegotiation();
                } else if (byte == kIac) {
                    state_ = State::Subnegotiation;
                    Keep(byte);
                } else {
                    // A command inside the body cut the subnegotiation short: it is dropped, and the byte is
                    // read as the command it is.
                    Command(byte);
                }
                break;
        }
    }
}

void TelnetChannel::Command(unsigned char byte) {
    switch (byte) {
        case kIac:
            listener_.Data(std::string_view("\xff", 1));
            state_ = State::Data;
            break;
        case TELNET_SB:
            state_ = State::SubnegotiationOption;
            break;
        case TELNET_WILL:
        case TELNET_WONT:
        case TELNET_DO:
        case TELNET_DONT:
            verb_ = byte;
            state_ = State::Option;
            break;
        default:
            state_ = State::Data;  // NOP, GA, AYT, BRK, IP, a stray SE, ...: nothing for a serial port
            break;
    }
}

void TelnetChannel::Keep(unsigned char byte) {
    if (subnegotiation_.size() < kMaxSubnegotiationBytes) {
        subnegotiation_.push_back(static_cast<char>(byte));
    } else {
        subnegotiationTooLong_ = true;
    }
}

void TelnetChannel::EndSubnegotiation() {
    if (subOption_ == kComPortOption && !subnegotiationTooLong_ && !subnegotiation_.empty()) {
        listener_.ComPortCommand(subnegotiation_);
    }
}

void TelnetChannel::SendData(std::string_view bytes) {
    telnet_send(telnet_, bytes.data(), bytes.size());
}

void TelnetChannel::SendComPort(unsigned char command, std::string_view value) {
    std::string body(1, static_cast<char>(command));
    body.append(value);
    telnet_subnegotiation(telnet_, kComPortOption, body.data(), body.size());
}
