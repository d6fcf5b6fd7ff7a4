// The Telnet side of one client (RFC 854, 856, 858): the client's stream split into data, option negotiation
// and COM-PORT-OPTION subnegotiations, and our own stream of data with IAC doubled, negotiation and
// subnegotiations.
//
// libtelnet keeps the options' states by RFC 1143's Q method and frames all we send. It does not read the
// client's stream: its receiver acts on subnegotiations of options nobody agreed to (a client's COMPRESS2
// turns zlib inflation on for everything after it, also in its proxy mode) and hands on the rest of a
// subnegotiation longer than its 16 KiB buffer as data. The client's stream is framed here by a small machine
// that gives libtelnet nothing but negotiation commands, holds a subnegotiation to a few hundred bytes and
// drops a malformed one whole.
#pragma once

#include <cstddef>  // libtelnet.h needs size_t

#include <libtelnet.h>

#include <string>
#include <string_view>

inline constexpr unsigned char kComPortOption = 44;
// Longer subnegotiations are dropped: a COM-PORT-OPTION command is a few bytes, a signature a line of text.
inline constexpr size_t kMaxSubnegotiationBytes = 256;

class TelnetChannel {
  public:
    class Listener {
      public:
        virtual ~Listener() = default;
        // Bytes for the port, IAC IAC already one 0xFF.
        virtual void Data(std::string_view bytes) = 0;
        // One COM-PORT-OPTION subnegotiation: its command byte and value, IAC IAC already one 0xFF.
        virtual void ComPortCommand(std::string_view command) = 0;
        // The client agreed to COM-PORT-OPTION in one direction or the other (so this may come twice).
        virtual void ComPortAgreed() = 0;
    };

    explicit TelnetChannel(Listener& listener);
    ~TelnetChannel();
    TelnetChannel(const TelnetChannel&) = delete;
    TelnetChannel& operator=(const TelnetChannel&) = delete;

    // False when libtelnet could not allocate its state: nothing else may be called then.
    bool ok() const { return telnet_ != nullptr; }

    // What a server offers at the start: BINARY and SUPPRESS-GO-AHEAD both ways, and COM-PORT-OPTION.
    void Offer();
    void Receive(std::string_view bytes);
    void SendData(std::string_view bytes);
    void SendComPort(unsigned char command, std::string_view value);
    // What waits for the client; the caller takes bytes from its front.
    std::string& output() { return output_; }

  private:
    enum class State {
        Data,                   // bytes for the port
        Command,                // after IAC
        Option,                 // after IAC WILL/WONT/DO/DONT
        SubnegotiationOption,   // after IAC SB
        Subnegotiation,         // the body
        SubnegotiationCommand,  // after IAC in the body
    };

    static void OnEvent(telnet_t* telnet, telnet_event_t* event, void* self);
    void Command(unsigned char byte);
    void Keep(unsigned char byte);  // a byte of a subnegotiation's body
    void EndSubnegotiation();

    Listener& listener_;
    telnet_t* telnet_;
    std::string output_;
    State state_ = State::Data;
    unsigned char verb_ = 0;       // WILL, WONT, DO or DONT of the negotiation being read
    unsigned char subOption_ = 0;  // the option of the subnegotiation being read
    std::string subnegotiation_;   // its body so far, at most kMaxSubnegotiationBytes
    bool subnegotiationTooLong_ = false;
};
