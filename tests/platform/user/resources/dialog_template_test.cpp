// Dialog templates compiled from resources_test.rc read back as the script wrote them, in both layouts; and
// truncated or garbage blocks refused without a read outside them.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "resources_test_ids.h"
#include "user/resources/dialog_template.h"

namespace {

using ce::ui::DialogItemTemplate;
using ce::ui::DialogTemplate;
using ce::ui::ParseDialogTemplate;

constexpr WORD kButtonClass = 0x80;
constexpr WORD kStaticClass = 0x82;
constexpr WORD kComboBoxClass = 0x85;
// What the resource compiler adds to every control.
constexpr DWORD kControl = WS_CHILD | WS_VISIBLE;

std::vector<BYTE> TemplateBytes(WORD id) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (found == nullptr) {
        return {};
    }
    auto* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    return std::vector<BYTE>(data, data + SizeofResource(nullptr, found));
}

DialogTemplate Parsed(WORD id) {
    std::vector<BYTE> bytes = TemplateBytes(id);
    DialogTemplate dialog;
    EXPECT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), &dialog)) << "template " << id;
    return dialog;
}

// Class names are compared as the window system compares them: without regard to case (the resource
// compiler writes them in upper case).
bool SameName(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) {
        return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());  // names in these templates are ASCII
}

struct ExpectedItem {
    DWORD id;
    DWORD style;
    DWORD exStyle;
    DWORD helpId;
    short x, y, cx, cy;
    WORD classOrdinal;  // 0: by name
    const char16_t* className;
    const char16_t* title;
};

void ExpectItems(const std::vector<DialogItemTemplate>& items, const std::vector<ExpectedItem>& expected) {
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        const DialogItemTemplate& item = items[i];
        const ExpectedItem& want = expected[i];
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.exStyle, want.exStyle);
        EXPECT_EQ(item.helpId, want.helpId);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.windowClass.ordinal, want.classOrdinal);
        EXPECT_TRUE(SameName(item.windowClass.text, want.className)) << Narrow(item.windowClass.text);
        EXPECT_EQ(item.title.ordinal, 0);
        EXPECT_EQ(item.title.text, want.title);
        EXPECT_TRUE(item.creationData.empty());
    }
}

TEST(DialogTemplate, ClassicLayoutGivesBackTheScript) {
    DialogTemplate dialog = Parsed(IDD_CLASSIC);
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style,
              static_cast<DWORD>(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT));
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.x, 5);
    EXPECT_EQ(dialog.y, 10);
    EXPECT_EQ(dialog.cx, 160);
    EXPECT_EQ(dialog.cy, 120);
    EXPECT_EQ(dialog.menu.ordinal, 0);
    EXPECT_EQ(dialog.menu.text, u"");
    EXPECT_EQ(dialog.windowClass.text, u"");
    EXPECT_EQ(dialog.caption, u"Ports \u2014 \u00e9tat");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, u"System");
    const DWORD tabStop = kControl | WS_TABSTOP;
    ExpectItems(dialog.items,
                {
                    {IDC_ADD, tabStop | BS_PUSHBUTTON, 0, 0, 4, 4, 20, 16, kButtonClass, u"", u"&Add"},
                    {IDC_TREE, tabStop | WS_BORDER | 0x0007, 0, 0, 4, 24, 152, 76, 0, u"SysTreeView32", u""},
                    {IDOK, tabStop | BS_DEFPUSHBUTTON, 0, 0, 110, 104, 46, 14, kButtonClass, u"", u"OK"},
                    // -1 is a WORD in this layout.
                    {0xFFFF, kControl | WS_GROUP | SS_LEFT, 0, 0, 4, 106, 30, 8, kStaticClass, u"", u"Name:"},
                    {IDC_NAMES, tabStop | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_SORT, 0, 0, 40, 104, 60, 50,
                     kComboBoxClass, u"", u""},
                });
}

