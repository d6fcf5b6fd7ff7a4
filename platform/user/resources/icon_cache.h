// The shared icons of the process: every icon LoadIconW made, by the registration it came from and its
// group's name, so loading it again answers the same handle.
#pragma once

#include <cstdint>

#include <windows.h>

#include "user/gdi/icon_object.h"

namespace ce::ui {

// Removes the icons loaded from a withdrawn registration: their handles become invalid. Holders of the
// objects themselves (an image list) keep their pixels.
void ForgetIcons(uint32_t serial);

// The system's own icon for an IDI_ value: pixels and a terminal picture. False for other values.
bool MakeSystemIcon(WORD id, IconObject* icon);

}  // namespace ce::ui
