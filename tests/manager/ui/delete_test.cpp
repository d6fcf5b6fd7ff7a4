// Deleting the selected pair: both ends go, the question when a port is open, a port without partner, and
// failures part-way.
#include "manager/ui/manager_test_support.h"

#include "driver/driver_test_support.h"
#include "texts.h"

namespace {

using namespace uitest;

class DeletePair : public ManagerTest {
  protected:
    std::vector<TreeRow> VirtualRows() { return ChildrenOf(tree(), Root(tree(), 1)); }
    void SelectVirtual(size_t row) {
        const auto rows = VirtualRows();
        ASSERT_LT(row, rows.size());
        ClickItem(tree(), rows[row].item);
        ASSERT_TRUE(IsWindowEnabled(button(IDC_DELETE_PAIR)));
    }
};

TEST_F(DeletePair, RemovesBothEndsAndHidesTheEmptyRootsButton) {
    CreatePair(3, 4);
    Start();
    SelectVirtual(1);  // the odd end finds its partner just as well
    PressButton(main(), IDC_DELETE_PAIR);
    EXPECT_EQ(CeUiGetActiveWindow(), main()) << "no question and no message";
    EXPECT_TRUE(VirtualRows().empty());
    EXPECT_EQ(ReadRow(tree(), Root(tree(), 1)).children, 0);
    EXPECT_EQ(Ports().Count(), 0);
    EXPECT_FALSE(storetest::KeyExists(u"Drivers\\BuiltIn\\TULK0"));
    EXPECT_FALSE(storetest::KeyExists(u"Drivers\\BuiltIn\\TULK1"));
    Close();
}

TEST_F(DeletePair, OtherPairsStayAndTheRootKeepsItsButton) {
    CreatePair(3, 4);
    CreatePair(5, 6);
    Start();
    SelectVirtual(2);
    PressButton(main(), IDC_DELETE_PAIR);
    EXPECT_EQ(TextsOf(VirtualRows()), (std::vector<std::u16string>{u"COM3:", u"COM4:"}));
    EXPECT_EQ(ReadRow(tree(), Root(tree(), 1)).children, 1);
    Close();
}

TEST_F(DeletePair, APortWithoutPartnerIsDeletedAlone) {
    CreatePair(3, 4);
    CreateVirtualPort(15, -1, 4);
    Start();
    SelectVirtual(2);
    PressButton(main(), IDC_DELETE_PAIR);
    EXPECT_EQ(TextsOf(VirtualRows()), (std::vector<std::u16string>{u"COM3:", u"COM4:"}));
    EXPECT_EQ(Ports().FindByArrayIndex(4), nullptr);
    EXPECT_NE(Ports().FindByArrayIndex(0), nullptr);
    Close();
}

struct OpenCase {
    const char* name;
    const char16_t* openPort;  // the end an application holds
    UINT answer;
    bool deleted;
};

class OpenPorts : public DeletePair, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenPorts, AreDeletedOnlyWhenTheUserAgrees) {
    const OpenCase& c = GetParam();
    CreatePair(3, 4);
    HANDLE application = tulktest::OpenByName(c.openPort, GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(application, INVALID_HANDLE_VALUE);
    Start();
    SelectVirtual(0);
    PressButton(main(), IDC_DELETE_PAIR);
    const Box box = ShownBox();
    EXPECT_EQ(box.owner, main());
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    AnswerBox(text::kDeleteOpenPorts, c.answer);
    if (c.deleted) {
        EXPECT_TRUE(VirtualRows().empty());
        EXPECT_EQ(Ports().Count(), 0);
    } else {
        EXPECT_EQ(TextsOf(VirtualRows()), (std::vector<std::u16string>{u"COM3:", u"COM4:"}));
        EXPECT_EQ(Ports().Count(), 2);
        EXPECT_TRUE(IsWindowEnabled(button(IDC_DELETE_PAIR))) << "No gives the button back";
    }
    CloseHandle(application);
    Close();
}

INSTANTIATE_TEST_SUITE_P(Answers, OpenPorts,
                         ::testing::Values(OpenCase{"SelectedOpenNo", u"COM3:", 'N', false},
                                           OpenCase{"PartnerOpenNo", u"COM4:", 'N', false},
                                           OpenCase{"PartnerOpenYes", u"COM4:", 'Y', true}),
                         CaseName());

TEST_F(DeletePair, ASecondFailureKeepsThePartnersItem) {
    CreatePair(3, 4);
    Start();
    SelectVirtual(0);
    ASSERT_TRUE(CePlatformInjectFault("DeactivateDevice", 1, ERROR_BUSY));
    PressButton(main(), IDC_DELETE_PAIR);
    const Box box = ShownBox();
    EXPECT_EQ(box.owner, main());
    AnswerBox(text::kDeleteFailed, VK_RETURN);
    EXPECT_EQ(TextsOf(VirtualRows()), (std::vector<std::u16string>{u"COM4:"}));
    EXPECT_EQ(Ports().FindByArrayIndex(0), nullptr);
    EXPECT_NE(Ports().FindByArrayIndex(1), nullptr);
    EXPECT_EQ(ReadRow(tree(), Root(tree(), 1)).children, 1);
    Close();
}

TEST_F(DeletePair, AFirstFailureKeepsBothAndTheButtonWaitsForASelection) {
    CreatePair(3, 4);
    Start();
    SelectVirtual(0);
    ASSERT_TRUE(CePlatformInjectFault("DeactivateDevice", 0, ERROR_BUSY));
    PressButton(main(), IDC_DELETE_PAIR);
    AnswerBox(text::kDeleteFailed, VK_RETURN);
    EXPECT_EQ(TextsOf(VirtualRows()), (std::vector<std::u16string>{u"COM3:", u"COM4:"}));
    EXPECT_EQ(Ports().Count(), 2);
    EXPECT_FALSE(IsWindowEnabled(button(IDC_DELETE_PAIR)));
    SelectVirtual(1);
    PressButton(main(), IDC_DELETE_PAIR);
    EXPECT_TRUE(VirtualRows().empty()) << "a later try goes through";
    Close();
}

}  // namespace
