// The painter. Built-in controls are drawn from their state (the terminal has its own look for them);
// owner-drawn buttons, icon statics and windows of programs from what they drew on their surfaces.
#include "user/terminal/screen_painter.h"

#include "user/controls/control_views.h"

#include <algorithm>

namespace ce::ui {
namespace {

constexpr CellStyle kPlain{};
constexpr CellStyle kActiveTitle{TerminalColor::White, TerminalColor::Blue, kAttrBold};
constexpr CellStyle kInactiveTitle{TerminalColor::Black, TerminalColor::White, 0};
constexpr CellStyle kField{TerminalColor::Black, TerminalColor::White, 0};
constexpr CellStyle kOpenList{TerminalColor::Black, TerminalColor::Cyan, 0};
constexpr char32_t kDropMark = U'▼';
constexpr char32_t kIconPlaceholder = U'·';
constexpr std::u32string_view kCloseMark = U"[x]";

int FloorDiv(int value, int divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

CellRect CellsOf(const RECT& r) {
    return CellRect{PixelToColumn(r.left), PixelToRow(r.top), PixelToColumn(r.right), PixelToRow(r.bottom)};
}

int Columns(const CellRect& r) {
    return r.right - r.left;
}

std::u32string Codes(const std::u16string& text) {
    return ToCodePoints(text);
}

// Splits text into lines no longer than `width`, at blanks where it can; '\n' always breaks.
std::vector<std::u32string> Wrap(const std::u32string& text, int width, bool wordWrap) {
    std::vector<std::u32string> lines;
    size_t start = 0;
    for (;;) {
        const size_t newline = text.find(U'\n', start);
        std::u32string paragraph =
            text.substr(start, newline == std::u32string::npos ? newline : newline - start);
        if (!paragraph.empty() && paragraph.back() == U'\r') {
            paragraph.pop_back();
        }
        while (wordWrap && width > 0 && static_cast<int>(paragraph.size()) > width) {
            size_t cut = paragraph.rfind(U' ', static_cast<size_t>(width));
            if (cut == std::u32string::npos || cut == 0) {
                cut = static_cast<size_t>(width);
            }
            lines.push_back(paragraph.substr(0, cut));
            paragraph.erase(0, paragraph[cut] == U' ' ? cut + 1 : cut);
        }
        lines.push_back(std::move(paragraph));
        if (newline == std::u32string::npos) {
            return lines;
        }
        start = newline + 1;
    }
}

int TextColumns(std::u32string_view text) {
    int columns = 0;
    for (char32_t ch : text) {
        columns += CharColumns(ch);
    }
    return columns;
}

void DrawIcon(CellGrid& grid, HICON icon, int column, int row, uint8_t attributes) {
    std::shared_ptr<IconObject> object = LookupIcon(icon);
    if (!object) {
        return;
    }
    if (object->picture.glyphs.empty()) {
        grid.Text(column, row, std::u32string(1, kIconPlaceholder), CellStyle{.attributes = attributes});
        return;
    }
    const CellStyle style{object->picture.foreground, object->picture.background, attributes};
    grid.Text(column, row, Codes(object->picture.glyphs), style);
}

// What a window drew: icons by their terminal pictures, text, outlined rectangles as frames. Fills are the
// window's background and not shown.
void DrawSurface(CellGrid& grid, const WindowView& view) {
    const int originX = view.clientRect.left;
    const int originY = view.clientRect.top;
    for (const DrawRecord& record : view.surface) {
        const int column = PixelToColumn(originX + record.rect.left);
        const int row = PixelToRow(originY + record.rect.top);
        switch (record.kind) {
            case DrawRecord::Kind::Icon:
                DrawIcon(grid, record.icon, column, row, 0);
                break;
            case DrawRecord::Kind::Text: {
                int line = row;
                for (const std::u32string& text : Wrap(Codes(record.text), 0, false)) {
                    grid.Text(column, line++, text, kPlain);
                }
                break;
            }
            case DrawRecord::Kind::Rectangle:
                if (record.outlined) {
                    grid.Frame(CellsOf(RECT{originX + record.rect.left, originY + record.rect.top,
                                            originX + record.rect.right, originY + record.rect.bottom}),
                               kPlain);
                }
                break;
            case DrawRecord::Kind::Fill:
                break;
        }
    }
}

int MiddleRow(const CellRect& cells) {
    return cells.top + std::max(0, (cells.bottom - cells.top - 1) / 2);
}

void DrawPushButton(CellGrid& grid, const WindowView& view, const CellRect& cells) {
    std::u32string label = Codes(WithoutMnemonics(view.text));
    const int width = Columns(cells);
    const int room = std::max(0, width - (view.defaultButton ? 4 : 2));
    while (TextColumns(label) > room && !label.empty()) {
        label.pop_back();
    }
    std::u32string face = view.defaultButton ? U"<" + label + U">" : label;
    const int inner = width - 2;
    const int before = std::max(0, (inner - TextColumns(face)) / 2);
    std::u32string line = U"[" + std::u32string(static_cast<size_t>(before), U' ') + face;
    line += std::u32string(static_cast<size_t>(std::max(0, width - 1 - TextColumns(line))), U' ') + U"]";
    CellStyle style = kPlain;
    if (view.pushed) {
        style.attributes |= kAttrReverse | kAttrBold;
    } else if (view.focused) {
        style.attributes |= kAttrReverse;
    }
    if (view.defaultButton) {
        style.attributes |= kAttrBold;
    }
    grid.Text(cells.left, MiddleRow(cells), line, style);
}

void DrawButton(CellGrid& grid, const WindowView& view, const CellRect& cells) {
    switch (view.style & BS_TYPEMASK) {
        case BS_OWNERDRAW:
            DrawSurface(grid, view);
            if (view.focused) {
                grid.AddAttributes(cells, kAttrUnderline);
            }
            break;
        case BS_GROUPBOX:
            grid.Frame(cells, kPlain);
            grid.Text(cells.left + 1, cells.top, Codes(WithoutMnemonics(view.text)), kPlain);
            break;
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            DrawPushButton(grid, view, cells);
            break;
        default: {
            // Check boxes and radio buttons: the label, marked when focused.
            const CellStyle style{.attributes = static_cast<uint8_t>(view.focused ? kAttrReverse : 0)};
            grid.Text(cells.left, MiddleRow(cells), Codes(WithoutMnemonics(view.text)), style);
            break;
        }
    }
}

void DrawStatic(CellGrid& grid, const WindowView& view, const CellRect& cells) {
    const DWORD type = view.style & SS_TYPEMASK;
    if (type == SS_ICON) {
        DrawSurface(grid, view);
        return;
    }
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP) {
        return;  // frames and rectangles of statics have no terminal look
    }
    const std::u16string text = (view.style & SS_NOPREFIX) != 0 ? view.text : WithoutMnemonics(view.text);
    const int width = Columns(cells);
    int row = cells.top;
    for (const std::u32string& line : Wrap(Codes(text), width, type != SS_LEFTNOWORDWRAP)) {
        const int spare = std::max(0, width - TextColumns(line));
        const int column = cells.left + (type == SS_CENTER ? spare / 2 : type == SS_RIGHT ? spare : 0);
        grid.Text(column, row++, line, kPlain);
    }
}

void DrawComboField(CellGrid& grid, const WindowView& view, const CellRect& cells, const ComboView& combo) {
    const int row = cells.top;
    CellStyle style = kField;
    if (view.focused) {
        style.attributes |= kAttrReverse;
    }
    grid.Fill(CellRect{cells.left, row, cells.right, row + 1}, U' ', style);
    if (combo.selected >= 0 && combo.selected < static_cast<int>(combo.items.size())) {
        grid.Text(cells.left, row, Codes(combo.items[static_cast<size_t>(combo.selected)]), style);
    }
    grid.Text(cells.right - 1, row, std::u32string(1, kDropMark), style);
}

void DrawComboList(CellGrid& grid, const ComboView& combo) {
    const CellRect list = CellsOf(combo.listRect);
    grid.Fill(list, U' ', kOpenList);
    for (int i = 0; i < combo.visibleRows; ++i) {
        const int index = combo.topIndex + i;
        if (index >= static_cast<int>(combo.items.size())) {
            break;
        }
        CellStyle style = kOpenList;
        if (index == combo.highlighted) {
            style.attributes |= kAttrReverse;
            grid.Fill(CellRect{list.left, list.top + i, list.right, list.top + i + 1}, U' ', style);
        }
        grid.Text(list.left, list.top + i, Codes(combo.items[static_cast<size_t>(index)]), style);
    }
}

// The tree: per depth a two-cell column holding the lines, the expand button (+ or -) of the item, its
// image and its text. Answers the selected row.
CellRect DrawTree(CellGrid& grid, const WindowView& view, const CellRect& client) {
    TreeView tree;
    CellRect selection;
    if (!GetTreeView(view.hwnd, &tree)) {
        return selection;
    }
    const bool lines = (tree.style & TVS_HASLINES) != 0;
    const bool rootColumn = (tree.style & TVS_LINESATROOT) != 0;
    const int cellsPerLevel = 2;
    for (const TreeRowView& row : tree.rows) {
        const int y = client.top + row.textRect.top / kCellHeightPx;
        const auto levelColumn = [&](int depth) {
            return client.left + (depth + (rootColumn ? 0 : -1)) * cellsPerLevel;
        };
        if (lines) {
            for (size_t depth = 0; depth < row.ancestorContinues.size(); ++depth) {
                const int column = levelColumn(static_cast<int>(depth));
                if (row.ancestorContinues[depth] && column >= client.left) {
                    grid.Text(column, y, U"│", kPlain);
                }
            }
        }
        const int own = levelColumn(row.depth);
        if (own >= client.left) {
            if (row.hasButton) {
                grid.Text(own, y, row.expanded ? U"-" : U"+", CellStyle{.attributes = kAttrBold});
                if (lines) {
                    grid.Text(own + 1, y, U"─", kPlain);
                }
            } else if (lines) {
                grid.Text(own, y, row.lastSibling ? U"└─" : U"├─", kPlain);
            }
        }
        if (row.icon != nullptr) {
            DrawIcon(grid, row.icon, client.left + row.imageRect.left / kCellWidthPx, y, 0);
        }
        CellStyle text = kPlain;
        if (row.selected) {
            text.attributes |= kAttrReverse | (tree.focused ? kAttrBold : 0);
            selection = CellRect{client.left, y, client.right, y + 1};
        }
        grid.Text(client.left + row.textRect.left / kCellWidthPx, y, Codes(row.text), text);
    }
    return selection;
}

// Controls a person presses or chooses in, as opposed to text and trees that show things.
bool Pressable(const WindowView& view) {
    if (view.kind == ClassKind::ComboBox) {
        return true;
    }
    return view.kind == ClassKind::Button && (view.style & BS_TYPEMASK) != BS_GROUPBOX;
}

class Painter {
  public:
    Painter(PaintedScreen* screen, DisabledLook look) : screen_(*screen), grid_(screen->grid), look_(look) {}

