// Identifiers of the small dialog program that the terminal tests run.
#pragma once

#define IDD_DEMO 200
#define IDC_PORT 201
#define IDC_ICON 202
#define IDC_TREE 203
#define IDC_STATUS 204
#define IDC_ASK 205
#define IDC_MORE 206
// What the dialog ends with when its close box is pressed.
#define DEMO_CLOSED 3

#ifndef RC_INVOKED
#include <windows.h>

// The dialog's procedure; the screen picture tests show the dialog in-process.
INT_PTR CALLBACK DemoProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
#endif
