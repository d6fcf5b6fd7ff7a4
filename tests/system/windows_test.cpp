// Windows across programs: this test is one program on a device, the window role another with one hidden
// top-level window. FindWindowW finds the other's window by the lookup's rules, ShowWindow and
// SetForegroundWindow reach its owner, and a renamed or destroyed window is found as it now is (that an ended
// program's windows go is the host's window request tests').
#include <ceplatform_ui.h>
#include <signal.h>

#include <cstdlib>

#include "system/system_support.h"

namespace systemtest {
namespace {

constexpr char kTitle[] = "Window Test";
constexpr char16_t kWideTitle[] = u"Window Test";
constexpr auto kSettle = std::chrono::milliseconds(10000 * ce_test::kSlowdown);

class WindowsTest : public hosttest::HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        // Windows this test makes itself never take over the terminal of a person running it.
        ASSERT_EQ(setenv("CE_UI_HEADLESS", "1", 1), 0);
    }

    // A program with a window titled title, ready when this returns.
    static std::unique_ptr<Program> Owner(const std::string& title) {
        auto owner = std::make_unique<Program>(Role({"window", title}));
        EXPECT_EQ(owner->ReadLine(), "ready");
        return owner;
    }

    // Waits until the owner sees its window as wanted.
    static void ExpectState(Program& owner, const std::string& wanted) {
        std::string seen;
        hosttest::WaitFor(
            [&] {
                owner.Say("state");
                seen = owner.ReadLine();
                return seen == wanted;
            },
            kSettle);
        EXPECT_EQ(seen, wanted);
    }

    // Waits until the window is found (after a reboot), then shows it and brings it forward, as its owner
    // sees.
    static void ExpectBroughtForward(Program& owner, LPCWSTR title) {
        HWND found = nullptr;
        EXPECT_TRUE(
            hosttest::WaitFor([&] { return (found = FindWindowW(u"Dialog", title)) != nullptr; }, kSettle));
        EXPECT_FALSE(ShowWindow(found, SW_SHOW));
        EXPECT_TRUE(SetForegroundWindow(found));
        ExpectState(owner, "state visible=1 active=1 attention=1");
    }
};

std::u16string WindowText(HWND window) {
    WCHAR text[64] = {};
    const int count = GetWindowTextW(window, text, 64);
    return std::u16string(text, static_cast<size_t>(std::max(count, 0)));
}

TEST_F(WindowsTest, AnotherProgramsWindowIsFoundByClassAndTitleAsFindWindowMatches) {
    const auto owner = Owner(kTitle);
    HWND found = FindWindowW(u"Dialog", kWideTitle);
    ASSERT_NE(found, nullptr);
    const std::u16string overLimit(300, u'W');
    struct Case {
        const char* name;
        LPCWSTR className;
        LPCWSTR title;
        bool found;
    };
    const Case cases[] = {
        {"class and title", u"Dialog", kWideTitle, true},
        {"title alone", nullptr, kWideTitle, true},
        {"class alone", u"Dialog", nullptr, true},
        {"neither", nullptr, nullptr, true},
        {"class in other letters", u"dIALOG", kWideTitle, true},
        {"title in other letters", nullptr, u"WINDOW test", true},
        {"another class", u"Button", kWideTitle, false},
        {"a class nobody registered", u"NoSuchClass", nullptr, false},
        {"a title's beginning", nullptr, u"Window Tes", false},
        {"a title over the directory's limit", nullptr, overLimit.c_str(), false},
    };
    for (const Case& c : cases) {
        // The same window answers the same value every time.
        EXPECT_EQ(FindWindowW(c.className, c.title), c.found ? found : nullptr) << c.name;
    }
    EXPECT_TRUE(IsWindow(found));
    EXPECT_EQ(WindowText(found), kWideTitle);
}

