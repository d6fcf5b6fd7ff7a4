// Deleting the selected pair: both ends go, the question when a port is open, a port without partner, and
// failures part-way.
#include "manager/ui/manager_test_support.h"

#include <algorithm>
#include <array>

#include "driver/driver_test_support.h"
#include "texts.h"

namespace {

using namespace uitest;
using storetest::PrintTo;

constexpr DWORD kNoFailure = ~0u;
constexpr LONG kSlotsUsed = 5;

// Beside the pair COM3:/COM4: in slots 0 and 1.
struct DeleteCase {
    const char* name;
    size_t selected;
    std::vector<std::u16string> left;
    std::vector<std::array<LONG, 3>> more = {};  // combined number, pair slot, slot
    const char16_t* held = nullptr;              // the end an application holds open
    UINT answer = 0;                             // to the question an open port asks
    DWORD passingDeactivations = kNoFailure;
    bool buttonBack = false;  // after No, or when the selection moved on to a port that is left
};

const DeleteCase kDeletions[] = {
    {"OddEndTakesItsPartner", 1, {}},
    {"OtherPairsStay", 2, {u"COM3:", u"COM4:"}, {{5, 3, 2}, {6, 2, 3}}},
    {"PortWithoutPartnerGoesAlone", 2, {u"COM3:", u"COM4:"}, {{15, -1, 4}}},
    {"SelectedOpenNo", 0, {u"COM3:", u"COM4:"}, {}, u"COM3:", 'N', kNoFailure, true},
    {"PartnerOpenNo", 0, {u"COM3:", u"COM4:"}, {}, u"COM4:", 'N', kNoFailure, true},
    {"PartnerOpenYes", 0, {}, {}, u"COM4:", 'Y'},
    {"FirstFailureKeepsBoth", 0, {u"COM3:", u"COM4:"}, {}, nullptr, 0, 0},
    {"SecondFailureKeepsThePartner", 0, {u"COM4:"}, {}, nullptr, 0, 1, true},
};

class DeletePair : public ManagerTest, public ::testing::WithParamInterface<DeleteCase> {
  protected:
    std::vector<TreeRow> VirtualRows() { return ChildrenOf(tree(), Root(tree(), 1)); }
    void SelectVirtual(size_t row) {
        const auto rows = VirtualRows();
        ASSERT_LT(row, rows.size());
        ClickItem(tree(), rows[row].item);
        ASSERT_TRUE(IsWindowEnabled(button(IDC_DELETE_PAIR)));
    }
};

TEST_P(DeletePair, LeavesExactlyTheOtherPorts) {
    const DeleteCase& c = GetParam();
    CreatePair(3, 4);
    for (const auto& [number, pair, slot] : c.more) {
        CreateVirtualPort(static_cast<DWORD>(number), pair, slot);
    }
    HANDLE application = INVALID_HANDLE_VALUE;
    if (c.held != nullptr) {
        application = tulktest::OpenByName(c.held, GENERIC_READ | GENERIC_WRITE);
        ASSERT_NE(application, INVALID_HANDLE_VALUE);
    }
    Start();
    const auto before = TextsOf(VirtualRows());
    SelectVirtual(c.selected);
    if (c.passingDeactivations != kNoFailure) {
        ASSERT_TRUE(CePlatformInjectFault("DeactivateDevice", c.passingDeactivations, ERROR_BUSY));
    }
    PressButton(main(), IDC_DELETE_PAIR);
    if (c.held != nullptr) {
        const Box box = ShownBox();
        EXPECT_EQ(box.owner, main());
        EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
        AnswerBox(text::kDeleteOpenPorts, c.answer);
    }
    if (c.passingDeactivations != kNoFailure) {
        EXPECT_EQ(ShownBox().owner, main());
        AnswerBox(text::kDeleteFailed, VK_RETURN);
    }
    EXPECT_EQ(CeUiGetActiveWindow(), main()) << "no other question and no other message";
    EXPECT_EQ(TextsOf(VirtualRows()), c.left);
    EXPECT_EQ(ReadRow(tree(), Root(tree(), 1)).children, c.left.empty() ? 0 : 1);
    EXPECT_EQ(Ports().Count(), static_cast<int>(c.left.size()));
    for (LONG slot = 0; slot < kSlotsUsed; ++slot) {
        EXPECT_EQ(storetest::KeyExists(tulktest::PortKeyPath(slot)),
                  Ports().FindByArrayIndex(slot) != nullptr)
            << slot;
    }
    for (const std::u16string& name : before) {
        if (std::find(c.left.begin(), c.left.end(), name) == c.left.end()) {
            EXPECT_EQ(tulktest::OpenByName(name, 0), INVALID_HANDLE_VALUE) << "still running";
        }
    }
    EXPECT_EQ(IsWindowEnabled(button(IDC_DELETE_PAIR)), c.buttonBack) << "or it waits for a selection";
    if (c.passingDeactivations != kNoFailure) {
        SelectVirtual(c.left.size() - 1);
        PressButton(main(), IDC_DELETE_PAIR);
        EXPECT_TRUE(VirtualRows().empty()) << "a later try goes through";
    }
    if (application != INVALID_HANDLE_VALUE) {
        CloseHandle(application);
    }
}

INSTANTIATE_TEST_SUITE_P(Selections, DeletePair, ::testing::ValuesIn(kDeletions), CaseName());

}  // namespace