TEST(DialogTemplate, ExtendedLayoutGivesBackTheScript) {
    DialogTemplate dialog = Parsed(IDD_EXTENDED);
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.style, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION));
    EXPECT_EQ(dialog.exStyle, static_cast<DWORD>(WS_EX_TOOLWINDOW));
    EXPECT_EQ(dialog.helpId, 0u);
    EXPECT_EQ(dialog.cx, 120);
    EXPECT_EQ(dialog.cy, 60);
    EXPECT_EQ(dialog.caption, u"Add pair");
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.weight, 700);
    EXPECT_EQ(dialog.italic, 1);
    EXPECT_EQ(dialog.charset, 204);
    EXPECT_EQ(dialog.typeface, u"Tahoma");
    ExpectItems(dialog.items, {
                                  {IDC_OWNER, kControl | WS_TABSTOP | BS_OWNERDRAW, WS_EX_STATICEDGE, 77, 2,
                                   3, 16, 16, 0, u"Button", u"Owner"},
                                  {IDC_PICTURE, kControl | SS_LEFT, 0, 0, -4, 30, 100, 8, 0, u"Static", u""},
                              });
}

TEST(DialogTemplate, MenuClassAndTitlesByOrdinalOrNameWithoutAFont) {
    DialogTemplate dialog = Parsed(IDD_NAMED_PARTS);
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style, static_cast<DWORD>(WS_POPUP));
    EXPECT_EQ(dialog.menu.ordinal, 200);
    EXPECT_TRUE(SameName(dialog.windowClass.text, u"PrivateDialog"));
    EXPECT_EQ(dialog.pointSize, 0);
    EXPECT_EQ(dialog.typeface, u"");
    ASSERT_EQ(dialog.items.size(), 1u);
    EXPECT_EQ(dialog.items[0].windowClass.ordinal, kStaticClass);
    EXPECT_EQ(dialog.items[0].title.ordinal, IDI_TWO_SIZES);
    EXPECT_EQ(dialog.items[0].style & SS_ICON, static_cast<DWORD>(SS_ICON));
}

class DialogTemplateDamage : public testing::TestWithParam<WORD> {};

TEST_P(DialogTemplateDamage, EveryTruncationIsRefused) {
    std::vector<BYTE> whole = TemplateBytes(GetParam());
    ASSERT_FALSE(whole.empty());
    for (size_t length = 0; length < whole.size(); ++length) {
        // A copy of exactly this length, so a read past it is seen by the address sanitizer.
        std::vector<BYTE> prefix(whole.begin(), whole.begin() + static_cast<long>(length));
        DialogTemplate dialog;
        EXPECT_FALSE(ParseDialogTemplate(prefix.data(), prefix.size(), &dialog)) << length << " bytes";
    }
}

TEST_P(DialogTemplateDamage, GarbageNeverReadsOutside) {
    std::vector<BYTE> whole = TemplateBytes(GetParam());
    std::mt19937 random(GetParam());
    for (int round = 0; round < 2000; ++round) {
        std::vector<BYTE> damaged = whole;
        // Flip a few bytes, and now and then cut the block short.
        for (int flips = 1 + round % 4; flips > 0; --flips) {
            damaged[random() % damaged.size()] = static_cast<BYTE>(random());
        }
        damaged.resize(round % 3 == 0 ? random() % damaged.size() : damaged.size());
        damaged.shrink_to_fit();
        DialogTemplate dialog;
        if (ParseDialogTemplate(damaged.data(), damaged.size(), &dialog)) {
            EXPECT_LE(dialog.items.size(), damaged.size() / 4);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Templates, DialogTemplateDamage,
                         testing::Values(WORD{IDD_CLASSIC}, WORD{IDD_EXTENDED}, WORD{IDD_NAMED_PARTS}));

TEST(DialogTemplate, AnItemCountBeyondTheBlockIsRefused) {
    std::vector<BYTE> bytes = TemplateBytes(IDD_CLASSIC);
    constexpr size_t kCountOffset = 8;  // after style and extended style
    bytes[kCountOffset] = 0xFF;
    bytes[kCountOffset + 1] = 0xFF;
    DialogTemplate dialog;
    EXPECT_FALSE(ParseDialogTemplate(bytes.data(), bytes.size(), &dialog));
    EXPECT_FALSE(ParseDialogTemplate(nullptr, bytes.size(), &dialog));
    EXPECT_FALSE(ParseDialogTemplate(bytes.data(), bytes.size(), nullptr));
}

}  // namespace
