#include "main_dialog.h"

#include <commctrl.h>

#include "dialogs.h"
#include "port_tree.h"
#include "program_ports.h"
#include "resource_ids.h"
#include "texts.h"
#include "ui_state.h"

namespace {

constexpr DWORD kTreeStyle =
    WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
// Client pixels below the row of buttons.
constexpr int kTreeX = 0;
constexpr int kTreeY = 23;
constexpr int kTreeWidth = 203;
constexpr int kTreeHeight = 195;

void CreateImageList() {
    g_ui.imageList = ImageList_Create(kTreeImagePx, kTreeImagePx, ILC_MASK, kTreeImageCount, 0);
    // The order gives the TreeImage indices.
    const HICON images[kTreeImageCount] = {g_ui.icons.device, g_ui.icons.portEven, g_ui.icons.portOdd,
                                           g_ui.icons.physicalPort, g_ui.icons.portDisabled};
    for (HICON icon : images) {
        ImageList_ReplaceIcon(g_ui.imageList, -1, icon);
    }
}

void CreatePortTree(HWND dialog) {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_TREEVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    g_ui.treeView = CreateWindowExW(
        0, TEXT("SysTreeView32"), TEXT("Tree View"), kTreeStyle, kTreeX, kTreeY, kTreeWidth, kTreeHeight,
        dialog, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDC_PORT_TREE)), g_ui.instance, nullptr);
    SendMessageW(g_ui.treeView, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(g_ui.imageList));
}

void AppendPortItem(HTREEITEM parent, const PortEntry& entry) {
    WCHAR itemText[kItemTextChars];
    PortItemText(entry, itemText);
    AppendTreeItem(parent, itemText, PortItemImage(entry), &entry);
}

void FillPortTree() {
    PortList& ports = ProgramPorts();
    g_ui.physicalRoot = AppendTreeItem(TVI_ROOT, text::kPhysicalRoot, kImageDevice, nullptr);
    g_ui.virtualRoot = AppendTreeItem(TVI_ROOT, text::kVirtualRoot, kImageDevice, nullptr);
    // Virtual ports by slot, so the even end of each pair comes first.
    for (LONG slot = 0; slot < kVirtualPortSlots; ++slot) {
        const PortEntry* entry = ports.FindByArrayIndex(slot);
        if (entry != nullptr) {
            SetChildCount(g_ui.virtualRoot, 1);
            AppendPortItem(g_ui.virtualRoot, *entry);
        }
    }
    SetChildCount(g_ui.physicalRoot, 1);
    for (int i = 0; i < ports.Count(); ++i) {
        const PortEntry* entry = ports.At(i);
        if (entry->isPhysical != 0) {
            AppendPortItem(g_ui.physicalRoot, *entry);
        }
    }
}

bool IsTreeSelectionChange(const NMHDR* header) {
    return header != nullptr && header->hwndFrom == g_ui.treeView &&
           header->code == static_cast<UINT>(TVN_SELCHANGEDW);
}

bool IsIconButton(UINT id) {
    return id == IDC_USER_GUIDE || id == IDC_ADD_PAIR || id == IDC_DELETE_PAIR || id == IDC_TOGGLE_PORT;
}

void Command(WORD id) {
    switch (id) {
        case IDC_USER_GUIDE:
            OpenUserGuide();
            break;
        case IDC_ADD_PAIR:
            AddPair();
            break;
        case IDC_DELETE_PAIR:
            DeleteSelectedPair();
            break;
        case IDC_TOGGLE_PORT:
            ToggleSelectedPhysicalPort();
            break;
        default:
            // IDOK and IDCANCEL from Enter and Esc among them: only the close box ends the dialog.
            break;
    }
}

}  // namespace

void InitMainDialog(HWND dialog) {
    SetForegroundWindow(dialog);
    g_ui.mainDialog = dialog;
    // A second copy of the program finds this one by the title.
    SetWindowTextW(dialog, TULKCFG_TITLE);
    CenterWindow(dialog);
    CreateImageList();
    CreatePortTree(dialog);
    FillPortTree();
    EnableWindow(GetDlgItem(dialog, IDC_DELETE_PAIR), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_TOGGLE_PORT), FALSE);
}

void UpdateButtonsForSelection() {
    const PortEntry* entry = TreeItemEntry(SelectedTreeItem());
    EnableWindow(GetDlgItem(g_ui.mainDialog, IDC_DELETE_PAIR), FALSE);
    EnableWindow(GetDlgItem(g_ui.mainDialog, IDC_TOGGLE_PORT), FALSE);
    if (entry == nullptr) {
        return;
    }
    EnableWindow(GetDlgItem(g_ui.mainDialog, entry->isPhysical != 0 ? IDC_TOGGLE_PORT : IDC_DELETE_PAIR),
                 TRUE);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            InitMainDialog(dialog);
            break;
        case WM_NOTIFY:
            if (IsTreeSelectionChange(reinterpret_cast<const NMHDR*>(lParam))) {
                UpdateButtonsForSelection();
            }
            break;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item != nullptr && IsIconButton(item->CtlID)) {
                DrawButtonFace(*item);
            }
            break;
        }
        case WM_COMMAND:
            Command(LOWORD(wParam));
            break;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            break;
        default:
            // WM_DESTROY included: the tree, its images and the icons live until the process ends.
            break;
    }
    return 0;
}
