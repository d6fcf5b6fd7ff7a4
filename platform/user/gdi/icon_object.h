// An icon as the window system keeps it: one image of a group icon, its pixels, and the picture a terminal
// shows for it. HICON values are handles of the platform's table (ObjectType::Icon).
#pragma once

#include "kernel/handle_table.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ce::ui {

// The eight colours every terminal has, plus the terminal's own default.
enum class TerminalColor : uint8_t { Default, Black, Red, Green, Yellow, Blue, Magenta, Cyan, White };

// One or two characters with colours, chosen by the program that owns the icon (a resource beside the icon
// group, see ceplatform_ui.h); an icon without one shows a neutral placeholder.
struct TerminalPicture {
    std::u16string glyphs;
    TerminalColor foreground = TerminalColor::Default;
    TerminalColor background = TerminalColor::Default;
};

class IconObject : public KernelObject {
  public:
    IconObject() : KernelObject(ObjectType::Icon) {}

    WORD resourceId = 0;         // the group's id when loaded from resources, 0 otherwise
    int width = 0, height = 0;   // pixels
    std::vector<uint32_t> argb;  // width * height, top row first, alpha 0 where the mask is transparent
    TerminalPicture picture;
};

std::shared_ptr<IconObject> LookupIcon(HICON icon);

}  // namespace ce::ui
