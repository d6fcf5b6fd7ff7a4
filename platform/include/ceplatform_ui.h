// The platform's own controls of the window system, for programs and tests on Linux: injected input for the
// headless front-end, idle detection, and what windows drew. Nothing here exists on the device; product code
// uses none of it but CeUiShowsWindows.
//
// Geometry of the emulated screen: 240 x 320 pixels; dialog base units 7 x 14 pixels, so one terminal cell
// (7 x 14 pixels) is 4 x 8 dialog units. A captioned top-level window has a one-pixel border and a 14-pixel
// title bar whose last 14 pixels are the close box.
#pragma once

#include "winuser.h"

// Modifier bits of CeUiInjectKey.
#define CE_UI_SHIFT 0x0001
#define CE_UI_CTRL 0x0002
#define CE_UI_ALT 0x0004

typedef struct CE_UI_DRAWN_ICON {
    HICON icon;
    int x, y;           // client pixels of the window that drew it
    int width, height;  // as drawn (the icon's own size when DrawIconEx was given 0)
} CE_UI_DRAWN_ICON;

typedef struct CE_UI_DRAWN_RECT {
    RECT rect;         // client pixels
    COLORREF fill;     // brush colour; meaningless when filled is FALSE
    BOOL filled;       // FALSE for a null brush
    COLORREF outline;  // pen colour; meaningless when outlined is FALSE
    BOOL outlined;     // FALSE for a null pen or FillRect
} CE_UI_DRAWN_RECT;

CE_BEGIN_DECLS

// Input for the headless front-end (used when standard input or output is not a terminal, or with
// CE_UI_HEADLESS=1). A key is a press and a release of a virtual key with CE_UI_* modifiers; a click is a
// left button press and release at screen pixels; close is the close box of the active window. FALSE
// (ERROR_NOT_SUPPORTED) when another front-end runs. Safe from any thread.
CEAPI BOOL CeUiInjectKey(UINT vk, UINT modifiers);
CEAPI BOOL CeUiInjectChar(WCHAR ch);
CEAPI BOOL CeUiInjectClick(int x, int y);
CEAPI BOOL CeUiInjectClose(void);

// Whether windows reach somebody: TRUE when the terminal front-end shows them, or when CE_UI_HEADLESS=1
// asked for the headless one (whose input tests inject); FALSE without a terminal, where a window would wait
// for ever for input nobody can give. Chooses the front-end, so with a terminal the screen is taken from
// here on.
CEAPI BOOL CeUiShowsWindows(void);

// Waits until a thread of the window system waits for input with nothing left to do: no injected input
// pending, its queue empty, its windows painted. FALSE (WAIT_TIMEOUT as last error) when that does not
// happen within timeoutMs.
CEAPI BOOL CeUiWaitIdle(DWORD timeoutMs);

// The focus and the active window whichever thread owns them (GetFocus answers only the caller's own).
CEAPI HWND CeUiGetFocusWindow(void);
CEAPI HWND CeUiGetActiveWindow(void);
// How many times SetForegroundWindow, called in this program or crossing from another, asked the front-end
// to bring the window to attention. (DWORD)-1 with ERROR_INVALID_WINDOW_HANDLE for a bad window.
CEAPI DWORD CeUiAttentionCount(HWND hwnd);

// What a window drew since its last full repaint, oldest first. Answer the number of records; at most
// maxCount are copied. (DWORD)-1 with ERROR_INVALID_WINDOW_HANDLE for a bad window.
CEAPI DWORD CeUiGetDrawnIcons(HWND hwnd, CE_UI_DRAWN_ICON* icons, DWORD maxCount);
CEAPI DWORD CeUiGetDrawnRects(HWND hwnd, CE_UI_DRAWN_RECT* rects, DWORD maxCount);

// The screen as a terminal shows it, whichever front-end runs: CE_UI_PICTURE_COLUMNS x CE_UI_PICTURE_ROWS
// cells: the 34 x 22 cells of the screen with one more cell around them for the frames of windows at the
// screen's edge. Screen pixel (x, y) is shown in cell ((x + 3) / 7 + 1, (y + 7) / 14 + 1), so that every
// cell of a control lies over it, and a click on cell (c, r) stands for pixel (7c - 4, 14r - 8). The text
// is UTF-8, one line per row, each ended by '\n', then a NUL; a character two cells wide stands for both.
// It answers the bytes the picture needs with its NUL and copies it only when size is at least that;
// otherwise it copies nothing and sets ERROR_INSUFFICIENT_BUFFER (a null utf8 with a size other than 0
// gives 0 and ERROR_INVALID_PARAMETER). The cells answer CE_UI_PICTURE_COLUMNS * CE_UI_PICTURE_ROWS, row by
// row, copying at most maxCells of them. Take it after CeUiWaitIdle so that the windows have painted.
#define CE_UI_PICTURE_COLUMNS 36
#define CE_UI_PICTURE_ROWS 24
#define CE_UI_ATTR_BOLD 0x01
#define CE_UI_ATTR_DIM 0x02
#define CE_UI_ATTR_REVERSE 0x04
#define CE_UI_ATTR_UNDERLINE 0x08

