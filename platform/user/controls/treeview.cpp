// The tree view "SysTreeView32", registered by InitCommonControlsEx: items with text, images, item data and
// child counts, expansion, the caret selection with its notifications, keyboard and mouse.
//
// Item handles are numbers that are never reused, so a deleted or made-up HTREEITEM finds nothing.
#include "kernel/wide_string.h"
#include "user/controls/control_views.h"
#include "user/windows/geometry.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>

namespace ce::ui {
namespace {

constexpr int kIndentPx = 2 * kCellWidthPx;     // one level, and the width of an expand button
constexpr int kImageSlotPx = 2 * kCellWidthPx;  // an image: one or two characters of a terminal
constexpr uintptr_t kFirstItemHandle = 0x1000;  // clear of small integers a caller might pass by mistake

struct Item {
    uintptr_t handle = 0;
    std::u16string text;
    int image = 0;
    int selectedImage = 0;
    UINT state = 0;
    LPARAM param = 0;
    int children = 0;          // cChildren as set
    bool childrenSet = false;  // TVIF_CHILDREN was given: it alone decides the button
    Item* parent = nullptr;
    std::vector<std::unique_ptr<Item>> kids;
};

class TreeState : public ControlState {
  public:
    Item root;
    std::map<uintptr_t, Item*> items;  // every item but the root
    uintptr_t nextHandle = kFirstItemHandle;
    Item* selected = nullptr;
    int firstVisible = 0;  // index of the top row among the visible items
    HIMAGELIST normalImages = nullptr;
    HIMAGELIST stateImages = nullptr;
    bool focused = false;
};

HTREEITEM HandleOf(const Item* item) {
    return item == nullptr ? nullptr : reinterpret_cast<HTREEITEM>(item->handle);
}

Item* Find(TreeState& tree, HTREEITEM handle) {
    auto found = tree.items.find(reinterpret_cast<uintptr_t>(handle));
    return found == tree.items.end() ? nullptr : found->second;
}

bool Expanded(const Item& item) {
    return (item.state & TVIS_EXPANDED) != 0;
}

bool HasChildren(const Item& item) {
    return item.childrenSet ? item.children != 0 : !item.kids.empty();
}

int Depth(const Item& item) {
    int depth = 0;
    for (const Item* parent = item.parent; parent != nullptr && parent->parent != nullptr;
         parent = parent->parent) {
        ++depth;
    }
    return depth;
}

// Items shown when scrolled to the top: the top level and the children of expanded items, in order.
void CollectVisible(const Item& parent, std::vector<Item*>& out) {
    for (const auto& kid : parent.kids) {
        out.push_back(kid.get());
        if (Expanded(*kid)) {
            CollectVisible(*kid, out);
        }
    }
}

std::vector<Item*> VisibleItems(TreeState& tree) {
    std::vector<Item*> visible;
    CollectVisible(tree.root, visible);
    return visible;
}

int IndexOf(const std::vector<Item*>& items, const Item* item) {
    auto found = std::find(items.begin(), items.end(), item);
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

// The sibling `delta` places away, or nullptr.
Item* Sibling(const Item& item, int delta) {
    const auto& siblings = item.parent->kids;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == &item) {
            const long next = static_cast<long>(i) + delta;
            return next >= 0 && next < static_cast<long>(siblings.size())
                       ? siblings[static_cast<size_t>(next)].get()
                       : nullptr;
        }
    }
    return nullptr;
}

bool IsAncestor(const Item* ancestor, const Item* item) {
    for (const Item* current = item; current != nullptr; current = current->parent) {
        if (current == ancestor) {
            return true;
        }
    }
    return false;
}

TVITEMW Describe(const Item* item) {
    TVITEMW described{};
    if (item != nullptr) {
        described.mask = TVIF_HANDLE | TVIF_PARAM | TVIF_STATE;
        described.hItem = HandleOf(item);
        described.state = item->state;
        described.lParam = item->param;
    }
    return described;
}

struct RowGeometry {
    RECT button, image, text;
};

RowGeometry Geometry(const TreeState& tree, DWORD style, const Item& item, int row) {
    const int depth = Depth(item);
    const bool rootButtons = (style & TVS_LINESATROOT) != 0;
    const int left = (depth + (rootButtons ? 1 : 0)) * kIndentPx;
    const int top = row * kRowHeightPx;
    RowGeometry geometry;
    geometry.button = RECT{left - kIndentPx, top, left, top + kRowHeightPx};
    const int imageWidth = tree.normalImages != nullptr ? kImageSlotPx : 0;
    geometry.image = RECT{left, top, left + imageWidth, top + kRowHeightPx};
    geometry.text =
        RECT{left + imageWidth, top, left + imageWidth + static_cast<int>(item.text.size()) * kCellWidthPx,
             top + kRowHeightPx};
    return geometry;
}

class Tree {
  public:
    Tree(const WindowPtr& window, TreeState* state) : window_(window), hwnd_(window->handle), state_(state) {}

    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    LRESULT Notify(UINT code, UINT action, const Item* oldItem, const Item* newItem) {
        NMTREEVIEWW info{};
        info.hdr = NMHDR{hwnd_, static_cast<UINT_PTR>(LOWORD(window_->id)), code};
        info.action = action;
        {
            UiLock lock(UiMutex());
            info.itemOld = Describe(oldItem);
            info.itemNew = Describe(newItem);
        }
        return NotifyParent(hwnd_, WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
    }
    void NotifySimple(UINT code) {
        NMHDR header{hwnd_, static_cast<UINT_PTR>(LOWORD(window_->id)), code};
        NotifyParent(hwnd_, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    }
    void Changed() { Invalidate(window_); }
    int VisibleRowCount() {
        UiLock lock(UiMutex());
        return std::max(1, Height(ClientRectLocal(*window_)) / kRowHeightPx);
    }

    LRESULT Insert(const TVINSERTSTRUCTW* insert);
    void ApplyFields(Item& item, const TVITEMW& fields);
    BOOL Delete(HTREEITEM handle);
    void RemoveItem(Item* item);
    BOOL Expand(Item* item, UINT code, bool byUser);
    BOOL Select(Item* item, UINT action);
    void EnsureVisible(Item* item);
    LRESULT GetNext(UINT code, HTREEITEM handle);
    BOOL GetItem(TVITEMW* fields);
    BOOL SetItem(const TVITEMW* fields);
    void KeyDown(UINT vk);
    void Click(LPARAM lParam);
    Item* HitTest(int x, int y, UINT* flags);
    void Paint();

    WindowPtr window_;
    HWND hwnd_;
    TreeState* state_;
};

void Tree::ApplyFields(Item& item, const TVITEMW& fields) {
    if ((fields.mask & TVIF_TEXT) != 0) {
        item.text = fields.pszText != nullptr && fields.pszText != LPSTR_TEXTCALLBACKW ? fields.pszText : u"";
    }
    if ((fields.mask & TVIF_IMAGE) != 0) {
        item.image = fields.iImage;
    }
    if ((fields.mask & TVIF_SELECTEDIMAGE) != 0) {
        item.selectedImage = fields.iSelectedImage;
    }
    if ((fields.mask & TVIF_PARAM) != 0) {
        item.param = fields.lParam;
    }
    if ((fields.mask & TVIF_CHILDREN) != 0) {
        item.children = fields.cChildren == I_CHILDRENCALLBACK ? 1 : fields.cChildren;
        item.childrenSet = true;
    }
    if ((fields.mask & TVIF_STATE) != 0) {
        // The selection belongs to TVM_SELECTITEM; the other bits are the caller's.
        const UINT mask = fields.stateMask & ~static_cast<UINT>(TVIS_SELECTED);
        item.state = (item.state & ~mask) | (fields.state & mask);
    }
}

LRESULT Tree::Insert(const TVINSERTSTRUCTW* insert) {
    if (insert == nullptr) {
        return 0;
    }
    {
        UiLock lock(UiMutex());
        Item* parent = insert->hParent == nullptr || insert->hParent == TVI_ROOT
                           ? &state_->root
                           : Find(*state_, insert->hParent);
        if (parent == nullptr) {
            return 0;
        }
        auto& kids = parent->kids;
        size_t position;
        HTREEITEM after = insert->hInsertAfter;
        if (after == TVI_FIRST || after == TVI_ROOT) {
            position = 0;
        } else if (after == TVI_LAST || after == nullptr) {
            position = kids.size();
        } else if (after == TVI_SORT) {
            const std::u16string text = (insert->item.mask & TVIF_TEXT) != 0 &&
                                                insert->item.pszText != nullptr &&
                                                insert->item.pszText != LPSTR_TEXTCALLBACKW
                                            ? std::u16string(insert->item.pszText)
                                            : std::u16string();
            position = 0;
            while (position < kids.size() && CompareIgnoreCase(kids[position]->text, text) <= 0) {
                ++position;
            }
        } else {
            Item* sibling = Find(*state_, after);
            if (sibling == nullptr || sibling->parent != parent) {
                return 0;
            }
            position = static_cast<size_t>(std::find_if(kids.begin(), kids.end(),
                                                        [&](const auto& k) { return k.get() == sibling; }) -
                                           kids.begin()) +
                       1;
        }
        try {
            auto item = std::make_unique<Item>();
            item->handle = state_->nextHandle++;
            item->parent = parent;
            ApplyFields(*item, insert->item);
            Item* raw = item.get();
            state_->items[raw->handle] = raw;
            kids.insert(kids.begin() + static_cast<long>(position), std::move(item));
            Changed();
            return reinterpret_cast<LRESULT>(HandleOf(raw));
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
}

// Children first, each with TVN_DELETEITEMW, then the item itself leaves its parent.
void Tree::RemoveItem(Item* item) {
    std::vector<Item*> kids;
    {
        UiLock lock(UiMutex());
        for (const auto& kid : item->kids) {
            kids.push_back(kid.get());
        }
    }
    for (Item* kid : kids) {
        RemoveItem(kid);
    }
    Notify(TVN_DELETEITEMW, TVC_UNKNOWN, item, nullptr);
    UiLock lock(UiMutex());
    if (state_->selected == item) {
        state_->selected = nullptr;
    }
    state_->items.erase(item->handle);
    auto& siblings = item->parent->kids;
    siblings.erase(
        std::find_if(siblings.begin(), siblings.end(), [&](const auto& k) { return k.get() == item; }));
}

BOOL Tree::Delete(HTREEITEM handle) {
    Item* item;
    Item* nextSelection = nullptr;
    {
        UiLock lock(UiMutex());
        if (handle == nullptr || handle == TVI_ROOT) {
            item = nullptr;
        } else {
            item = Find(*state_, handle);
            if (item == nullptr) {
                return FALSE;
            }
            // As Win32: the next sibling, else the parent, else the previous sibling takes the selection.
            if (state_->selected != nullptr && IsAncestor(item, state_->selected)) {
                nextSelection = Sibling(*item, 1);
                if (nextSelection == nullptr && item->parent != &state_->root) {
                    nextSelection = item->parent;
                }
                if (nextSelection == nullptr) {
                    nextSelection = Sibling(*item, -1);
                }
            }
        }
    }
    if (item == nullptr) {
        std::vector<Item*> tops;
        {
            UiLock lock(UiMutex());
            for (const auto& kid : state_->root.kids) {
                tops.push_back(kid.get());
            }
        }
        for (Item* top : tops) {
            RemoveItem(top);
        }
        UiLock lock(UiMutex());
        state_->firstVisible = 0;
    } else {
        RemoveItem(item);
    }
    if (nextSelection != nullptr) {
        Select(nextSelection, TVC_UNKNOWN);
    }
    {
        UiLock lock(UiMutex());
        const int count = static_cast<int>(VisibleItems(*state_).size());
        state_->firstVisible = std::clamp(state_->firstVisible, 0, std::max(count - 1, 0));
    }
    Changed();
    return TRUE;
}

// Expansion asked by a message notifies only on an item's first expansion; the user's always notifies.
BOOL Tree::Expand(Item* item, UINT code, bool byUser) {
    bool expanded, once;
    {
        UiLock lock(UiMutex());
        if (!HasChildren(*item)) {
            return FALSE;
        }
        expanded = Expanded(*item);
        once = (item->state & TVIS_EXPANDEDONCE) != 0;
    }
    UINT action = code & TVE_TOGGLE;
    if (action == TVE_TOGGLE) {
        action = expanded ? TVE_COLLAPSE : TVE_EXPAND;
    }
    if (action == TVE_EXPAND && expanded) {
        return TRUE;
    }
    if (action == TVE_COLLAPSE && !expanded) {
        return FALSE;
    }
    if (action != TVE_EXPAND && action != TVE_COLLAPSE) {
        return FALSE;
    }
    const bool notify = byUser || !once;
    if (notify && Notify(TVN_ITEMEXPANDINGW, action, nullptr, item) != 0) {
        return FALSE;
    }
    bool selectionInside = false;
    {
        UiLock lock(UiMutex());
        if (state_->items.count(item->handle) == 0) {
            return FALSE;
        }
        if (action == TVE_EXPAND) {
            item->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
        } else {
            item->state &= ~static_cast<UINT>(TVIS_EXPANDED);
            selectionInside =
                state_->selected != nullptr && state_->selected != item && IsAncestor(item, state_->selected);
        }
    }
    if (notify) {
        Notify(TVN_ITEMEXPANDEDW, action, nullptr, item);
    }
    if (selectionInside) {
        Select(item, TVC_UNKNOWN);  // a collapse hides the selection: the collapsed item takes it
    }
    Changed();
    return TRUE;
}

void Tree::EnsureVisible(Item* item) {
    std::vector<Item*> ancestors;
    {
        UiLock lock(UiMutex());
        for (Item* parent = item->parent; parent != nullptr && parent != &state_->root;
             parent = parent->parent) {
            if (!Expanded(*parent)) {
                ancestors.push_back(parent);
            }
        }
    }
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
        Expand(*it, TVE_EXPAND, false);
    }
    const int rows = VisibleRowCount();
    UiLock lock(UiMutex());
    const int index = IndexOf(VisibleItems(*state_), item);
    if (index >= 0 && index < state_->firstVisible) {
        state_->firstVisible = index;
    } else if (index >= state_->firstVisible + rows) {
        state_->firstVisible = index - rows + 1;
    }
}

BOOL Tree::Select(Item* item, UINT action) {
    Item* previous;
    {
        UiLock lock(UiMutex());
        previous = state_->selected;
        if (previous == item) {
            return TRUE;
        }
    }
    if (Notify(TVN_SELCHANGINGW, action, previous, item) != 0) {
        return FALSE;
    }
    {
        UiLock lock(UiMutex());
        if (item != nullptr && state_->items.count(item->handle) == 0) {
            return FALSE;  // deleted by the notification's handler
        }
        if (state_->selected != nullptr) {
            state_->selected->state &= ~static_cast<UINT>(TVIS_SELECTED);
        }
        state_->selected = item;
        if (item != nullptr) {
            item->state |= TVIS_SELECTED;
        }
    }
    if (item != nullptr) {
        EnsureVisible(item);
    }
    {
        UiLock lock(UiMutex());
        if (previous != nullptr && state_->items.count(previous->handle) == 0) {
            previous = nullptr;
        }
    }
    Notify(TVN_SELCHANGEDW, action, previous, item);
    Changed();
    return TRUE;
}

LRESULT Tree::GetNext(UINT code, HTREEITEM handle) {
    UiLock lock(UiMutex());
    Item* item = handle != nullptr && handle != TVI_ROOT ? Find(*state_, handle) : nullptr;
    Item* found = nullptr;
    switch (code) {
        case TVGN_ROOT:
            found = state_->root.kids.empty() ? nullptr : state_->root.kids.front().get();
            break;
        case TVGN_CARET:
            found = state_->selected;
            break;
        case TVGN_CHILD: {
            const Item* parent = handle == nullptr || handle == TVI_ROOT ? &state_->root : item;
            found = parent != nullptr && !parent->kids.empty() ? parent->kids.front().get() : nullptr;
            break;
        }
        case TVGN_NEXT:
        case TVGN_PREVIOUS:
            if (item != nullptr) {
                found = Sibling(*item, code == TVGN_NEXT ? 1 : -1);
            }
            break;
        case TVGN_PARENT:
            found = item != nullptr && item->parent != &state_->root ? item->parent : nullptr;
            break;
        case TVGN_FIRSTVISIBLE:
        case TVGN_LASTVISIBLE:
        case TVGN_NEXTVISIBLE:
        case TVGN_PREVIOUSVISIBLE: {
            const std::vector<Item*> visible = VisibleItems(*state_);
            if (code == TVGN_FIRSTVISIBLE) {
                found = state_->firstVisible < static_cast<int>(visible.size())
                            ? visible[state_->firstVisible]
                            : nullptr;
            } else if (code == TVGN_LASTVISIBLE) {
                found = visible.empty() ? nullptr : visible.back();
            } else if (item != nullptr) {
                const int index = IndexOf(visible, item) + (code == TVGN_NEXTVISIBLE ? 1 : -1);
                const bool shown = IndexOf(visible, item) >= 0;
                found = shown && index >= 0 && index < static_cast<int>(visible.size()) ? visible[index]
                                                                                        : nullptr;
            }
            break;
        }
        default:
            break;
    }
    return reinterpret_cast<LRESULT>(HandleOf(found));
}

BOOL Tree::GetItem(TVITEMW* fields) {
    if (fields == nullptr) {
        return FALSE;
    }
    UiLock lock(UiMutex());
    Item* item = Find(*state_, fields->hItem);
    if (item == nullptr) {
        return FALSE;
    }
    if ((fields->mask & TVIF_TEXT) != 0 && fields->pszText != nullptr && fields->cchTextMax > 0) {
        const size_t count = std::min(item->text.size(), static_cast<size_t>(fields->cchTextMax - 1));
        item->text.copy(fields->pszText, count);
        fields->pszText[count] = 0;
    }
    if ((fields->mask & TVIF_IMAGE) != 0) {
        fields->iImage = item->image;
    }
    if ((fields->mask & TVIF_SELECTEDIMAGE) != 0) {
        fields->iSelectedImage = item->selectedImage;
    }
    if ((fields->mask & TVIF_PARAM) != 0) {
        fields->lParam = item->param;
    }
    if ((fields->mask & TVIF_CHILDREN) != 0) {
        fields->cChildren = item->childrenSet ? item->children : (item->kids.empty() ? 0 : 1);
    }
    if ((fields->mask & TVIF_STATE) != 0) {
        fields->state = item->state & fields->stateMask;
    }
    return TRUE;
}

BOOL Tree::SetItem(const TVITEMW* fields) {
    if (fields == nullptr) {
        return FALSE;
    }
    {
        UiLock lock(UiMutex());
        Item* item = Find(*state_, fields->hItem);
        if (item == nullptr) {
            return FALSE;
        }
        try {
            ApplyFields(*item, *fields);
        } catch (const std::bad_alloc&) {
            return FALSE;
        }
    }
    Changed();
    return TRUE;
}

void Tree::KeyDown(UINT vk) {
    NMTVKEYDOWN key{};
    key.hdr = NMHDR{hwnd_, static_cast<UINT_PTR>(LOWORD(window_->id)), static_cast<UINT>(TVN_KEYDOWN)};
    key.wVKey = static_cast<WORD>(vk);
    NotifyParent(hwnd_, WM_NOTIFY, key.hdr.idFrom, reinterpret_cast<LPARAM>(&key));
    Item* target = nullptr;
    Item* selected;
    bool expanded = false, hasChildren = false;
    {
        UiLock lock(UiMutex());
        selected = state_->selected;
        const std::vector<Item*> visible = VisibleItems(*state_);
        if (visible.empty()) {
            return;
        }
        const int index = IndexOf(visible, selected);
        if (selected == nullptr || index < 0) {
            target = visible.front();
        } else {
            expanded = Expanded(*selected);
            hasChildren = HasChildren(*selected);
            switch (vk) {
                case VK_UP:
                    target = visible[static_cast<size_t>(std::max(index - 1, 0))];
                    break;
                case VK_DOWN:
                    target = visible[static_cast<size_t>(
                        std::min(index + 1, static_cast<int>(visible.size()) - 1))];
                    break;
                case VK_HOME:
                    target = visible.front();
                    break;
                case VK_END:
                    target = visible.back();
                    break;
                case VK_LEFT:
                    if (!expanded) {
                        target = selected->parent != &state_->root ? selected->parent : selected;
                    }
                    break;
                case VK_RIGHT:
                    if (expanded && !selected->kids.empty()) {
                        target = selected->kids.front().get();
                    }
                    break;
                default:
                    break;
            }
        }
    }
    if (selected != nullptr && target == nullptr) {
        if ((vk == VK_LEFT || vk == VK_SUBTRACT) && expanded) {
            Expand(selected, TVE_COLLAPSE, true);
        } else if ((vk == VK_RIGHT || vk == VK_ADD) && !expanded && hasChildren) {
            Expand(selected, TVE_EXPAND, true);
        }
        return;
    }
    if (target != nullptr && (vk == VK_UP || vk == VK_DOWN || vk == VK_HOME || vk == VK_END ||
                              vk == VK_LEFT || vk == VK_RIGHT || selected == nullptr)) {
        Select(target, TVC_BYKEYBOARD);
    }
}

Item* Tree::HitTest(int x, int y, UINT* flags) {
    UiLock lock(UiMutex());
    const RECT client = ClientRectLocal(*window_);
    *flags = TVHT_NOWHERE;
    if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) {
        return nullptr;
    }
    const std::vector<Item*> visible = VisibleItems(*state_);
    const int row = y / kRowHeightPx;
    const int index = state_->firstVisible + row;
    if (index >= static_cast<int>(visible.size())) {
        return nullptr;
    }
    Item* item = visible[static_cast<size_t>(index)];
    const RowGeometry geometry = Geometry(*state_, window_->style, *item, row);
    if (Contains(geometry.button, x, y) && (window_->style & TVS_HASBUTTONS) != 0 && HasChildren(*item)) {
        *flags = TVHT_ONITEMBUTTON;
    } else if (Contains(geometry.image, x, y)) {
        *flags = TVHT_ONITEMICON;
    } else if (Contains(geometry.text, x, y)) {
        *flags = TVHT_ONITEMLABEL;
    } else {
        *flags = x < geometry.image.left ? TVHT_ONITEMINDENT : TVHT_ONITEMRIGHT;
    }
    return item;
}

void Tree::Click(LPARAM lParam) {
    SetFocus(hwnd_);
    UINT flags;
    Item* item = HitTest(static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam)), &flags);
    NotifySimple(NM_CLICK);
    if (item == nullptr) {
        return;
    }
    if (flags == TVHT_ONITEMBUTTON) {
        Expand(item, TVE_TOGGLE, true);
    } else if ((flags & (TVHT_ONITEM | TVHT_ONITEMRIGHT)) != 0) {
        Select(item, TVC_BYMOUSE);
    }
}

void Tree::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    if (dc == nullptr) {
        return;
    }
    TreeView view;
    GetTreeView(hwnd_, &view);
    RECT client;
    int iconWidth = 16, iconHeight = 16;
    {
        UiLock lock(UiMutex());
        client = ClientRectLocal(*window_);
        ImageListSize(state_->normalImages, &iconWidth, &iconHeight);
    }
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    for (const TreeRowView& row : view.rows) {
        if (row.icon != nullptr) {
            DrawIconEx(dc, row.imageRect.left, row.imageRect.top, row.icon, iconWidth, iconHeight, 0, nullptr,
                       DI_NORMAL);
        }
        RECT text = row.textRect;
        DrawTextW(dc, row.text.c_str(), -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    }
    EndPaint(hwnd_, &paint);
}

LRESULT Tree::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_NCCREATE:
            return TRUE;
        case TVM_INSERTITEMW:
            return Insert(reinterpret_cast<const TVINSERTSTRUCTW*>(lParam));
        case TVM_DELETEITEM:
            return Delete(reinterpret_cast<HTREEITEM>(lParam));
        case TVM_EXPAND: {
            Item* item;
            {
                UiLock lock(UiMutex());
                item = Find(*state_, reinterpret_cast<HTREEITEM>(lParam));
            }
            return item != nullptr ? Expand(item, static_cast<UINT>(wParam), false) : FALSE;
        }
        case TVM_SELECTITEM: {
            Item* item = nullptr;
            if (lParam != 0) {
                UiLock lock(UiMutex());
                item = Find(*state_, reinterpret_cast<HTREEITEM>(lParam));
                if (item == nullptr) {
                    return FALSE;
                }
            }
            if (wParam == TVGN_CARET) {
                return Select(item, TVC_UNKNOWN);
            }
            if (wParam == TVGN_FIRSTVISIBLE && item != nullptr) {
                UiLock lock(UiMutex());
                const int index = IndexOf(VisibleItems(*state_), item);
                if (index < 0) {
                    return FALSE;
                }
                state_->firstVisible = index;
                Changed();
                return TRUE;
            }
            return wParam == TVGN_DROPHILITE ? TRUE : FALSE;
        }
        case TVM_GETNEXTITEM:
            return GetNext(static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam));
        case TVM_GETITEMW:
            return GetItem(reinterpret_cast<TVITEMW*>(lParam));
        case TVM_SETITEMW:
            return SetItem(reinterpret_cast<const TVITEMW*>(lParam));
        case TVM_GETCOUNT: {
            UiLock lock(UiMutex());
            return static_cast<LRESULT>(state_->items.size());
        }
        case TVM_SETIMAGELIST:
        case TVM_GETIMAGELIST: {
            if (wParam != TVSIL_NORMAL && wParam != TVSIL_STATE) {
                return 0;
            }
            UiLock lock(UiMutex());
            HIMAGELIST& slot = wParam == TVSIL_NORMAL ? state_->normalImages : state_->stateImages;
            HIMAGELIST previous = slot;
            if (msg == TVM_SETIMAGELIST) {
                slot = reinterpret_cast<HIMAGELIST>(lParam);
                Changed();
            }
            return reinterpret_cast<LRESULT>(previous);
        }
        case TVM_GETITEMRECT: {
            auto* rect = reinterpret_cast<RECT*>(lParam);
            if (rect == nullptr) {
                return FALSE;
            }
            HTREEITEM handle = *reinterpret_cast<HTREEITEM*>(rect);
            UiLock lock(UiMutex());
            Item* item = Find(*state_, handle);
            const int index = item != nullptr ? IndexOf(VisibleItems(*state_), item) : -1;
            if (index < 0) {
                return FALSE;
            }
            const RowGeometry geometry =
                Geometry(*state_, window_->style, *item, index - state_->firstVisible);
            *rect =
                wParam
                    ? RECT{geometry.image.left, geometry.text.top, geometry.text.right, geometry.text.bottom}
                    : RECT{0, geometry.text.top, Width(ClientRectLocal(*window_)), geometry.text.bottom};
            return TRUE;
        }
        case TVM_HITTEST: {
            auto* info = reinterpret_cast<TVHITTESTINFO*>(lParam);
            if (info == nullptr) {
                return 0;
            }
            info->hItem = HandleOf(HitTest(info->pt.x, info->pt.y, &info->flags));
            return reinterpret_cast<LRESULT>(info->hItem);
        }
        case TVM_ENSUREVISIBLE: {
            Item* item;
            {
                UiLock lock(UiMutex());
                item = Find(*state_, reinterpret_cast<HTREEITEM>(lParam));
            }
            if (item == nullptr) {
                return FALSE;
            }
            EnsureVisible(item);
            Changed();
            return TRUE;
        }
        case TVM_GETVISIBLECOUNT:
            return VisibleRowCount();
        case TVM_GETINDENT:
            return kIndentPx;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_KEYDOWN:
            KeyDown(static_cast<UINT>(wParam));
            return 0;
        case WM_CHAR:
            return 0;  // the keys did their work; no incremental search
        case WM_LBUTTONDOWN:
            Click(lParam);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: {
            {
                UiLock lock(UiMutex());
                state_->focused = msg == WM_SETFOCUS;
            }
            Changed();
            NotifySimple(msg == WM_SETFOCUS ? NM_SETFOCUS : NM_KILLFOCUS);
            return 0;
        }
        case WM_ENABLE:
        case WM_SIZE:
            Changed();
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_DESTROY:
            Delete(TVI_ROOT);
            return 0;
        default:
            return DefWindowProcW(hwnd_, msg, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK TreeViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowPtr window;
    TreeState* state = ControlFor<TreeState>(hwnd, msg, &window);
    if (state == nullptr) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return Tree(window, state).Handle(msg, wParam, lParam);
}

