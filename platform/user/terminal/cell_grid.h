// A grid of terminal cells: what the painter draws and what the terminal front-end and the text picture
// show. A character two columns wide takes its cell and the next, which holds kWideTail.
#pragma once

#include "user/gdi/icon_object.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ce::ui {

enum CellAttribute : uint8_t {
    kAttrBold = 0x1,
    kAttrDim = 0x2,
    kAttrReverse = 0x4,
    kAttrUnderline = 0x8,
};

struct CellStyle {
    TerminalColor foreground = TerminalColor::Default;
    TerminalColor background = TerminalColor::Default;
    uint8_t attributes = 0;
};

struct Cell {
    char32_t ch = U' ';
    CellStyle style;
};

// Cell rectangle, right and bottom exclusive.
struct CellRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int column, int row) const {
        return column >= left && column < right && row >= top && row < bottom;
    }
    CellRect Intersect(const CellRect& other) const;
};

constexpr char32_t kWideTail = 0;

// Columns a character takes in a terminal: 2 for East Asian wide and emoji, 1 otherwise (control and
// combining characters never reach the grid).
int CharColumns(char32_t ch);

// UTF-16 to code points; an unpaired surrogate becomes U+FFFD.
std::u32string ToCodePoints(std::u16string_view text);
void AppendUtf8(char32_t ch, std::string* out);

class CellGrid {
  public:
    CellGrid(int columns, int rows);

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    const Cell& At(int column, int row) const { return cells_[Index(column, row)]; }

    // Drawing is limited to the clip (the whole grid by default).
    void SetClip(const CellRect& clip) { clip_ = clip.Intersect(CellRect{0, 0, columns_, rows_}); }
    const CellRect& clip() const { return clip_; }

    // Writes text from (column, row) on one row; answers the column after it. Wide characters that do not
    // fit whole are left out.
    int Text(int column, int row, std::u32string_view text, const CellStyle& style);
    void Fill(const CellRect& area, char32_t ch, const CellStyle& style);
    // Changes the style of cells and keeps their characters; attributes are added.
    void Restyle(const CellRect& area, const CellStyle& style);
    void AddAttributes(const CellRect& area, uint8_t attributes);
    // A line-drawn frame on the edge cells of the area.
    void Frame(const CellRect& area, const CellStyle& style);

    // One line per row, '\n' after each, UTF-8; wide tails are left out.
    std::string ToText() const;

  private:
    size_t Index(int column, int row) const { return static_cast<size_t>(row) * columns_ + column; }
    void Put(int column, int row, char32_t ch, const CellStyle& style);

    int columns_, rows_;
    CellRect clip_;
    std::vector<Cell> cells_;
};

}  // namespace ce::ui
