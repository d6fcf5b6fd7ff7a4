// The port tree of the main dialog: what an item shows for a port, and the item calls both dialogs use.
// Every call goes to g_ui.treeView.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "store/port_entry.h"

// Images of the tree's image list, in the order they are added.
enum TreeImage : int {
    kImageDevice = 0,    // the two roots
    kImagePortEven = 1,  // virtual port in an even slot; the odd one follows it
    kImagePortOdd = 2,
    kImagePhysical = 3,     // enabled physical port
    kImagePhysicalOff = 4,  // disabled physical port
};
inline constexpr int kTreeImageCount = 5;
inline constexpr int kTreeImagePx = 16;

// Item texts hold 255 characters and the NUL; longer ones are cut.
inline constexpr int kItemTextChars = 256;

// What the port's item shows: "COM5:" for a virtual port, "COM1: (Serial Cable)" for an enabled physical
// port, the friendly name (or a fixed text) for a disabled one.
void PortItemText(const PortEntry& entry, WCHAR text[kItemTextChars]);
int PortItemImage(const PortEntry& entry);
// The device name of a combined number: "COM0:" .. "COM9:", "KMX0:" .. "KMX9:".
void VirtualPortName(DWORD combinedNumber, WCHAR text[kItemTextChars]);

// Appends an item at the end of parent's children, image and selected image equal, no children.
HTREEITEM AppendTreeItem(HTREEITEM parent, LPCWSTR text, int image, const PortEntry* entry);
// A root's child count decides whether it shows an expand button.
void SetChildCount(HTREEITEM item, int count);
HTREEITEM SelectedTreeItem();
// The entry kept in the item, or null (a root, or no item).
PortEntry* TreeItemEntry(HTREEITEM item);
