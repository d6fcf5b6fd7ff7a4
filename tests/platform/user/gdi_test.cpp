// The recorded GDI: stock objects, selection and deletion, what the drawing calls leave on a window's
// surface, and bad handles.
#include "ui_test_support.h"

#include <tuple>

namespace {

class Gdi : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = CreateWindowExW(0, u"Static", u"", WS_POPUP | WS_VISIBLE | SS_LEFT, 0, 0, 100, 50, nullptr,
                                  nullptr, nullptr, nullptr);
        dc_ = GetDC(window_);
        ASSERT_NE(dc_, nullptr);
    }
    void TearDown() override {
        ReleaseDC(window_, dc_);
        DestroyWindow(window_);
    }
    DWORD Rects(CE_UI_DRAWN_RECT* out, DWORD max) { return CeUiGetDrawnRects(window_, out, max); }

    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

TEST_F(Gdi, StockObjectsSurviveDeletionAndSelectionAnswersThePrevious) {
    HGDIOBJ nullPen = GetStockObject(NULL_PEN);
    ASSERT_NE(nullPen, nullptr);
    EXPECT_EQ(GetStockObject(NULL_PEN), nullPen);
    EXPECT_TRUE(DeleteObject(nullPen)) << "deleting a stock object is quietly refused";
    EXPECT_EQ(GetStockObject(99), nullptr);
    HGDIOBJ firstPen = SelectObject(dc_, nullPen);
    EXPECT_EQ(firstPen, GetStockObject(BLACK_PEN)) << "a new DC has the black pen";
    EXPECT_EQ(SelectObject(dc_, firstPen), nullPen);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(SelectObject(dc_, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_TRUE(DeleteObject(brush));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(Rectangle(dc_, 0, 0, 10, 10)) << "a selected brush stays usable after its deletion";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SelectObject(dc_, reinterpret_cast<HGDIOBJ>(0x3333)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Gdi, RectanglesAndFillsAreRecordedWithTheirColours) {
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    SelectObject(dc_, brush);
    SelectObject(dc_, GetStockObject(NULL_PEN));
    ASSERT_TRUE(Rectangle(dc_, 2, 3, 12, 13));
    RECT area{20, 5, 30, 15};
    ASSERT_EQ(FillRect(dc_, &area, GetSysColorBrush(COLOR_HIGHLIGHT)), 1);
    CE_UI_DRAWN_RECT rects[3];
    ASSERT_EQ(Rects(rects, 3), 2u);
    EXPECT_EQ(std::tie(rects[0].rect.left, rects[0].rect.bottom, rects[0].fill),
              std::make_tuple(LONG{2}, LONG{13}, RGB(10, 20, 30)));
    EXPECT_TRUE(rects[0].filled);
    EXPECT_FALSE(rects[0].outlined) << "the null pen draws no outline";
    EXPECT_EQ(rects[1].fill, GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(Rects(nullptr, 0), 2u) << "the count without copying";
    RECT all{0, 0, 100, 50};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(Rects(rects, 3), 1u) << "a fill over the whole window hides everything before it";
    DeleteObject(brush);
}

TEST_F(Gdi, IconsAreRecordedAtTheirPositionAndSize) {
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    ASSERT_NE(icon, nullptr);
    ASSERT_TRUE(DrawIconEx(dc_, 5, 6, icon, 0, 0, 0, nullptr, DI_NORMAL));
    ASSERT_TRUE(DrawIconEx(dc_, 30, 6, icon, 32, 24, 0, nullptr, DI_NORMAL));
    CE_UI_DRAWN_ICON icons[1];
    std::fill(std::begin(icons), std::end(icons), CE_UI_DRAWN_ICON{nullptr, -1, -1, -1, -1});
    EXPECT_EQ(CeUiGetDrawnIcons(window_, icons, 1), 2u) << "answers all, copies what fits";
    EXPECT_EQ(std::tie(icons[0].icon, icons[0].x, icons[0].y), std::make_tuple(icon, 5, 6));
    EXPECT_GT(icons[0].width, 0);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DrawIconEx(dc_, 0, 0, reinterpret_cast<HICON>(0x5555), 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CeUiGetDrawnIcons(reinterpret_cast<HWND>(0x5555), icons, 1), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Gdi, APaintStartsTheSurfaceAfresh) {
    Rectangle(dc_, 0, 0, 5, 5);
    SetWindowTextW(window_, u"Port 1");
    UpdateWindow(window_);
    CE_UI_DRAWN_RECT rects[4];
    const DWORD count = Rects(rects, 4);
    for (DWORD i = 0; i < count; ++i) {
        EXPECT_FALSE(rects[i].rect.right == 5 && rects[i].rect.bottom == 5)
            << "the earlier rectangle is gone";
    }
}

TEST_F(Gdi, BadDeviceContextsFailEveryDrawingCall) {
    const HDC bad[] = {reinterpret_cast<HDC>(0x1234), reinterpret_cast<HDC>(window_), nullptr};
    RECT area{0, 0, 1, 1};
    for (HDC dc : bad) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Rectangle(dc, 0, 0, 1, 1));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DrawIconEx(dc, 0, 0, LoadIconW(nullptr, IDI_APPLICATION), 0, 0, 0, nullptr, DI_NORMAL));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW)), 0);
        EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), nullptr);
        EXPECT_EQ(ReleaseDC(window_, dc), 0);
    }
    HWND other = CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(ReleaseDC(other, dc_), 0) << "a window's DC is not released through another window";
    DestroyWindow(other);
}

}  // namespace
