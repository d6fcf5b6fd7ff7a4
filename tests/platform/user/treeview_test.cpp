// The tree view: registration by InitCommonControlsEx, insertion and navigation, item fields, child counts
// and expansion, selection notifications, deletion of the selected item, image lists, keys and clicks.
#include "ui_test_dialogs.h"
#include "ui_test_support.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <tuple>

namespace {

using ui_test::Key;

constexpr DWORD kTreeStyle =
    WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
constexpr int kNoChildCount = -2;

struct Notification {
    UINT code;
    UINT action;
    HTREEITEM oldItem, newItem;
    LPARAM oldParam, newParam;
};

std::mutex notificationLock;
std::vector<Notification> notifications;
std::atomic<bool> vetoSelection{false};

std::vector<Notification> TakeNotifications() {
    std::lock_guard<std::mutex> guard(notificationLock);
    return std::exchange(notifications, {});
}

// The codes of the notifications, or of those among `only` when given.
std::vector<UINT> Codes(const std::vector<Notification>& seen, const std::vector<UINT>& only = {}) {
    std::vector<UINT> codes;
    for (const Notification& n : seen) {
        if (only.empty() || std::find(only.begin(), only.end(), n.code) != only.end()) {
            codes.push_back(n.code);
        }
    }
    return codes;
}

INT_PTR RecordTreeNotifications(HWND dialog, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_NOTIFY) {
        return FALSE;
    }
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom != IDC_TREE) {
        return FALSE;
    }
    Notification n{header->code, 0, nullptr, nullptr, 0, 0};
    if (header->code == TVN_SELCHANGINGW || header->code == TVN_SELCHANGEDW ||
        header->code == TVN_ITEMEXPANDINGW || header->code == TVN_ITEMEXPANDEDW ||
        header->code == TVN_DELETEITEMW) {
        const auto* info = reinterpret_cast<const NMTREEVIEWW*>(lParam);
        n = Notification{header->code,        info->action,         info->itemOld.hItem,
                         info->itemNew.hItem, info->itemOld.lParam, info->itemNew.lParam};
    }
    {
        std::lock_guard<std::mutex> guard(notificationLock);
        notifications.push_back(n);
    }
    if (header->code == TVN_SELCHANGINGW && vetoSelection) {
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);  // a dialog answers WM_NOTIFY through DWLP_MSGRESULT
        return TRUE;
    }
    return FALSE;
}

// Builds a dialog holding the tree the way a program does: the tree created at WM_INITDIALOG.
HWND MakeTreeDialog(HWND* tree) {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&init));
    ui_test::SetBehaviour(RecordTreeNotifications);
    HWND dialog = CreateDialogIndirectParamW(nullptr, ui_test::Template(IDD_TREE), nullptr,
                                             ui_test::RecordingDialogProc, 0);
    *tree = CreateWindowExW(0, WC_TREEVIEWW, u"Tree View", kTreeStyle, 0, 23, 203, 195, dialog,
                            reinterpret_cast<HMENU>(IDC_TREE), nullptr, nullptr);
    return dialog;
}

