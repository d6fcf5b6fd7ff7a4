#include "prefix_keys.h"

namespace {

constexpr char kControlToLetter = 0x60;  // Ctrl+D (0x04) is 'd'

char CommandLetter(char key) {
    if (key > 0 && key < 0x20) {
        return static_cast<char>(key + kControlToLetter);  // Ctrl+A d and Ctrl+A Ctrl+D alike
    }
    return (key >= 'A' && key <= 'Z') ? static_cast<char>(key + 0x20) : key;
}

struct Command {
    char letter;
    KeyAction action;
};

constexpr Command kCommands[] = {
    {'d', KeyAction::ToggleDtr}, {'r', KeyAction::ToggleRts}, {'s', KeyAction::SendFile},
    {'b', KeyAction::Break},     {'q', KeyAction::Quit},      {'x', KeyAction::Quit},
    {'h', KeyAction::Help},      {'?', KeyAction::Help},
};

}  // namespace

bool PrefixKeys::Feed(char key, KeyEvent* event) {
    if (!armed_) {
        if (key == kPrefixKey) {
            armed_ = true;
            return false;
        }
        *event = KeyEvent{KeyAction::Send, key};
        return true;
    }
    armed_ = false;
    if (key == kPrefixKey) {
        *event = KeyEvent{KeyAction::Send, key};
        return true;
    }
    KeyAction action = KeyAction::Unknown;
    const char letter = CommandLetter(key);
    for (const Command& command : kCommands) {
        if (command.letter == letter) {
            action = command.action;
        }
    }
    *event = KeyEvent{action, key};
    return true;
}
