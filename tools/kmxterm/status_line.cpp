#include "status_line.h"

namespace {

std::string Line(const char* name, bool on) {
    return std::string(name) + (on ? "+" : "-");
}

}  // namespace

std::string FormatStatus(const StatusFacts& facts, int columns) {
    std::string text =
        facts.port + " " + facts.settings + " | " + Line("DSR", (facts.modem & MS_DSR_ON) != 0) + " " +
        Line("DCD", (facts.modem & MS_RLSD_ON) != 0) + " " + Line("CTS", (facts.modem & MS_CTS_ON) != 0) +
        " " + Line("RING", (facts.modem & MS_RING_ON) != 0) + " | " + Line("DTR", facts.dtr) + " " +
        Line("RTS", facts.rts) + " | ev: " + (facts.events.empty() ? "-" : facts.events) + " | " +
        (facts.message.empty() ? "Ctrl+A h: help" : facts.message);
    const size_t width = columns > 0 ? static_cast<size_t>(columns) : 0;
    text.resize(width, ' ');
    return text;
}
