#include "traffic.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

namespace {

constexpr size_t kWriteChunk = 4096;
constexpr size_t kReadChunk = 65536;

bool ReadExactly(ByteEnd* end, uint8_t* data, size_t size) {
    for (size_t got = 0; got < size;) {
        const size_t n = end->ReadSome(data + got, size - got);
        if (n == 0) {
            return false;
        }
        got += n;
    }
    return true;
}

bool EchoMessages(ByteEnd* end, size_t size, int rounds) {
    std::vector<uint8_t> buffer(size);
    for (int r = 0; r < rounds; ++r) {
        if (!ReadExactly(end, buffer.data(), size) || !end->WriteAll(buffer.data(), size)) {
            return false;
        }
    }
    return true;
}

class ThreadEnd : public FarEnd {
  public:
    explicit ThreadEnd(ByteEnd* end) : end_(end) {}
    ~ThreadEnd() override {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    bool Start(const Task& task) override {
        thread_ = std::thread([this, task] { ok_ = RunTask(end_, task); });
        return true;
    }
    bool Finish(double* cpuMs) override {
        thread_.join();
        *cpuMs = 0;
        return ok_;
    }

  private:
    ByteEnd* end_;
    std::thread thread_;
    bool ok_ = false;
};

}  // namespace

bool WritePattern(ByteEnd* end, uint64_t total) {
    std::vector<uint8_t> chunk(kWriteChunk);
    for (uint64_t offset = 0; offset < total; offset += kWriteChunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kWriteChunk, total - offset));
        for (size_t i = 0; i < n; ++i) {
            chunk[i] = PatternByte(offset + i);
        }
        if (!end->WriteAll(chunk.data(), n)) {
            return false;
        }
    }
    return true;
}

bool ReadPattern(ByteEnd* end, uint64_t total) {
    std::vector<uint8_t> buffer(kReadChunk);
    uint64_t offset = 0;
    while (offset < total) {
        const size_t n =
            end->ReadSome(buffer.data(), static_cast<size_t>(std::min<uint64_t>(kReadChunk, total - offset)));
        if (n == 0) {
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            if (buffer[i] != PatternByte(offset + i)) {
                std::fprintf(stderr, "mismatch at byte %llu\n", static_cast<unsigned long long>(offset + i));
                return false;
            }
        }
        offset += n;
    }
    return true;
}

std::string Task::Text() const {
    std::ostringstream text;
    text << static_cast<int>(kind) << ' ' << bytes << ' ' << size << ' ' << rounds;
    return text.str();
}

bool Task::Parse(const std::string& text, Task* task) {
    std::istringstream words(text);
    int kind = -1;
    words >> kind >> task->bytes >> task->size >> task->rounds;
    if (!words || kind < Read || kind > Echo) {
        return false;
    }
    task->kind = static_cast<Kind>(kind);
    return true;
}

bool RunTask(ByteEnd* end, const Task& task) {
    switch (task.kind) {
        case Task::Read:
            return ReadPattern(end, task.bytes);
        case Task::ReadAndWrite: {
            bool wrote = false;
            std::thread writer([&] { wrote = WritePattern(end, task.bytes); });
            const bool read = ReadPattern(end, task.bytes);
            writer.join();
            return read && wrote;
        }
        case Task::Echo:
            return EchoMessages(end, task.size, task.rounds);
    }
    return false;
}

std::unique_ptr<FarEnd> ThreadFarEnd(ByteEnd* end) {
    return std::make_unique<ThreadEnd>(end);
}