    void TopLevel(const WindowView& view) {
        const CellRect client = CellsOf(view.clientRect);
        const CellRect outer{client.left - 1, client.top - 1, client.right + 1, client.bottom + 1};
        const bool framed = view.hasCaption || (view.style & (WS_BORDER | WS_DLGFRAME)) != 0;
        const CellRect covered = framed ? outer : client;
        if (view.active) {
            screen_.active = covered;
        }
        std::erase_if(screen_.hotSpots,
                      [&](const HotSpot& spot) { return !spot.cells.Intersect(covered).Empty(); });
        grid_.SetClip(CellRect{0, 0, grid_.columns(), grid_.rows()});
        grid_.Fill(covered, U' ', kPlain);
        if (framed) {
            grid_.Frame(outer, kPlain);
        }
        if (view.hasCaption) {
            Title(view, client);
        }
        Window(view, client);
        grid_.SetClip(CellRect{0, 0, grid_.columns(), grid_.rows()});
        for (const ComboView& list : openLists_) {
            DrawComboList(grid_, list);
        }
        openLists_.clear();
    }

  private:
    void Title(const WindowView& view, const CellRect& client) {
        const int row = client.top - 1;
        const CellStyle style = view.active ? kActiveTitle : kInactiveTitle;
        grid_.Fill(CellRect{client.left, row, client.right, row + 1}, U' ', style);
        const bool closeBox = (view.style & WS_SYSMENU) != 0;
        const int closeColumn = client.right - static_cast<int>(kCloseMark.size());
        grid_.SetClip(CellRect{client.left, row, closeBox ? closeColumn : client.right, row + 1});
        grid_.Text(client.left + 1, row, Codes(view.text), style);
        grid_.SetClip(CellRect{0, 0, grid_.columns(), grid_.rows()});
        if (closeBox && closeColumn >= client.left) {
            grid_.Text(closeColumn, row, kCloseMark, style);
            const POINT pixel{view.windowRect.right - kBorderPx - kCloseBoxWidthPx / 2,
                              view.windowRect.top + kBorderPx + kCaptionHeightPx / 2};
            screen_.hotSpots.push_back(HotSpot{CellRect{closeColumn, row, client.right, row + 1}, pixel});
        }
    }

