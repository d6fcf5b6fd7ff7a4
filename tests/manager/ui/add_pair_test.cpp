// Adding a pair: the names offered, the checks of the choice, the pair made through the store and appended to
// the tree, and every way of leaving without one.
#include "manager/ui/manager_test_support.h"

#include "texts.h"

namespace {

using namespace uitest;

constexpr const char16_t* kAddCaption = u"Add KMX pair";

int VirtualPortCount() {
    int count = 0;
    for (int i = 0; i < Ports().Count(); ++i) {
        count += Ports().At(i)->isPhysical == 0 ? 1 : 0;
    }
    return count;
}

class AddPair : public ManagerTest {
  protected:
    // Presses the add-pair button; the add-pair dialog is in front when it returns.
    void Open() {
        PressButton(main(), IDC_ADD_PAIR);
        dialog_ = CeUiGetActiveWindow();
        ASSERT_NE(dialog_, main());
        ASSERT_EQ(TextOf(dialog_), kAddCaption);
    }
    HWND first() const { return GetDlgItem(dialog_, IDC_FIRST_PORT); }
    HWND second() const { return GetDlgItem(dialog_, IDC_SECOND_PORT); }
    void Choose(HWND combo, const char16_t* name) {
        ASSERT_GE(
            SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name)), 0)
            << "no " << std::string(name, name + 5);
    }
    void ExpectClosed() {
        EXPECT_FALSE(IsWindow(dialog_));
        EXPECT_EQ(CeUiGetActiveWindow(), main());
    }
    void ExpectStillOpenAfterBox(const char16_t* message) {
        AnswerBox(message, VK_RETURN);
        EXPECT_EQ(CeUiGetActiveWindow(), dialog_) << "the dialog stays open";
    }

    HWND dialog_ = nullptr;
};

TEST_F(AddPair, OffersTheFreeNamesAndStartsOnTheFirstTwo) {
    storetest::StartPhysicalPort({.keyName = u"Serial0", .number = 0});
    storetest::StartPhysicalPort({.keyName = u"Serial2", .number = 2});
    CreateVirtualPort(1, -1, 0);
    Start();
    Open();
    const std::vector<std::u16string> expected = {u"COM3:", u"COM4:", u"COM5:", u"COM6:", u"COM7:", u"COM8:",
                                                  u"COM9:", u"KMX0:", u"KMX1:", u"KMX2:", u"KMX3:", u"KMX4:",
                                                  u"KMX5:", u"KMX6:", u"KMX7:", u"KMX8:", u"KMX9:"};
    EXPECT_EQ(ui_test::ComboItems(first()), expected);
    EXPECT_EQ(ui_test::ComboItems(second()), expected);
    EXPECT_EQ(TextOf(first()), u"COM3:");
    EXPECT_EQ(TextOf(second()), u"COM4:");
    PressButton(dialog_, IDC_ADD_CANCEL);
    ExpectClosed();
}

TEST_F(AddPair, WithTwoFreeNamesTheBoxesStartOnOneEach) {
    for (DWORD number = 0; number < 18; number += 2) {
        CreatePair(number, number + 1);
    }
    Start();
    Open();
    EXPECT_EQ(ui_test::ComboItems(first()), (std::vector<std::u16string>{u"KMX8:", u"KMX9:"}));
    EXPECT_EQ(TextOf(first()), u"KMX8:");
    EXPECT_EQ(TextOf(second()), u"KMX9:");
    Press(VK_RETURN);
    ExpectClosed();
    EXPECT_EQ(Ports().FindByArrayIndex(18)->portNumber, 8);
    EXPECT_EQ(Ports().FindByArrayIndex(19)->portNumber, 9);
}

TEST_F(AddPair, WithFewerThanTwoFreeNamesTheDialogDoesNotOpen) {
    for (DWORD number = 1; number < 19; number += 2) {
        CreatePair(number, number + 1);
    }
    storetest::StartPhysicalPort({.keyName = u"Serial0", .number = 0});
    Start();
    PressButton(main(), IDC_ADD_PAIR);
    const Box box = ShownBox();
    EXPECT_EQ(box.text, text::kNoFreePorts);
    EXPECT_EQ(box.owner, main());
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    Press(VK_RETURN);
    EXPECT_EQ(CeUiGetActiveWindow(), main());
}

TEST_F(AddPair, APairOnAnEmptyDeviceTakesSlotsZeroAndOne) {
    Start();
    Open();
    Choose(first(), u"KMX3:");
    Choose(second(), u"COM3:");
    PressButton(dialog_, IDC_ADD_OK);
    ExpectClosed();
    const TreeRow root = ReadRow(tree(), Root(tree(), 1));
    EXPECT_EQ(root.children, 1) << "the virtual root can expand now";
    const auto rows = ChildrenOf(tree(), root.item);
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_NE(Ports().FindByArrayIndex(1), nullptr);
    EXPECT_EQ(LookOf(rows[0]), RowLook(u"KMX3:", 1, 1, 0, Ports().FindByArrayIndex(0)));
    EXPECT_EQ(LookOf(rows[1]), RowLook(u"COM3:", 2, 2, 0, Ports().FindByArrayIndex(1)));
}

