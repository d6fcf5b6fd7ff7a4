// ShellExecuteExW: "open" on a file:// address (or a plain path) hands it to the host's desktop opener,
// xdg-open found in PATH (CE_SHELL_OPENER names another program, for tests), started detached.
#include "kernel/wide_string.h"

#include <shellapi.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kOpenerVariable = "CE_SHELL_OPENER";
constexpr const char* kDefaultOpener = "xdg-open";
constexpr const char16_t* kFileScheme = u"file://";
constexpr int kExecFailedStatus = 127;
// hInstApp above 32 tells success, as Win32's ShellExecute results do.
constexpr ULONG_PTR kLaunchedInstance = 33;

// The program to run: a path as given, or a name looked up in PATH. Empty when there is none.
std::string FindOpener() {
    const char* named = std::getenv(kOpenerVariable);
    const std::string opener = named != nullptr && *named != 0 ? named : kDefaultOpener;
    if (opener.find('/') != std::string::npos) {
        return access(opener.c_str(), X_OK) == 0 ? opener : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= directories.size()) {
        size_t end = directories.find(':', start);
        std::string directory =
            directories.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!directory.empty()) {
            std::string candidate = directory + "/" + opener;
            struct stat info;
            if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
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

// Starts the opener in a session of its own and does not wait for it: the intermediate child exits at once
// and is reaped here, so nothing is left behind.
bool Launch(const std::string& program, const std::string& argument) {
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) {
        return false;
    }
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                               nullptr};
    const pid_t child = fork();
    if (child < 0) {
        close(devNull);
        return false;
    }
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            execv(program.c_str(), argv.data());
            _exit(kExecFailedStatus);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(devNull);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

extern "C" BOOL WINAPI ShellExecuteExW(LPSHELLEXECUTEINFOW lpExecInfo) {
    if (lpExecInfo == nullptr || lpExecInfo->cbSize != sizeof(SHELLEXECUTEINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpExecInfo->hProcess = nullptr;  // no process handle is given, even with SEE_MASK_NOCLOSEPROCESS
    if (lpExecInfo->lpFile == nullptr || lpExecInfo->lpFile[0] == 0) {
        lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(SE_ERR_FNF));
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (lpExecInfo->lpVerb != nullptr && lpExecInfo->lpVerb[0] != 0 &&
        !ce::EqualsIgnoreCase(lpExecInfo->lpVerb, u"open")) {
        lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(SE_ERR_NOASSOC));
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path, opener;
    try {
        path = LinuxPath(lpExecInfo->lpFile);
        opener = FindOpener();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || opener.empty() || !Launch(opener, FileUrl(path))) {
        lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(SE_ERR_FNF));
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(kLaunchedInstance);
    return TRUE;
}