    // Draws a window's client area and then its children, bottom first, each clipped to its parent.
    void Window(const WindowView& view, const CellRect& client) {
        const CellRect clip = client.Intersect(parentClip_);
        grid_.SetClip(clip);
        const CellRect cells = CellsOf(view.windowRect);
        switch (view.kind) {
            case ClassKind::Button:
                DrawButton(grid_, view, cells);
                break;
            case ClassKind::Static:
                DrawStatic(grid_, view, cells);
                break;
            case ClassKind::ComboBox: {
                ComboView combo;
                if (GetComboView(view.hwnd, &combo)) {
                    DrawComboField(grid_, view, cells, combo);
                    if (combo.dropped) {
                        openLists_.push_back(std::move(combo));
                    }
                }
                break;
            }
            case ClassKind::TreeView: {
                const CellRect selection = DrawTree(grid_, view, client);
                if (view.focused) {
                    screen_.focus = selection.Empty() ? cells : selection;
                }
                break;
            }
            case ClassKind::Program:
            case ClassKind::Dialog:
                DrawSurface(grid_, view);
                break;
        }
        const CellRect saved = parentClip_;
        parentClip_ = clip;
        for (auto child = view.children.rbegin(); child != view.children.rend(); ++child) {
            Child(*child);
        }
        parentClip_ = saved;
        grid_.SetClip(clip);
        // A combo box's window reaches down over its list; only its field row is its face.
        const CellRect face = view.kind == ClassKind::ComboBox
                                  ? CellRect{cells.left, cells.top, cells.right, cells.top + 1}
                                  : cells;
        if (view.focused && view.kind != ClassKind::TreeView) {
            screen_.focus = face.Intersect(clip);
        }
        if (look_ == DisabledLook::Dim) {
            if (!view.enabled && view.kind != ClassKind::Dialog && view.kind != ClassKind::Program) {
                grid_.AddAttributes(cells, kAttrDim);
            }
        } else if (view.enabled && Pressable(view)) {
            grid_.AddAttributes(face, kAttrBold);
        }
    }

