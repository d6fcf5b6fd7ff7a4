// The program's resources as compiled: both dialog templates field by field, the eleven icons with their
// pictures and terminal pictures, and the program's icon group.
#include "manager/ui/manager_test_support.h"

#include <algorithm>
#include <cstdlib>

#include "user/resources/dialog_template.h"

namespace {

using namespace uitest;
using ce::ui::DialogItemTemplate;
using ce::ui::DialogTemplate;

constexpr WORD kButtonClass = 0x80;
constexpr WORD kStaticClass = 0x82;
constexpr WORD kComboBoxClass = 0x85;
constexpr DWORD kNoId = 0xFFFF;
constexpr DWORD kDialogStyle = 0x80C800C0;

DialogTemplate LoadTemplate(int id) {
    DialogTemplate parsed;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    EXPECT_NE(found, nullptr);
    const void* bytes = LockResource(LoadResource(module, found));
    EXPECT_TRUE(ce::ui::ParseDialogTemplate(bytes, SizeofResource(module, found), &parsed));
    return parsed;
}

struct ItemSpec {
    DWORD id;
    WORD windowClass;
    std::u16string text;
    short x, y, cx, cy;
    DWORD style;
};

void ExpectItems(const DialogTemplate& dialog, const std::vector<ItemSpec>& expected) {
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const DialogItemTemplate& item = dialog.items[i];
        const ItemSpec& spec = expected[i];
        SCOPED_TRACE("item " + std::to_string(i));
        EXPECT_EQ(item.id & 0xFFFF, spec.id);
        EXPECT_EQ(item.windowClass.ordinal, spec.windowClass);
        EXPECT_EQ(item.title.text, spec.text);
        EXPECT_EQ(item.x, spec.x);
        EXPECT_EQ(item.y, spec.y);
        EXPECT_EQ(item.cx, spec.cx);
        EXPECT_EQ(item.cy, spec.cy);
        EXPECT_EQ(item.style, spec.style);
        EXPECT_EQ(item.exStyle, 0u);
    }
}

TEST(Templates, MainDialog) {
    const DialogTemplate dialog = LoadTemplate(IDD_MAIN);
    EXPECT_EQ(dialog.style, kDialogStyle);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.cx, 116);
    EXPECT_EQ(dialog.cy, 125);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, u"System");
    EXPECT_EQ(dialog.menu.ordinal, 0);
    EXPECT_TRUE(dialog.menu.text.empty());
    EXPECT_EQ(dialog.windowClass.ordinal, 0);
    EXPECT_TRUE(dialog.windowClass.text.empty());
    EXPECT_NE(dialog.caption, kTitle) << "a placeholder, so that a second copy finds only a running one";
    EXPECT_EQ(dialog.caption.find_first_not_of(u' '), std::u16string::npos) << "blanks only";
    ExpectItems(dialog, {{IDC_ADD_PAIR, kButtonClass, u"", 2, 1, 13, 12, 0x5001000B},
                         {IDC_DELETE_PAIR, kButtonClass, u"", 17, 1, 13, 12, 0x5001000B},
                         {IDC_TOGGLE_PORT, kButtonClass, u"", 33, 1, 13, 12, 0x5001000B},
                         {IDC_USER_GUIDE, kButtonClass, u"", 101, 1, 13, 12, 0x5001020B}});
}

TEST(Templates, AddPairDialog) {
    const DialogTemplate dialog = LoadTemplate(IDD_ADD_PAIR);
    EXPECT_EQ(dialog.style, kDialogStyle);
    EXPECT_EQ(dialog.cx, 110);
    EXPECT_EQ(dialog.cy, 52);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, u"System");
    EXPECT_EQ(dialog.caption, u"Add KMX pair");
    ExpectItems(dialog, {{kNoId, kStaticClass, u"Port 1", 5, 2, 30, 8, 0x50020000},
                         {kNoId, kStaticClass, u"Port 2", 59, 2, 32, 8, 0x50020000},
                         {IDC_FIRST_PORT, kComboBoxClass, u"", 4, 14, 48, 58, 0x50210103},
                         {IDC_SECOND_PORT, kComboBoxClass, u"", 58, 14, 48, 57, 0x50210103},
                         {IDC_ADD_OK, kButtonClass, u"OK", 4, 32, 47, 14, 0x50010001},
                         {IDC_ADD_CANCEL, kButtonClass, u"Cancel", 58, 32, 47, 14, 0x50010000}});
}

// Where an icon shows its subject, and what colour that part has.
enum class Hue { Blue, Green, Red, Grey, Neutral };

struct IconCase {
    const char* name;
    int id;
    RECT region;  // pixels where the subject's mark is
    Hue hue;
};

// The average colour of the opaque pixels of a region.
struct Average {
    int red = 0, green = 0, blue = 0, opaque = 0;
};

Average AverageOf(const std::vector<DWORD>& pixels, int width, const RECT& region) {
    long sums[3] = {};
    Average average;
    for (int y = region.top; y < region.bottom; ++y) {
        for (int x = region.left; x < region.right; ++x) {
            const DWORD argb = pixels[static_cast<size_t>(y * width + x)];
            if ((argb >> 24) < 128) {
                continue;
            }
            sums[0] += (argb >> 16) & 0xFF;
            sums[1] += (argb >> 8) & 0xFF;
            sums[2] += argb & 0xFF;
            ++average.opaque;
        }
    }
    if (average.opaque > 0) {
        average.red = static_cast<int>(sums[0] / average.opaque);
        average.green = static_cast<int>(sums[1] / average.opaque);
        average.blue = static_cast<int>(sums[2] / average.opaque);
    }
    return average;
}

