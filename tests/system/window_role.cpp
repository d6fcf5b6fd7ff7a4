// The window role: a program with one hidden top-level window of the dialog class, driven by lines on its
// standard input ("rename <title>", "destroy", "state", and "add <title>" for one more window), so that
// another program's finds and requests can be watched from the side of the window's owner.
#include <ceplatform_ui.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "system/helper_roles.h"

namespace systemtest {
namespace {

constexpr UINT kRename = WM_APP + 1;
constexpr UINT kDestroy = WM_APP + 2;
constexpr UINT kAdd = WM_APP + 3;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// "state visible=<0|1> active=<0|1> attention=<n>": what the owner sees of its window now.
void SayState(HWND window) {
    const DWORD attention = CeUiAttentionCount(window);
    Say("state visible=" + std::to_string(IsWindowVisible(window)) +
        " active=" + std::to_string(CeUiGetActiveWindow() == window ? 1 : 0) +
        " attention=" + std::to_string(static_cast<long>(static_cast<LONG>(attention))));
}

void Post(DWORD uiThread, UINT message, LPARAM lParam = 0) {
    if (!PostThreadMessageW(uiThread, message, 0, lParam)) {
        Say("FAIL post: " + std::to_string(GetLastError()));
    }
}

// Reads the commands; those that must run on the window's own thread are posted to it.
void ReadCommands(DWORD uiThread, HWND window) {
    for (std::string line; std::getline(std::cin, line);) {
        if (line.rfind("rename ", 0) == 0 || line.rfind("add ", 0) == 0) {
            const bool add = line[0] == 'a';
            auto* title = new std::u16string(Wide(line.substr(add ? 4 : 7)));
            Post(uiThread, add ? kAdd : kRename, reinterpret_cast<LPARAM>(title));
        } else if (line == "destroy") {
            Post(uiThread, kDestroy);
        } else if (line == "state") {
            SayState(window);
        }
    }
    Post(uiThread, WM_QUIT);
}

HWND NewWindow(const std::u16string& title) {
    return CreateWindowExW(0, u"Dialog", title.c_str(), WS_CAPTION, 10, 10, 100, 60, nullptr, nullptr,
                           nullptr, nullptr);
}

}  // namespace

int WindowRole(const std::string& title) {
    const std::u16string wide = Wide(title);
    HWND window = NewWindow(wide);
    if (window == nullptr) {
        Say("FAIL create: " + std::to_string(GetLastError()));
        return 1;
    }
    MSG msg;
    // The thread's queue must exist before the commands are posted to it, as on Win32.
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    Say("ready");
    std::thread(ReadCommands, GetCurrentThreadId(), window).detach();
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd != nullptr) {
            DispatchMessageW(&msg);
        } else if (msg.message == kRename) {
            std::unique_ptr<std::u16string> text(reinterpret_cast<std::u16string*>(msg.lParam));
            Say(SetWindowTextW(window, text->c_str()) ? "renamed" : "FAIL rename");
        } else if (msg.message == kAdd) {
            std::unique_ptr<std::u16string> text(reinterpret_cast<std::u16string*>(msg.lParam));
            Say(NewWindow(*text) != nullptr ? "added" : "FAIL add");
        } else if (msg.message == kDestroy) {
            Say(DestroyWindow(window) ? "destroyed" : "FAIL destroy");
        }
    }
    return 0;
}

}  // namespace systemtest