    void Child(const WindowView& view) {
        const CellRect client = CellsOf(view.clientRect);
        if ((view.style & WS_BORDER) != 0 && view.kind != ClassKind::Button) {
            grid_.SetClip(parentClip_);
            grid_.Frame(CellRect{client.left - 1, client.top - 1, client.right + 1, client.bottom + 1},
                        kPlain);
        }
        Window(view, client);
    }

    PaintedScreen& screen_;
    CellGrid& grid_;
    const DisabledLook look_;
    CellRect parentClip_{0, 0, kGridColumns, kGridRows};
    std::vector<ComboView> openLists_;
};

}  // namespace

int PixelToColumn(int x) {
    return FloorDiv(x + kCellWidthPx / 2, kCellWidthPx) + kScreenMarginCells;
}

int PixelToRow(int y) {
    return FloorDiv(y + kCellHeightPx / 2, kCellHeightPx) + kScreenMarginCells;
}

PaintedScreen PaintScreen(const std::vector<WindowView>& windows, DisabledLook look) {
    PaintedScreen screen;
    Painter painter(&screen, look);
    for (auto top = windows.rbegin(); top != windows.rend(); ++top) {
        painter.TopLevel(*top);
    }
    return screen;
}

POINT ClickPixel(const PaintedScreen& screen, int column, int row) {
    for (auto spot = screen.hotSpots.rbegin(); spot != screen.hotSpots.rend(); ++spot) {
        if (spot->cells.Contains(column, row)) {
            return spot->pixel;
        }
    }
    // The one pixel that lies inside everything drawn over the cell, given how PixelToColumn and
    // PixelToRow round: the last pixel before the cell's middle.
    return POINT{(column - kScreenMarginCells) * kCellWidthPx + (kCellWidthPx + 1) / 2 - 1,
                 (row - kScreenMarginCells) * kCellHeightPx + (kCellHeightPx + 1) / 2 - 1};
}

}  // namespace ce::ui
