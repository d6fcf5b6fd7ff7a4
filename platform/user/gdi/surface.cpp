// Drawing recorded on windows' surfaces: rectangles, fills, text and icons, and what tests read back.
#include "user/gdi/gdi.h"
#include "user/windows/geometry.h"
#include "user/gdi/icon_object.h"

#include <ceplatform_ui.h>

#include <algorithm>

namespace ce::ui {
namespace {

// A window that keeps drawing without ever repainting fully keeps only its latest records.
constexpr size_t kMaxSurfaceRecords = 512;
constexpr int kDefaultIconSizePx = 32;  // SM_CXICON of the device, for DI_DEFAULTSIZE

bool CoversClient(const WindowObject& window, const DrawRecord& record) {
    const RECT client = ClientRectLocal(window);
    return record.filled && record.rect.left <= client.left && record.rect.top <= client.top &&
           record.rect.right >= client.right && record.rect.bottom >= client.bottom;
}

}  // namespace

void RecordDrawing(const WindowPtr& window, const DrawRecord& record) {
    {
        UiLock lock(UiMutex());
        std::vector<DrawRecord>& surface = window->surface;
        if (record.kind != DrawRecord::Kind::Icon && record.kind != DrawRecord::Kind::Text &&
            CoversClient(*window, record)) {
            surface.clear();  // nothing drawn before can show through
        }
        if (surface.size() >= kMaxSurfaceRecords) {
            surface.erase(surface.begin());
        }
        surface.push_back(record);
    }
    TellFrontEndChanged();
}

void ClearSurface(const WindowPtr& window) {
    UiLock lock(UiMutex());
    window->surface.clear();
}

}  // namespace ce::ui

using namespace ce;
using namespace ce::ui;

namespace {

// The window a DC draws on; nullptr for the screen's DC, whose drawing is not kept.
bool DrawTarget(HDC hdc, std::shared_ptr<DeviceContextObject>* dc, WindowPtr* window) {
    *dc = LookupDeviceContext(hdc);
    if (!*dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    *window = (*dc)->window.lock();
    return true;
}

int TextLines(const std::u16string& text) {
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), u'\n'));
}

int LongestLine(const std::u16string& text) {
    size_t longest = 0, current = 0;
    for (char16_t c : text) {
        current = c == u'\n' ? 0 : current + 1;
        longest = std::max(longest, current);
    }
    return static_cast<int>(longest);
}

}  // namespace

extern "C" BOOL WINAPI Rectangle(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    std::shared_ptr<DeviceContextObject> dc;
    WindowPtr window;
    if (!DrawTarget(hdc, &dc, &window)) {
        return FALSE;
    }
    DrawRecord record;
    record.kind = DrawRecord::Kind::Rectangle;
    record.rect = RECT{std::min(nLeftRect, nRightRect), std::min(nTopRect, nBottomRect),
                       std::max(nLeftRect, nRightRect), std::max(nTopRect, nBottomRect)};
    {
        UiLock lock(UiMutex());
        record.filled = dc->brush && !dc->brush->hollow;
        record.fill = dc->brush ? dc->brush->color : 0;
        record.outlined = dc->pen && !dc->pen->hollow;
        record.outline = dc->pen ? dc->pen->color : 0;
    }
    if (window) {
        RecordDrawing(window, record);
    }
    return TRUE;
}

extern "C" int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    std::shared_ptr<DeviceContextObject> dc;
    WindowPtr window;
    if (!DrawTarget(hDC, &dc, &window)) {
        return 0;
    }
    if (lprc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Win32 also takes a system colour index + 1 in place of a brush.
    const auto value = reinterpret_cast<ULONG_PTR>(hbr);
    if (value > 0 && value <= C_SYS_COLOR_TYPES) {
        hbr = GetSysColorBrush(static_cast<int>(value - 1));
    }
    std::shared_ptr<GdiObject> brush = Lookup<GdiObject>(hbr, ObjectType::GdiObject);
    if (!brush || brush->kind != GdiObject::Kind::Brush) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    DrawRecord record;
    record.kind = DrawRecord::Kind::Fill;
    record.rect = *lprc;
    record.filled = !brush->hollow;
    record.fill = brush->color;
    if (window) {
        RecordDrawing(window, record);
    }
    return 1;
}

