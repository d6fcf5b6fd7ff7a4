// Threads as kernel objects: waitable until they end, with an exit code and a recorded priority.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>

#include "kernel/waitable.h"

namespace ce {

constexpr int kPriorityLevels256 = 256;
constexpr int kFirstSevenLevelPriority = 248;  // THREAD_PRIORITY_TIME_CRITICAL on the 256-level scale
constexpr int kNormalPriority256 = kFirstSevenLevelPriority + THREAD_PRIORITY_NORMAL;

class ThreadObject : public Waitable {
  public:
    ThreadObject(DWORD id, LPTHREAD_START_ROUTINE start, LPVOID parameter, bool suspended)
        : Waitable(ObjectType::Thread),
          id_(id),
          start_(start),
          parameter_(parameter),
          suspendCount_(suspended) {}

    bool IsSignaledLocked() const override { return finished_; }

    DWORD id() const { return id_; }
    int priority() const { return priority_.load(std::memory_order_relaxed); }
    void set_priority(int value) { priority_.store(value, std::memory_order_relaxed); }

    DWORD ExitCode() {
        std::lock_guard<std::mutex> guard(KernelLock());
        return finished_ ? exitCode_ : STILL_ACTIVE;
    }

    void Finish(DWORD code) {
        KernelSection section;
        if (!finished_) {
            exitCode_ = code;
            finished_ = true;
            SatisfyWaitersLocked(true);
        }
    }

    // Answers the previous suspend count, or 0xFFFFFFFF for a thread that is not suspended by us.
    DWORD Resume() {
        std::lock_guard<std::mutex> guard(KernelLock());
        const DWORD previous = suspendCount_;
        if (suspendCount_ > 0 && --suspendCount_ == 0) {
            resumed_.notify_all();
        }
        return previous;
    }

    void WaitUntilResumed() {
        std::unique_lock<std::mutex> lock(KernelLock());
        resumed_.wait(lock, [this] { return suspendCount_ == 0; });
    }

    LPTHREAD_START_ROUTINE start() const { return start_; }
    LPVOID parameter() const { return parameter_; }

  private:
    const DWORD id_;
    const LPTHREAD_START_ROUTINE start_;
    const LPVOID parameter_;
    std::atomic<int> priority_{kNormalPriority256};
    DWORD suspendCount_;  // guarded by KernelLock()
    std::condition_variable resumed_;
    bool finished_ = false;  // guarded by KernelLock()
    DWORD exitCode_ = STILL_ACTIVE;
};

// The object of the calling thread; threads the platform did not create (main, std::thread) get one on
// first use.
std::shared_ptr<ThreadObject> CurrentThreadObject();

}  // namespace ce