TEST_F(WindowsTest, AnotherProgramsWindowIsNoWindowOfThisOne) {
    const auto owner = Owner(kTitle);
    HWND foreign = FindWindowW(u"Dialog", kWideTitle);
    ASSERT_NE(foreign, nullptr);
    RECT rect{1, 2, 3, 4};
    struct Call {
        const char* name;
        std::function<LONG_PTR()> run;
    };
    const Call calls[] = {
        {"GetWindowLongW", [&] { return LONG_PTR{GetWindowLongW(foreign, GWL_STYLE)}; }},
        {"DestroyWindow", [&] { return LONG_PTR{DestroyWindow(foreign)}; }},
        {"GetWindowRect", [&] { return LONG_PTR{GetWindowRect(foreign, &rect)}; }},
        {"PostMessageW", [&] { return LONG_PTR{PostMessageW(foreign, WM_CLOSE, 0, 0)}; }},
        {"EnableWindow", [&] { return LONG_PTR{EnableWindow(foreign, FALSE)}; }},
        {"GetWindowTextLengthW", [&] { return LONG_PTR{GetWindowTextLengthW(foreign)}; }},
    };
    for (const Call& call : calls) {
        SetLastError(hosttest::kUnsetError);
        EXPECT_EQ(call.run(), 0) << call.name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << call.name;
    }
    EXPECT_EQ(rect.left, 1);
    EXPECT_FALSE(CloseHandle(foreign));
    // None of it reached the owner: its window is still there and as it was.
    EXPECT_TRUE(IsWindow(foreign));
    ExpectState(*owner, "state visible=0 active=0 attention=0");
}

