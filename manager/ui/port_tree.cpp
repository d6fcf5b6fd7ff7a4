#include "port_tree.h"

#include "dialogs.h"
#include "store/virtual_port_key.h"
#include "texts.h"
#include "ui_state.h"

namespace {

// Room for the longest text before it is cut: a prefix, a number, a friendly name and the brackets.
constexpr int kFormatChars = kFriendlyNameChars + kPrefixChars + 16;
constexpr UINT kInsertMask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;

}  // namespace

void PortItemText(const PortEntry& entry, WCHAR text[kItemTextChars]) {
    WCHAR formatted[kFormatChars];
    if (entry.isPhysical != 0 && entry.isDisabled != 0) {
        lstrcpynW(text, entry.friendlyName[0] != 0 ? entry.friendlyName : text::kUnknownPhysicalPort,
                  kItemTextChars);
        return;
    }
    if (entry.isPhysical != 0 && entry.friendlyName[0] != 0) {
        wsprintfW(formatted, TEXT("%s%d: (%s)"), entry.prefix, static_cast<int>(entry.portNumber),
                  entry.friendlyName);
    } else {
        wsprintfW(formatted, TEXT("%s%d:"), entry.prefix, static_cast<int>(entry.portNumber));
    }
    lstrcpynW(text, formatted, kItemTextChars);
}

int PortItemImage(const PortEntry& entry) {
    if (entry.isPhysical != 0) {
        return entry.isDisabled != 0 ? kImagePhysicalOff : kImagePhysical;
    }
    return kImagePortEven + (entry.arrayIndex & 1);
}

void VirtualPortName(DWORD combinedNumber, WCHAR text[kItemTextChars]) {
    FormatVirtualPortName(text, combinedNumber);
}

HTREEITEM AppendTreeItem(HTREEITEM parent, LPCWSTR text, int image, const PortEntry* entry) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = kInsertMask;
    insert.item.pszText = const_cast<LPWSTR>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.cChildren = 0;
    insert.item.lParam = reinterpret_cast<LPARAM>(entry);
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(g_ui.treeView, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void SetChildCount(HTREEITEM item, int count) {
    TVITEMW fields = {};
    fields.mask = TVIF_CHILDREN;
    fields.hItem = item;
    SendMessageW(g_ui.treeView, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&fields));
    fields.cChildren = count;
    SendMessageW(g_ui.treeView, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&fields));
}

HTREEITEM SelectedTreeItem() {
    return reinterpret_cast<HTREEITEM>(SendMessageW(g_ui.treeView, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

PortEntry* TreeItemEntry(HTREEITEM item) {
    if (item == nullptr) {
        return nullptr;
    }
    TVITEMW fields = {};
    fields.mask = TVIF_PARAM;
    fields.hItem = item;
    if (!SendMessageW(g_ui.treeView, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&fields))) {
        return nullptr;
    }
    return reinterpret_cast<PortEntry*>(fields.lParam);
}

HTREEITEM FindVirtualPortItem(const PortEntry* entry) {
    HTREEITEM item = reinterpret_cast<HTREEITEM>(
        SendMessageW(g_ui.treeView, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(g_ui.virtualRoot)));
    while (item != nullptr) {
        if (TreeItemEntry(item) == entry) {
            return item;
        }
        item = reinterpret_cast<HTREEITEM>(
            SendMessageW(g_ui.treeView, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return nullptr;
}
