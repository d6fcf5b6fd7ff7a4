#include "com_port_control.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr int kAnySize = -1;
constexpr unsigned char kServerCode = 100;  // the server answers command c with c + 100

// RFC 2217 commands, client to server.
enum : unsigned char {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowControlSuspend = 8,
    kFlowControlResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
};

// SET-CONTROL values. "Outbound" is what the port sends (held by the other end), "inbound" what it receives
// (the port holds the other end). 1 to 3 set both ways, as clients that know only those mean them.
enum : unsigned char {
    kOutboundQuery = 0,
    kOutboundNone = 1,
    kOutboundXonXoff = 2,
    kOutboundHardware = 3,
    kBreakQuery = 4,
    kBreakOn = 5,
    kBreakOff = 6,
    kDtrQuery = 7,
    kDtrOn = 8,
    kDtrOff = 9,
    kRtsQuery = 10,
    kRtsOn = 11,
    kRtsOff = 12,
    kInboundQuery = 13,
    kInboundNone = 14,
    kInboundXonXoff = 15,
    kInboundHardware = 16,
    kOutboundDcd = 17,  // no such setting in a DCB: answered with the outbound flow control in effect
    kInboundDtr = 18,
    kOutboundDsr = 19,
};

// RFC 2217 SET-STOPSIZE values against the DCB's.
enum : unsigned char { kStopOne = 1, kStopTwo = 2, kStopOneAndHalf = 3 };

// NOTIFY-LINESTATE bits.
enum : BYTE {
    kLineDataReady = 0x01,
    kLineOverrun = 0x02,
    kLineParity = 0x04,
    kLineFraming = 0x08,
    kLineBreak = 0x10,
    kLineHoldingEmpty = 0x20,
    kLineShiftEmpty = 0x40,
};

// NOTIFY-MODEMSTATE: the line bits equal MS_CTS_ON, MS_DSR_ON, MS_RING_ON and MS_RLSD_ON; below them
// the changes.
constexpr DWORD kModemLines = MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON;
enum : BYTE { kDeltaCts = 0x01, kDeltaDsr = 0x02, kRingEnded = 0x04, kDeltaDcd = 0x08 };

enum class Flow { None, XonXoff, Hardware, DtrDsr };

// The SET-CONTROL values that set flow control: which, and in which direction.
struct FlowSetting {
    unsigned char code;
    Flow flow;
    bool outbound;
    bool inbound;
};

constexpr FlowSetting kFlowSettings[] = {
    {kOutboundNone, Flow::None, true, true},         {kOutboundXonXoff, Flow::XonXoff, true, true},
    {kOutboundHardware, Flow::Hardware, true, true}, {kOutboundDsr, Flow::DtrDsr, true, false},
    {kInboundNone, Flow::None, false, true},         {kInboundXonXoff, Flow::XonXoff, false, true},
    {kInboundHardware, Flow::Hardware, false, true}, {kInboundDtr, Flow::DtrDsr, false, true},
};

unsigned char OutboundCode(const DCB& dcb) {
    if (dcb.fOutxCtsFlow) {
        return kOutboundHardware;
    }
    if (dcb.fOutX) {
        return kOutboundXonXoff;
    }
    return dcb.fOutxDsrFlow ? kOutboundDsr : kOutboundNone;
}

unsigned char InboundCode(const DCB& dcb) {
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        return kInboundHardware;
    }
    if (dcb.fInX) {
        return kInboundXonXoff;
    }
    return dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ? kInboundDtr : kInboundNone;
}

void SetOutbound(DCB& dcb, Flow flow) {
    dcb.fOutxCtsFlow = flow == Flow::Hardware ? TRUE : FALSE;
    dcb.fOutX = flow == Flow::XonXoff ? TRUE : FALSE;
    dcb.fOutxDsrFlow = flow == Flow::DtrDsr ? TRUE : FALSE;
}

// A line the handshake lets go of takes the level the client last asked for.
void SetInbound(DCB& dcb, Flow flow, bool dtr, bool rts) {
    dcb.fInX = flow == Flow::XonXoff ? TRUE : FALSE;
    dcb.fRtsControl =
        flow == Flow::Hardware ? RTS_CONTROL_HANDSHAKE : (rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE);
    dcb.fDtrControl =
        flow == Flow::DtrDsr ? DTR_CONTROL_HANDSHAKE : (dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
}

unsigned char StopSizeCode(BYTE stopBits) {
    switch (stopBits) {
        case TWOSTOPBITS:
            return kStopTwo;
        case ONE5STOPBITS:
            return kStopOneAndHalf;
        default:
            return kStopOne;
    }
}

// The line state's bits that tell of something that happened, rather than of a state.
BYTE LineEvents(DWORD events, DWORD errors) {
    BYTE line = 0;
    if ((events & EV_BREAK) != 0 || (errors & CE_BREAK) != 0) {
        line |= kLineBreak;
    }
    if ((errors & CE_FRAME) != 0) {
        line |= kLineFraming;
    }
    if ((errors & CE_RXPARITY) != 0) {
        line |= kLineParity;
    }
    if ((errors & (CE_OVERRUN | CE_RXOVER)) != 0) {
        line |= kLineOverrun;
    }
    return line;
}

BYTE ByteOf(std::string_view value) {
    return static_cast<BYTE>(value[0]);
}

}  // namespace

