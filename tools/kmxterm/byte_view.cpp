#include "byte_view.h"

namespace {

constexpr unsigned kHexBytesPerLine = 16;
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr unsigned char kDelete = 0x7F;
constexpr char kCaretOffset = 0x40;  // ^A is 0x01 + 0x40

}  // namespace

std::string ByteView::Render(std::string_view bytes) {
    std::string out;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (mode_ == ViewMode::Hex) {
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 0xF]);
            if (++lineBytes_ == kHexBytesPerLine) {
                out.append("\r\n");
                lineBytes_ = 0;
            } else {
                out.push_back(' ');
            }
            continue;
        }
        const bool wasAfterCr = afterCr_;
        afterCr_ = false;
        if (c == '\r') {
            out.append("\r\n");
            afterCr_ = true;
        } else if (c == '\n') {
            if (!wasAfterCr) {
                out.append("\r\n");
            }
        } else if (c == '\t' || c == '\b') {
            out.push_back(byte);
        } else if (c < 0x20) {
            out.push_back('^');
            out.push_back(static_cast<char>(c + kCaretOffset));
        } else if (c == kDelete) {
            out.append("^?");
        } else if (c >= 0x80) {
            out.push_back('<');
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 0xF]);
            out.push_back('>');
        } else {
            out.push_back(byte);
        }
    }
    return out;
}
