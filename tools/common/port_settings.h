// The line settings a person chooses on the command line, their text, and their place in a DCB.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

enum class FlowControl { None, RtsCts, DtrDsr, XonXoff };

struct PortSettings {
    DWORD baudRate = CBR_115200;
    BYTE dataBits = 8;
    BYTE parity = NOPARITY;
    BYTE stopBits = ONESTOPBIT;
    FlowControl flow = FlowControl::None;
};

// Each takes an option's text; false for a value the option does not know.
bool ParseBaudRate(std::string_view text, DWORD* baudRate);
bool ParseDataBits(std::string_view text, BYTE* dataBits);
bool ParseParity(std::string_view text, BYTE* parity);
bool ParseStopBits(std::string_view text, BYTE* stopBits);
bool ParseFlowControl(std::string_view text, FlowControl* flow);

// "115200 8N1 none", "9600 7E1.5 rtscts".
std::string DescribeSettings(const PortSettings& settings);

// Writes the settings into dcb, leaving the fields they do not cover as the port had them.
void ApplySettings(const PortSettings& settings, DCB* dcb);

// The settings a DCB holds; of several handshakes in either direction, the flow control names the first of
// RTS/CTS, DTR/DSR and XON/XOFF.
PortSettings SettingsOf(const DCB& dcb);