typedef struct CE_UI_CELL {
    DWORD ch;         // a Unicode code point; 0 for the second cell of a wide character
    BYTE foreground;  // CE_UI_COLOR_*
    BYTE background;
    BYTE attributes;  // CE_UI_ATTR_*
    BYTE reserved;
} CE_UI_CELL;

CEAPI DWORD CeUiScreenText(char* utf8, DWORD size);
CEAPI DWORD CeUiScreenCells(CE_UI_CELL* cells, DWORD maxCells);

CE_END_DECLS

// ---- resources ----------------------------------------------------------------------------------------
//
// A program's resource script is compiled and embedded by the CMake function ce_add_resources, which also
// registers the compiled resources with the platform when the module is loaded (and withdraws them when it
// is unloaded), so that FindResourceW, LoadIconW and the dialog calls find them by module handle.
//
// Terminal pictures. A terminal shows an icon as one or two characters with a foreground and a background
// colour, chosen by the program beside its icon: a resource of the user-defined type CETERMICON with the
// same id as the icon group, holding the UTF-16 string "<glyphs>;<foreground>;<background>", e.g.
//
//     131 ICON "port.ico"
//     131 CETERMICON { L"?;white;blue\0" }
//
// Colours are named black, red, green, yellow, blue, magenta, cyan, white or default (the terminal's own),
// in any case. The resource compiler copies text inside a data block byte by byte, so characters beyond
// ASCII are written as UTF-16 escapes: L"\x2194;yellow;default\0" is an arrow; a surrogate pair
// (L"\xD834\xDD1E") counts as one character. An icon without a picture, or with one that cannot be read
// (a message on stderr says why), is shown as a neutral placeholder. The system icons
// (LoadIconW(NULL, IDI_...)) have pictures of their own.
#define CE_RT_TERMICON u"CETERMICON"

// Colours of terminal pictures.
#define CE_UI_COLOR_DEFAULT 0
#define CE_UI_COLOR_BLACK 1
#define CE_UI_COLOR_RED 2
#define CE_UI_COLOR_GREEN 3
#define CE_UI_COLOR_YELLOW 4
#define CE_UI_COLOR_BLUE 5
#define CE_UI_COLOR_MAGENTA 6
#define CE_UI_COLOR_CYAN 7
#define CE_UI_COLOR_WHITE 8

typedef struct CE_UI_ICON_INFO {
    int width, height;  // pixels of the loaded image
    WORD resourceId;    // the icon group's id; 0 for a group with a string name
    WCHAR glyphs[5];    // the terminal picture, NUL-terminated; empty for the placeholder
    BYTE foreground;    // CE_UI_COLOR_*
    BYTE background;
} CE_UI_ICON_INFO;

CE_BEGIN_DECLS

// Called by the code ce_add_resources generates: the standard .res image of resSize bytes at resData
// becomes part of the resources of the module whose image holds addressInModule. The image is used in
// place and must stay valid until it is withdrawn. A malformed image is refused: FALSE,
// ERROR_INVALID_DATA and a message on stderr naming the module and the offset of the fault.
CEAPI BOOL CeRegisterModuleResources(const void* addressInModule, const void* resData, DWORD resSize);
// Withdraws a registered image (FALSE, ERROR_INVALID_PARAMETER when it is not registered); icons loaded
// from it become invalid handles.
CEAPI BOOL CeUnregisterModuleResources(const void* resData);

// What an icon is: its size, group and terminal picture. FALSE with ERROR_INVALID_CURSOR_HANDLE for a bad
// icon, ERROR_INVALID_PARAMETER for a null info.
CEAPI BOOL CeUiGetIconInfo(HICON icon, CE_UI_ICON_INFO* info);
// The icon's pixels as 0xAARRGGBB, top row first, alpha 0 where transparent. Answers width * height and
// copies at most maxPixels of them; (DWORD)-1 with ERROR_INVALID_CURSOR_HANDLE for a bad icon.
CEAPI DWORD CeUiGetIconPixels(HICON icon, DWORD* argb, DWORD maxPixels);

CE_END_DECLS
