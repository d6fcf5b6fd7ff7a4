// The terminal's input decoder: characters, Alt+key, xterm SGR mouse reports, and sequences torn or unknown.
// (Which key code is which key is the decoder's table; the terminal tests press them in tmux.)
#include "user/terminal/terminal_input.h"

#include <ceplatform_ui.h>
#include <gtest/gtest.h>

#include <curses.h>

#include <string>
#include <vector>

namespace {

using ce::ui::InputEvent;
using ce::ui::TerminalInput;
using ce::ui::TerminalInputDecoder;

// A compact spelling of what came out: "D<vk>+<mods>", "U<vk>", "C<ch>", "close", "resize", "press@c,r",
// "release@c,r".
std::string Describe(const std::vector<TerminalInput>& inputs) {
    std::string out;
    for (const TerminalInput& input : inputs) {
        if (!out.empty()) {
            out += ' ';
        }
        if (input.kind == TerminalInput::Kind::Resize) {
            out += "resize";
            continue;
        }
        if (input.kind == TerminalInput::Kind::Click) {
            out += (input.press ? "press@" : "release@") + std::to_string(input.column) + "," +
                   std::to_string(input.row);
            continue;
        }
        const InputEvent& e = input.event;
        switch (e.kind) {
            case InputEvent::Kind::KeyDown:
                out +=
                    "D" + std::to_string(e.vk) + (e.modifiers != 0 ? "+" + std::to_string(e.modifiers) : "");
                break;
            case InputEvent::Kind::KeyUp:
                out += "U" + std::to_string(e.vk);
                break;
            case InputEvent::Kind::Char:
                out += "C" + std::to_string(e.ch);
                break;
            case InputEvent::Kind::Close:
                out += "close";
                break;
            default:
                out += "?";
                break;
        }
    }
    return out;
}

std::string Key(UINT vk, UINT modifiers = 0) {
    return "D" + std::to_string(vk) + (modifiers != 0 ? "+" + std::to_string(modifiers) : "") + " U" +
           std::to_string(vk);
}

// Characters as wget_wch hands them over, then the end of what was waiting.
std::string DecodeText(const std::u32string& text) {
    TerminalInputDecoder decoder;
    std::vector<TerminalInput> out;
    for (char32_t ch : text) {
        decoder.Feed(ch, false, &out);
    }
    decoder.Flush(&out);
    return Describe(out);
}

struct TextCase {
    const char* name;
    std::u32string text;
    std::string expected;
};

class TerminalText : public ::testing::TestWithParam<TextCase> {};

TEST_P(TerminalText, Decodes) {
    EXPECT_EQ(DecodeText(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Terminal, TerminalText,
    ::testing::Values(
        TextCase{"tab_enter_space", U"\t\r ", Key(VK_TAB) + " " + Key(VK_RETURN) + " " + Key(VK_SPACE)},
        TextCase{"line_feed_is_enter", U"\n", Key(VK_RETURN)},
        TextCase{"letters_with_shift", U"aZ", Key('A') + " " + Key('Z', CE_UI_SHIFT)},
        TextCase{"digit", U"7", Key('7')},
        TextCase{"punctuation_and_beyond_ascii_only_type", U"-é", "C45 C233"},
        TextCase{"beyond_utf16_units_dropped", U"\U0001F600x", Key('X')},
        TextCase{"ctrl_w_closes", U"\x17", "close"}, TextCase{"backspace", U"\x7f", Key(VK_BACK)},
        TextCase{"other_controls_dropped", U"\x01\x02", ""}, TextCase{"lone_escape", U"\x1b", Key(VK_ESCAPE)},
        TextCase{"two_escapes", U"\x1b\x1b", Key(VK_ESCAPE) + " " + Key(VK_ESCAPE)},
        TextCase{"alt_letter",
                 U"\x1b"
                 U"a",
                 Key('A', CE_UI_ALT)},
        TextCase{"alt_other_dropped", U"\x1b-", ""},
        TextCase{"back_tab_undecoded", U"\x1b[Z", Key(VK_TAB, CE_UI_SHIFT)},
        TextCase{"arrow_undecoded", U"\x1b[B", Key(VK_DOWN)},
        TextCase{"unknown_sequence_dropped", U"\x1b[15~x", Key('X')},
        TextCase{"left_press_and_release", U"\x1b[<0;12;5M\x1b[<0;12;5m", "press@11,4 release@11,4"},
        TextCase{"far_columns", U"\x1b[<0;300;99M", "press@299,98"},
        TextCase{"right_button_ignored", U"\x1b[<2;3;4M", ""},
        TextCase{"wheel_ignored", U"\x1b[<64;3;4M", ""}, TextCase{"motion_ignored", U"\x1b[<32;3;4M", ""},
        TextCase{"column_zero_is_not_a_report", U"\x1b[<0;0;4M", ""},
        TextCase{"report_without_fields", U"\x1b[<0;4M", ""},
        TextCase{"torn_report_then_key", U"\x1b[<0;1\t", Key(VK_TAB)},
        TextCase{"overlong_sequence_swallowed", U"\x1b[<" + std::u32string(40, U'1') + U";2;3Mx", Key('X')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalDecoder, KeyCodeAfterEscapeEndsTheEscape) {
    TerminalInputDecoder decoder;
    std::vector<TerminalInput> out;
    decoder.Feed(0x1b, false, &out);
    decoder.Feed(static_cast<unsigned>(KEY_UP), true, &out);
    decoder.Flush(&out);
    EXPECT_EQ(Describe(out), Key(VK_ESCAPE) + " " + Key(VK_UP));
}

TEST(TerminalDecoder, ReportTornBetweenReadsIsCompletedByTheNext) {
    TerminalInputDecoder decoder;
    std::vector<TerminalInput> out;
    for (char32_t ch : std::u32string(U"\x1b[<0;5")) {
        decoder.Feed(ch, false, &out);
    }
    decoder.Flush(&out);
    EXPECT_EQ(Describe(out), "") << "nothing yet, and no Esc key";
    for (char32_t ch : std::u32string(U";6M")) {
        decoder.Feed(ch, false, &out);
    }
    decoder.Flush(&out);
    EXPECT_EQ(Describe(out), "press@4,5") << "the digits were not typed";
}

}  // namespace
