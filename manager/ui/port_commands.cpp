// What the main dialog's buttons do: open the guide, add a pair, delete the selected pair, disable or
// re-enable the selected physical port. Store failures become message boxes; the tree changes item by item.
#include <commctrl.h>
#include <shellapi.h>

#include "dialogs.h"
#include "main_dialog.h"
#include "port_tree.h"
#include "program_ports.h"
#include "resource_ids.h"
#include "texts.h"
#include "ui_state.h"

namespace {

// A pair needs two free device names.
constexpr int kNamesPerPair = 2;

int Ask(LPCWSTR question) {
    return MessageBoxW(g_ui.mainDialog, question, TULKCFG_TITLE, MB_YESNO);
}

void Tell(LPCWSTR message) {
    MessageBoxW(g_ui.mainDialog, message, TULKCFG_TITLE, MB_OK);
}

HWND Button(int id) {
    return GetDlgItem(g_ui.mainDialog, id);
}

void DeleteTreeItem(HTREEITEM item) {
    // A null item would empty the whole tree.
    if (item != nullptr) {
        SendMessageW(g_ui.treeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
    }
}

// Reads the selected item with the given fields into fields and text.
PortEntry* ReadSelectedItem(UINT mask, TVITEMW* fields, WCHAR text[kItemTextChars]) {
    *fields = {};
    fields->mask = mask;
    fields->hItem = SelectedTreeItem();
    fields->pszText = text;
    fields->cchTextMax = kItemTextChars - 1;
    text[0] = 0;
    if (fields->hItem == nullptr ||
        !SendMessageW(g_ui.treeView, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(fields))) {
        return nullptr;
    }
    return reinterpret_cast<PortEntry*>(fields->lParam);
}

}  // namespace

void OpenUserGuide() {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = TEXT("open");
    info.lpFile = g_ui.helpUrl;
    info.nShow = SW_SHOWNORMAL;
    // A guide that cannot be opened is not reported.
    ShellExecuteExW(&info);
}

void AddPair() {
    int freeNames = 0;
    for (DWORD number = 0; number < kCombinedNumbers; ++number) {
        if (ProgramPorts().IsPortNumberFree(number)) {
            ++freeNames;
        }
    }
    if (freeNames < kNamesPerPair) {
        Tell(text::kNoFreePorts);
        return;
    }
    // The add-pair dialog creates the ports and appends their items itself.
    RunDialogTemplate(IDD_ADD_PAIR, g_ui.mainDialog, AddPairDialogProc);
}

void DeleteSelectedPair() {
    PortList& ports = ProgramPorts();
    EnableWindow(Button(IDC_DELETE_PAIR), FALSE);
    TVITEMW fields;
    WCHAR itemText[kItemTextChars];
    PortEntry* entry = ReadSelectedItem(TVIF_TEXT | TVIF_PARAM, &fields, itemText);
    if (entry == nullptr) {
        return;
    }
    PortEntry* partner = ports.FindPartner(entry);
    const bool open = ports.IsPortOpen(entry) != 0 || (partner != nullptr && ports.IsPortOpen(partner) != 0);
    if (open && Ask(text::kDeleteOpenPorts) == IDNO) {
        EnableWindow(Button(IDC_DELETE_PAIR), TRUE);
        return;
    }
    // Found before the deletions, which release the entries.
    HTREEITEM item = FindVirtualPortItem(entry);
    HTREEITEM partnerItem = partner != nullptr ? FindVirtualPortItem(partner) : nullptr;
    bool deleted = ports.DeletePort(entry) != 0;
    if (deleted) {
        DeleteTreeItem(item);
        if (partner != nullptr) {
            deleted = ports.DeletePort(partner) != 0;
            if (deleted) {
                DeleteTreeItem(partnerItem);
            }
        }
    }
    if (!deleted) {
        Tell(text::kDeleteFailed);
    }
    if (SendMessageW(g_ui.treeView, TVM_GETNEXTITEM, TVGN_CHILD,
                     reinterpret_cast<LPARAM>(g_ui.virtualRoot)) == 0) {
        SetChildCount(g_ui.virtualRoot, 0);
    }
    // The delete button stays disabled until the next selection change sets the buttons.
}

void ToggleSelectedPhysicalPort() {
    TVITEMW fields;
    WCHAR itemText[kItemTextChars];
    PortEntry* entry =
        ReadSelectedItem(TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE, &fields, itemText);
    if (entry == nullptr || entry->isPhysical == 0) {
        return;
    }
    // Re-enabling gives a port back and needs no warning.
    if (entry->isDisabled == 0 && Ask(text::kDisableWarning) == IDNO) {
        return;
    }
    if (ProgramPorts().TogglePhysicalPort(entry) == 0) {
        // A failed disable leaves the port running as it was; a failed re-enable leaves it stopped.
        if (entry->isDisabled != 0) {
            Tell(text::kEnableFailed);
        }
        return;
    }
    PortItemText(*entry, itemText);
    fields.iImage = PortItemImage(*entry);
    fields.iSelectedImage = fields.iImage;
    SendMessageW(g_ui.treeView, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&fields));
    // Disabling and enabling the button redraws its face for the port's new state.
    EnableWindow(Button(IDC_TOGGLE_PORT), FALSE);
    EnableWindow(Button(IDC_TOGGLE_PORT), TRUE);
}
