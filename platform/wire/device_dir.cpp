#include "wire/device_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace ce::wire {
namespace {

constexpr mode_t kPrivateMode = 0700;

enum class Mode { InProcess, Remote, Host };

struct Decision {
    std::once_flag once;
    Mode mode = Mode::InProcess;
    std::string directory;
};

// Leaked: calls may still come from threads running at exit.
Decision& TheDecision() {
    static Decision* decision = new Decision;
    return *decision;
}

std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return path;
    }
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof(cwd)) != nullptr ? std::string(cwd) + "/" + path : path;
}

void Decide(Decision& decision) {
    std::call_once(decision.once, [&] {
        const char* value = std::getenv(kDeviceVariable);
        if (value != nullptr && std::strcmp(value, kInProcessDevice) == 0) {
            return;
        }
        decision.directory = ConfiguredDirectory();
        if (decision.directory.empty()) {
            // Without a home there is no default device: stay in-process rather than fail every call.
            return;
        }
        decision.mode = Mode::Remote;
    });
}

}  // namespace

bool Remote() {
    Decision& decision = TheDecision();
    Decide(decision);
    return decision.mode == Mode::Remote;
}

void BecomeHost() {
    Decision& decision = TheDecision();
    std::call_once(decision.once, [&] {
        decision.mode = Mode::Host;
        decision.directory = ConfiguredDirectory();
    });
}

const std::string& DeviceDirectory() {
    static const std::string kNone;
    Decision& decision = TheDecision();
    Decide(decision);
    return decision.mode == Mode::InProcess ? kNone : decision.directory;
}

std::string ConfiguredDirectory() {
    const char* value = std::getenv(kDeviceVariable);
    if (value != nullptr && std::strcmp(value, kInProcessDevice) == 0) {
        return {};
    }
    if (value != nullptr && *value != '\0') {
        std::string dir = Absolute(value);
        while (dir.size() > 1 && dir.back() == '/') {
            dir.pop_back();
        }
        return dir;
    }
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/ceplatform/device";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        return {};
    }
    return std::string(home) + "/.local/state/ceplatform/device";
}

bool MakePrivateDirectory(const std::string& dir, std::string* problem) {
    // Parents are made as a person's own directories would be; only the device itself must be private.
    for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1)) {
        const std::string parent = dir.substr(0, slash);
        if (mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) {
            *problem = "cannot create " + parent + ": " + std::strerror(errno);
            return false;
        }
    }
    if (mkdir(dir.c_str(), kPrivateMode) != 0 && errno != EEXIST) {
        *problem = "cannot create " + dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *problem = dir + " is not a directory";
        return false;
    }
    if (info.st_uid != geteuid()) {
        *problem = dir + " belongs to another user";
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        *problem = dir + " may be entered by other users (chmod 700 it)";
        return false;
    }
    return true;
}

}  // namespace ce::wire
