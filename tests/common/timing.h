// Time checks for tests: strict on the lower bound, generous on the upper one, wider still under sanitizers.
#pragma once

#include <chrono>
#include <cstdint>

namespace ce_test {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kSlowdown = 5;
#else
constexpr int kSlowdown = 1;
#endif

// Upper bound for an operation expected to take `expectedMs`: the expected time plus scheduling slack.
constexpr int64_t UpperBoundMs(int64_t expectedMs) {
    return expectedMs + 400 * kSlowdown;
}

class Stopwatch {
  public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    int64_t ElapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                     start_)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

}  // namespace ce_test
