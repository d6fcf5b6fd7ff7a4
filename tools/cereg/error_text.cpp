#include "error_text.h"

namespace {

constexpr DWORD kMessageChars = 512;

}  // namespace

std::string Win32ErrorText(DWORD code) {
    WCHAR text[kMessageChars];
    DWORD chars = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                 text, kMessageChars, nullptr);
    if (chars == 0) {
        return "Error " + std::to_string(code) + ".";
    }
    // A tool's line ends where the tool says; the message's own line end goes.
    while (chars > 0 && (text[chars - 1] == u'\r' || text[chars - 1] == u'\n')) {
        --chars;
    }
    // The system's messages are ASCII.
    return std::string(text, text + chars);
}
