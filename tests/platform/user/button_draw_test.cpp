// Owner-drawn buttons: what the parent is asked to draw in each state, and what its drawing leaves on the
// button's surface, in the manner of an icon button: a filled face and an icon shifted while pressed.
#include "ui_test_support.h"

#include <algorithm>
#include <mutex>
#include <tuple>

namespace {

constexpr WORD kIconButton = 1011;
constexpr WORD kPlain = 1;
constexpr int kIconPx = 16;

std::mutex drawLock;
std::vector<DRAWITEMSTRUCT> draws;
HICON face = nullptr;

// Draws like a program's icon button: a rectangle of the static colour without outline, the icon centred and
// shifted one pixel right and down while pressed.
INT_PTR DrawIconButton(HWND, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_DRAWITEM) {
        return FALSE;
    }
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    {
        std::lock_guard<std::mutex> guard(drawLock);
        draws.push_back(*item);
    }
    if (item->itemAction == ODA_FOCUS) {
        return TRUE;
    }
    HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_STATIC));
    HGDIOBJ oldBrush = SelectObject(item->hDC, brush);
    HGDIOBJ oldPen = SelectObject(item->hDC, GetStockObject(NULL_PEN));
    Rectangle(item->hDC, item->rcItem.left, item->rcItem.top, item->rcItem.right, item->rcItem.bottom);
    SelectObject(item->hDC, oldPen);
    SelectObject(item->hDC, oldBrush);
    DeleteObject(brush);
    const int pressed = (item->itemState & ODS_SELECTED) != 0 ? 1 : 0;
    const int x = (item->rcItem.right - item->rcItem.left - kIconPx) / 2 + pressed;
    const int y = (item->rcItem.bottom - item->rcItem.top - kIconPx) / 2 + pressed;
    DrawIconEx(item->hDC, x, y, face, 0, 0, 0, nullptr, DI_NORMAL);
    return TRUE;
}

std::vector<DRAWITEMSTRUCT> TakeDraws() {
    std::lock_guard<std::mutex> guard(drawLock);
    return std::exchange(draws, {});
}

struct Draw {
    UINT action;
    UINT state;
};

void ExpectDraws(const std::vector<Draw>& expected, const char* context) {
    const auto seen = TakeDraws();
    ASSERT_EQ(seen.size(), expected.size()) << context;
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].itemAction, expected[i].action) << context << " draw " << i;
        EXPECT_EQ(seen[i].itemState, expected[i].state) << context << " draw " << i;
    }
}

class OwnerDrawnButton : public ::testing::Test {
  protected:
    void SetUp() override {
        face = LoadIconW(nullptr, IDI_INFORMATION);
        ASSERT_NE(face, nullptr);
        TakeDraws();
        ui_test::SetBehaviour(DrawIconButton);
        dialog_ = std::make_unique<ui_test::DialogOnUiThread>([] {
            ui_test::DialogBuilder builder(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | WS_VISIBLE, 0, 0,
                                           116, 60, u"Buttons");
            builder.Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 40, 30, 40, 12, kPlain, 0x80, u"Plain")
                .Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 2, 1, 13, 12, kIconButton, 0x80,
                      u"");
            return CreateDialogIndirectParamW(nullptr, builder.Template(), nullptr,
                                              ui_test::RecordingDialogProc, 0);
        });
        button_ = GetDlgItem(dialog_->dialog(), kIconButton);
    }
    void TearDown() override {
        dialog_.reset();
        ui_test::SetBehaviour(nullptr);
    }

    std::unique_ptr<ui_test::DialogOnUiThread> dialog_;
    HWND button_ = nullptr;
};

TEST_F(OwnerDrawnButton, FirstPaintDrawsTheWholeButtonOnItsOwnDc) {
    const auto seen = TakeDraws();
    ASSERT_EQ(seen.size(), 1u);
    const DRAWITEMSTRUCT& item = seen[0];
    // Enabled, not pressed, no focus (the plain button has it).
    EXPECT_EQ(std::tie(item.CtlType, item.CtlID, item.itemAction, item.itemState, item.hwndItem),
              std::make_tuple(UINT{ODT_BUTTON}, UINT{kIconButton}, UINT{ODA_DRAWENTIRE}, 0u, button_));
    EXPECT_NE(item.hDC, nullptr);
    RECT client;
    GetClientRect(button_, &client);
    const RECT& drawn = item.rcItem;
    EXPECT_EQ(std::tie(drawn.left, drawn.top, drawn.right, drawn.bottom),
              std::tie(client.left, client.top, client.right, client.bottom));
    EXPECT_EQ(client.right, 13 * 7 / 4);
    EXPECT_EQ(client.bottom, 12 * 14 / 8);
    EXPECT_EQ(GetDeviceCaps(item.hDC, HORZRES), 0) << "the DC was released after the request";

    CE_UI_DRAWN_ICON icon;
    ASSERT_EQ(CeUiGetDrawnIcons(button_, &icon, 1), 1u);
    EXPECT_EQ(std::tie(icon.icon, icon.x, icon.y, icon.width),
              std::make_tuple(face, (client.right - kIconPx) / 2, (client.bottom - kIconPx) / 2, kIconPx))
        << "centred; size 0 draws the icon at its own size";
    CE_UI_DRAWN_RECT face;
    ASSERT_EQ(CeUiGetDrawnRects(button_, &face, 1), 1u);
    EXPECT_TRUE(face.filled);
    EXPECT_EQ(face.fill, GetSysColor(COLOR_STATIC));
    EXPECT_FALSE(face.outlined) << "the null pen draws no outline";
}

TEST_F(OwnerDrawnButton, DisablingAndEnablingRedrawTheWholeButton) {
    TakeDraws();
    EnableWindow(button_, FALSE);
    ui_test::WaitIdle();
    ExpectDraws({{ODA_DRAWENTIRE, ODS_DISABLED}}, "disabled");
    EnableWindow(button_, TRUE);
    ui_test::WaitIdle();
    ExpectDraws({{ODA_DRAWENTIRE, 0}}, "enabled");
}

TEST_F(OwnerDrawnButton, APressShowsSelectedUntilTheRelease) {
    TakeDraws();
    ui_test::Click(button_);
    ExpectDraws({{ODA_FOCUS, ODS_FOCUS}, {ODA_SELECT, ODS_SELECTED | ODS_FOCUS}, {ODA_SELECT, ODS_FOCUS}},
                "click");
    const auto commands = ui_test::Log().Filtered({WM_COMMAND});
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const auto& m) { return m.wParam == MAKEWPARAM(kIconButton, BN_CLICKED); }),
              1);
    CE_UI_DRAWN_ICON icons[4];
    ASSERT_EQ(CeUiGetDrawnIcons(button_, icons, 4), 1u) << "each full fill starts the surface afresh";
    RECT client;
    GetClientRect(button_, &client);
    EXPECT_EQ(icons[0].x, (client.right - kIconPx) / 2) << "back in place after the release";
}

}  // namespace
