// The port tree as the main dialog builds it: the two roots, and what each kind of port shows.
#include "manager/ui/manager_test_support.h"

#include "texts.h"

namespace {

using namespace uitest;
using storetest::PhysicalPort;

class PortTree : public ManagerTest {};

TEST_F(PortTree, WithoutPortsOnlyThePhysicalRootCanExpand) {
    Start();
    EXPECT_EQ(Root(tree(), 2), nullptr) << "two roots only";
    EXPECT_EQ(LookOf(ReadRow(tree(), Root(tree(), 0))), RowLook(text::kPhysicalRoot, 0, 0, 1, nullptr));
    EXPECT_EQ(LookOf(ReadRow(tree(), Root(tree(), 1))), RowLook(text::kVirtualRoot, 0, 0, 0, nullptr));
    EXPECT_TRUE(ChildrenOf(tree(), Root(tree(), 0)).empty());
    EXPECT_TRUE(ChildrenOf(tree(), Root(tree(), 1)).empty());
}

struct PhysicalRowCase {
    const char* name;
    PhysicalPort port;
    bool disabled;
    std::u16string text;
    int image;
};

class PhysicalRows : public ManagerTest, public ::testing::WithParamInterface<PhysicalRowCase> {};

TEST_P(PhysicalRows, ShowTheirNameAndState) {
    const PhysicalRowCase& c = GetParam();
    if (c.disabled) {
        WriteDisabledPhysicalKey(c.port);
    } else {
        storetest::StartPhysicalPort(c.port);
    }
    Start();
    const auto rows = ChildrenOf(tree(), Root(tree(), 0));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(LookOf(rows[0]), RowLook(c.text, c.image, c.image, 0, Ports().At(0)));
    EXPECT_TRUE(ChildrenOf(tree(), Root(tree(), 1)).empty());
}

const std::u16string kLongName(250, u'n');

INSTANTIATE_TEST_SUITE_P(
    Kinds, PhysicalRows,
    ::testing::Values(
        PhysicalRowCase{"EnabledWithName",
                        {.number = 1, .friendlyName = u"Serial Cable"},
                        false,
                        u"COM1: (Serial Cable)",
                        3},
        PhysicalRowCase{"EnabledWithoutName", {.number = 1}, false, u"COM1:", 3},
        PhysicalRowCase{
            "EnabledNamedByModem", {.number = 7, .modemFriendlyName = u"Modem"}, false, u"COM7: (Modem)", 3},
        PhysicalRowCase{"EnabledKeyNameBeforeModem",
                        {.number = 7, .friendlyName = u"Cable", .modemFriendlyName = u"Modem"},
                        false,
                        u"COM7: (Cable)",
                        3},
        PhysicalRowCase{
            "DisabledNamedByModem", {.number = 1, .modemFriendlyName = u"Modem"}, true, u"Modem", 4},
        PhysicalRowCase{"EnabledTextCutAt255",
                        {.number = 2, .friendlyName = kLongName},
                        false,
                        (u"COM2: (" + kLongName).substr(0, 255),
                        3},
        PhysicalRowCase{
            "DisabledWithName", {.number = 1, .friendlyName = u"Serial Cable"}, true, u"Serial Cable", 4},
        PhysicalRowCase{"DisabledWithoutName", {.number = 1}, true, u"Unknown phisical port.", 4}),
    CaseName());

TEST_F(PortTree, VirtualPortsStandInSlotOrderWithImagesByParity) {
    // Created (and so listed) in the order of slots 2, 3, 0, 1, 4.
    CreateVirtualPort(5, 3, 2);
    CreateVirtualPort(6, 2, 3);
    CreateVirtualPort(12, 1, 0);
    CreateVirtualPort(0, 0, 1);
    CreateVirtualPort(19, -1, 4);
    Start();
    const auto rows = ChildrenOf(tree(), Root(tree(), 1));
    const char16_t* texts[] = {u"KMX2:", u"COM0:", u"COM5:", u"COM6:", u"KMX9:"};
    const int images[] = {1, 2, 1, 2, 1};
    ASSERT_EQ(rows.size(), 5u);
    for (size_t slot = 0; slot < rows.size(); ++slot) {
        const PortEntry* entry = Ports().FindByArrayIndex(static_cast<LONG>(slot));
        EXPECT_EQ(LookOf(rows[slot]), RowLook(texts[slot], images[slot], images[slot], 0, entry));
    }
    EXPECT_EQ(Ports().At(0)->arrayIndex, 2) << "the list itself is in the order the ports were found";
    EXPECT_EQ(ReadRow(tree(), Root(tree(), 1)).children, 1);
}

TEST_F(PortTree, PhysicalPortsStandInListOrderBesideVirtualOnes) {
    storetest::StartPhysicalPort({.keyName = u"SerialB", .number = 3});
    CreatePair(1, 2);
    storetest::StartPhysicalPort({.keyName = u"SerialA", .number = 0, .friendlyName = u"Dock"});
    WriteDisabledPhysicalKey({.keyName = u"SerialC", .number = 8});
    Start();
    EXPECT_EQ(TextsOf(ChildrenOf(tree(), Root(tree(), 0))),
              (std::vector<std::u16string>{u"COM3:", u"COM0: (Dock)", u"Unknown phisical port."}));
    EXPECT_EQ(TextsOf(ChildrenOf(tree(), Root(tree(), 1))),
              (std::vector<std::u16string>{u"COM1:", u"COM2:"}));
}

// What a terminal shows: each row's picture before its text.
TEST_F(PortTree, TheScreenPictureShowsEachRowWithItsPicture) {
    storetest::StartPhysicalPort({.keyName = u"Serial1", .number = 1});
    WriteDisabledPhysicalKey({.keyName = u"Serial2", .number = 2, .friendlyName = u"Dock"});
    CreatePair(3, 14);
    Start();
    SendMessageW(tree(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(Root(tree(), 0)));
    SendMessageW(tree(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(Root(tree(), 1)));
    WaitIdle();
    std::string picture(CeUiScreenText(nullptr, 0) + 64, '\0');
    ASSERT_GT(CeUiScreenText(picture.data(), static_cast<DWORD>(picture.size())), 0u);
    picture.resize(picture.find('\0'));
    for (const char* row : {"TULK CE 3.6", "\u25AF Physical serial ports", "\u2261 COM1:", "\u2261\u2298Dock",
                            "\u25AF Virtual serial ports", "\u2261\u2191COM3:", "\u2261\u2193KMX4:"}) {
        EXPECT_NE(picture.find(row), std::string::npos) << row << " in\n" << picture;
    }
}

}  // namespace