class Tree : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog_ = MakeTreeDialog(&tree_);
        ASSERT_NE(tree_, nullptr);
        TakeNotifications();
        vetoSelection = false;
    }
    void TearDown() override {
        DestroyWindow(dialog_);
        ui_test::SetBehaviour(nullptr);
    }

    HTREEITEM Insert(HTREEITEM parent, HTREEITEM after, const char16_t* text, LPARAM param = 0,
                     int children = kNoChildCount, int image = 0) {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = after;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE |
                           (children == kNoChildCount ? 0 : TVIF_CHILDREN);
        insert.item.pszText = const_cast<LPWSTR>(text);
        insert.item.lParam = param;
        insert.item.cChildren = children;
        insert.item.iImage = insert.item.iSelectedImage = image;
        return TreeView_InsertItem(tree_, &insert);
    }
    HTREEITEM Next(HTREEITEM item, UINT code) { return TreeView_GetNextItem(tree_, item, code); }
    // The fields of `mask`; the text lands in text_.
    TVITEMW Get(HTREEITEM item, UINT mask, UINT stateMask = 0) {
        TVITEMW fields{};
        fields.mask = mask;
        fields.hItem = item;
        fields.stateMask = stateMask;
        fields.pszText = text_;
        fields.cchTextMax = 64;
        fields.cChildren = 99;
        EXPECT_TRUE(TreeView_GetItem(tree_, &fields));
        return fields;
    }
    std::u16string Text(HTREEITEM item) { return Get(item, TVIF_TEXT).pszText; }
    UINT State(HTREEITEM item, UINT mask) { return Get(item, TVIF_STATE, mask).state & mask; }
    int ChildCount(HTREEITEM item) { return Get(item, TVIF_CHILDREN).cChildren; }
    std::vector<std::u16string> Children(HTREEITEM parent) {
        std::vector<std::u16string> texts;
        for (HTREEITEM item = Next(parent, TVGN_CHILD); item != nullptr; item = Next(item, TVGN_NEXT)) {
            texts.push_back(Text(item));
        }
        return texts;
    }

    HWND dialog_ = nullptr;
    HWND tree_ = nullptr;
    WCHAR text_[64] = {};
};

TEST_F(Tree, InsertionPlacesItemsAndNavigationFindsThem) {
    HTREEITEM physical = Insert(TVI_ROOT, TVI_LAST, u"Physical serial ports", 0, 1);
    HTREEITEM virtualRoot = Insert(TVI_ROOT, TVI_LAST, u"Virtual serial ports", 0, 0);
    ASSERT_NE(physical, nullptr);
    HTREEITEM com5 = Insert(virtualRoot, TVI_LAST, u"COM5:", 5);
    Insert(virtualRoot, TVI_LAST, u"COM6:", 6);
    Insert(virtualRoot, TVI_FIRST, u"KMX0:", 10);
    Insert(virtualRoot, com5, u"COM9:", 9);
    Insert(physical, TVI_SORT, u"COM2:");
    Insert(physical, TVI_SORT, u"COM1:");
    EXPECT_EQ(Children(nullptr),
              (std::vector<std::u16string>{u"Physical serial ports", u"Virtual serial ports"}));
    EXPECT_EQ(Children(virtualRoot), (std::vector<std::u16string>{u"KMX0:", u"COM5:", u"COM9:", u"COM6:"}));
    EXPECT_EQ(Children(physical), (std::vector<std::u16string>{u"COM1:", u"COM2:"}));
    EXPECT_EQ(Next(nullptr, TVGN_ROOT), physical);
    EXPECT_EQ(Next(com5, TVGN_PARENT), virtualRoot);
    EXPECT_EQ(Next(physical, TVGN_PARENT), nullptr);
    EXPECT_EQ(Next(physical, TVGN_PREVIOUS), nullptr);
    EXPECT_EQ(Next(virtualRoot, TVGN_NEXT), nullptr);
    EXPECT_EQ(TreeView_GetCount(tree_), 8u);
    EXPECT_EQ(Insert(reinterpret_cast<HTREEITEM>(0x7777), TVI_LAST, u"orphan"), nullptr) << "no such parent";
    EXPECT_EQ(Insert(physical, com5, u"misplaced"), nullptr)
        << "the item to follow is not a child of the parent";
}

