#include "dialogs.h"

void CenterWindow(HWND window) {
    HDC dc = GetDC(window);
    if (dc == nullptr) {
        return;
    }
    const int screenWidth = GetDeviceCaps(dc, HORZRES);
    const int screenHeight = GetDeviceCaps(dc, VERTRES);
    RECT frame;
    if (GetWindowRect(window, &frame)) {
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        MoveWindow(window, (screenWidth - width) / 2, (screenHeight - height) / 2, width, height, TRUE);
    }
    ReleaseDC(window, dc);
}
