// What tests and front-ends may read of an icon: CeUiGetIconInfo and CeUiGetIconPixels.
#include <algorithm>

#include <ceplatform_ui.h>

#include "user/gdi/icon_object.h"

namespace {

// The front-end's colours are numbered as TerminalColor is.
static_assert(CE_UI_COLOR_DEFAULT == static_cast<int>(ce::ui::TerminalColor::Default) &&
                  CE_UI_COLOR_WHITE == static_cast<int>(ce::ui::TerminalColor::White),
              "terminal colour numbers");

}  // namespace

extern "C" BOOL CeUiGetIconInfo(HICON icon, CE_UI_ICON_INFO* info) {
    auto object = ce::ui::LookupIcon(icon);
    if (!object) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *info = CE_UI_ICON_INFO{};
    info->width = object->width;
    info->height = object->height;
    info->resourceId = object->resourceId;
    // Two characters are at most two surrogate pairs, which the field holds with its terminator.
    size_t length = std::min(object->picture.glyphs.size(), std::size(info->glyphs) - 1);
    std::copy_n(object->picture.glyphs.data(), length, info->glyphs);
    info->foreground = static_cast<BYTE>(object->picture.foreground);
    info->background = static_cast<BYTE>(object->picture.background);
    return TRUE;
}

extern "C" DWORD CeUiGetIconPixels(HICON icon, DWORD* argb, DWORD maxPixels) {
    auto object = ce::ui::LookupIcon(icon);
    if (!object) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return static_cast<DWORD>(-1);
    }
    if (argb == nullptr && maxPixels > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<DWORD>(-1);
    }
    std::copy_n(object->argb.begin(), std::min<size_t>(object->argb.size(), maxPixels), argb);
    return static_cast<DWORD>(object->argb.size());
}
