// The painter: the screen snapshot turned into terminal cells. One cell is 7 x 14 pixels (4 x 8 dialog
// units); the 240 x 320 pixel screen is 34 x 22 cells, and the grid has one more cell on each side for the
// frames of windows that touch the screen's edge.
#pragma once

#include "user/terminal/cell_grid.h"
#include "user/windows/geometry.h"
#include "user/windows/window_views.h"

#include <vector>

namespace ce::ui {

constexpr int kScreenColumns = kScreenWidthPx / kCellWidthPx;
constexpr int kScreenRows = kScreenHeightPx / kCellHeightPx;
constexpr int kScreenMarginCells = 1;
constexpr int kGridColumns = kScreenColumns + 2 * kScreenMarginCells;
constexpr int kGridRows = kScreenRows + 2 * kScreenMarginCells;

// Cells whose clicks go to a given pixel rather than to their centre: the close box, which is narrower in
// pixels than the three cells of its mark.
struct HotSpot {
    CellRect cells;
    POINT pixel{};
};

struct PaintedScreen {
    CellGrid grid{kGridColumns, kGridRows};
    std::vector<HotSpot> hotSpots;  // later ones lie above earlier ones
    CellRect active;                // the active top-level window with its frame; empty when none
    CellRect focus;                 // the focused control (of a tree, its selected row); empty when none
};

// How controls that take no input are told apart: dim where the terminal can show it; else the controls
// a person may press (buttons, combo boxes) are bold while they are enabled, and everything else is plain.
enum class DisabledLook { Dim, EnabledBold };

PaintedScreen PaintScreen(const std::vector<WindowView>& windows, DisabledLook look = DisabledLook::Dim);

// The screen pixel a click on a grid cell stands for: a hot spot's pixel, or the cell's centre.
POINT ClickPixel(const PaintedScreen& screen, int column, int row);

// Grid cell of a screen pixel (the cell whose area holds most of it).
int PixelToColumn(int x);
int PixelToRow(int y);

}  // namespace ce::ui