extern "C" int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    std::shared_ptr<DeviceContextObject> dc;
    WindowPtr window;
    if (!DrawTarget(hdc, &dc, &window)) {
        return 0;
    }
    if (lpchText == nullptr || lprc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string text =
        cchText < 0 ? std::u16string(lpchText) : std::u16string(lpchText, static_cast<size_t>(cchText));
    if ((format & DT_NOPREFIX) == 0) {
        text = WithoutMnemonics(text);
    }
    if ((format & DT_SINGLELINE) != 0) {
        std::replace(text.begin(), text.end(), u'\n', u' ');
    }
    const int height = TextLines(text) * kCellHeightPx;
    if ((format & DT_CALCRECT) != 0) {
        lprc->right = lprc->left + LongestLine(text) * kCellWidthPx;
        lprc->bottom = lprc->top + height;
        return height;
    }
    DrawRecord record;
    record.kind = DrawRecord::Kind::Text;
    record.rect = *lprc;
    record.text = std::move(text);
    {
        UiLock lock(UiMutex());
        record.textColor = dc->textColor;
    }
    if (window) {
        RecordDrawing(window, record);
    }
    return height;
}

extern "C" BOOL WINAPI ExtTextOutW(HDC hdc, int X, int Y, UINT fuOptions, const RECT* lprc, LPCWSTR lpString,
                                   UINT cbCount, const int* lpDx) {
    std::shared_ptr<DeviceContextObject> dc;
    WindowPtr window;
    if (!DrawTarget(hdc, &dc, &window)) {
        return FALSE;
    }
    if (lpString == nullptr && cbCount != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    COLORREF background, textColor;
    {
        UiLock lock(UiMutex());
        background = dc->backgroundColor;
        textColor = dc->textColor;
    }
    if (window && (fuOptions & ETO_OPAQUE) != 0 && lprc != nullptr) {
        DrawRecord fill;
        fill.kind = DrawRecord::Kind::Fill;
        fill.rect = *lprc;
        fill.filled = true;
        fill.fill = background;
        RecordDrawing(window, fill);
    }
    if (window && cbCount != 0) {
        DrawRecord record;
        record.kind = DrawRecord::Kind::Text;
        record.rect = RECT{X, Y, X + static_cast<int>(cbCount) * kCellWidthPx, Y + kCellHeightPx};
        record.text.assign(lpString, cbCount);
        record.textColor = textColor;
        RecordDrawing(window, record);
    }
    return TRUE;
}

extern "C" BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                                  UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
    std::shared_ptr<DeviceContextObject> dc;
    WindowPtr window;
    if (!DrawTarget(hdc, &dc, &window)) {
        return FALSE;
    }
    std::shared_ptr<IconObject> icon = Lookup<IconObject>(hIcon, ObjectType::Icon);
    if (!icon) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    if ((diFlags & DI_NORMAL) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool defaultSize = (diFlags & DI_DEFAULTSIZE) != 0;
    const int width = cxWidth != 0 ? cxWidth : (defaultSize ? kDefaultIconSizePx : icon->width);
    const int height = cyWidth != 0 ? cyWidth : (defaultSize ? kDefaultIconSizePx : icon->height);
    DrawRecord record;
    record.kind = DrawRecord::Kind::Icon;
    record.rect = RECT{xLeft, yTop, xLeft + width, yTop + height};
    record.icon = hIcon;
    if (window) {
        RecordDrawing(window, record);
    }
    return TRUE;
}

namespace {

template <class Out, class Convert>
DWORD CopyRecords(HWND hwnd, DrawRecord::Kind first, DrawRecord::Kind second, Out* out, DWORD maxCount,
                  Convert convert) {
    WindowPtr window = WindowOrFail(hwnd);
    if (!window) {
        return static_cast<DWORD>(-1);
    }
    UiLock lock(UiMutex());
    DWORD count = 0;
    for (const DrawRecord& record : window->surface) {
        if (record.kind != first && record.kind != second) {
            continue;
        }
        if (out != nullptr && count < maxCount) {
            out[count] = convert(record);
        }
        ++count;
    }
    return count;
}

}  // namespace

extern "C" DWORD CeUiGetDrawnIcons(HWND hwnd, CE_UI_DRAWN_ICON* icons, DWORD maxCount) {
    return CopyRecords(
        hwnd, DrawRecord::Kind::Icon, DrawRecord::Kind::Icon, icons, maxCount, [](const DrawRecord& r) {
            return CE_UI_DRAWN_ICON{r.icon, r.rect.left, r.rect.top, Width(r.rect), Height(r.rect)};
        });
}

extern "C" DWORD CeUiGetDrawnRects(HWND hwnd, CE_UI_DRAWN_RECT* rects, DWORD maxCount) {
    return CopyRecords(hwnd, DrawRecord::Kind::Fill, DrawRecord::Kind::Rectangle, rects, maxCount,
                       [](const DrawRecord& r) {
                           return CE_UI_DRAWN_RECT{r.rect, r.fill, r.filled ? TRUE : FALSE, r.outline,
                                                   r.outlined ? TRUE : FALSE};
                       });
}
