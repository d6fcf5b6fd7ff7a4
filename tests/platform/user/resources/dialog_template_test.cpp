// Dialog templates compiled from resources_test.rc read back as the script wrote them, in both layouts; and
// truncated or garbage blocks refused without a read outside them.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "resources_test_ids.h"
#include "user/resources/dialog_template.h"

namespace {

using ce::ui::DialogItemTemplate;
using ce::ui::DialogTemplate;
using ce::ui::ParseDialogTemplate;

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

// A name or an ordinal ("#128"); class names in upper case, as the window system compares them without
// regard to case (the resource compiler writes them in upper case).
std::u16string Name(const ce::ui::TemplateName& name, bool foldCase = false) {
    if (name.ordinal != 0) {
        std::string number = "#" + std::to_string(name.ordinal);
        return std::u16string(number.begin(), number.end());
    }
    std::u16string text = name.text;
    for (char16_t& c : text) {
        c = foldCase && c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    }
    return text;
}

// Every field of a dialog, and of an item, to compare at once.
using DialogFields = std::tuple<bool, DWORD, DWORD, DWORD, short, short, short, short, std::u16string,
                                std::u16string, std::u16string, WORD, WORD, BYTE, BYTE, std::u16string>;
using ItemFields = std::tuple<DWORD, DWORD, DWORD, DWORD, short, short, short, short, std::u16string,
                              std::u16string, size_t>;

DialogFields Fields(const DialogTemplate& d) {
    return {d.extended, d.style,     d.exStyle, d.helpId,     d.x,
            d.y,        d.cx,        d.cy,      Name(d.menu), Name(d.windowClass, true),
            d.caption,  d.pointSize, d.weight,  d.italic,     d.charset,
            d.typeface};
}

std::vector<ItemFields> Fields(const std::vector<DialogItemTemplate>& items) {
    std::vector<ItemFields> fields;
    for (const DialogItemTemplate& i : items) {
        fields.emplace_back(i.id, i.style, i.exStyle, i.helpId, i.x, i.y, i.cx, i.cy,
                            Name(i.windowClass, true), Name(i.title), i.creationData.size());
    }
    return fields;
}

struct TemplateCase {
    WORD id;
    DialogFields dialog;
    std::vector<ItemFields> items;
};

TEST(DialogTemplate, BothLayoutsGiveBackTheScript) {
    const DWORD tabStop = kControl | WS_TABSTOP;
    const TemplateCase cases[] = {
        {IDD_CLASSIC,
         {false, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT, 0, 0, 5, 10, 160, 120, u"",
          u"", u"Ports \u2014 \u00e9tat", 8, 0, 0, 0, u"System"},
         {
             {IDC_ADD, tabStop | BS_PUSHBUTTON, 0, 0, 4, 4, 20, 16, u"#128", u"&Add", 0},
             {IDC_TREE, tabStop | WS_BORDER | 0x0007, 0, 0, 4, 24, 152, 76, u"SYSTREEVIEW32", u"", 0},
             {IDOK, tabStop | BS_DEFPUSHBUTTON, 0, 0, 110, 104, 46, 14, u"#128", u"OK", 0},
             // -1 is a WORD in this layout.
             {0xFFFF, kControl | WS_GROUP | SS_LEFT, 0, 0, 4, 106, 30, 8, u"#130", u"Name:", 0},
             {IDC_NAMES, tabStop | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_SORT, 0, 0, 40, 104, 60, 50, u"#133",
              u"", 0},
         }},
        {IDD_EXTENDED,
         {true, DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION, WS_EX_TOOLWINDOW, 0, 0, 0, 120, 60, u"",
          u"", u"Add pair", 9, 700, 1, 204, u"Tahoma"},
         {
             {IDC_OWNER, kControl | WS_TABSTOP | BS_OWNERDRAW, WS_EX_STATICEDGE, 77, 2, 3, 16, 16, u"BUTTON",
              u"Owner", 0},
             {IDC_PICTURE, kControl | SS_LEFT, 0, 0, -4, 30, 100, 8, u"STATIC", u"", 0},
         }},
        // Menu, class and title by ordinal or name, and no font.
        {IDD_NAMED_PARTS,
         {false, WS_POPUP, 0, 0, 1, 2, 30, 40, u"#200", u"PRIVATEDIALOG", u"", 0, 0, 0, 0, u""},
         {{IDC_PICTURE, kControl | SS_ICON, 0, 0, 1, 1, 0, 0, u"#130", u"#131", 0}}},
    };
    for (const TemplateCase& c : cases) {
        SCOPED_TRACE(c.id);
        std::vector<BYTE> bytes = TemplateBytes(c.id);
        DialogTemplate dialog;
        ASSERT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), &dialog));
        EXPECT_EQ(Fields(dialog), c.dialog);
        EXPECT_EQ(Fields(dialog.items), c.items);
    }
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
