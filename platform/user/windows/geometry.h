// Fixed geometry of the emulated screen and of dialog units; the terminal front-end relies on the same
// numbers (one cell is 7 x 14 pixels, one character of the dialog font).
#pragma once

#include <windows.h>

namespace ce::ui {

constexpr int kScreenWidthPx = 240;
constexpr int kScreenHeightPx = 320;
constexpr int kScreenBitsPerPixel = 16;
constexpr int kScreenDpi = 96;
constexpr int kScreenWidthMm = kScreenWidthPx * 254 / (kScreenDpi * 10);
constexpr int kScreenHeightMm = kScreenHeightPx * 254 / (kScreenDpi * 10);

// Dialog base units of the 8-point "System" font: x pixels = dlu * 7 / 4, y pixels = dlu * 14 / 8.
constexpr int kBaseUnitXPx = 7;
constexpr int kBaseUnitYPx = 14;
constexpr int kCellWidthPx = 7;
constexpr int kCellHeightPx = 14;

// A captioned window: a one-pixel frame around a one-cell title bar and the client area.
constexpr int kBorderPx = 1;
constexpr int kCaptionHeightPx = kCellHeightPx;
constexpr int kCloseBoxWidthPx = 2 * kCellWidthPx;

// Rows of lists and trees are one cell high.
constexpr int kRowHeightPx = kCellHeightPx;

inline int DluToPixelsX(int dlu) {
    return dlu * kBaseUnitXPx / 4;
}
inline int DluToPixelsY(int dlu) {
    return dlu * kBaseUnitYPx / 8;
}

inline int Width(const RECT& r) {
    return r.right - r.left;
}
inline int Height(const RECT& r) {
    return r.bottom - r.top;
}
inline bool Contains(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

}  // namespace ce::ui
