#include "registry/hive.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "registry/hive_file.h"
#include "registry/hive_image.h"
#include "registry/hive_lock.h"
#include "registry/registry_store.h"

namespace ce::registry {
namespace {

constexpr const char* kHiveVariable = "CE_REGISTRY";

// Locking: saveMutex before the store's mutex; problemMutex alone.
class Hive {
  public:
    bool Attach(const std::string& path, DWORD* error) {
        std::lock_guard<std::mutex> guard(saveMutex_);
        std::string contents;
        std::string reason;
        HiveLock lock;
        if (!lock_.Guards(path) && !lock.Take(path, &reason)) {
            Record(reason);
            *error = ERROR_SHARING_VIOLATION;
            return false;
        }
        const ReadResult read = ReadHiveFile(path, &contents, &reason);
        if (read == ReadResult::Failed) {
            Record(reason);
            *error = ERROR_CANTREAD;
            return false;
        }
        RootSet loaded;
        if (read == ReadResult::Ok) {
            regfile::Document document;
            regfile::ParseError problem;
            if (!regfile::Parse(contents, &document, &problem) ||
                !ApplyDocument(document, &loaded, &problem)) {
                Record(path + ":" + std::to_string(problem.line) + ": " + problem.message);
                *error = ERROR_BADDB;
                return false;
            }
        }
        savedGeneration_ = Store().Replace(&loaded);
        path_ = path;
        attached_ = true;
        if (!lock_.Guards(path)) {
            lock_ = std::move(lock);
        }
        refusal_.store(ERROR_SUCCESS, std::memory_order_release);
        ClearProblem();
        return true;
    }

    void Detach() {
        std::lock_guard<std::mutex> guard(saveMutex_);
        attached_ = false;
        path_.clear();
        lock_.Release();
        refusal_.store(ERROR_SUCCESS, std::memory_order_release);
    }

    // Every registry call fails with error until a hive is attached or the registry detached.
    void Refuse(DWORD error) { refusal_.store(error, std::memory_order_release); }
    LONG Refusal() const { return static_cast<LONG>(refusal_.load(std::memory_order_acquire)); }

    LONG Save() {
        std::lock_guard<std::mutex> guard(saveMutex_);
        if (!attached_ || Store().Generation() == savedGeneration_) {
            return ERROR_SUCCESS;
        }
        uint64_t generation = 0;
        const std::string text = regfile::Write(Store().Snapshot(&generation));
        std::string reason;
        const LONG status = WriteHiveFile(path_, text, &reason);
        if (status != ERROR_SUCCESS) {
            Record(reason);
            return status;
        }
        savedGeneration_ = generation;
        return ERROR_SUCCESS;
    }

    std::string Problem() {
        std::lock_guard<std::mutex> guard(problemMutex_);
        return problem_;
    }

    void ClearProblem() {
        std::lock_guard<std::mutex> guard(problemMutex_);
        problem_.clear();
    }

  private:
    void Record(const std::string& message) {
        std::fprintf(stderr, "registry: %s\n", message.c_str());
        std::lock_guard<std::mutex> guard(problemMutex_);
        problem_ = message;
    }

    std::mutex saveMutex_;
    bool attached_ = false;                      // guarded by saveMutex_
    std::string path_;                           // guarded by saveMutex_
    HiveLock lock_;                              // guarded by saveMutex_: held while attached
    std::atomic<DWORD> refusal_{ERROR_SUCCESS};  // written under saveMutex_ or once at start, read without
    uint64_t savedGeneration_ = 0;               // guarded by saveMutex_: the store generation the file shows
    std::mutex problemMutex_;
    std::string problem_;  // guarded by problemMutex_
};

Hive& TheHive() {
    static Hive* hive = new Hive;
    return *hive;
}

std::once_flag& EnvironmentOnce() {
    static std::once_flag* once = new std::once_flag;
    return *once;
}

}  // namespace

LONG StartRegistry() {
    std::call_once(EnvironmentOnce(), [] {
        const char* path = std::getenv(kHiveVariable);
        DWORD error = ERROR_SUCCESS;
        if (path != nullptr && *path != '\0' && !TheHive().Attach(path, &error)) {
            TheHive().Refuse(error);
        }
    });
    return TheHive().Refusal();
}

void SkipEnvironment() {
    std::call_once(EnvironmentOnce(), [] {});
}

bool AttachHive(const std::string& path, DWORD* error) {
    return TheHive().Attach(path, error);
}
void DetachHive() {
    TheHive().Detach();
}
LONG SaveHive() {
    return TheHive().Save();
}
std::string HiveProblem() {
    return TheHive().Problem();
}
void ClearHiveProblem() {
    TheHive().ClearProblem();
}

}  // namespace ce::registry
