// Icon images as resources hold them: an icon group (RT_GROUP_ICON) lists the images of one icon by size
// and colour depth; each image (RT_ICON) is a device-independent bitmap of twice the icon's height, the
// colour (XOR) bitmap followed by the 1-bit transparency (AND) mask, both bottom-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace ce::ui {

// The image of a group nearest 16 x 16 pixels, then the one with the most colours. False with *error when
// the group is malformed or empty.
bool ChooseIconImage(const BYTE* group, size_t size, WORD* imageId, std::string* error);

struct DecodedIcon {
    int width = 0, height = 0;
    std::vector<uint32_t> argb;  // top row first; alpha 0 where transparent
};

// Decodes a 1, 4, 8, 24 or 32 bits-per-pixel image. ERROR_SUCCESS, ERROR_NOT_SUPPORTED (PNG-compressed or
// other encodings) or ERROR_INVALID_DATA (truncated or inconsistent), with *error saying why.
DWORD DecodeIconImage(const BYTE* data, size_t size, DecodedIcon* icon, std::string* error);

}  // namespace ce::ui
