#include "store/store_timing.h"

#include <atomic>

namespace store {
namespace {

void SleepWait(DWORD milliseconds) {
    Sleep(milliseconds);
}

std::atomic<WaitFunction> g_wait{&SleepWait};

}  // namespace

void SetWaitFunction(WaitFunction wait) {
    g_wait.store(wait != nullptr ? wait : &SleepWait);
}

void StoreWait(DWORD milliseconds) {
    g_wait.load()(milliseconds);
}

}  // namespace store
