// The manager's program-wide user-interface state: filled by WinMain and the main dialog, read by both
// dialogs, alive until the process ends. Nothing in it is released: the process end takes it all.
#pragma once

#include <windows.h>

#include <commctrl.h>

// The main dialog's title, the caption of every message box, and what a second copy looks for.
#define TULKCFG_TITLE TEXT("TULK CE 3.6")

// Room for the help address, NUL included.
inline constexpr int kHelpUrlChars = MAX_PATH;

struct UiIcons {
    HICON userGuide;      // face of the help button
    HICON addPair;        // face of the add-pair button
    HICON deletePair;     // face of the delete button while enabled
    HICON deletePairOff;  // ... while disabled
    HICON device;         // tree image 0: the roots
    HICON portEven;       // tree image 1: virtual port in an even slot
    HICON portOdd;        // tree image 2: virtual port in an odd slot
    HICON physicalPort;   // tree image 3: enabled physical port
    HICON portDisabled;   // tree image 4; face of the toggle button over an enabled physical port
    HICON portEnable;     // face of the toggle button over a disabled physical port
    HICON toggleOff;      // face of the toggle button with no physical port selected
};

struct UiState {
    HINSTANCE instance;
    WCHAR helpUrl[kHelpUrlChars];
    UiIcons icons;
    HWND mainDialog;
    HWND treeView;
    HTREEITEM physicalRoot;
    HTREEITEM virtualRoot;
    HIMAGELIST imageList;
};

extern UiState g_ui;
