#include "port_settings.h"

#include <array>
#include <charconv>

namespace {

constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;
constexpr BYTE kMinDataBits = 5;
constexpr BYTE kMaxDataBits = 8;

template <typename T>
struct Named {
    const char* name;
    T value;
};

constexpr std::array<Named<BYTE>, 5> kParities = {{
    {"none", NOPARITY},
    {"odd", ODDPARITY},
    {"even", EVENPARITY},
    {"mark", MARKPARITY},
    {"space", SPACEPARITY},
}};
constexpr std::array<char, 5> kParityLetters = {'N', 'O', 'E', 'M', 'S'};

constexpr std::array<Named<BYTE>, 3> kStopBits = {{
    {"1", ONESTOPBIT},
    {"1.5", ONE5STOPBITS},
    {"2", TWOSTOPBITS},
}};

constexpr std::array<Named<FlowControl>, 4> kFlows = {{
    {"none", FlowControl::None},
    {"rtscts", FlowControl::RtsCts},
    {"dtrdsr", FlowControl::DtrDsr},
    {"xonxoff", FlowControl::XonXoff},
}};

template <typename T, size_t N>
bool Lookup(const std::array<Named<T>, N>& table, std::string_view text, T* value) {
    for (const Named<T>& entry : table) {
        if (text == entry.name) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

template <typename T, size_t N>
const char* NameOf(const std::array<Named<T>, N>& table, T value) {
    for (const Named<T>& entry : table) {
        if (entry.value == value) {
            return entry.name;
        }
    }
    return "?";
}

bool ParseNumber(std::string_view text, DWORD* value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, *value);
    return error == std::errc() && stop == end && !text.empty();
}

}  // namespace

bool ParseBaudRate(std::string_view text, DWORD* baudRate) {
    DWORD value = 0;
    if (!ParseNumber(text, &value) || value == 0) {
        return false;
    }
    *baudRate = value;
    return true;
}

bool ParseDataBits(std::string_view text, BYTE* dataBits) {
    DWORD value = 0;
    if (!ParseNumber(text, &value) || value < kMinDataBits || value > kMaxDataBits) {
        return false;
    }
    *dataBits = static_cast<BYTE>(value);
    return true;
}

bool ParseParity(std::string_view text, BYTE* parity) {
    return Lookup(kParities, text, parity);
}

bool ParseStopBits(std::string_view text, BYTE* stopBits) {
    return Lookup(kStopBits, text, stopBits);
}

bool ParseFlowControl(std::string_view text, FlowControl* flow) {
    return Lookup(kFlows, text, flow);
}

std::string DescribeSettings(const PortSettings& settings) {
    std::string text = std::to_string(settings.baudRate) + " " + std::to_string(settings.dataBits);
    text.push_back(settings.parity < kParityLetters.size() ? kParityLetters[settings.parity] : '?');
    text += NameOf(kStopBits, settings.stopBits);
    text += " ";
    text += NameOf(kFlows, settings.flow);
    return text;
}

void ApplySettings(const PortSettings& settings, DCB* dcb) {
    dcb->DCBlength = sizeof(DCB);
    dcb->BaudRate = settings.baudRate;
    dcb->ByteSize = settings.dataBits;
    dcb->Parity = settings.parity;
    dcb->fParity = settings.parity != NOPARITY ? TRUE : FALSE;
    dcb->StopBits = settings.stopBits;
    dcb->fBinary = TRUE;
    const bool rtsCts = settings.flow == FlowControl::RtsCts;
    const bool dtrDsr = settings.flow == FlowControl::DtrDsr;
    const bool xonXoff = settings.flow == FlowControl::XonXoff;
    dcb->fOutxCtsFlow = rtsCts ? TRUE : FALSE;
    dcb->fRtsControl = rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb->fOutxDsrFlow = dtrDsr ? TRUE : FALSE;
    dcb->fDtrControl = dtrDsr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb->fDsrSensitivity = FALSE;
    dcb->fOutX = xonXoff ? TRUE : FALSE;
    dcb->fInX = xonXoff ? TRUE : FALSE;
    if (xonXoff) {
        dcb->XonChar = kXon;
        dcb->XoffChar = kXoff;
    }
}

PortSettings SettingsOf(const DCB& dcb) {
    PortSettings settings;
    settings.baudRate = dcb.BaudRate;
    settings.dataBits = dcb.ByteSize;
    settings.parity = dcb.Parity;
    settings.stopBits = dcb.StopBits;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        settings.flow = FlowControl::RtsCts;
    } else if (dcb.fOutxDsrFlow || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) {
        settings.flow = FlowControl::DtrDsr;
    } else if (dcb.fOutX || dcb.fInX) {
        settings.flow = FlowControl::XonXoff;
    }
    return settings;
}