const ComPortControl::CommandEntry ComPortControl::kCommands[] = {
    {kSignature, kAnySize, &ComPortControl::Signature},
    {kSetBaudRate, 4, &ComPortControl::SetBaudRate},
    {kSetDataSize, 1, &ComPortControl::SetDataSize},
    {kSetParity, 1, &ComPortControl::SetParity},
    {kSetStopSize, 1, &ComPortControl::SetStopSize},
    {kSetControl, 1, &ComPortControl::SetControl},
    {kNotifyLineState, kAnySize, &ComPortControl::NotifyLineState},
    {kNotifyModemState, kAnySize, &ComPortControl::NotifyModemState},
    {kFlowControlSuspend, kAnySize, &ComPortControl::SuspendOrResume},
    {kFlowControlResume, kAnySize, &ComPortControl::SuspendOrResume},
    {kSetLineStateMask, 1, &ComPortControl::SetMask},
    {kSetModemStateMask, 1, &ComPortControl::SetMask},
    {kPurgeData, 1, &ComPortControl::PurgeData},
};

ComPortControl::ComPortControl(BridgePort& port, PortPump& pump, Reply reply)
    : port_(port), pump_(pump), reply_(std::move(reply)), lines_(port.ModemStatus()) {}

void ComPortControl::Command(std::string_view command) {
    const auto code = static_cast<unsigned char>(command[0]);
    const std::string_view value = command.substr(1);
    const auto entry = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [code](const CommandEntry& e) { return e.code == code; });
    if (entry == std::end(kCommands) ||
        (entry->valueBytes != kAnySize && value.size() != static_cast<size_t>(entry->valueBytes))) {
        return;  // an unknown command, or one cut short or padded: dropped
    }
    (this->*entry->handler)(code, value);
}

void ComPortControl::Answer(unsigned char code, BYTE value) {
    const char byte = static_cast<char>(value);
    reply_(static_cast<unsigned char>(code + kServerCode), std::string_view(&byte, 1));
}

void ComPortControl::Agreed() {
    if (agreed_) {
        return;
    }
    agreed_ = true;
    // The state now, even with all lines off: clients ask for the lines before any change comes.
    lines_ = port_.ModemStatus();
    Answer(kNotifyModemState, static_cast<BYTE>(lines_ & kModemLines & modemStateMask_));
}

void ComPortControl::PortEvents(DWORD events, DWORD modemStatus, DWORD errors, const COMSTAT& queues) {
    const DWORD changed = (modemStatus ^ lines_) & kModemLines;
    BYTE deltas = 0;
    if ((events & EV_CTS) != 0 || (changed & MS_CTS_ON) != 0) {
        deltas |= kDeltaCts;
    }
    if ((events & EV_DSR) != 0 || (changed & MS_DSR_ON) != 0) {
        deltas |= kDeltaDsr;
    }
    if ((events & EV_RLSD) != 0 || (changed & MS_RLSD_ON) != 0) {
        deltas |= kDeltaDcd;
    }
    if ((lines_ & MS_RING_ON) != 0 && (modemStatus & MS_RING_ON) == 0) {
        deltas |= kRingEnded;
    }
    lines_ = modemStatus;
    const BYTE line = LineEvents(events, errors);
    if (!agreed_) {
        return;
    }
    // The RFC's rule: the state and its changes, through the mask; nothing when that leaves nothing.
    const BYTE modem = static_cast<BYTE>(((modemStatus & kModemLines) | deltas) & modemStateMask_);
    if (deltas != 0 && modem != 0) {
        Answer(kNotifyModemState, modem);
    }
    const BYTE lineState = static_cast<BYTE>((line | LineState(queues)) & lineStateMask_);
    if (line != 0 && lineState != 0) {
        Answer(kNotifyLineState, lineState);
    }
}

BYTE ComPortControl::LineState(const COMSTAT& queues) const {
    BYTE state = queues.cbInQue != 0 ? kLineDataReady : 0;
    if (queues.cbOutQue == 0) {
        state |= kLineHoldingEmpty | kLineShiftEmpty;
    }
    return state;
}

void ComPortControl::Signature(unsigned char code, std::string_view /*value*/) {
    // A client's own signature is answered with ours too: it does no harm, and a request is answered.
    const std::string signature = "kmxlink " + port_.name();
    reply_(static_cast<unsigned char>(code + kServerCode), signature);
}

void ComPortControl::SetBaudRate(unsigned char code, std::string_view value) {
    DWORD rate = 0;
    for (const char c : value) {
        rate = (rate << 8) | static_cast<BYTE>(c);
    }
    if (rate != 0) {
        port_.Change([rate](DCB& dcb) { dcb.BaudRate = rate; });
    }
    rate = port_.Settings().BaudRate;
    const char answer[] = {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16),
                           static_cast<char>(rate >> 8), static_cast<char>(rate)};
    reply_(static_cast<unsigned char>(code + kServerCode), std::string_view(answer, sizeof(answer)));
}

