// The picture of the screen for tests and headless runs, from the same painter the terminal uses.
#include "user/terminal/screen_painter.h"

#include <ceplatform_ui.h>

#include <cstring>
#include <new>

using namespace ce::ui;

static_assert(CE_UI_PICTURE_COLUMNS == kGridColumns && CE_UI_PICTURE_ROWS == kGridRows);
static_assert(CE_UI_ATTR_BOLD == kAttrBold && CE_UI_ATTR_DIM == kAttrDim &&
              CE_UI_ATTR_REVERSE == kAttrReverse && CE_UI_ATTR_UNDERLINE == kAttrUnderline);
static_assert(CE_UI_COLOR_WHITE == static_cast<int>(TerminalColor::White));

extern "C" DWORD CeUiScreenText(char* utf8, DWORD size) {
    if (utf8 == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        const std::string text = PaintScreen(SnapshotScreen()).grid.ToText();
        const DWORD needed = static_cast<DWORD>(text.size() + 1);
        if (size < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return needed;
        }
        std::memcpy(utf8, text.c_str(), needed);
        return needed;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

extern "C" DWORD CeUiScreenCells(CE_UI_CELL* cells, DWORD maxCells) {
    if (cells == nullptr && maxCells != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        const PaintedScreen screen = PaintScreen(SnapshotScreen());
        const CellGrid& grid = screen.grid;
        DWORD copied = 0;
        for (int row = 0; row < grid.rows(); ++row) {
            for (int column = 0; column < grid.columns() && copied < maxCells; ++column) {
                const Cell& cell = grid.At(column, row);
                cells[copied++] =
                    CE_UI_CELL{static_cast<DWORD>(cell.ch), static_cast<BYTE>(cell.style.foreground),
                               static_cast<BYTE>(cell.style.background), cell.style.attributes, 0};
            }
        }
        return static_cast<DWORD>(grid.columns() * grid.rows());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
