#include "dialogs.h"
#include "ui_state.h"

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
