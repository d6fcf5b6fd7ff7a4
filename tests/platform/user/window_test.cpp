// Windows and messages: creation and destruction sequences, handle safety, text, geometry, enabling,
// focus, and messages between threads. (FindWindowW is the system tests'.)
#include "ui_test_support.h"

#include <atomic>
#include <cstring>
#include <tuple>

namespace {

using ui_test::Log;

constexpr const char16_t* kClass = u"RecordingWindow";
std::atomic<bool> failCreate{false};
std::atomic<DWORD> procThread{0};

LRESULT CALLBACK RecordingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Log().Add(hwnd, msg, wParam, lParam);
    procThread = GetCurrentThreadId();
    if (msg == WM_CREATE && failCreate) {
        return -1;
    }
    if (msg == WM_USER) {
        return static_cast<LRESULT>(wParam + lParam);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecordingWindowProc;
        wc.lpszClassName = kClass;
        RegisterClassW(&wc);
        Log().Clear();
        failCreate = false;
    }

    static HWND Create(DWORD style, HWND parent, int id = 0, const char16_t* title = u"title") {
        return CreateWindowExW(0, kClass, title, style, 10, 20, 100, 50, parent,
                               reinterpret_cast<HMENU>(static_cast<LONG_PTR>(id)), nullptr, nullptr);
    }
};

TEST_F(Windows, ChildCreationSendsTheWin32SequenceAndNotifiesItsParent) {
    HWND parent = Create(WS_POPUP, nullptr);
    ASSERT_NE(parent, nullptr);
    Log().Clear();
    HWND child = Create(WS_CHILD | WS_VISIBLE, parent, 7);
    ASSERT_NE(child, nullptr);
    std::vector<ui_test::Message> seen = Log().Take();
    std::vector<UINT> childMessages, parentMessages;
    for (const auto& message : seen) {
        (message.hwnd == child ? childMessages : parentMessages).push_back(message.msg);
    }
    EXPECT_EQ(childMessages, (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE,
                                                WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));
    EXPECT_EQ(parentMessages, (std::vector<UINT>{WM_PARENTNOTIFY}));
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_EQ(GetDlgCtrlID(child), 7);
    EXPECT_TRUE(IsChild(parent, child));
    EXPECT_FALSE(IsChild(child, parent));
    DestroyWindow(parent);
}

