// The COM-PORT-OPTION layer (RFC 2217) of one client: each command carried out on the port through the comm
// API and answered at once with the server's code (the command's plus 100) and the value then in effect,
// and the modem and line state sent as they change, through the client's masks.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <windows.h>

#include "bridge_port.h"
#include "port_pump.h"

class ComPortControl {
  public:
    using Reply = std::function<void(unsigned char code, std::string_view value)>;

    ComPortControl(BridgePort& port, PortPump& pump, Reply reply);

    // One subnegotiation's body: the command byte and its value. A value of the wrong size is dropped.
    void Command(std::string_view command);
    // The client took the option up: it hears of the lines from now on, starting with their state now.
    void Agreed();
    // What the port reported: its EV_* events, the MS_* lines then, the CE_* errors since, and its queues.
    void PortEvents(DWORD events, DWORD modemStatus, DWORD errors, const COMSTAT& queues);
    // The client asked for no data until it resumes (FLOWCONTROL-SUSPEND).
    bool suspended() const { return suspended_; }

  private:
    // One command's work. code is the client's command; value has the size the table allows.
    using Handler = void (ComPortControl::*)(unsigned char code, std::string_view value);
    struct CommandEntry {
        unsigned char code;
        int valueBytes;  // kAnySize, or exactly this many
        Handler handler;
    };
    static const CommandEntry kCommands[];

    void Signature(unsigned char code, std::string_view value);
    void SetBaudRate(unsigned char code, std::string_view value);
    void SetDataSize(unsigned char code, std::string_view value);
    void SetParity(unsigned char code, std::string_view value);
    void SetStopSize(unsigned char code, std::string_view value);
    void SetControl(unsigned char code, std::string_view value);
    void NotifyLineState(unsigned char code, std::string_view value);
    void NotifyModemState(unsigned char code, std::string_view value);
    void SuspendOrResume(unsigned char code, std::string_view value);
    void SetMask(unsigned char code, std::string_view value);  // SET-LINESTATE-MASK, SET-MODEMSTATE-MASK
    void PurgeData(unsigned char code, std::string_view value);

    void Answer(unsigned char code, BYTE value);
    BYTE LineState(const COMSTAT& queues) const;

    BridgePort& port_;
    PortPump& pump_;
    Reply reply_;
    bool agreed_ = false;
    bool suspended_ = false;
    BYTE lineStateMask_ = 0;  // the RFC's first masks
    BYTE modemStateMask_ = 255;
    DWORD lines_ = 0;  // MS_* bits last seen, for the changes
};
