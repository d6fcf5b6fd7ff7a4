#include "user/resources/terminal_picture.h"

#include <array>
#include <utility>

#include "kernel/wide_string.h"

namespace ce::ui {
namespace {

constexpr size_t kMaxGlyphs = 2;  // characters: one terminal cell or two

constexpr std::array<std::pair<std::u16string_view, TerminalColor>, 9> kColorNames{{
    {u"default", TerminalColor::Default},
    {u"black", TerminalColor::Black},
    {u"red", TerminalColor::Red},
    {u"green", TerminalColor::Green},
    {u"yellow", TerminalColor::Yellow},
    {u"blue", TerminalColor::Blue},
    {u"magenta", TerminalColor::Magenta},
    {u"cyan", TerminalColor::Cyan},
    {u"white", TerminalColor::White},
}};

bool ParseColor(std::u16string_view name, TerminalColor* color) {
    for (const auto& [known, value] : kColorNames) {
        if (EqualsIgnoreCase(name, known)) {
            *color = value;
            return true;
        }
    }
    return false;
}

// Characters, not UTF-16 units: a surrogate pair is one.
size_t CountCharacters(std::u16string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        bool pairStart = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                         text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        i += pairStart ? 1 : 0;
        ++count;
    }
    return count;
}

}  // namespace

bool ParseTerminalPicture(std::u16string_view text, TerminalPicture* picture, std::string* error) {
    text = text.substr(0, text.find(u'\0'));
    // Colours are split off from the right, so ';' itself can be a glyph.
    size_t second = text.rfind(u';');
    size_t first = second == 0 || second == std::u16string_view::npos ? std::u16string_view::npos
                                                                      : text.rfind(u';', second - 1);
    if (first == std::u16string_view::npos) {
        *error = "a terminal picture is \"<glyphs>;<foreground>;<background>\", not \"" + ToUtf8(text) + "\"";
        return false;
    }
    std::u16string_view glyphs = text.substr(0, first);
    size_t count = CountCharacters(glyphs);
    if (count == 0 || count > kMaxGlyphs) {
        *error = "a terminal picture has one or two characters, not " + std::to_string(count);
        return false;
    }
    TerminalPicture read;
    read.glyphs = glyphs;
    std::u16string_view foreground = text.substr(first + 1, second - first - 1),
                        background = text.substr(second + 1);
    if (!ParseColor(foreground, &read.foreground) || !ParseColor(background, &read.background)) {
        *error = "unknown colour in terminal picture \"" + ToUtf8(text) +
                 "\" (black red green yellow blue magenta cyan white default)";
        return false;
    }
    *picture = std::move(read);
    return true;
}

}  // namespace ce::ui
