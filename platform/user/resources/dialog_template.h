// A dialog template read out of a module's resources, in the form the window system builds dialogs from.
// Both template layouts are understood: the classic DLGTEMPLATE with DLGITEMTEMPLATE items and the extended
// DLGTEMPLATEEX (signature 0xFFFF) with DLGITEMTEMPLATEEX items.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace ce::ui {

// A name-or-ordinal field of a template (menu, class, text of an item): an ordinal when `ordinal` is not
// zero (0xFFFF-prefixed in the template), otherwise the string.
struct TemplateName {
    WORD ordinal = 0;
    std::u16string text;
};

struct DialogItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    DWORD id = 0;
    TemplateName windowClass;  // ordinals 0x80..0x85: Button, Edit, Static, ListBox, ScrollBar, ComboBox
    TemplateName title;
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    TemplateName menu;
    TemplateName windowClass;
    std::u16string caption;
    // Present when style has DS_SETFONT (or DS_SHELLFONT).
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string typeface;
    std::vector<DialogItemTemplate> items;
};

// Reads a template of `size` bytes. False (and `out` unspecified) when the bytes are not a well-formed
// template: truncated fields, strings without their terminator inside the block, misaligned items.
bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out);

}  // namespace ce::ui
