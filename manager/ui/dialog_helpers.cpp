// What both dialogs share: the program-wide UI state, centring a window, running a dialog template.
#include "dialogs.h"
#include "ui_state.h"

UiState g_ui = {};

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

INT_PTR RunDialogTemplate(int templateId, HWND owner, DLGPROC procedure) {
    HRSRC found = FindResourceW(g_ui.instance, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    if (found == nullptr) {
        return -1;
    }
    HGLOBAL loaded = LoadResource(g_ui.instance, found);
    const auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(loaded));
    if (dialogTemplate == nullptr) {
        return -1;
    }
    return DialogBoxIndirectParamW(g_ui.instance, dialogTemplate, owner, procedure, 0);
}
