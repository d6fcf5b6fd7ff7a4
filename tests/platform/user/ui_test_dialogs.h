// Identifiers of the dialogs of ui_test_dialogs.rc and of their controls.
#pragma once

#define IDD_STANDARD 100
#define IDD_NO_DEFAULT 101
#define IDD_EMPTY 102
#define IDD_UNKNOWN_CONTROL 103
#define IDD_MODELESS 104
#define IDD_COMBO 105
#define IDD_TREE 106

#define IDC_DRAW 300
#define IDC_STATIC_TEXT 301
#define IDC_DISABLED 302
#define IDC_COMBO 303
#define IDC_TREE 304
