// The main dialog's handlers, one per command or notification (main_dialog.cpp dispatches to them).
#pragma once

#include <windows.h>

void InitMainDialog(HWND dialog);
void UpdateButtonsForSelection();
void DrawButtonFace(const DRAWITEMSTRUCT& item);
void OpenUserGuide();
void AddPair();
void DeleteSelectedPair();
void ToggleSelectedPhysicalPort();
