// Choosing the image of an icon group.
#include <algorithm>
#include <cstdlib>

#include "user/resources/byte_reader.h"
#include "user/resources/icon_image.h"

namespace ce::ui {
namespace {

constexpr WORD kIconResourceType = 1;  // GRPICONDIR idType of icons (2 is cursors)
constexpr int kWantedSide = 16;        // pixels: the device's small icons, which its dialogs draw
constexpr int kFullSide = 256;         // a side stored as 0

struct GroupEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};

int Side(BYTE stored) {
    return stored == 0 ? kFullSide : stored;
}

// Entries written without a bit count still give their colour count.
int Depth(const GroupEntry& entry) {
    if (entry.bitCount != 0) {
        return entry.bitCount * std::max<int>(entry.planes, 1);
    }
    int depth = 1;
    while (depth < 8 && (1 << depth) < entry.colorCount) {
        ++depth;
    }
    return entry.colorCount == 0 ? 8 : depth;
}

}  // namespace

bool ChooseIconImage(const BYTE* group, size_t size, WORD* imageId, std::string* error) {
    ByteReader reader(group, size);
    WORD reserved = 1, type = 0, count = 0;
    if (!reader.Read(&reserved) || !reader.Read(&type) || !reader.Read(&count) || reserved != 0 ||
        type != kIconResourceType) {
        *error = "not an icon group";
        return false;
    }
    if (count == 0) {
        *error = "the icon group holds no image";
        return false;
    }
    int bestDistance = 0, bestDepth = 0;
    for (WORD i = 0; i < count; ++i) {
        GroupEntry entry;
        if (!reader.Read(&entry.width) || !reader.Read(&entry.height) || !reader.Read(&entry.colorCount) ||
            !reader.Read(&entry.reserved) || !reader.Read(&entry.planes) || !reader.Read(&entry.bitCount) ||
            !reader.Read(&entry.bytesInRes) || !reader.Read(&entry.id)) {
            *error = "the icon group is truncated";
            return false;
        }
        int distance = std::abs(Side(entry.width) - kWantedSide) + std::abs(Side(entry.height) - kWantedSide);
        int depth = Depth(entry);
        if (i == 0 || distance < bestDistance || (distance == bestDistance && depth > bestDepth)) {
            bestDistance = distance;
            bestDepth = depth;
            *imageId = entry.id;
        }
    }
    return true;
}

}  // namespace ce::ui
