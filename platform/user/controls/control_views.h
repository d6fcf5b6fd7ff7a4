// What the built-in controls show, read by the front-end's painter and by tests: small copies taken under
// the window lock, in the control's client pixels unless said otherwise.
#pragma once

#include "user/windows/window.h"

#include <string>
#include <vector>

namespace ce::ui {

struct ComboView {
    std::vector<std::u16string> items;
    int selected = -1;
    bool dropped = false;
    int highlighted = -1;  // the item the open list points at
    int topIndex = 0;      // first item shown in the open list
    int visibleRows = 0;   // rows of the open list
    RECT listRect{};       // the open list in screen pixels (empty when closed)
};
bool GetComboView(HWND combo, ComboView* view);

struct TreeRowView {
    HTREEITEM item = nullptr;
    int depth = 0;  // 0 for top-level items
    std::u16string text;
    int image = -1;        // index into the normal image list, -1 without one
    HICON icon = nullptr;  // that image's icon (owned by the image list)
    bool selected = false;
    bool expanded = false;
    bool hasButton = false;               // an expand button is shown
    bool lastSibling = false;             // for the lines: nothing follows at this depth
    std::vector<bool> ancestorContinues;  // per depth above: a line continues down there
    RECT buttonRect{}, imageRect{}, textRect{};
};

struct TreeView {
    DWORD style = 0;  // TVS_* bits
    bool focused = false;
    std::vector<TreeRowView> rows;  // the visible rows, from the first visible one down
};
bool GetTreeView(HWND tree, TreeView* view);

// The icon of an image of an image list, owned by the list; nullptr when there is none.
HICON ImageListIcon(HIMAGELIST list, int index);
bool ImageListSize(HIMAGELIST list, int* cx, int* cy);

}  // namespace ce::ui
