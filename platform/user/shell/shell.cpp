// ShellExecuteExW: "open" on a file:// address (or a plain path). With a desktop (a display, or an opener
// named by CE_SHELL_OPENER for tests) the document goes to the desktop's opener, xdg-open, started detached.
// Without one, the terminal front-end lends its terminal to a text browser found in PATH until the browser
// ends. With neither, the document has no program to open it, as on Win32 when no application is
// associated with its kind.
#include "kernel/wide_string.h"
#include "user/front_end/front_end.h"
#include "user/shell/shell_programs.h"

#include <shellapi.h>

#include <cstdlib>
#include <string>

#include <sys/stat.h>

namespace {

constexpr const char* kOpenerVariable = "CE_SHELL_OPENER";
constexpr const char* kDesktopOpener = "xdg-open";
constexpr const char* kDisplayVariables[] = {"DISPLAY", "WAYLAND_DISPLAY"};
// Debian's choice of text browser first, then the browsers themselves.
constexpr const char* kTextBrowsers[] = {"www-browser", "w3m", "lynx", "elinks", "links"};
constexpr const char16_t* kFileScheme = u"file://";
// hInstApp above 32 tells success, as Win32's ShellExecute results do.
constexpr ULONG_PTR kLaunchedInstance = 33;

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != 0;
}

// The desktop's opener, when there is a desktop.
std::string FindDesktopOpener() {
    if (Set(kOpenerVariable)) {
        return ce::ui::FindProgram(std::getenv(kOpenerVariable));
    }
    for (const char* variable : kDisplayVariables) {
        if (Set(variable)) {
            return ce::ui::FindProgram(kDesktopOpener);
        }
    }
    return std::string();
}

std::string FindTextBrowser() {
    for (const char* name : kTextBrowsers) {
        if (std::string found = ce::ui::FindProgram(name); !found.empty()) {
            return found;
        }
    }
    return std::string();
}

// The Linux path of a file:// address or a path of the device: backslashes become slashes.
std::string LinuxPath(const std::u16string& address) {
    std::u16string path = address;
    if (path.size() >= 7 && ce::EqualsIgnoreCase(path.substr(0, 7), kFileScheme)) {
        path.erase(0, 7);
    }
    for (char16_t& c : path) {
        if (c == u'\\') {
            c = u'/';
        }
    }
    while (path.size() > 1 && path[0] == u'/' && path[1] == u'/') {
        path.erase(0, 1);
    }
    if (path.empty() || path[0] != u'/') {
        path.insert(path.begin(), u'/');
    }
    return ce::ToUtf8(path);
}

std::string FileUrl(const std::string& path) {
    static const char* kHex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        const bool plain = std::isalnum(c) != 0 || c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(kHex[c >> 4]);
            url.push_back(kHex[c & 0xF]);
        }
    }
    return url;
}

enum class Opening { Opened, NoProgram, Failed };

Opening OpenDocument(const std::string& path) {
    if (const std::string opener = FindDesktopOpener(); !opener.empty()) {
        return ce::ui::LaunchDetached(opener, FileUrl(path)) ? Opening::Opened : Opening::Failed;
    }
    const std::string browser = FindTextBrowser();
    ce::ui::FrontEnd* frontEnd = ce::ui::ChosenFrontEnd();
    if (browser.empty() || frontEnd == nullptr || !frontEnd->SuspendScreen()) {
        return Opening::NoProgram;
    }
    const bool ran = ce::ui::RunInTerminal(browser, path);
    frontEnd->ResumeScreen();
    return ran ? Opening::Opened : Opening::Failed;
}

BOOL Refuse(LPSHELLEXECUTEINFOW info, ULONG_PTR instance, DWORD error) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(instance);
    SetLastError(error);
    return FALSE;
}

}  // namespace

extern "C" BOOL WINAPI ShellExecuteExW(LPSHELLEXECUTEINFOW lpExecInfo) {
    if (lpExecInfo == nullptr || lpExecInfo->cbSize != sizeof(SHELLEXECUTEINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpExecInfo->hProcess = nullptr;  // no process handle is given, even with SEE_MASK_NOCLOSEPROCESS
    if (lpExecInfo->lpFile == nullptr || lpExecInfo->lpFile[0] == 0) {
        return Refuse(lpExecInfo, SE_ERR_FNF, ERROR_FILE_NOT_FOUND);
    }
    if (lpExecInfo->lpVerb != nullptr && lpExecInfo->lpVerb[0] != 0 &&
        !ce::EqualsIgnoreCase(lpExecInfo->lpVerb, u"open")) {
        return Refuse(lpExecInfo, SE_ERR_NOASSOC, ERROR_INVALID_PARAMETER);
    }
    Opening opening;
    try {
        const std::string path = LinuxPath(lpExecInfo->lpFile);
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            return Refuse(lpExecInfo, SE_ERR_FNF, ERROR_FILE_NOT_FOUND);
        }
        opening = OpenDocument(path);
    } catch (const std::bad_alloc&) {
        return Refuse(lpExecInfo, SE_ERR_OOM, ERROR_NOT_ENOUGH_MEMORY);
    }
    switch (opening) {
        case Opening::Opened:
            lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(kLaunchedInstance);
            return TRUE;
        case Opening::NoProgram:
            return Refuse(lpExecInfo, SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
        case Opening::Failed:
            break;
    }
    return Refuse(lpExecInfo, SE_ERR_FNF, ERROR_FILE_NOT_FOUND);
}
