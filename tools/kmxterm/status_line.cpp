#include "status_line.h"

namespace {

// Marks a message whose start was cut off.
constexpr const char* kCutMark = "<";
constexpr const char* kSeparator = " | ";
constexpr const char* kHelpHint = "Ctrl+A h: help";

std::string Line(const char* name, bool on) {
    return std::string(name) + (on ? "+" : "-");
}

std::string Facts(const StatusFacts& facts) {
    return facts.port + " " + facts.settings + kSeparator + Line("DSR", (facts.modem & MS_DSR_ON) != 0) +
           " " + Line("DCD", (facts.modem & MS_RLSD_ON) != 0) + " " +
           Line("CTS", (facts.modem & MS_CTS_ON) != 0) + " " + Line("RING", (facts.modem & MS_RING_ON) != 0) +
           kSeparator + Line("DTR", facts.dtr) + " " + Line("RTS", facts.rts) + kSeparator +
           "ev: " + (facts.events.empty() ? "-" : facts.events);
}

}  // namespace

std::string FormatStatus(const StatusFacts& facts, int columns) {
    const size_t width = columns > 0 ? static_cast<size_t>(columns) : 0;
    std::string text = Facts(facts) + kSeparator + (facts.message.empty() ? kHelpHint : facts.message);
    if (!facts.message.empty() && text.size() > width) {
        // What the person types and what went wrong matter more than the lines: the message comes first,
        // and one longer than the line keeps its end, where the typing is.
        std::string message = facts.message;
        if (message.size() > width) {
            const size_t keep = width > 1 ? width - 1 : 0;
            size_t from = message.size() - keep;
            // Never half a UTF-8 character.
            while (from < message.size() && (static_cast<unsigned char>(message[from]) & 0xC0) == 0x80) {
                ++from;
            }
            message = width > 0 ? kCutMark + message.substr(from) : std::string();
        }
        text = message + kSeparator + Facts(facts);
    }
    text.resize(width, ' ');
    return text;
}