TEST_F(Tree, ItemFieldsRoundTripAndTextIsCutToTheBuffer) {
    HTREEITEM item = Insert(TVI_ROOT, TVI_LAST, u"Serial Cable", 0x1234, 0, 3);
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0xFFFF);
    TVITEMW fields{};
    fields.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    fields.hItem = item;
    fields.pszText = buffer;
    fields.cchTextMax = 4;
    ASSERT_TRUE(TreeView_GetItem(tree_, &fields));
    EXPECT_EQ(std::u16string(buffer), u"Ser");
    EXPECT_EQ(buffer[4], 0xFFFF);
    EXPECT_EQ(std::tie(fields.lParam, fields.iImage, fields.iSelectedImage, fields.cChildren),
              std::make_tuple(LPARAM{0x1234}, 3, 3, 0));
    TVITEMW change{};
    change.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    change.hItem = item;
    change.pszText = const_cast<LPWSTR>(u"Unknown phisical port.");
    change.iImage = change.iSelectedImage = 4;
    ASSERT_TRUE(TreeView_SetItem(tree_, &change));
    EXPECT_EQ(Text(item), u"Unknown phisical port.");
    fields.cchTextMax = 8;
    ASSERT_TRUE(TreeView_GetItem(tree_, &fields));
    EXPECT_EQ(fields.lParam, 0x1234) << "fields outside the mask stay";
    EXPECT_EQ(fields.iImage, 4);
}

TEST_F(Tree, StaleAndMadeUpItemsAreRefused) {
    HTREEITEM item = Insert(TVI_ROOT, TVI_LAST, u"gone");
    ASSERT_TRUE(TreeView_DeleteItem(tree_, item));
    for (HTREEITEM bad : {item, reinterpret_cast<HTREEITEM>(1), reinterpret_cast<HTREEITEM>(0xdeadbeef)}) {
        TVITEMW fields{};
        fields.mask = TVIF_PARAM;
        fields.hItem = bad;
        EXPECT_FALSE(TreeView_GetItem(tree_, &fields));
        EXPECT_FALSE(TreeView_SetItem(tree_, &fields));
        EXPECT_FALSE(TreeView_DeleteItem(tree_, bad));
        EXPECT_FALSE(TreeView_Expand(tree_, bad, TVE_EXPAND));
        EXPECT_FALSE(TreeView_SelectItem(tree_, bad));
        EXPECT_EQ(Next(bad, TVGN_NEXT), nullptr);
    }
    EXPECT_FALSE(SendMessageW(tree_, TVM_GETITEMW, 0, 0));
    EXPECT_EQ(SendMessageW(tree_, TVM_INSERTITEMW, 0, 0), 0);
}

TEST_F(Tree, ChildCountsDecideTheButtonAndExpansionNotifiesOnlyTheFirstTime) {
    HTREEITEM empty = Insert(TVI_ROOT, TVI_LAST, u"Physical serial ports", 0, 1);
    HTREEITEM none = Insert(TVI_ROOT, TVI_LAST, u"Virtual serial ports", 0, 0);
    HTREEITEM implicit = Insert(TVI_ROOT, TVI_LAST, u"implicit");
    Insert(implicit, TVI_LAST, u"child");
    EXPECT_EQ(ChildCount(empty), 1) << "an explicit count stands without children";
    EXPECT_EQ(ChildCount(implicit), 1) << "without one, the children count";
    Insert(none, TVI_LAST, u"COM5:");
    EXPECT_EQ(ChildCount(none), 0) << "an explicit 0 stays until changed";
    EXPECT_FALSE(TreeView_Expand(tree_, none, TVE_EXPAND)) << "no button: nothing to expand";

    TakeNotifications();
    EXPECT_TRUE(TreeView_Expand(tree_, implicit, TVE_EXPAND));
    EXPECT_EQ(Codes(TakeNotifications()), (std::vector<UINT>{TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW}));
    EXPECT_TRUE(TreeView_Expand(tree_, implicit, TVE_EXPAND)) << "expanding an expanded item succeeds";
    EXPECT_TRUE(TreeView_Expand(tree_, implicit, TVE_COLLAPSE));
    EXPECT_FALSE(TreeView_Expand(tree_, implicit, TVE_COLLAPSE)) << "collapsing a collapsed item fails";
    EXPECT_TRUE(TreeView_Expand(tree_, implicit, TVE_TOGGLE));
    EXPECT_TRUE(TakeNotifications().empty()) << "after the first expansion TVM_EXPAND notifies no more";
    EXPECT_EQ(State(implicit, TVIS_EXPANDED | TVIS_EXPANDEDONCE),
              static_cast<UINT>(TVIS_EXPANDED | TVIS_EXPANDEDONCE));
}

