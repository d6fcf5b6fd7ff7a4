// GDI objects: device contexts bound to a window's surface, brushes, pens and fonts.
#pragma once

#include "user/windows/window.h"

namespace ce::ui {

class GdiObject : public KernelObject {
  public:
    enum class Kind { Brush, Pen, Font };
    GdiObject(Kind kind, COLORREF color) : KernelObject(ObjectType::GdiObject), kind(kind), color(color) {}

    const Kind kind;
    const COLORREF color;
    bool hollow = false;      // a null brush or pen
    int width = 1;            // pens
    bool stock = false;       // never deleted
    std::u16string typeface;  // fonts
    int pointSize = 0;        // fonts
};

class DeviceContextObject : public KernelObject {
  public:
    DeviceContextObject() : KernelObject(ObjectType::DeviceContext) {}

    std::weak_ptr<WindowObject> window;  // empty for the screen's DC
    // Guarded by UiMutex(): the selected objects stay alive while selected, even if deleted meanwhile.
    std::shared_ptr<GdiObject> brush, pen, font;
    HGDIOBJ brushHandle = nullptr, penHandle = nullptr, fontHandle = nullptr;
    COLORREF textColor = 0;
    COLORREF backgroundColor = 0xFFFFFF;
    int backgroundMode = 2;  // OPAQUE
};

std::shared_ptr<DeviceContextObject> LookupDeviceContext(HDC dc);
// A font record for a dialog's DS_SETFONT font.
HFONT CreateDialogFont(const std::u16string& typeface, int pointSize);
// Forgets what a window drew: the start of a full repaint.
void ClearSurface(const WindowPtr& window);

}  // namespace ce::ui