void ComPortControl::SetDataSize(unsigned char code, std::string_view value) {
    const BYTE size = ByteOf(value);
    if (size != 0) {
        port_.Change([size](DCB& dcb) { dcb.ByteSize = size; });
    }
    Answer(code, port_.Settings().ByteSize);
}

// RFC 2217 numbers the parities one above the DCB: 1 none, 2 odd, 3 even, 4 mark, 5 space.
void ComPortControl::SetParity(unsigned char code, std::string_view value) {
    const BYTE parity = ByteOf(value);
    if (parity != 0) {
        port_.Change([parity](DCB& dcb) {
            dcb.Parity = static_cast<BYTE>(parity - 1);
            dcb.fParity = parity - 1 != NOPARITY ? TRUE : FALSE;
        });
    }
    Answer(code, static_cast<BYTE>(port_.Settings().Parity + 1));
}

void ComPortControl::SetStopSize(unsigned char code, std::string_view value) {
    const BYTE size = ByteOf(value);
    if (size == kStopOne || size == kStopTwo || size == kStopOneAndHalf) {
        const BYTE stopBits = size == kStopOne ? ONESTOPBIT : size == kStopTwo ? TWOSTOPBITS : ONE5STOPBITS;
        port_.Change([stopBits](DCB& dcb) { dcb.StopBits = stopBits; });
    }
    Answer(code, StopSizeCode(port_.Settings().StopBits));
}

void ComPortControl::SetControl(unsigned char code, std::string_view value) {
    const BYTE control = ByteOf(value);
    const bool dtr = port_.dtr();
    const bool rts = port_.rts();
    const auto flow = std::find_if(std::begin(kFlowSettings), std::end(kFlowSettings),
                                   [control](const FlowSetting& setting) { return setting.code == control; });
    if (flow != std::end(kFlowSettings)) {
        port_.Change([&](DCB& dcb) {
            if (flow->outbound) {
                SetOutbound(dcb, flow->flow);
            }
            if (flow->inbound) {
                SetInbound(dcb, flow->flow, dtr, rts);
            }
        });
    } else if (control == kBreakOn || control == kBreakOff) {
        port_.SetBreak(control == kBreakOn);
    } else if (control == kDtrOn || control == kDtrOff) {
        port_.SetDtr(control == kDtrOn);
    } else if (control == kRtsOn || control == kRtsOff) {
        port_.SetRts(control == kRtsOn);
    }
    // The queries, DCD flow control (no such setting) and unknown values change nothing.
    BYTE answer = OutboundCode(port_.Settings());
    if (control >= kBreakQuery && control <= kBreakOff) {
        answer = port_.breakOn() ? kBreakOn : kBreakOff;
    } else if (control >= kDtrQuery && control <= kDtrOff) {
        answer = port_.dtr() ? kDtrOn : kDtrOff;
    } else if (control >= kRtsQuery && control <= kRtsOff) {
        answer = port_.rts() ? kRtsOn : kRtsOff;
    } else if ((control >= kInboundQuery && control <= kInboundHardware) || control == kInboundDtr) {
        answer = InboundCode(port_.Settings());
    }
    Answer(code, answer);
}

void ComPortControl::NotifyLineState(unsigned char code, std::string_view /*value*/) {
    COMSTAT queues{};
    const DWORD errors = port_.TakeErrors(&queues);
    Answer(code, static_cast<BYTE>(LineEvents(0, errors) | LineState(queues)));
}

void ComPortControl::NotifyModemState(unsigned char code, std::string_view /*value*/) {
    Answer(code, static_cast<BYTE>(port_.ModemStatus() & kModemLines));
}

// No answer: the server's FLOWCONTROL-SUSPEND (108) would ask the client to stop sending in its turn.
void ComPortControl::SuspendOrResume(unsigned char code, std::string_view /*value*/) {
    suspended_ = code == kFlowControlSuspend;
}

void ComPortControl::SetMask(unsigned char code, std::string_view value) {
    BYTE& mask = code == kSetLineStateMask ? lineStateMask_ : modemStateMask_;
    mask = ByteOf(value);
    Answer(code, mask);
}

// 1: what the port received and the client has not; 2: what the client sent and the port has not; 3: both.
void ComPortControl::PurgeData(unsigned char code, std::string_view value) {
    constexpr BYTE kReceived = 1;
    constexpr BYTE kSent = 2;
    const BYTE which = ByteOf(value);
    if (which < kReceived || which > (kReceived | kSent)) {
        return;
    }
    if ((which & kReceived) != 0) {
        port_.Purge(PURGE_RXCLEAR);
        pump_.DiscardReceived();
    }
    if ((which & kSent) != 0) {
        pump_.DiscardUnsent([this] { port_.Purge(PURGE_TXABORT | PURGE_TXCLEAR); });
    }
    Answer(code, which);
}