TEST_F(AddPair, ANewPairInFreedSlotsStandsAfterTheRemainingOnes) {
    CreatePair(1, 2);
    CreatePair(3, 4);
    Start();
    const auto before = ChildrenOf(tree(), Root(tree(), 1));
    ASSERT_EQ(before.size(), 4u);
    ClickItem(tree(), before[0].item);
    PressButton(main(), IDC_DELETE_PAIR);
    ASSERT_EQ(Ports().FindByArrayIndex(0), nullptr);
    Open();
    Choose(first(), u"KMX0:");
    Choose(second(), u"KMX1:");
    PressButton(dialog_, IDC_ADD_OK);
    ExpectClosed();
    EXPECT_EQ(Ports().FindByArrayIndex(0)->portNumber, 0) << "the freed slots are taken again";
    EXPECT_EQ(TextsOf(ChildrenOf(tree(), Root(tree(), 1))),
              (std::vector<std::u16string>{u"COM3:", u"COM4:", u"KMX0:", u"KMX1:"}));
}

struct ChoiceCase {
    const char* name;
    const char16_t* first;  // null: no selection
    const char16_t* second;
    const char16_t* message;
};

class BadChoice : public AddPair, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(BadChoice, IsToldAndCreatesNothing) {
    const ChoiceCase& c = GetParam();
    Start();
    Open();
    for (auto [combo, name] : {std::pair{first(), c.first}, std::pair{second(), c.second}}) {
        if (name == nullptr) {
            SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        } else {
            Choose(combo, name);
        }
    }
    PressButton(dialog_, IDC_ADD_OK);
    const Box box = ShownBox();
    EXPECT_EQ(box.owner, dialog_);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    ExpectStillOpenAfterBox(c.message);
    EXPECT_EQ(VirtualPortCount(), 0);
    EXPECT_FALSE(storetest::KeyExists(u"Drivers\\BuiltIn\\TULK0"));
    PressButton(dialog_, IDC_ADD_CANCEL);
    ExpectClosed();
    EXPECT_TRUE(ChildrenOf(tree(), Root(tree(), 1)).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Choices, BadChoice,
    ::testing::Values(ChoiceCase{"SameName", u"COM5:", u"COM5:", u"Ports must be different."},
                      ChoiceCase{"FirstEmpty", nullptr, u"COM5:", u"Please select COM ports."},
                      ChoiceCase{"SecondEmpty", u"KMX2:", nullptr, u"Please select COM ports."},
                      ChoiceCase{"BothEmpty", nullptr, nullptr, u"Ports must be different."}),
    CaseName());

struct FailureCase {
    const char* name;
    DWORD passingActivations;  // before the one that fails
};

class CreationFailure : public AddPair, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CreationFailure, LeavesNeitherPortAndTheTreeUnchanged) {
    CreatePair(7, 8);
    Start();
    const auto before = TextsOf(ChildrenOf(tree(), Root(tree(), 1)));
    Open();
    ASSERT_TRUE(CePlatformInjectFault("ActivateDevice", GetParam().passingActivations, ERROR_OPEN_FAILED));
    PressButton(dialog_, IDC_ADD_OK);
    ExpectStillOpenAfterBox(text::kAddFailed);
    EXPECT_EQ(VirtualPortCount(), 2) << "only the earlier pair";
    EXPECT_FALSE(storetest::KeyExists(u"Drivers\\BuiltIn\\TULK2"));
    EXPECT_FALSE(storetest::KeyExists(u"Drivers\\BuiltIn\\TULK3"));
    EXPECT_EQ(TextsOf(ChildrenOf(tree(), Root(tree(), 1))), before);
    // The same choice goes through once the device manager works again.
    PressButton(dialog_, IDC_ADD_OK);
    ExpectClosed();
    EXPECT_EQ(VirtualPortCount(), 4);
}

INSTANTIATE_TEST_SUITE_P(Ends, CreationFailure,
                         ::testing::Values(FailureCase{"FirstEnd", 0}, FailureCase{"SecondEnd", 1}),
                         CaseName());

// Cancel ends the tests of bad choices and of the names offered; these are the other ways out.
struct LeaveCase {
    const char* name;
    void (*leave)(HWND dialog);
};

class LeavingWithoutAPair : public AddPair, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeavingWithoutAPair, CreatesNothing) {
    Start();
    Open();
    GetParam().leave(dialog_);
    ExpectClosed();
    EXPECT_EQ(VirtualPortCount(), 0);
    EXPECT_TRUE(ChildrenOf(tree(), Root(tree(), 1)).empty());
    EXPECT_EQ(ReadRow(tree(), Root(tree(), 1)).children, 0);
}

INSTANTIATE_TEST_SUITE_P(Ways, LeavingWithoutAPair,
                         ::testing::Values(LeaveCase{"CloseBox",
                                                     [](HWND) {
                                                         ASSERT_TRUE(CeUiInjectClose());
                                                         WaitIdle();
                                                     }},
                                           LeaveCase{"Escape", [](HWND) { Press(VK_ESCAPE); }}),
                         CaseName());

}  // namespace
