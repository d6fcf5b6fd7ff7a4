// The dialog manager's record of one dialog and its internal entry points.
#pragma once

#include "user/resources/dialog_template.h"
#include "user/windows/window.h"

namespace ce::ui {

struct DialogState {
    DLGPROC proc = nullptr;
    LONG_PTR msgResult = 0;  // DWL_MSGRESULT
    LONG_PTR user = 0;       // DWL_USER
    INT_PTR result = 0;      // EndDialog's value
    bool ended = false;
    WORD defaultId = 0;  // from the template's default push button or DM_SETDEFID; 0 for none
    HWND savedFocus = nullptr;
    HFONT font = nullptr;  // DS_SETFONT's font, sent to the controls with WM_SETFONT
    std::u16string typeface;
    WORD pointSize = 0;
    HWND disabledOwner = nullptr;  // the owner a modal loop disabled and re-enables at the end
};

// Creates a dialog and its controls from a parsed template and sends WM_INITDIALOG. The owner is not
// disabled here: the modal loop does that. nullptr on failure, with the last error set.
HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialogTemplate, HWND owner,
                              DLGPROC proc, LPARAM param, bool modal);
// Disables the owner, creates the dialog, runs it modally and enables the owner again: DialogBox's work.
// 0 for a bad owner, -1 when the dialog could not be made.
INT_PTR RunDialog(HINSTANCE instance, const DialogTemplate& dialogTemplate, HWND owner, DLGPROC proc,
                  LPARAM param);
// Runs the modal loop of a dialog created with modal = true, destroys it and answers its result
// (-1 when it could not run).
INT_PTR RunModalLoop(HWND dialog, HWND owner);

}  // namespace ce::ui