TEST_F(Tree, SelectionNotifiesChangingThenChangedWithBothItems) {
    HTREEITEM a = Insert(TVI_ROOT, TVI_LAST, u"a", 100);
    HTREEITEM b = Insert(TVI_ROOT, TVI_LAST, u"b", 200);
    ASSERT_TRUE(TreeView_SelectItem(tree_, a));
    TakeNotifications();
    ASSERT_TRUE(TreeView_SelectItem(tree_, b));
    const auto seen = TakeNotifications();
    ASSERT_EQ(Codes(seen), (std::vector<UINT>{TVN_SELCHANGINGW, TVN_SELCHANGEDW}));
    for (const Notification& n : seen) {
        EXPECT_EQ(std::tie(n.action, n.oldItem, n.oldParam, n.newItem, n.newParam),
                  std::make_tuple(UINT{TVC_UNKNOWN}, a, LPARAM{100}, b, LPARAM{200}));
    }
    EXPECT_EQ(TreeView_GetSelection(tree_), b);
    EXPECT_TRUE(TreeView_SelectItem(tree_, b));
    EXPECT_TRUE(TakeNotifications().empty()) << "selecting the selected item says nothing";
    vetoSelection = true;
    EXPECT_FALSE(TreeView_SelectItem(tree_, a)) << "TVN_SELCHANGINGW answering TRUE prevents the change";
    EXPECT_EQ(TreeView_GetSelection(tree_), b);
    vetoSelection = false;
    EXPECT_EQ(State(b, TVIS_SELECTED), static_cast<UINT>(TVIS_SELECTED));
    HTREEITEM hidden = Insert(a, TVI_LAST, u"hidden");
    ASSERT_TRUE(TreeView_SelectItem(tree_, hidden));
    EXPECT_EQ(Next(a, TVGN_NEXTVISIBLE), hidden) << "selecting a hidden item expands its parents";
}

struct DeleteCase {
    const char* name;
    int deleted;   // index into the items below
    int selected;  // selected before
    int expected;  // selected after, -1 for none
};

class TreeDeletion : public Tree, public ::testing::WithParamInterface<DeleteCase> {};

// Items: 0 "one" (top), 1 "two" (top) with children 2 "x" and 3 "y", 4 "three" (top).
TEST_P(TreeDeletion, MovesTheSelectionAsWin32Does) {
    const DeleteCase& c = GetParam();
    HTREEITEM items[5];
    items[0] = Insert(TVI_ROOT, TVI_LAST, u"one", 0);
    items[1] = Insert(TVI_ROOT, TVI_LAST, u"two", 1);
    items[2] = Insert(items[1], TVI_LAST, u"x", 2);
    items[3] = Insert(items[1], TVI_LAST, u"y", 3);
    items[4] = Insert(TVI_ROOT, TVI_LAST, u"three", 4);
    ASSERT_TRUE(TreeView_SelectItem(tree_, items[c.selected]));
    TakeNotifications();
    ASSERT_TRUE(TreeView_DeleteItem(tree_, items[c.deleted]));
    EXPECT_EQ(TreeView_GetSelection(tree_), c.expected < 0 ? nullptr : items[c.expected]);
    const auto seen = TakeNotifications();
    if (c.expected >= 0 && c.expected != c.selected) {
        ASSERT_GE(seen.size(), 2u);
        const Notification& last = seen.back();
        EXPECT_EQ(std::tie(last.code, last.oldItem, last.newItem),
                  std::make_tuple(UINT{TVN_SELCHANGEDW}, HTREEITEM{}, items[c.expected]))
            << "the old selection is gone";
    }
}

