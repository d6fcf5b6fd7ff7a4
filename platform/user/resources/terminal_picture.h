// Reading an icon's terminal picture: "<glyphs>;<foreground>;<background>" (see ceplatform_ui.h).
#pragma once

#include <string>
#include <string_view>

#include "user/gdi/icon_object.h"

namespace ce::ui {

// The text ends at its first NUL or at the end. False with *error when it is not a picture: not three
// fields, no glyph or more than two, or a colour without a name we know.
bool ParseTerminalPicture(std::u16string_view text, TerminalPicture* picture, std::string* error);

}  // namespace ce::ui