bool HasHue(const Average& a, Hue hue) {
    constexpr int kMargin = 40;
    switch (hue) {
        case Hue::Blue:
            return a.blue > a.red + kMargin && a.blue >= a.green;
        case Hue::Green:
            return a.green > a.red + kMargin && a.green > a.blue + kMargin;
        case Hue::Red:
            return a.red > a.green + kMargin && a.red > a.blue + kMargin;
        case Hue::Grey:
            return std::abs(a.red - a.green) < 16 && std::abs(a.green - a.blue) < 16;
        case Hue::Neutral:
            return std::max({a.red, a.green, a.blue}) - std::min({a.red, a.green, a.blue}) < kMargin;
    }
    return false;
}

class Icons : public ::testing::TestWithParam<IconCase> {};

TEST_P(Icons, AreSixteenPixelsWithTheirSubjectAndATerminalPicture) {
    const IconCase& c = GetParam();
    HICON icon = ProgramIcon(c.id);
    ASSERT_NE(icon, nullptr);
    CE_UI_ICON_INFO info = {};
    ASSERT_TRUE(CeUiGetIconInfo(icon, &info));
    EXPECT_EQ(info.width, 16);
    EXPECT_EQ(info.height, 16);
    EXPECT_EQ(info.resourceId, c.id);
    EXPECT_NE(info.glyphs[0], 0) << "a terminal picture of its own";

    std::vector<DWORD> pixels(16 * 16);
    ASSERT_EQ(CeUiGetIconPixels(icon, pixels.data(), 16 * 16), 256u);
    const Average mark = AverageOf(pixels, 16, c.region);
    EXPECT_GT(mark.opaque, 0);
    EXPECT_TRUE(HasHue(mark, c.hue)) << "average " << mark.red << "," << mark.green << "," << mark.blue;
    const Average corner = AverageOf(pixels, 16, RECT{0, 0, 1, 1});
    EXPECT_EQ(corner.opaque, 0) << "the corners are transparent";
}

// The badge of every connector icon sits in the lower right quarter; the connector in the upper left.
constexpr RECT kBadge = {9, 9, 15, 15};
constexpr RECT kConnector = {1, 3, 8, 8};
constexpr RECT kMiddle = {4, 4, 12, 12};

INSTANTIATE_TEST_SUITE_P(
    Faces, Icons,
    ::testing::Values(IconCase{"UserGuide", IDI_USER_GUIDE, {1, 1, 4, 15}, Hue::Blue},
                      IconCase{"AddPair", IDI_ADD_PAIR, kBadge, Hue::Green},
                      IconCase{"AddPairConnector", IDI_ADD_PAIR, kConnector, Hue::Neutral},
                      IconCase{"DeletePair", IDI_DELETE_PAIR, kBadge, Hue::Red},
                      IconCase{"DeletePairOff", IDI_DELETE_PAIR_OFF, kBadge, Hue::Grey},
                      IconCase{"DeletePairOffConnector", IDI_DELETE_PAIR_OFF, kConnector, Hue::Grey},
                      IconCase{"Device", IDI_DEVICE, {5, 4, 11, 9}, Hue::Blue},
                      IconCase{"PortEven", IDI_PORT_EVEN, {10, 10, 13, 15}, Hue::Green},
                      IconCase{"PortOdd", IDI_PORT_ODD, {10, 8, 13, 13}, Hue::Green},
                      IconCase{"PhysicalPort", IDI_PHYSICAL_PORT, kMiddle, Hue::Neutral},
                      IconCase{"PortDisabled", IDI_PORT_DISABLED, kBadge, Hue::Red},
                      IconCase{"PortEnable", IDI_PORT_ENABLE, {10, 10, 13, 14}, Hue::Green},
                      IconCase{"ToggleOff", IDI_TOGGLE_OFF, kBadge, Hue::Grey},
                      IconCase{"ToggleOffConnector", IDI_TOGGLE_OFF, kConnector, Hue::Grey}),
    CaseName());

TEST(ProgramIconGroup, HoldsThirtyTwoAndSixteenPixelImages) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDI_PROGRAM), RT_GROUP_ICON);
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(bytes, nullptr);
    // GRPICONDIR: reserved, type 1, count; then 14-byte entries starting with width and height.
    constexpr size_t kHeaderBytes = 6;
    constexpr size_t kEntryBytes = 14;
    ASSERT_GE(SizeofResource(module, found), kHeaderBytes);
    const WORD count = static_cast<WORD>(bytes[4] | (bytes[5] << 8));
    ASSERT_EQ(count, 2);
    ASSERT_GE(SizeofResource(module, found), kHeaderBytes + count * kEntryBytes);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = bytes + kHeaderBytes + i * kEntryBytes;
        EXPECT_EQ(entry[0], entry[1]) << "square";
        sizes.push_back(entry[0]);
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 32}));
    CE_UI_ICON_INFO info = {};
    ASSERT_TRUE(CeUiGetIconInfo(ProgramIcon(IDI_PROGRAM), &info));
    EXPECT_NE(info.glyphs[0], 0);
}

}  // namespace