INSTANTIATE_TEST_SUITE_P(Selection, TreeDeletion,
                         ::testing::Values(DeleteCase{"ToTheNextSibling", 0, 0, 1},
                                           DeleteCase{"ToTheParentAfterTheLastChild", 3, 3, 1},
                                           DeleteCase{"ToThePreviousTopLevelItem", 4, 4, 1},
                                           DeleteCase{"OfAnAncestor", 1, 2, 4},
                                           DeleteCase{"NotWhenAnotherItemGoes", 4, 0, 0}),
                         [](const ::testing::TestParamInfo<DeleteCase>& info) { return info.param.name; });

TEST_F(Tree, DeletionNotifiesEveryItemChildrenFirst) {
    HTREEITEM parent = Insert(TVI_ROOT, TVI_LAST, u"parent", 1);
    Insert(parent, TVI_LAST, u"first", 2);
    Insert(parent, TVI_LAST, u"second", 3);
    TakeNotifications();
    ASSERT_TRUE(TreeView_DeleteItem(tree_, parent));
    std::vector<LPARAM> params;
    for (const Notification& n : TakeNotifications()) {
        EXPECT_EQ(n.code, static_cast<UINT>(TVN_DELETEITEMW));
        params.push_back(n.oldParam);
    }
    EXPECT_EQ(params, (std::vector<LPARAM>{2, 3, 1}));
    EXPECT_EQ(TreeView_GetCount(tree_), 0u);
}

TEST_F(Tree, ImageListsHoldCopiesAndThePaintDrawsTheirIcons) {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 5, 0);
    ASSERT_NE(list, nullptr);
    HICON question = LoadIconW(nullptr, IDI_QUESTION);
    HICON warning = LoadIconW(nullptr, IDI_WARNING);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(ImageList_ReplaceIcon(list, -1, question), 0);
    EXPECT_EQ(ImageList_ReplaceIcon(list, -1, warning), 1);
    EXPECT_EQ(ImageList_AddIcon(list, question), 2);
    EXPECT_EQ(ImageList_ReplaceIcon(list, 2, warning), 2) << "an index in range replaces";
    EXPECT_EQ(ImageList_ReplaceIcon(list, 7, warning), -1);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(ImageList_ReplaceIcon(list, -1, reinterpret_cast<HICON>(0x4444)), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
    EXPECT_EQ(ImageList_GetImageCount(list), 3);
    HICON copy = ImageList_GetIcon(list, 1, 0);
    EXPECT_NE(copy, nullptr);
    EXPECT_NE(copy, warning) << "a new icon for the caller";

    EXPECT_EQ(TreeView_SetImageList(tree_, list, TVSIL_NORMAL), nullptr);
    EXPECT_EQ(TreeView_GetImageList(tree_, TVSIL_NORMAL), list);
    HTREEITEM root = Insert(TVI_ROOT, TVI_LAST, u"root", 0, 1, 0);
    Insert(TVI_ROOT, TVI_LAST, u"second", 0, 0, 1);
    ShowWindow(dialog_, SW_SHOW);
    UpdateWindow(tree_);
    CE_UI_DRAWN_ICON icons[4];
    ASSERT_EQ(CeUiGetDrawnIcons(tree_, icons, 4), 2u);
    RECT itemRect;
    std::memcpy(&itemRect, &root, sizeof root);  // TVM_GETITEMRECT takes the item in the rectangle
    ASSERT_TRUE(SendMessageW(tree_, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&itemRect)));
    EXPECT_EQ(std::tie(icons[0].x, icons[0].y, icons[0].width, icons[1].y),
              std::make_tuple(static_cast<int>(itemRect.left), 0, 16, 14))
        << "the image starts the item, the next one row further down";
    EXPECT_NE(icons[0].icon, icons[1].icon);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
}

