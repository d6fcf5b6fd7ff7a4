// Ids of resources_test.rc, shared by the script and the tests.
#pragma once

#define IDD_CLASSIC 129
#define IDD_EXTENDED 144
#define IDD_NAMED_PARTS 145

#define IDC_ADD 1007
#define IDC_TREE 1008
#define IDC_NAMES 1010
#define IDC_OWNER 1011
#define IDC_PICTURE 1012

#define IDI_TWO_SIZES 131
#define IDI_DEPTHS 132
#define IDI_LARGE_ONLY 133
#define IDI_THREE_GLYPHS 134
#define IDI_BAD_COLOUR 135
#define IDI_SEMICOLON 136
#define IDI_WIDE_GLYPH 137

#define IDR_BYTES 300