TEST_F(WindowsTest, ShowAndForegroundReachTheOwnerWhichComesToAttention) {
    const auto owner = Owner(kTitle);
    HWND foreign = FindWindowW(u"Dialog", kWideTitle);
    ASSERT_NE(foreign, nullptr);
    EXPECT_FALSE(IsWindowVisible(foreign));
    DWORD process = 0;
    EXPECT_NE(GetWindowThreadProcessId(foreign, &process), 0u);
    EXPECT_EQ(process, static_cast<DWORD>(owner->pid())) << "the window's program";

    SetLastError(hosttest::kUnsetError);
    EXPECT_FALSE(ShowWindow(foreign, SW_SHOW));  // it was hidden
    EXPECT_TRUE(SetForegroundWindow(foreign));
    EXPECT_EQ(GetLastError(), hosttest::kUnsetError);
    ExpectState(*owner, "state visible=1 active=1 attention=1");
    EXPECT_TRUE(IsWindowVisible(foreign));
    EXPECT_TRUE(ShowWindow(foreign, SW_SHOW));

    SetLastError(hosttest::kUnsetError);
    EXPECT_FALSE(ShowWindow(foreign, SW_SHOWDEFAULT + 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    EXPECT_TRUE(ShowWindow(foreign, SW_HIDE));
    ExpectState(*owner, "state visible=0 active=0 attention=1");

    // The title is copied as GetWindowTextW copies: cut to the buffer, the rest of it untouched.
    WCHAR text[8];
    std::fill(std::begin(text), std::end(text), 0xFFFF);
    EXPECT_EQ(GetWindowTextW(foreign, text, 5), 4);
    EXPECT_EQ(std::u16string(text, 5), std::u16string(u"Wind\0", 5));
    EXPECT_EQ(text[5], 0xFFFF);
    SetLastError(hosttest::kUnsetError);
    EXPECT_EQ(GetWindowTextW(foreign, nullptr, 5), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(WindowsTest, RenamedWindowIsFoundUnderItsNewTitleOnlyAndADestroyedOneIsGoneForEveryone) {
    const auto owner = Owner(kTitle);
    HWND foreign = FindWindowW(nullptr, kWideTitle);
    ASSERT_NE(foreign, nullptr);
    owner->Say("rename Renamed Window");
    ASSERT_EQ(owner->ReadLine(), "renamed");
    EXPECT_EQ(FindWindowW(nullptr, kWideTitle), nullptr);
    EXPECT_EQ(FindWindowW(u"Dialog", u"Renamed Window"), foreign);
    EXPECT_EQ(WindowText(foreign), u"Renamed Window");

    owner->Say("destroy");
    ASSERT_EQ(owner->ReadLine(), "destroyed");
    EXPECT_EQ(FindWindowW(u"Dialog", nullptr), nullptr);
    EXPECT_FALSE(IsWindow(foreign));
    for (int round = 0; round < 2; ++round) {  // once on the proxy, once on the value it left behind
        SetLastError(hosttest::kUnsetError);
        EXPECT_FALSE(ShowWindow(foreign, SW_SHOW));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
        SetLastError(hosttest::kUnsetError);
        EXPECT_FALSE(SetForegroundWindow(foreign));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    }
}

// The window that came forward last is found first: the newest, or the one brought to the foreground.
TEST_F(WindowsTest, OwnWindowsComeFirstThenTheOneThatCameForwardLast) {
    const auto older = Owner(kTitle);
    HWND olderWindow = FindWindowW(nullptr, kWideTitle);
    const auto newer = Owner(kTitle);
    HWND newerWindow = FindWindowW(nullptr, kWideTitle);
    ASSERT_NE(olderWindow, nullptr);
    ASSERT_NE(newerWindow, nullptr);
    EXPECT_NE(newerWindow, olderWindow);
    EXPECT_TRUE(SetForegroundWindow(olderWindow));
    EXPECT_EQ(FindWindowW(nullptr, kWideTitle), olderWindow);

    HWND own = CreateWindowExW(0, u"Dialog", kWideTitle, WS_CAPTION, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                               nullptr);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(FindWindowW(u"Dialog", kWideTitle), own);
    ASSERT_TRUE(DestroyWindow(own));
    EXPECT_EQ(FindWindowW(u"Dialog", kWideTitle), olderWindow);
}

// The device rebooted under a running program: its windows are all known to the new host as soon as one
// of them changes, and requests reach them over a listener of the new session.
TEST_F(WindowsTest, WindowsAreFoundAgainInTheHostThatReplacesAKilledOne) {
    const auto owner = Owner(kTitle);
    owner->Say("add Unchanged");
    ASSERT_EQ(owner->ReadLine(), "added");
    ASSERT_NE(FindWindowW(nullptr, u"Unchanged"), nullptr);
    const pid_t host = hosttest::HostPid(dir_);
    ASSERT_NE(host, 0);
    kill(host, SIGKILL);
    ASSERT_TRUE(hosttest::WaitFor([&] { return hosttest::HostLockFree(dir_); }, kSettle));

    owner->Say("rename Rebooted");
    ASSERT_EQ(owner->ReadLine(), "renamed");
    // This program's first call after the reboot finds its old host gone.
    ExpectBroughtForward(*owner, u"Rebooted");
    EXPECT_NE(hosttest::HostPid(dir_), host);
    EXPECT_NE(FindWindowW(u"Dialog", u"Unchanged"), nullptr);
}

// A program that does nothing after a reboot is found in the new host all the same: its listener waits
// for the next host, without starting one, and publishes its windows there.
TEST_F(WindowsTest, AnIdleProgramsWindowsAreFoundInTheNextHostWhichItDoesNotStartItself) {
    const auto owner = Owner(kTitle);
    ASSERT_NE(FindWindowW(u"Dialog", kWideTitle), nullptr);
    ASSERT_EQ(hosttest::HostCommand("stop"), 0);
    ASSERT_TRUE(hosttest::WaitFor([&] { return hosttest::HostLockFree(dir_); }, kSettle));
    // Several times the listener's look for a new host: the device stays stopped.
    Sleep(2000);
    EXPECT_TRUE(hosttest::HostLockFree(dir_)) << "the idle program started a host";

    // This program's call boots the device; the other program's window comes back without it doing
    // anything, and requests reach it in the new session.
    ExpectBroughtForward(*owner, kWideTitle);
}

}  // namespace
}  // namespace systemtest
