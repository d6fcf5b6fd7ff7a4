// A snapshot of the screen for the front-end's painter: the visible windows in z-order with what a painter
// needs of each, taken under the window lock in one go so that it is consistent.
#pragma once

#include "user/windows/window.h"

#include <string>
#include <vector>

namespace ce::ui {

struct WindowView {
    HWND hwnd = nullptr;
    ClassKind kind = ClassKind::Program;
    std::u16string className;
    std::u16string text;  // buttons' mnemonics keep their &; WithoutMnemonics strips them
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT windowRect{};    // screen pixels
    RECT clientRect{};    // screen pixels
    bool enabled = true;  // with its parents
    bool focused = false;
    bool active = false;  // top-level windows: the active one
    bool pushed = false;  // buttons: shown pressed
    bool defaultButton = false;
    bool hasCaption = false;  // a title bar (with a close box when WS_SYSMENU)
    std::vector<DrawRecord> surface;
    std::vector<WindowView> children;  // z-order, topmost first; hidden ones left out
};

// Visible top-level windows, topmost first.
std::vector<WindowView> SnapshotScreen();

// Buttons: whether the button shows pressed (BST_PUSHED).
bool ButtonPushed(const WindowObject& button);

}  // namespace ce::ui