TEST_F(Windows, CreationFailuresLeaveNoWindowAndSayWhy) {
    HWND gone = Create(WS_POPUP, nullptr);
    DestroyWindow(gone);
    struct Case {
        const char* what;
        LPCWSTR windowClass;
        DWORD style;
        HWND parent;
        DWORD error;
    };
    const Case cases[] = {
        {"unknown class", u"NoSuchClass", WS_POPUP, nullptr, ERROR_CANNOT_FIND_WND_CLASS},
        {"child without parent", kClass, WS_CHILD, nullptr, ERROR_TLW_WITH_WSCHILD},
        {"stale parent", kClass, WS_CHILD, gone, ERROR_INVALID_WINDOW_HANDLE},
        {"null class", nullptr, 0, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(
            CreateWindowExW(0, c.windowClass, u"", c.style, 0, 0, 1, 1, c.parent, nullptr, nullptr, nullptr),
            nullptr)
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    failCreate = true;
    EXPECT_EQ(Create(WS_POPUP, nullptr, 0, u"refused"), nullptr)
        << "WM_CREATE answering -1 fails the creation";
    EXPECT_EQ(FindWindowW(kClass, u"refused"), nullptr) << "and destroys the window";
}

TEST_F(Windows, DestructionSendsDestroyParentFirstAndNcDestroyChildrenFirst) {
    HWND parent = Create(WS_POPUP | WS_VISIBLE, nullptr);
    HWND first = Create(WS_CHILD, parent, 1);
    HWND second = Create(WS_CHILD, parent, 2);
    Log().Clear();
    ASSERT_TRUE(DestroyWindow(parent));
    std::vector<std::pair<HWND, UINT>> order;
    for (const auto& message : Log().Filtered({WM_DESTROY, WM_NCDESTROY})) {
        order.emplace_back(message.hwnd, message.msg);
    }
    const std::vector<std::pair<HWND, UINT>> expected = {{parent, WM_DESTROY},   {first, WM_DESTROY},
                                                         {second, WM_DESTROY},   {first, WM_NCDESTROY},
                                                         {second, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
    for (HWND gone : {parent, first, second}) {
        EXPECT_FALSE(IsWindow(gone));
    }
}

// Every call on a window answers a stale, foreign or garbage handle with ERROR_INVALID_WINDOW_HANDLE.
TEST_F(Windows, BadHandlesFailCleanly) {
    HWND stale = Create(WS_POPUP, nullptr);
    DestroyWindow(stale);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const HWND bad[] = {stale, reinterpret_cast<HWND>(0x12345678), reinterpret_cast<HWND>(event),
                        reinterpret_cast<HWND>(~uintptr_t{0})};
    struct Call {
        const char* name;
        std::function<bool(HWND)> fails;  // true when the call reported failure
    };
    WCHAR text[8];
    RECT rect;
    const Call calls[] = {
        {"GetWindowTextW", [&](HWND h) { return GetWindowTextW(h, text, 8) == 0; }},
        {"SetWindowTextW", [](HWND h) { return !SetWindowTextW(h, u"x"); }},
        {"EnableWindow", [](HWND h) { return !EnableWindow(h, FALSE); }},
        {"ShowWindow", [](HWND h) { return !ShowWindow(h, SW_SHOW); }},
        {"DestroyWindow", [](HWND h) { return !DestroyWindow(h); }},
        {"SendMessageW", [](HWND h) { return SendMessageW(h, WM_USER, 1, 2) == 0; }},
        {"PostMessageW", [](HWND h) { return !PostMessageW(h, WM_USER, 0, 0); }},
        {"GetWindowRect", [&](HWND h) { return !GetWindowRect(h, &rect); }},
        {"GetClientRect", [&](HWND h) { return !GetClientRect(h, &rect); }},
        {"MoveWindow", [](HWND h) { return !MoveWindow(h, 0, 0, 1, 1, TRUE); }},
        {"GetWindowLongW", [](HWND h) { return GetWindowLongW(h, GWL_STYLE) == 0; }},
        {"SetFocus", [](HWND h) { return SetFocus(h) == nullptr; }},
        {"GetDlgItem", [](HWND h) { return GetDlgItem(h, 1) == nullptr; }},
        {"GetDC", [](HWND h) { return GetDC(h) == nullptr; }},
        {"SetForegroundWindow", [](HWND h) { return !SetForegroundWindow(h); }},
        {"IsWindowEnabled", [](HWND h) { return !IsWindowEnabled(h); }},
        {"EndDialog", [](HWND h) { return !EndDialog(h, 1); }},
    };
    for (HWND h : bad) {
        EXPECT_FALSE(IsWindow(h));
        for (const Call& call : calls) {
            SetLastError(0xdeadbeef);
            EXPECT_TRUE(call.fails(h)) << call.name;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << call.name;
        }
    }
    CloseHandle(event);
}

TEST_F(Windows, TextIsCutToTheBufferAndLeavesTheRestUntouched) {
    HWND window = Create(WS_POPUP, nullptr);
    ASSERT_TRUE(SetWindowTextW(window, u"Serial ports"));
    EXPECT_EQ(GetWindowTextLengthW(window), 12);
    WCHAR buffer[8];
    std::memset(buffer, 0xFF, sizeof buffer);
    EXPECT_EQ(GetWindowTextW(window, buffer, 4), 3);
    EXPECT_EQ(std::u16string(buffer), u"Ser");
    EXPECT_EQ(buffer[4], 0xFFFF) << "nothing written past the given count";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowTextW(window, buffer, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(SetWindowTextW(window, nullptr));
    EXPECT_EQ(ui_test::TextOf(window), u"");
    DestroyWindow(window);
}

TEST_F(Windows, CaptionAndBorderSurroundTheClientArea) {
    HWND window = CreateWindowExW(0, kClass, u"", WS_POPUP | WS_CAPTION, 10, 20, 100, 80, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND child = CreateWindowExW(0, kClass, u"", WS_CHILD | WS_BORDER, 5, 6, 30, 20, window, nullptr, nullptr,
                                 nullptr);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.bottom, 100);
    ASSERT_TRUE(GetClientRect(window, &rect));
    EXPECT_EQ(rect.right, 100 - 2) << "one pixel of border each side";
    EXPECT_EQ(rect.bottom, 80 - 2 - 14) << "and a 14-pixel title bar";
    ASSERT_TRUE(GetWindowRect(child, &rect));
    EXPECT_EQ(rect.left, 10 + 1 + 5) << "children sit in the parent's client area";
    EXPECT_EQ(rect.top, 20 + 1 + 14 + 6);
    ASSERT_TRUE(GetClientRect(child, &rect));
    EXPECT_EQ(rect.right, 28);
    POINT point{0, 0};
    ClientToScreen(child, &point);
    EXPECT_EQ(point.x, 10 + 1 + 5 + 1);
    DestroyWindow(window);
}

TEST_F(Windows, MoveWindowSendsMoveAndSizeOnlyForWhatChanged) {
    HWND window = Create(WS_POPUP, nullptr);
    const std::vector<UINT> interesting = {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE};
    Log().Clear();
    ASSERT_TRUE(MoveWindow(window, 30, 40, 100, 50, TRUE));
    EXPECT_EQ(ui_test::TakeSequence(Log(), interesting),
              (ui_test::Sequence{{WM_WINDOWPOSCHANGING, 0}, {WM_WINDOWPOSCHANGED, 0}, {WM_MOVE, 0}}));
    ASSERT_TRUE(MoveWindow(window, 30, 40, 60, 50, TRUE));
    EXPECT_EQ(
        ui_test::TakeSequence(Log(), interesting),
        (ui_test::Sequence{{WM_WINDOWPOSCHANGING, 0}, {WM_WINDOWPOSCHANGED, 0}, {WM_SIZE, SIZE_RESTORED}}));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 30);
    EXPECT_EQ(rect.right, 90);
    DestroyWindow(window);
}

TEST_F(Windows, EnableWindowAnswersThePreviousStateAndTakesTheFocusAway) {
    HWND parent = Create(WS_POPUP | WS_VISIBLE, nullptr);
    HWND child = Create(WS_CHILD | WS_VISIBLE, parent, 1);
    ASSERT_EQ(SetFocus(child) != nullptr || GetFocus() == child, true);
    EXPECT_EQ(GetFocus(), child);
    Log().Clear();
    EXPECT_FALSE(EnableWindow(child, FALSE)) << "it was enabled";
    EXPECT_TRUE(EnableWindow(child, FALSE)) << "it was disabled";
    EXPECT_FALSE(IsWindowEnabled(child));
    EXPECT_EQ(GetFocus(), nullptr) << "a disabled window cannot keep the focus";
    EXPECT_EQ(SetFocus(child), nullptr) << "nor take it";
    EXPECT_TRUE(EnableWindow(child, TRUE));
    EXPECT_EQ(ui_test::TakeSequence(Log(), {WM_ENABLE, WM_KILLFOCUS}),
              (ui_test::Sequence{{WM_KILLFOCUS, 0}, {WM_ENABLE, FALSE}, {WM_ENABLE, TRUE}}))
        << "the focus went nowhere";
    DestroyWindow(parent);
}

TEST_F(Windows, FocusMovesWithKillAndSetFocusNamingEachOther) {
    HWND parent = Create(WS_POPUP | WS_VISIBLE, nullptr);
    HWND a = Create(WS_CHILD | WS_VISIBLE, parent, 1);
    HWND b = Create(WS_CHILD | WS_VISIBLE, parent, 2);
    SetFocus(a);
    Log().Clear();
    EXPECT_EQ(SetFocus(b), a);
    using Seen = std::tuple<HWND, UINT, WPARAM>;
    std::vector<Seen> seen;
    for (const auto& message : Log().Filtered({WM_SETFOCUS, WM_KILLFOCUS})) {
        seen.emplace_back(message.hwnd, message.msg, message.wParam);
    }
    EXPECT_EQ(seen, (std::vector<Seen>{{a, WM_KILLFOCUS, reinterpret_cast<WPARAM>(b)},
                                       {b, WM_SETFOCUS, reinterpret_cast<WPARAM>(a)}}));
    EXPECT_EQ(GetForegroundWindow(), parent);
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), parent) << "the focus of a destroyed window goes to its parent";
    DestroyWindow(parent);
}

TEST_F(Windows, PostedMessagesComeInOrderAndQuitComesLast) {
    HWND window = Create(WS_POPUP, nullptr);
    PostQuitMessage(3);
    PostMessageW(window, WM_USER + 1, 1, 0);
    PostMessageW(window, WM_USER + 2, 2, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_NOREMOVE));
    ASSERT_TRUE(GetMessageW(&msg, window, 0, 0));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(window);
}

TEST_F(Windows, SendMessageFromAnotherThreadRunsOnTheOwnersThread) {
    std::atomic<HWND> window{nullptr};
    std::atomic<DWORD> uiThread{0};
    ui_test::UiThread ui([&] {
        uiThread = GetCurrentThreadId();
        window = Create(WS_POPUP | WS_VISIBLE, nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageW(&msg);
        }
        DestroyWindow(window);
    });
    ui_test::WaitIdle();
    EXPECT_EQ(SendMessageW(window, WM_USER, 40, 2), 42);
    EXPECT_EQ(procThread.load(), uiThread.load());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyWindow(window)) << "only the owner's thread destroys a window";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    MSG msg{window, WM_USER, 0, 0, 0, {}};
    EXPECT_EQ(DispatchMessageW(&msg), 0);
    ASSERT_TRUE(PostThreadMessageW(uiThread, WM_QUIT, 0, 0));
    ui.Join();
}

TEST_F(Windows, SendMessageToAWindowWhoseThreadEndedAnswersZero) {
    HWND orphan = nullptr;
    std::thread([&] { orphan = Create(WS_POPUP, nullptr); }).join();
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(SendMessageW(orphan, WM_USER, 1, 1), 0);
}

}  // namespace
