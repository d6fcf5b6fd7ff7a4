// The icon buttons: which are enabled for each kind of selection, and the face each draws in each state.
#include "manager/ui/manager_test_support.h"

namespace {

using namespace uitest;

constexpr int kIconPx = 16;

struct Face {
    int button;
    BOOL enabled;
    int icon;
};

// Each button drew its icon once, centred on the static background without an outline.
void ExpectFaces(HWND dialog, const std::vector<Face>& faces, const char* context) {
    for (const Face& face : faces) {
        HWND button = GetDlgItem(dialog, face.button);
        EXPECT_EQ(IsWindowEnabled(button), face.enabled) << context << ": button " << face.button;
        const auto icons = DrawnIcons(button);
        ASSERT_EQ(icons.size(), 1u) << context << ": button " << face.button;
        EXPECT_EQ(icons[0].icon, ProgramIcon(face.icon)) << context << ": button " << face.button;
        RECT client;
        GetClientRect(button, &client);
        EXPECT_EQ(icons[0].x, (client.right - kIconPx) / 2);
        EXPECT_EQ(icons[0].y, (client.bottom - kIconPx) / 2);
        EXPECT_EQ(icons[0].width, kIconPx);
        CE_UI_DRAWN_RECT background;
        ASSERT_EQ(CeUiGetDrawnRects(button, &background, 1), 1u);
        EXPECT_EQ(background.rect.right, client.right);
        EXPECT_EQ(background.rect.bottom, client.bottom);
        EXPECT_TRUE(background.filled);
        EXPECT_EQ(background.fill, GetSysColor(COLOR_STATIC));
        EXPECT_FALSE(background.outlined);
    }
}

class Buttons : public ManagerTest {};

TEST_F(Buttons, APressedFaceMovesOnePixelRightAndDown) {
    Start();
    HWND add = button(IDC_ADD_PAIR);
    RECT client;
    GetClientRect(add, &client);
    SendMessageW(add, BM_SETSTATE, TRUE, 0);
    auto icons = DrawnIcons(add);
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].x, (client.right - kIconPx) / 2 + 1);
    EXPECT_EQ(icons[0].y, (client.bottom - kIconPx) / 2 + 1);
    SendMessageW(add, BM_SETSTATE, FALSE, 0);
    icons = DrawnIcons(add);
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].x, (client.right - kIconPx) / 2);
}

TEST_F(Buttons, EnterAndEscapeDoNotCloseTheMainDialog) {
    Start();
    Press(VK_RETURN);
    Press(VK_ESCAPE);
    EXPECT_TRUE(IsWindow(main()));
    EXPECT_EQ(CeUiGetActiveWindow(), main());
    EXPECT_FALSE(run_->finished());
}

// The tree items clicked in turn, each a root (0 physical, 1 virtual) and a row below it, or -1 for the root.
using Clicks = std::vector<std::pair<int, int>>;

struct SelectionCase {
    const char* name;
    Clicks clicks;
    BOOL deleteEnabled;
    int toggleIcon;  // the toggle button is enabled with any face but its disabled one
};

// From a virtual port the first click changes the selection in every case.
const SelectionCase kSelections[] = {
    {"AfterStart", {}, FALSE, IDI_TOGGLE_OFF},
    {"PhysicalRoot", {{1, 1}, {0, -1}}, FALSE, IDI_TOGGLE_OFF},
    {"VirtualRoot", {{1, 1}, {1, -1}}, FALSE, IDI_TOGGLE_OFF},
    {"VirtualPort", {{1, 1}, {0, 0}, {1, 0}}, TRUE, IDI_TOGGLE_OFF},
    {"EnabledPhysicalPort", {{1, 1}, {0, 0}}, FALSE, IDI_PORT_DISABLED},
    {"DisabledPhysicalPort", {{1, 1}, {0, 1}}, FALSE, IDI_PORT_ENABLE},
};

class ButtonsForSelection : public ManagerTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(ButtonsForSelection, FollowTheSelectedKindOfItem) {
    const SelectionCase& c = GetParam();
    CreatePair(3, 4);
    storetest::StartPhysicalPort({.keyName = u"Serial1", .number = 1});
    WriteDisabledPhysicalKey({.keyName = u"Serial2", .number = 2});
    Start();
    ASSERT_EQ(ChildrenOf(tree(), Root(tree(), 0)).size(), 2u);
    ASSERT_EQ(ChildrenOf(tree(), Root(tree(), 1)).size(), 2u);
    for (const auto& [root, row] : c.clicks) {
        HTREEITEM item = Root(tree(), root);
        ClickItem(tree(), row < 0 ? item : ChildrenOf(tree(), item)[row].item);
    }
    ExpectFaces(main(),
                {{IDC_ADD_PAIR, TRUE, IDI_ADD_PAIR},
                 {IDC_USER_GUIDE, TRUE, IDI_USER_GUIDE},
                 {IDC_DELETE_PAIR, c.deleteEnabled, c.deleteEnabled ? IDI_DELETE_PAIR : IDI_DELETE_PAIR_OFF},
                 {IDC_TOGGLE_PORT, c.toggleIcon != IDI_TOGGLE_OFF, c.toggleIcon}},
                c.name);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ButtonsForSelection, ::testing::ValuesIn(kSelections), CaseName());

}  // namespace
