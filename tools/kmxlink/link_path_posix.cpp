#include "link_path_posix.h"

#include <cerrno>
#include <climits>

#include <sys/stat.h>
#include <unistd.h>

#include "loop_posix.h"

namespace {

constexpr const char* kTerminalDirectory = "/dev/pts/";
constexpr int kAttempts = 3;  // a path that another program keeps creating and removing

// The target of the link at path; empty when path is no symbolic link.
std::string LinkTarget(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t size = readlink(path.c_str(), target, sizeof(target) - 1);
    return size > 0 ? std::string(target, static_cast<size_t>(size)) : std::string();
}

bool Exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

}  // namespace

bool PlaceLink(const std::string& path, const std::string& target, std::string* error) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (symlink(target.c_str(), path.c_str()) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            *error = path + ": cannot make the link: " + ErrnoText(errno);
            return false;
        }
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0) {
            continue;  // gone again in between: try once more
        }
        const std::string old = LinkTarget(path);
        if (!S_ISLNK(status.st_mode)) {
            *error = path + " exists and kmxlink did not make it: refusing to replace it";
            return false;
        }
        if (!old.starts_with(kTerminalDirectory)) {
            *error = path + " is a link to " + old + ", which kmxlink did not make: refusing to replace it";
            return false;
        }
        if (Exists(path)) {
            *error = path + " links to " + old +
                     ", a terminal that exists (another kmxlink?): refusing to replace it";
            return false;
        }
        // A link we left behind: replaced in one step, so that PATH never goes missing or points astray.
        const std::string fresh = path + ".kmxlink-" + std::to_string(getpid());
        unlink(fresh.c_str());
        if (symlink(target.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), path.c_str()) != 0) {
            *error = path + ": cannot replace the stale link: " + ErrnoText(errno);
            unlink(fresh.c_str());
            return false;
        }
        return true;
    }
    *error = path + ": appears and vanishes while kmxlink makes its link";
    return false;
}

void RemoveLink(const std::string& path, const std::string& target) {
    if (LinkTarget(path) == target) {
        unlink(path.c_str());
    }
}
