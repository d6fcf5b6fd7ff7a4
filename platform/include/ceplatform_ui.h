// The platform's own controls of the window system, for programs and tests on Linux: injected input for the
// headless front-end, idle detection, and what windows drew. Nothing here exists on the device; product code
// uses none of it.
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
    RECT rect;        // client pixels
    COLORREF fill;    // brush colour; meaningless when filled is FALSE
    BOOL filled;      // FALSE for a null brush
    COLORREF outline; // pen colour; meaningless when outlined is FALSE
    BOOL outlined;    // FALSE for a null pen or FillRect
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

// Waits until a thread of the window system waits for input with nothing left to do: no injected input
// pending, its queue empty, its windows painted. FALSE (WAIT_TIMEOUT as last error) when that does not
// happen within timeoutMs.
CEAPI BOOL CeUiWaitIdle(DWORD timeoutMs);

// The focus and the active window whichever thread owns them (GetFocus answers only the caller's own).
CEAPI HWND CeUiGetFocusWindow(void);
CEAPI HWND CeUiGetActiveWindow(void);

// What a window drew since its last full repaint, oldest first. Answer the number of records; at most
// maxCount are copied. (DWORD)-1 with ERROR_INVALID_WINDOW_HANDLE for a bad window.
CEAPI DWORD CeUiGetDrawnIcons(HWND hwnd, CE_UI_DRAWN_ICON* icons, DWORD maxCount);
CEAPI DWORD CeUiGetDrawnRects(HWND hwnd, CE_UI_DRAWN_RECT* rects, DWORD maxCount);

CE_END_DECLS
