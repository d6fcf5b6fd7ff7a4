// The faces of the icon buttons: the static background and one icon, centred, one pixel right and down
// while pressed. No frame and no focus mark.
#include "main_dialog.h"
#include "port_tree.h"
#include "resource_ids.h"
#include "ui_state.h"

namespace {

constexpr int kFaceIconPx = 16;

// The toggle button shows what pressing it would do to the selected physical port.
HICON ToggleFace(HWND button) {
    if (!IsWindowEnabled(button)) {
        return g_ui.icons.toggleOff;
    }
    const PortEntry* entry = TreeItemEntry(SelectedTreeItem());
    if (entry == nullptr || entry->isPhysical == 0) {
        return g_ui.icons.toggleOff;
    }
    return entry->isDisabled != 0 ? g_ui.icons.portEnable : g_ui.icons.portDisabled;
}

HICON FaceOf(const DRAWITEMSTRUCT& item) {
    switch (item.CtlID) {
        case IDC_USER_GUIDE:
            return g_ui.icons.userGuide;
        case IDC_ADD_PAIR:
            return g_ui.icons.addPair;
        case IDC_DELETE_PAIR:
            return IsWindowEnabled(item.hwndItem) ? g_ui.icons.deletePair : g_ui.icons.deletePairOff;
        case IDC_TOGGLE_PORT:
            return ToggleFace(item.hwndItem);
        default:
            return nullptr;
    }
}

}  // namespace

void DrawButtonFace(const DRAWITEMSTRUCT& item) {
    if (item.itemAction != ODA_DRAWENTIRE && item.itemAction != ODA_SELECT) {
        return;
    }
    HBRUSH background = CreateSolidBrush(GetSysColor(COLOR_STATIC));
    HGDIOBJ oldBrush = SelectObject(item.hDC, background);
    HGDIOBJ oldPen = SelectObject(item.hDC, GetStockObject(NULL_PEN));
    Rectangle(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom);
    // The brush can only go once the DC lets go of it.
    SelectObject(item.hDC, oldPen);
    SelectObject(item.hDC, oldBrush);
    DeleteObject(background);

    const int pressed = (item.itemState & ODS_SELECTED) != 0 ? 1 : 0;
    const int x = (item.rcItem.right - item.rcItem.left - kFaceIconPx) / 2 + pressed;
    const int y = (item.rcItem.bottom - item.rcItem.top - kFaceIconPx) / 2 + pressed;
    DrawIconEx(item.hDC, x, y, FaceOf(item), 0, 0, 0, nullptr, DI_NORMAL);
}
