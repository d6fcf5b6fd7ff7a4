#include "host/boot.h"

#include <limits.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ceplatform.h>
#include <devload.h>
#include <winreg.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

#include "kernel/wide_string.h"
#include "wire/device_dir.h"

extern char** environ;

namespace ce::host {

using namespace wire;
namespace {

constexpr auto kReapPoll = std::chrono::milliseconds(20);

bool Executable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}

std::string ProgramDirectory() {
    char self[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (size <= 0) {
        return ".";
    }
    const std::string path(self, static_cast<size_t>(size));
    return path.substr(0, path.rfind('/'));
}

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    std::string directories = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    std::istringstream path(directories);
    for (std::string directory; std::getline(path, directory, ':');) {
        if (!directory.empty() && Executable(directory + "/" + name)) {
            return directory + "/" + name;
        }
    }
    const std::string beside = ProgramDirectory() + "/" + name;
    return Executable(beside) ? beside : std::string();
}

// The command lines under Init\StartUp, in creation order; other types of values are logged and skipped.
std::vector<std::string> StartUpCommands() {
    std::vector<std::string> commands;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kStartUpKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return commands;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD nameChars = 256;
        DWORD type = REG_NONE;
        DWORD size = 0;
        LONG status = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        std::vector<BYTE> data(size + sizeof(WCHAR), 0);
        nameChars = 256;
        status = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data.data(), &size);
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            std::fprintf(stderr, "cedevice: start-up value %s is not a REG_SZ command line; skipped\n",
                         ToUtf8(name).c_str());
            continue;
        }
        commands.push_back(ToUtf8(reinterpret_cast<const WCHAR*>(data.data())));
    }
    RegCloseKey(key);
    return commands;
}

std::vector<std::string> SplitOnBlanks(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream stream(line);
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

void Reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

void RunOne(const std::string& command) {
    std::vector<std::string> words = SplitOnBlanks(command);
    if (words.empty()) {
        return;
    }
    const std::string program = FindProgram(words[0]);
    if (program.empty()) {
        std::fprintf(stderr, "cedevice: start-up program %s not found\n", words[0].c_str());
        return;
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "cedevice: cannot start %s: %s\n", command.c_str(), std::strerror(spawned));
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartUpWaitMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                std::fprintf(stderr, "cedevice: start-up program %s failed (status %d)\n", command.c_str(),
                             WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            }
            return;
        }
        std::this_thread::sleep_for(kReapPoll);
    }
    std::fprintf(stderr, "cedevice: start-up program %s still runs after %d ms; left running\n",
                 command.c_str(), kStartUpWaitMs);
    std::thread(Reap, pid).detach();
}

}  // namespace

bool BootRegistry(const std::string& dir, std::string* problem) {
    if (!CeRegistryUseHive(HivePath(dir).c_str())) {
        *problem = CeRegistryLastError();
        return false;
    }
    // A boot starts with no devices; a hand-edited hive may still list some.
    const LONG status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, DEVLOAD_ACTIVE_KEY);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        *problem = "cannot empty Drivers\\Active (error " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

void RunStartUpPrograms() {
    for (const std::string& command : StartUpCommands()) {
        std::fprintf(stderr, "cedevice: start-up: %s\n", command.c_str());
        RunOne(command);
    }
}

}  // namespace ce::host
