// Device contexts and GDI objects: GetDC/ReleaseDC, device capabilities, stock objects, brushes, pens,
// selection and deletion, system colours.
#include "user/gdi/gdi.h"

#include "user/windows/geometry.h"

#include <array>
#include <new>

namespace ce::ui {
namespace {

constexpr int kStockObjectCount = DEFAULT_GUI_FONT + 1;
constexpr int kSystemFontPoints = 8;

// The system colours of the emulated device: the classic grey scheme.
constexpr std::array<COLORREF, C_SYS_COLOR_TYPES> kSystemColors = {
    RGB(192, 192, 192),  // scroll bar
    RGB(0, 128, 128),    // desktop
    RGB(0, 0, 128),      // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(192, 192, 192),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(192, 192, 192),  // active border
    RGB(192, 192, 192),  // inactive border
    RGB(128, 128, 128),  // application workspace
    RGB(0, 0, 128),      // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(192, 192, 192),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(192, 192, 192),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(0, 0, 0),        // 3D dark shadow
    RGB(224, 224, 224),  // 3D light
    RGB(0, 0, 0),        // tooltip text
    RGB(255, 255, 225),  // tooltip background
    RGB(192, 192, 192),  // static control background
    RGB(0, 0, 0),        // static control text
    RGB(0, 0, 128),      // gradient of the active caption
    RGB(128, 128, 128),  // gradient of the inactive caption
};

// A colour index with or without the device's flag, or -1.
int ColorIndex(int index) {
    const int bare = index & ~SYS_COLOR_INDEX_FLAG;
    return bare >= 0 && bare < C_SYS_COLOR_TYPES ? bare : -1;
}

HGDIOBJ InsertObject(std::shared_ptr<GdiObject> object) {
    return InsertHandle(std::move(object));
}

std::shared_ptr<GdiObject> MakeStock(GdiObject::Kind kind, COLORREF color, bool hollow) {
    auto object = std::make_shared<GdiObject>(kind, color);
    object->hollow = hollow;
    object->stock = true;
    return object;
}

// Stock objects and system colour brushes are made once and never leave the handle table.
struct PermanentObjects {
    std::array<HGDIOBJ, kStockObjectCount> stock{};
    std::array<HGDIOBJ, C_SYS_COLOR_TYPES> colorBrushes{};
};

PermanentObjects& Permanent() {
    static PermanentObjects* objects = [] {
        auto* made = new PermanentObjects;
        using Kind = GdiObject::Kind;
        made->stock[WHITE_BRUSH] = InsertObject(MakeStock(Kind::Brush, RGB(255, 255, 255), false));
        made->stock[LTGRAY_BRUSH] = InsertObject(MakeStock(Kind::Brush, RGB(192, 192, 192), false));
        made->stock[GRAY_BRUSH] = InsertObject(MakeStock(Kind::Brush, RGB(128, 128, 128), false));
        made->stock[DKGRAY_BRUSH] = InsertObject(MakeStock(Kind::Brush, RGB(64, 64, 64), false));
        made->stock[BLACK_BRUSH] = InsertObject(MakeStock(Kind::Brush, RGB(0, 0, 0), false));
        made->stock[NULL_BRUSH] = InsertObject(MakeStock(Kind::Brush, 0, true));
        made->stock[WHITE_PEN] = InsertObject(MakeStock(Kind::Pen, RGB(255, 255, 255), false));
        made->stock[BLACK_PEN] = InsertObject(MakeStock(Kind::Pen, RGB(0, 0, 0), false));
        made->stock[NULL_PEN] = InsertObject(MakeStock(Kind::Pen, 0, true));
        auto systemFont = MakeStock(Kind::Font, 0, false);
        systemFont->typeface = u"System";
        systemFont->pointSize = kSystemFontPoints;
        made->stock[SYSTEM_FONT] = InsertObject(systemFont);
        auto guiFont = MakeStock(Kind::Font, 0, false);
        guiFont->typeface = u"System";
        guiFont->pointSize = kSystemFontPoints;
        made->stock[DEFAULT_GUI_FONT] = InsertObject(guiFont);
        for (int i = 0; i < C_SYS_COLOR_TYPES; ++i) {
            made->colorBrushes[i] = InsertObject(MakeStock(Kind::Brush, kSystemColors[i], false));
        }
        return made;
    }();
    return *objects;
}

std::shared_ptr<GdiObject> LookupGdiObject(HGDIOBJ object) {
    return Lookup<GdiObject>(object, ObjectType::GdiObject);
}

}  // namespace

std::shared_ptr<DeviceContextObject> LookupDeviceContext(HDC dc) {
    return Lookup<DeviceContextObject>(dc, ObjectType::DeviceContext);
}

HFONT CreateDialogFont(const std::u16string& typeface, int pointSize) {
    try {
        auto font = std::make_shared<GdiObject>(GdiObject::Kind::Font, 0);
        font->typeface = typeface;
        font->pointSize = pointSize;
        return static_cast<HFONT>(InsertObject(font));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

extern "C" HDC WINAPI GetDC(HWND hWnd) {
    WindowPtr window;
    if (hWnd != nullptr) {
        window = WindowOrFail(hWnd);
        if (!window) {
            return nullptr;
        }
    }
    try {
        auto dc = std::make_shared<DeviceContextObject>();
        dc->window = window;
        PermanentObjects& permanent = Permanent();
        dc->brushHandle = permanent.stock[WHITE_BRUSH];
        dc->penHandle = permanent.stock[BLACK_PEN];
        dc->fontHandle = permanent.stock[SYSTEM_FONT];
        dc->brush = LookupGdiObject(dc->brushHandle);
        dc->pen = LookupGdiObject(dc->penHandle);
        dc->font = LookupGdiObject(dc->fontHandle);
        if (window && window->font != nullptr) {
            if (auto font = LookupGdiObject(window->font)) {
                dc->font = font;
                dc->fontHandle = window->font;
            }
        }
        return static_cast<HDC>(InsertHandle(dc));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    std::shared_ptr<DeviceContextObject> dc = LookupDeviceContext(hDC);
    if (!dc) {
        return 0;
    }
    WindowPtr owner = dc->window.lock();
    if (hWnd != nullptr && (!owner || owner->handle != hWnd)) {
        return 0;
    }
    return RemoveHandle(hDC, ObjectType::DeviceContext) ? 1 : 0;
}

extern "C" int WINAPI GetDeviceCaps(HDC hdc, int nIndex) {
    if (!LookupDeviceContext(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (nIndex) {
        case HORZRES:
            return kScreenWidthPx;
        case VERTRES:
            return kScreenHeightPx;
        case HORZSIZE:
            return kScreenWidthMm;
        case VERTSIZE:
            return kScreenHeightMm;
        case BITSPIXEL:
            return kScreenBitsPerPixel;
        case PLANES:
            return 1;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return kScreenDpi;
        case NUMCOLORS:
            return -1;  // more than 256 colours
        case TECHNOLOGY:
            return DT_RASDISPLAY;
        default:
            return 0;
    }
}

extern "C" HGDIOBJ WINAPI GetStockObject(int fnObject) {
    if (fnObject < 0 || fnObject >= kStockObjectCount) {
        return nullptr;
    }
    return Permanent().stock[static_cast<size_t>(fnObject)];
}

extern "C" DWORD WINAPI GetSysColor(int nIndex) {
    const int index = ColorIndex(nIndex);
    return index < 0 ? 0 : kSystemColors[static_cast<size_t>(index)];
}

extern "C" HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    const int index = ColorIndex(nIndex);
    return index < 0 ? nullptr : static_cast<HBRUSH>(Permanent().colorBrushes[static_cast<size_t>(index)]);
}

extern "C" HBRUSH WINAPI CreateSolidBrush(COLORREF crColor) {
    try {
        return static_cast<HBRUSH>(
            InsertObject(std::make_shared<GdiObject>(GdiObject::Kind::Brush, crColor & 0xFFFFFF)));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" HPEN WINAPI CreatePen(int fnPenStyle, int nWidth, COLORREF crColor) {
    if (fnPenStyle != PS_SOLID && fnPenStyle != PS_DASH && fnPenStyle != PS_NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        auto pen = std::make_shared<GdiObject>(GdiObject::Kind::Pen, crColor & 0xFFFFFF);
        pen->hollow = fnPenStyle == PS_NULL;
        pen->width = nWidth < 1 ? 1 : nWidth;
        return static_cast<HPEN>(InsertObject(pen));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

extern "C" HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ hgdiobj) {
    std::shared_ptr<DeviceContextObject> dc = LookupDeviceContext(hdc);
    std::shared_ptr<GdiObject> object = LookupGdiObject(hgdiobj);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    UiLock lock(UiMutex());
    HGDIOBJ previous = nullptr;
    switch (object->kind) {
        case GdiObject::Kind::Brush:
            previous = dc->brushHandle;
            dc->brushHandle = hgdiobj;
            dc->brush = object;
            break;
        case GdiObject::Kind::Pen:
            previous = dc->penHandle;
            dc->penHandle = hgdiobj;
            dc->pen = object;
            break;
        case GdiObject::Kind::Font:
            previous = dc->fontHandle;
            dc->fontHandle = hgdiobj;
            dc->font = object;
            break;
    }
    return previous;
}

extern "C" BOOL WINAPI DeleteObject(HGDIOBJ hObject) {
    std::shared_ptr<GdiObject> object = LookupGdiObject(hObject);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock) {
        return TRUE;  // stock objects stay, as Win32 keeps them
    }
    return RemoveHandle(hObject, ObjectType::GdiObject) ? TRUE : FALSE;
}

namespace {

// Reads or replaces one colour of a DC; CLR_INVALID with ERROR_INVALID_HANDLE for a bad DC.
COLORREF AccessColor(HDC hdc, COLORREF DeviceContextObject::*field, const COLORREF* update) {
    std::shared_ptr<DeviceContextObject> dc = LookupDeviceContext(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return CLR_INVALID;
    }
    UiLock lock(UiMutex());
    const COLORREF previous = (*dc).*field;
    if (update != nullptr) {
        (*dc).*field = *update;
    }
    return previous;
}

}  // namespace

extern "C" COLORREF WINAPI SetTextColor(HDC hdc, COLORREF crColor) {
    return AccessColor(hdc, &DeviceContextObject::textColor, &crColor);
}

extern "C" COLORREF WINAPI GetTextColor(HDC hdc) {
    return AccessColor(hdc, &DeviceContextObject::textColor, nullptr);
}

extern "C" COLORREF WINAPI SetBkColor(HDC hdc, COLORREF crColor) {
    return AccessColor(hdc, &DeviceContextObject::backgroundColor, &crColor);
}

extern "C" COLORREF WINAPI GetBkColor(HDC hdc) {
    return AccessColor(hdc, &DeviceContextObject::backgroundColor, nullptr);
}

extern "C" int WINAPI SetBkMode(HDC hdc, int iBkMode) {
    std::shared_ptr<DeviceContextObject> dc = LookupDeviceContext(hdc);
    if (!dc || (iBkMode != TRANSPARENT && iBkMode != OPAQUE)) {
        SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    UiLock lock(UiMutex());
    const int previous = dc->backgroundMode;
    dc->backgroundMode = iBkMode;
    return previous;
}
