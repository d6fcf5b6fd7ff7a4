// The keyboard after the prefix key, Ctrl+A, as minicom and screen have it: the key after it is a command,
// and Ctrl+A twice sends one Ctrl+A.
#pragma once

enum class KeyAction { Send, ToggleDtr, ToggleRts, SendFile, Break, Quit, Help, Unknown };

struct KeyEvent {
    KeyAction action = KeyAction::Send;
    char byte = 0;  // the byte to send, or the key that followed the prefix
};

inline constexpr char kPrefixKey = 0x01;  // Ctrl+A

class PrefixKeys {
  public:
    // False while a key only arms the prefix; otherwise *event says what the key means.
    bool Feed(char key, KeyEvent* event);
    bool armed() const { return armed_; }

  private:
    bool armed_ = false;
};
