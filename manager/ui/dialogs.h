// The manager's two dialogs and the helpers they share. Everything runs on the program's one UI thread.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "store/port_entry.h"

// The main dialog (template IDD_MAIN): the icon buttons above the tree of ports. Answers 0 to every
// message; only the close box ends it.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The add-pair dialog (template IDD_ADD_PAIR), run modally by the main dialog's add-pair button. Answers 0
// to every message.
INT_PTR CALLBACK AddPairDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Moves a window to the middle of the screen without changing its size.
void CenterWindow(HWND window);

// The child of the virtual root whose item data is entry (by identity), or null.
HTREEITEM FindVirtualPortItem(const PortEntry* entry);

// Runs a dialog template of the program's resources modally; -1 when the template or the dialog fails.
INT_PTR RunDialogTemplate(int templateId, HWND owner, DLGPROC procedure);
