#include "devices/module_search.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <string_view>

#include <devload.h>

namespace ce {
namespace {

std::string CanonicalRegularFile(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat info;
    if (realpath(path.c_str(), resolved) == nullptr || stat(resolved, &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    return resolved;
}

// The directory that installs and build trees put driver modules in, next to the platform library itself,
// so that a program finds the project's modules without any setting.
std::string DefaultDriverDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ActivateDevice), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string_view library(info.dli_fname);
    const size_t slash = library.rfind('/');
    const std::string_view directory = slash == std::string_view::npos ? "." : library.substr(0, slash);
    return std::string(directory) + "/" + CE_DEFAULT_DRIVER_SUBDIR;
}

}  // namespace

std::string FindDriverModule(const std::string& name) {
    if (name.empty()) {
        return {};
    }
    if (name.find('/') != std::string::npos) {
        return CanonicalRegularFile(name);
    }
    if (const char* searchPath = std::getenv(kDriverPathVariable)) {
        std::string_view rest(searchPath);
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            const std::string_view directory = rest.substr(0, colon);
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
            if (directory.empty()) {
                continue;
            }
            std::string found = CanonicalRegularFile(std::string(directory) + "/" + name);
            if (!found.empty()) {
                return found;
            }
        }
    }
    const std::string fallback = DefaultDriverDirectory();
    return fallback.empty() ? std::string() : CanonicalRegularFile(fallback + "/" + name);
}

}  // namespace ce