// Keys and clicks on a tree in a dialog run by a UI thread.
class TreeInput : public Tree {
  protected:
    void SetUp() override {
        TakeNotifications();
        running_ = std::make_unique<ui_test::DialogOnUiThread>([this] {
            HWND tree;
            HWND dialog = MakeTreeDialog(&tree);
            tree_ = tree;
            parent_ = Insert(TVI_ROOT, TVI_LAST, u"parent", 0);
            child_ = Insert(parent_, TVI_LAST, u"child", 1);
            last_ = Insert(TVI_ROOT, TVI_LAST, u"last", 2);
            ShowWindow(dialog, SW_SHOW);
            SetFocus(tree);
            return dialog;
        });
        dialog_ = running_->dialog();
        TakeNotifications();
    }
    void TearDown() override {
        running_.reset();
        ui_test::SetBehaviour(nullptr);
    }
    POINT ScreenPointOf(HTREEITEM item, bool button) {
        RECT rect;
        std::memcpy(&rect, &item, sizeof item);
        SendMessageW(tree_, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect));
        POINT point{button ? rect.left - 7 : rect.left + 3, rect.top + 5};
        ClientToScreen(tree_, &point);
        return point;
    }

    // The selection notifications among `seen`, each of which must name `action`.
    static std::vector<UINT> SelectionCodes(const std::vector<Notification>& seen, UINT action) {
        for (const Notification& n : seen) {
            if (n.code == TVN_SELCHANGINGW || n.code == TVN_SELCHANGEDW) {
                EXPECT_EQ(n.action, action);
            }
        }
        return Codes(seen, {TVN_SELCHANGINGW, TVN_SELCHANGEDW});
    }

    std::unique_ptr<ui_test::DialogOnUiThread> running_;
    HTREEITEM parent_ = nullptr, child_ = nullptr, last_ = nullptr;
};

TEST_F(TreeInput, ArrowsMoveTheSelectionAndRightAndLeftExpandAndCollapse) {
    Key(VK_DOWN);
    EXPECT_EQ(TreeView_GetSelection(tree_), parent_) << "the first key selects the first item";
    Key(VK_DOWN);
    EXPECT_EQ(TreeView_GetSelection(tree_), last_) << "the collapsed child is skipped";
    Key(VK_UP);
    Key(VK_RIGHT);
    EXPECT_EQ(Next(parent_, TVGN_NEXTVISIBLE), child_) << "Right expands";
    Key(VK_RIGHT);
    EXPECT_EQ(TreeView_GetSelection(tree_), child_) << "then goes to the first child";
    Key(VK_LEFT);
    EXPECT_EQ(TreeView_GetSelection(tree_), parent_) << "Left goes to the parent";
    Key(VK_SUBTRACT);
    EXPECT_EQ(Next(parent_, TVGN_NEXTVISIBLE), last_) << "minus collapses";
    Key(VK_ADD);
    EXPECT_EQ(Next(parent_, TVGN_NEXTVISIBLE), child_) << "plus expands";
    EXPECT_FALSE(SelectionCodes(TakeNotifications(), TVC_BYKEYBOARD).empty());
}

TEST_F(TreeInput, ClicksSelectItemsAndToggleTheirButtons) {
    ui_test::ClickAt(ScreenPointOf(last_, false));
    EXPECT_EQ(TreeView_GetSelection(tree_), last_);
    EXPECT_EQ(SelectionCodes(TakeNotifications(), TVC_BYMOUSE),
              (std::vector<UINT>{TVN_SELCHANGINGW, TVN_SELCHANGEDW}));
    ui_test::ClickAt(ScreenPointOf(parent_, true));
    EXPECT_EQ(Next(parent_, TVGN_NEXTVISIBLE), child_);
    EXPECT_EQ(TreeView_GetSelection(tree_), last_) << "a button click does not select";
    EXPECT_EQ(Codes(TakeNotifications(), {TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW}),
              (std::vector<UINT>{TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW}));
}

}  // namespace
