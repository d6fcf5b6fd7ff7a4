// Keys and mouse reports of a terminal, as ncursesw's wget_wch hands them over, turned into the window
// system's input. ncurses decodes the keys its terminal description knows; xterm's SGR mouse reports
// ("ESC [ < button ; column ; row M" for a press, "m" for a release) and Alt+key arrive as plain characters
// after an Esc and are decoded here. Keys: arrows, Home, End, Page Up/Down, Tab, Shift+Tab, Enter, Space,
// Esc, Backspace, Delete, F1-F12 and letters; F10 and Ctrl+W press the active window's close box.
#pragma once

#include "user/front_end/front_end.h"

#include <string>
#include <vector>

namespace ce::ui {

struct TerminalInput {
    enum class Kind { Event, Click, Resize };
    Kind kind = Kind::Event;
    InputEvent event;  // Event
    int column = 0;    // Click: terminal cell, 0-based
    int row = 0;
    bool press = false;  // Click: press or release
};

class TerminalInputDecoder {
  public:
    // One value of wget_wch: a character, or a KEY_* code when isKeyCode.
    void Feed(unsigned value, bool isKeyCode, std::vector<TerminalInput>* out);
    // Nothing more is waiting: an Esc on its own was the Escape key; a report torn between reads is kept
    // for the next one.
    void Flush(std::vector<TerminalInput>* out);

  private:
    enum class State { Ground, Escape, Sequence, Discard };
    void Ground(unsigned ch, std::vector<TerminalInput>* out);
    void Sequence(std::vector<TerminalInput>* out);

    State state_ = State::Ground;
    std::string sequence_;  // after "ESC ["
};

}  // namespace ce::ui
