// What the screen shows for the port's bytes: text with the control bytes made visible, or hex.
#pragma once

#include <string>
#include <string_view>

enum class ViewMode { Text, Hex };

class ByteView {
  public:
    explicit ByteView(ViewMode mode) : mode_(mode) {}

    // Text: printable ASCII as is; CR, LF and CR LF each end a line; tab and backspace act; other control
    // bytes as ^X (DEL as ^?); bytes from 0x80 as <hex>. Hex: "41 42 " with a line per 16 bytes.
    std::string Render(std::string_view bytes);

  private:
    ViewMode mode_;
    bool afterCr_ = false;    // text: a CR ended the line, so an LF right after it adds nothing
    unsigned lineBytes_ = 0;  // hex: bytes on the current line
};
