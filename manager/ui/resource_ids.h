// Resource and control identifiers of tulkcfg, shared by the resource script and the code. Only #define
// lines, so that the resource compiler reads it too.
#pragma once

// Dialog templates.
#define IDD_MAIN 129
#define IDD_ADD_PAIR 144

// Main dialog: the icon buttons and the port tree (created at run time, not by the template).
#define IDC_ADD_PAIR 1011
#define IDC_DELETE_PAIR 1012
#define IDC_TOGGLE_PORT 1013
#define IDC_USER_GUIDE 1007
#define IDC_PORT_TREE 1010

// Add-pair dialog.
#define IDC_ADD_OK 1016
#define IDC_ADD_CANCEL 1017
#define IDC_FIRST_PORT 1018
#define IDC_SECOND_PORT 1019

// The program's own icon for the shell.
#define IDI_PROGRAM 107

// Button faces and tree images, each 16 x 16.
#define IDI_USER_GUIDE 131
#define IDI_ADD_PAIR 136
#define IDI_DELETE_PAIR 138
#define IDI_DELETE_PAIR_OFF 154
#define IDI_DEVICE 149
#define IDI_PORT_EVEN 153
#define IDI_PORT_ODD 152
#define IDI_PHYSICAL_PORT 150
#define IDI_PORT_DISABLED 162
#define IDI_PORT_ENABLE 161
#define IDI_TOGGLE_OFF 163
