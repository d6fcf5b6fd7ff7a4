// Disabling and re-enabling a physical port: the warning only when disabling, the item and the button face
// after each change, and the failures.
#include "manager/ui/manager_test_support.h"

#include "texts.h"

namespace {

using namespace uitest;
using storetest::PhysicalPort;

const PhysicalPort kCable = {.keyName = u"Serial1", .number = 1, .friendlyName = u"Serial Cable"};
constexpr const char16_t* kCableKey = u"Drivers\\BuiltIn\\Serial1";

class TogglePort : public ManagerTest {
  protected:
    TreeRow PortRow() {
        const auto rows = ChildrenOf(tree(), Root(tree(), 0));
        return rows.empty() ? TreeRow{} : rows[0];
    }
    void SelectPort() {
        ClickItem(tree(), PortRow().item);
        ASSERT_TRUE(IsWindowEnabled(button(IDC_TOGGLE_PORT)));
    }
    HICON ToggleFace() {
        const auto icons = DrawnIcons(button(IDC_TOGGLE_PORT));
        return icons.size() == 1 ? icons[0].icon : nullptr;
    }
    void ExpectRow(const char16_t* text, int image) {
        EXPECT_EQ(LookOf(PortRow()), RowLook(text, image, image, 0, Ports().At(0)))
            << "the same entry, changed in place";
    }
};

TEST_F(TogglePort, DisablingAsksAndMayFailSilentlyReEnablingAsksNothing) {
    storetest::StartPhysicalPort(kCable);
    Start();
    SelectPort();
    EXPECT_EQ(ToggleFace(), ProgramIcon(IDI_PORT_DISABLED));
    // No, then Yes with a deactivation that fails: the port stays as it was, and only the question shows.
    for (const bool failing : {false, true}) {
        if (failing) {
            ASSERT_TRUE(CePlatformInjectFault("DeactivateDevice", 0, ERROR_BUSY));
        }
        PressButton(main(), IDC_TOGGLE_PORT);
        const Box box = ShownBox();
        EXPECT_EQ(box.owner, main());
        EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
        AnswerBox(text::kDisableWarning, failing ? 'Y' : 'N');
        EXPECT_EQ(CeUiGetActiveWindow(), main()) << "no message";
        ExpectRow(u"COM1: (Serial Cable)", 3);
        EXPECT_EQ(storetest::TextOf(kCableKey, u"Prefix"), u"COM");
        EXPECT_FALSE(storetest::ActiveKeyOf(kCableKey).empty()) << "still running";
    }

    PressButton(main(), IDC_TOGGLE_PORT);
    AnswerBox(text::kDisableWarning, 'Y');
    ExpectRow(u"Serial Cable", 4);
    EXPECT_EQ(storetest::TextOf(kCableKey, u"Prefix"), u"C0M");
    EXPECT_TRUE(storetest::ActiveKeyOf(kCableKey).empty());
    EXPECT_TRUE(Ports().IsPortNumberFree(1)) << "COM1: can go to a virtual port now";
    EXPECT_EQ(ToggleFace(), ProgramIcon(IDI_PORT_ENABLE));
    EXPECT_TRUE(IsWindowEnabled(button(IDC_TOGGLE_PORT)));

    PressButton(main(), IDC_TOGGLE_PORT);
    EXPECT_EQ(CeUiGetActiveWindow(), main()) << "re-enabling asks nothing";
    ExpectRow(u"COM1: (Serial Cable)", 3);
    EXPECT_EQ(storetest::TextOf(kCableKey, u"Prefix"), u"COM");
    EXPECT_FALSE(storetest::ActiveKeyOf(kCableKey).empty());
    EXPECT_EQ(ToggleFace(), ProgramIcon(IDI_PORT_DISABLED));
}

TEST_F(TogglePort, AFailedReEnableIsToldAndTheNextComesBackWithItsNumber) {
    WriteDisabledPhysicalKey({.keyName = u"Serial1", .number = 1});
    Start();
    ExpectRow(u"Unknown phisical port.", 4);
    SelectPort();
    ASSERT_TRUE(CePlatformInjectFault("ActivateDevice", 0, ERROR_OPEN_FAILED));
    PressButton(main(), IDC_TOGGLE_PORT);
    const Box box = ShownBox();
    EXPECT_EQ(box.owner, main());
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    AnswerBox(text::kEnableFailed, VK_RETURN);
    ExpectRow(u"Unknown phisical port.", 4);
    EXPECT_EQ(ToggleFace(), ProgramIcon(IDI_PORT_ENABLE));
    PressButton(main(), IDC_TOGGLE_PORT);
    ExpectRow(u"COM1:", 3);
}

TEST_F(TogglePort, APortOnlyFoundByProbingCannotBeDisabled) {
    // Running, but its active record is gone: the probe finds it, without a key to mark.
    HANDLE device = storetest::StartPhysicalPort({.keyName = u"Serial4", .number = 4});
    ASSERT_NE(device, nullptr);
    const std::u16string active = storetest::ActiveKeyOf(u"Drivers\\BuiltIn\\Serial4");
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, active.c_str()), ERROR_SUCCESS);
    Start();
    ExpectRow(u"COM4:", 3);
    EXPECT_EQ(std::u16string(PortRow().entry->keyPath), u"");
    SelectPort();
    PressButton(main(), IDC_TOGGLE_PORT);
    AnswerBox(text::kDisableWarning, 'Y');
    EXPECT_EQ(CeUiGetActiveWindow(), main());
    ExpectRow(u"COM4:", 3);
}

}  // namespace
