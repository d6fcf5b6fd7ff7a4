// The icons of the system itself (LoadIconW(NULL, IDI_...)), which message boxes show.
#include <array>

#include "user/resources/icon_cache.h"

namespace ce::ui {
namespace {

constexpr int kSide = 16;  // pixels
constexpr uint32_t kOpaque = 0xFF000000u;

struct SystemIcon {
    WORD id;
    uint32_t rgb;  // the disc's colour
    const char16_t* glyphs;
    TerminalColor foreground, background;
};

constexpr std::array<SystemIcon, 5> kSystemIcons{{
    {32512, 0x0000C0, u"[]", TerminalColor::White, TerminalColor::Blue},   // IDI_APPLICATION
    {32513, 0xC00000, u"X", TerminalColor::White, TerminalColor::Red},     // IDI_HAND
    {32514, 0x0000C0, u"?", TerminalColor::White, TerminalColor::Blue},    // IDI_QUESTION
    {32515, 0xE0C000, u"!", TerminalColor::Black, TerminalColor::Yellow},  // IDI_EXCLAMATION
    {32516, 0x0000C0, u"i", TerminalColor::White, TerminalColor::Blue},    // IDI_ASTERISK
}};

}  // namespace

bool MakeSystemIcon(WORD id, IconObject* icon) {
    for (const SystemIcon& known : kSystemIcons) {
        if (known.id != id) {
            continue;
        }
        icon->resourceId = id;
        icon->width = icon->height = kSide;
        icon->argb.assign(kSide * kSide, 0);
        // A disc: pixel centres within the radius of the square's centre.
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                int dx = 2 * x + 1 - kSide, dy = 2 * y + 1 - kSide;
                if (dx * dx + dy * dy <= kSide * kSide) {
                    icon->argb[y * kSide + x] = known.rgb | kOpaque;
                }
            }
        }
        icon->picture = TerminalPicture{known.glyphs, known.foreground, known.background};
        return true;
    }
    return false;
}

}  // namespace ce::ui
