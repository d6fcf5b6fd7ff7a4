// Graphics device interface of the device, the small part programs use: device contexts, solid brushes,
// pens, stock objects, rectangles and text. Drawing is recorded on the window's surface (ceplatform_ui.h).
#pragma once

#ifndef RC_INVOKED
#include "winbase.h"
#endif

#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define TECHNOLOGY 2
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define DT_RASDISPLAY 1

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define DEFAULT_PALETTE 15
#define DEFAULT_GUI_FONT 17

#define PS_SOLID 0
#define PS_DASH 1
#define PS_NULL 5

#define TRANSPARENT 1
#define OPAQUE 2
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define CLR_INVALID 0xFFFFFFFF
#define GDI_ERROR 0xFFFFFFFFL
#define HGDI_ERROR ((HANDLE)(LONG_PTR)-1)

#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))

#ifndef RC_INVOKED

typedef DWORD COLORREF;
typedef DWORD* LPCOLORREF;
typedef struct HDC__* HDC;
typedef void* HGDIOBJ;
typedef struct HBRUSH__* HBRUSH;
typedef struct HPEN__* HPEN;
typedef struct HFONT__* HFONT;
typedef struct HBITMAP__* HBITMAP;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *PSIZE, *LPSIZE;

CE_BEGIN_DECLS

CEAPI int WINAPI GetDeviceCaps(HDC hdc, int nIndex);
CEAPI HGDIOBJ WINAPI GetStockObject(int fnObject);
CEAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ hgdiobj);
CEAPI BOOL WINAPI DeleteObject(HGDIOBJ hObject);
CEAPI HBRUSH WINAPI CreateSolidBrush(COLORREF crColor);
CEAPI HPEN WINAPI CreatePen(int fnPenStyle, int nWidth, COLORREF crColor);
CEAPI BOOL WINAPI Rectangle(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect);
CEAPI COLORREF WINAPI SetTextColor(HDC hdc, COLORREF crColor);
CEAPI COLORREF WINAPI GetTextColor(HDC hdc);
CEAPI COLORREF WINAPI SetBkColor(HDC hdc, COLORREF crColor);
CEAPI COLORREF WINAPI GetBkColor(HDC hdc);
CEAPI int WINAPI SetBkMode(HDC hdc, int iBkMode);
CEAPI BOOL WINAPI ExtTextOutW(HDC hdc, int X, int Y, UINT fuOptions, const RECT* lprc, LPCWSTR lpString,
                              UINT cbCount, const int* lpDx);

CE_END_DECLS

#define ExtTextOut ExtTextOutW

#endif  // RC_INVOKED