bool GetTreeView(HWND hwnd, TreeView* view) {
    WindowPtr window = LookupWindow(hwnd);
    if (!window || view == nullptr) {
        return false;
    }
    UiLock lock(UiMutex());
    auto* state = dynamic_cast<TreeState*>(window->control.get());
    if (state == nullptr) {
        return false;
    }
    view->style = window->style;
    view->focused = state->focused;
    view->rows.clear();
    const std::vector<Item*> visible = VisibleItems(*state);
    const int rows = std::max(1, Height(ClientRectLocal(*window)) / kRowHeightPx);
    for (int row = 0; row < rows && state->firstVisible + row < static_cast<int>(visible.size()); ++row) {
        Item* item = visible[static_cast<size_t>(state->firstVisible + row)];
        TreeRowView out;
        out.item = HandleOf(item);
        out.depth = Depth(*item);
        out.text = item->text;
        const bool selected = item == state->selected;
        if (state->normalImages != nullptr) {
            out.image = selected ? item->selectedImage : item->image;
            out.icon = ImageListIcon(state->normalImages, out.image);
        }
        out.selected = selected;
        out.expanded = Expanded(*item);
        out.hasButton = (window->style & TVS_HASBUTTONS) != 0 && HasChildren(*item) &&
                        (out.depth > 0 || (window->style & TVS_LINESATROOT) != 0);
        Item* next = Sibling(*item, 1);
        out.lastSibling = next == nullptr;
        for (const Item* ancestor = item->parent; ancestor != nullptr && ancestor != &state->root;
             ancestor = ancestor->parent) {
            Item* after = Sibling(*ancestor, 1);
            out.ancestorContinues.insert(out.ancestorContinues.begin(), after != nullptr);
        }
        const RowGeometry geometry = Geometry(*state, window->style, *item, row);
        out.buttonRect = geometry.button;
        out.imageRect = geometry.image;
        out.textRect = geometry.text;
        view->rows.push_back(std::move(out));
    }
    return true;
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* lpInitCtrls) {
    if (lpInitCtrls == nullptr || lpInitCtrls->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((lpInitCtrls->dwICC & ICC_TREEVIEW_CLASSES) != 0) {
        RegisterTreeViewClass();
    }
    return TRUE;
}

extern "C" void WINAPI InitCommonControls(void) {
    RegisterTreeViewClass();
}
