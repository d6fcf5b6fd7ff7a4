// Decoding of a terminal's input.
#include "user/terminal/terminal_input.h"

#include <ceplatform_ui.h>

#include <curses.h>

#include <cstdio>

namespace ce::ui {
namespace {

constexpr unsigned kEscape = 0x1B;
constexpr unsigned kDelete = 0x7F;
constexpr unsigned kCtrlW = 0x17;
constexpr size_t kLongestSequence = 32;  // anything longer is not a report we know
constexpr int kCloseFunctionKey = 10;
constexpr int kFunctionKeys = 12;
constexpr unsigned kMouseMotionBit = 32;
constexpr unsigned kMouseWheelBit = 64;
constexpr unsigned kMouseButtonMask = 3;

void Key(UINT vk, UINT modifiers, std::vector<TerminalInput>* out) {
    for (InputEvent::Kind kind : {InputEvent::Kind::KeyDown, InputEvent::Kind::KeyUp}) {
        TerminalInput input;
        input.event.kind = kind;
        input.event.vk = vk;
        input.event.modifiers = modifiers;
        out->push_back(input);
    }
}

void Close(std::vector<TerminalInput>* out) {
    TerminalInput input;
    input.event.kind = InputEvent::Kind::Close;
    out->push_back(input);
}

bool KeyCode(unsigned code, std::vector<TerminalInput>* out) {
    struct Mapping {
        unsigned code;
        UINT vk;
        UINT modifiers;
    };
    static const Mapping kKeys[] = {
        {KEY_UP, VK_UP, 0},
        {KEY_DOWN, VK_DOWN, 0},
        {KEY_LEFT, VK_LEFT, 0},
        {KEY_RIGHT, VK_RIGHT, 0},
        {KEY_HOME, VK_HOME, 0},
        {KEY_END, VK_END, 0},
        {KEY_PPAGE, VK_PRIOR, 0},
        {KEY_NPAGE, VK_NEXT, 0},
        {KEY_DC, VK_DELETE, 0},
        {KEY_IC, VK_INSERT, 0},
        {KEY_BACKSPACE, VK_BACK, 0},
        {KEY_ENTER, VK_RETURN, 0},
        {KEY_BTAB, VK_TAB, CE_UI_SHIFT},
    };
    for (const Mapping& mapping : kKeys) {
        if (mapping.code == code) {
            Key(mapping.vk, mapping.modifiers, out);
            return true;
        }
    }
    if (code == static_cast<unsigned>(KEY_RESIZE)) {
        TerminalInput resize;
        resize.kind = TerminalInput::Kind::Resize;
        out->push_back(resize);
        return true;
    }
    for (int n = 1; n <= kFunctionKeys; ++n) {
        if (code == static_cast<unsigned>(KEY_F(n))) {
            if (n == kCloseFunctionKey) {
                Close(out);
            } else {
                Key(VK_F1 + n - 1, 0, out);
            }
            return true;
        }
    }
    return false;
}

}  // namespace

void TerminalInputDecoder::Feed(unsigned value, bool isKeyCode, std::vector<TerminalInput>* out) {
    if (isKeyCode) {
        if (state_ == State::Escape) {
            Key(VK_ESCAPE, 0, out);
        }
        state_ = State::Ground;
        KeyCode(value, out);
        return;
    }
    switch (state_) {
        case State::Ground:
            Ground(value, out);
            break;
        case State::Escape:
            if (value == '[') {
                state_ = State::Sequence;
                sequence_.clear();
            } else if (value == kEscape) {
                Key(VK_ESCAPE, 0, out);
            } else {
                // Alt+key: the key with the Alt bit, as WM_SYSKEYDOWN.
                state_ = State::Ground;
                const unsigned upper = value >= 'a' && value <= 'z' ? value - 'a' + 'A' : value;
                if ((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9')) {
                    Key(upper, CE_UI_ALT, out);
                }
            }
            break;
        case State::Sequence:
            if (value < 0x20 || value > 0x7E) {
                state_ = State::Ground;  // not a report; what follows starts afresh
                Ground(value, out);
                break;
            }
            if (sequence_.size() >= kLongestSequence) {
                state_ = State::Discard;  // the rest of it is no one's keys
                break;
            }
            sequence_.push_back(static_cast<char>(value));
            if (value >= 0x40 && value <= 0x7E) {
                state_ = State::Ground;
                Sequence(out);
            }
            break;
        case State::Discard:
            if (value < 0x20 || value > 0x7E) {
                state_ = State::Ground;
                Ground(value, out);
            } else if (value >= 0x40) {
                state_ = State::Ground;
            }
            break;
    }
}

void TerminalInputDecoder::Flush(std::vector<TerminalInput>* out) {
    // A report torn between two reads goes on with the next one; only a lone Esc is a key by itself.
    if (state_ == State::Escape) {
        Key(VK_ESCAPE, 0, out);
        state_ = State::Ground;
    }
}

void TerminalInputDecoder::Ground(unsigned ch, std::vector<TerminalInput>* out) {
    switch (ch) {
        case kEscape:
            state_ = State::Escape;
            return;
        case '\t':
            Key(VK_TAB, 0, out);
            return;
        case '\r':
        case '\n':
            Key(VK_RETURN, 0, out);
            return;
        case ' ':
            Key(VK_SPACE, 0, out);
            return;
        case kDelete:
        case '\b':
            Key(VK_BACK, 0, out);
            return;
        case kCtrlW:
            Close(out);
            return;
        default:
            break;
    }
    if (ch < 0x20 || ch > 0xFFFF || (ch >= 0xD800 && ch < 0xE000)) {
        return;  // other control characters and what UTF-16 cannot hold in one unit have no key here
    }
    // Keys whose character TranslateMessage makes, as on the device, are keys alone: a character of its own
    // beside them would be typed twice. The rest have no key and are characters only.
    if (ch >= 'a' && ch <= 'z') {
        Key(ch - 'a' + 'A', 0, out);
    } else if (ch >= 'A' && ch <= 'Z') {
        Key(ch, CE_UI_SHIFT, out);
    } else if (ch >= '0' && ch <= '9') {
        Key(ch, 0, out);
    } else {
        TerminalInput typed;
        typed.event.kind = InputEvent::Kind::Char;
        typed.event.ch = static_cast<char16_t>(ch);
        out->push_back(typed);
    }
}

// A complete "ESC [ ..." that ncurses did not know: a mouse report, or the keys of terminals whose
// description lacks them.
void TerminalInputDecoder::Sequence(std::vector<TerminalInput>* out) {
    if (sequence_.size() >= 2 && sequence_[0] == '<') {
        unsigned button = 0, column = 0, row = 0;
        char final = 0;
        int used = 0;
        if (std::sscanf(sequence_.c_str(), "<%u;%u;%u%c%n", &button, &column, &row, &final, &used) != 4 ||
            static_cast<size_t>(used) != sequence_.size() || column == 0 || row == 0) {
            return;
        }
        if ((button & (kMouseMotionBit | kMouseWheelBit)) != 0 || (button & kMouseButtonMask) != 0) {
            return;  // only the left button clicks
        }
        TerminalInput click;
        click.kind = TerminalInput::Kind::Click;
        click.column = static_cast<int>(column) - 1;
        click.row = static_cast<int>(row) - 1;
        click.press = final == 'M';
        out->push_back(click);
        return;
    }
    if (sequence_ == "Z") {
        Key(VK_TAB, CE_UI_SHIFT, out);
    } else if (sequence_.size() == 1 && sequence_[0] >= 'A' && sequence_[0] <= 'D') {
        static const UINT kArrows[] = {VK_UP, VK_DOWN, VK_RIGHT, VK_LEFT};
        Key(kArrows[sequence_[0] - 'A'], 0, out);
    }
}

}  // namespace ce::ui
