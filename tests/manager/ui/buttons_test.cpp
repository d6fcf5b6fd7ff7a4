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

TEST_F(Buttons, AfterStartOnlyAddAndHelpAreEnabled) {
    CreatePair(3, 4);
    storetest::StartPhysicalPort({.number = 1});
    Start();
    ExpectFaces(main(),
                {{IDC_ADD_PAIR, TRUE, IDI_ADD_PAIR},
                 {IDC_USER_GUIDE, TRUE, IDI_USER_GUIDE},
                 {IDC_DELETE_PAIR, FALSE, IDI_DELETE_PAIR_OFF},
                 {IDC_TOGGLE_PORT, FALSE, IDI_TOGGLE_OFF}},
                "after start");
    Close();
}

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
    Close();
}

TEST_F(Buttons, EnterAndEscapeDoNotCloseTheMainDialog) {
    Start();
    Press(VK_RETURN);
    Press(VK_ESCAPE);
    EXPECT_TRUE(IsWindow(main()));
    EXPECT_EQ(CeUiGetActiveWindow(), main());
    EXPECT_FALSE(run_->finished());
    Close();
}

enum class Selection { PhysicalRoot, VirtualRoot, VirtualPort, EnabledPhysical, DisabledPhysical };

struct SelectionCase {
    const char* name;
    Selection selection;
    std::vector<Face> faces;
};

class ButtonsForSelection : public ManagerTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(ButtonsForSelection, FollowTheSelectedKindOfItem) {
    const SelectionCase& c = GetParam();
    CreatePair(3, 4);
    storetest::StartPhysicalPort({.keyName = u"Serial1", .number = 1});
    WriteDisabledPhysicalKey({.keyName = u"Serial2", .number = 2});
    Start();
    HTREEITEM physical = Root(tree(), 0);
    HTREEITEM virtuals = Root(tree(), 1);
    const auto physicalRows = ChildrenOf(tree(), physical);
    const auto virtualRows = ChildrenOf(tree(), virtuals);
    ASSERT_EQ(physicalRows.size(), 2u);
    ASSERT_EQ(virtualRows.size(), 2u);
    // Start from a virtual port so that every case changes the selection.
    ClickItem(tree(), virtualRows[1].item);
    switch (c.selection) {
        case Selection::PhysicalRoot:
            ClickItem(tree(), physical);
            break;
        case Selection::VirtualRoot:
            ClickItem(tree(), virtuals);
            break;
        case Selection::VirtualPort:
            ClickItem(tree(), physicalRows[0].item);
            ClickItem(tree(), virtualRows[0].item);
            break;
        case Selection::EnabledPhysical:
            ClickItem(tree(), physicalRows[0].item);
            break;
        case Selection::DisabledPhysical:
            ClickItem(tree(), physicalRows[1].item);
            break;
    }
    std::vector<Face> faces = c.faces;
    faces.push_back({IDC_ADD_PAIR, TRUE, IDI_ADD_PAIR});
    faces.push_back({IDC_USER_GUIDE, TRUE, IDI_USER_GUIDE});
    ExpectFaces(main(), faces, c.name);
    Close();
}

INSTANTIATE_TEST_SUITE_P(Kinds, ButtonsForSelection,
                         ::testing::Values(SelectionCase{"PhysicalRoot",
                                                         Selection::PhysicalRoot,
                                                         {{IDC_DELETE_PAIR, FALSE, IDI_DELETE_PAIR_OFF},
                                                          {IDC_TOGGLE_PORT, FALSE, IDI_TOGGLE_OFF}}},
                                           SelectionCase{"VirtualRoot",
                                                         Selection::VirtualRoot,
                                                         {{IDC_DELETE_PAIR, FALSE, IDI_DELETE_PAIR_OFF},
                                                          {IDC_TOGGLE_PORT, FALSE, IDI_TOGGLE_OFF}}},
                                           SelectionCase{"VirtualPort",
                                                         Selection::VirtualPort,
                                                         {{IDC_DELETE_PAIR, TRUE, IDI_DELETE_PAIR},
                                                          {IDC_TOGGLE_PORT, FALSE, IDI_TOGGLE_OFF}}},
                                           SelectionCase{"EnabledPhysicalPort",
                                                         Selection::EnabledPhysical,
                                                         {{IDC_DELETE_PAIR, FALSE, IDI_DELETE_PAIR_OFF},
                                                          {IDC_TOGGLE_PORT, TRUE, IDI_PORT_DISABLED}}},
                                           SelectionCase{"DisabledPhysicalPort",
                                                         Selection::DisabledPhysical,
                                                         {{IDC_DELETE_PAIR, FALSE, IDI_DELETE_PAIR_OFF},
                                                          {IDC_TOGGLE_PORT, TRUE, IDI_PORT_ENABLE}}}),
                         CaseName());

}  // namespace
