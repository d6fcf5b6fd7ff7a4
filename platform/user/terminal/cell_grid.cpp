// The cell grid of the painter.
#include "user/terminal/cell_grid.h"

#include <algorithm>

namespace ce::ui {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Range {
    char32_t first, last;
};

// Wide ranges of Unicode's East Asian Width tables, folded to blocks, and the emoji planes.
constexpr Range kWideRanges[] = {
    {0x1100, 0x115F}, {0x231A, 0x231B}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},
    {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
};

}  // namespace

CellRect CellRect::Intersect(const CellRect& other) const {
    CellRect r{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
               std::min(bottom, other.bottom)};
    if (r.Empty()) {
        return CellRect{};
    }
    return r;
}

int CharColumns(char32_t ch) {
    for (const Range& range : kWideRanges) {
        if (ch >= range.first && ch <= range.last) {
            return 2;
        }
    }
    return 1;
}

std::u32string ToCodePoints(std::u16string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            out.push_back(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            out.push_back(kReplacement);
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

void AppendUtf8(char32_t ch, std::string* out) {
    if (ch < 0x80) {
        out->push_back(static_cast<char>(ch));
    } else if (ch < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (ch >> 6)));
        out->push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else if (ch < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (ch >> 12)));
        out->push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (ch >> 18)));
        out->push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    }
}

CellGrid::CellGrid(int columns, int rows)
    : columns_(std::max(columns, 0)),
      rows_(std::max(rows, 0)),
      clip_{0, 0, columns_, rows_},
      cells_(static_cast<size_t>(columns_) * rows_) {}

void CellGrid::Put(int column, int row, char32_t ch, const CellStyle& style) {
    Cell& cell = cells_[Index(column, row)];
    // Overwriting half of a wide character blanks its other half.
    if (cell.ch == kWideTail && column > 0) {
        cells_[Index(column - 1, row)].ch = U' ';
    }
    if (cell.ch != kWideTail && CharColumns(cell.ch) == 2 && column + 1 < columns_) {
        cells_[Index(column + 1, row)].ch = U' ';
    }
    cell.ch = ch;
    cell.style = style;
}

int CellGrid::Text(int column, int row, std::u32string_view text, const CellStyle& style) {
    for (char32_t ch : text) {
        if (ch < 0x20 || ch == 0x7F) {
            ch = U' ';
        }
        const int width = CharColumns(ch);
        const bool inside = clip_.Contains(column, row) && clip_.Contains(column + width - 1, row);
        if (inside) {
            Put(column, row, ch, style);
            if (width == 2) {
                Put(column + 1, row, kWideTail, style);
            }
        }
        column += width;
    }
    return column;
}

void CellGrid::Fill(const CellRect& area, char32_t ch, const CellStyle& style) {
    const CellRect r = area.Intersect(clip_);
    for (int row = r.top; row < r.bottom; ++row) {
        for (int column = r.left; column < r.right; ++column) {
            Put(column, row, ch, style);
        }
    }
}

void CellGrid::Restyle(const CellRect& area, const CellStyle& style) {
    const CellRect r = area.Intersect(clip_);
    for (int row = r.top; row < r.bottom; ++row) {
        for (int column = r.left; column < r.right; ++column) {
            CellStyle& target = cells_[Index(column, row)].style;
            target.foreground = style.foreground;
            target.background = style.background;
            target.attributes |= style.attributes;
        }
    }
}

void CellGrid::AddAttributes(const CellRect& area, uint8_t attributes) {
    const CellRect r = area.Intersect(clip_);
    for (int row = r.top; row < r.bottom; ++row) {
        for (int column = r.left; column < r.right; ++column) {
            cells_[Index(column, row)].style.attributes |= attributes;
        }
    }
}

void CellGrid::Frame(const CellRect& area, const CellStyle& style) {
    if (area.right - area.left < 2 || area.bottom - area.top < 2) {
        return;
    }
    const int last = area.right - 1;
    const int bottom = area.bottom - 1;
    const std::u32string horizontal(static_cast<size_t>(area.right - area.left - 2), U'─');
    Text(area.left, area.top, U"┌" + horizontal + U"┐", style);
    Text(area.left, bottom, U"└" + horizontal + U"┘", style);
    for (int row = area.top + 1; row < bottom; ++row) {
        Text(area.left, row, U"│", style);
        Text(last, row, U"│", style);
    }
}

std::string CellGrid::ToText() const {
    std::string out;
    out.reserve(static_cast<size_t>(columns_ + 1) * rows_);
    for (int row = 0; row < rows_; ++row) {
        for (int column = 0; column < columns_; ++column) {
            const char32_t ch = At(column, row).ch;
            if (ch != kWideTail) {
                AppendUtf8(ch, &out);
            }
        }
        out.push_back('\n');
    }
    return out;
}

}  // namespace ce::ui
