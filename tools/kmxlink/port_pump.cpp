#include "port_pump.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

constexpr DWORD kChunkBytes = 16 * 1024;
constexpr auto kAbortRetry = std::chrono::milliseconds(1);

}  // namespace

PortPump::PortPump(HANDLE port, Wakeup& wakeup) : port_(port), wakeup_(wakeup) {}

PortPump::~PortPump() {
    BeginStop();
    Join();
}

void PortPump::Start() {
    reader_ = std::thread([this] { Read(); });
    writer_ = std::thread([this] { Write(); });
}

void PortPump::BeginStop() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stop_ = true;
    }
    roomToRead_.notify_all();
    toWrite_.notify_all();
}

void PortPump::Join() {
    if (reader_.joinable()) {
        reader_.join();
    }
    if (writer_.joinable()) {
        writer_.join();
    }
}

size_t PortPump::TakeReceived(std::string* out, size_t max) {
    std::lock_guard<std::mutex> guard(mutex_);
    const size_t count = std::min(max, received_.size());
    const bool wasFull = received_.size() >= kReceivedQueueBytes;
    out->append(received_, 0, count);
    received_.erase(0, count);
    if (wasFull && count > 0) {
        roomToRead_.notify_one();
    }
    return count;
}

size_t PortPump::UnsentRoom() {
    std::lock_guard<std::mutex> guard(mutex_);
    return kUnsentQueueBytes - std::min(kUnsentQueueBytes, unsent_.size());
}

void PortPump::Send(std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(mutex_);
        unsent_.append(bytes);
    }
    toWrite_.notify_all();
}

void PortPump::Drain(DWORD quietMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t left = unsent_.size();
    while (left != 0 && !failed_) {
        toWrite_.wait_for(lock, std::chrono::milliseconds(quietMs));
        if (unsent_.size() == left) {
            return;  // held: what is left stays unsent
        }
        left = unsent_.size();
    }
}

void PortPump::DiscardReceived() {
    std::lock_guard<std::mutex> guard(mutex_);
    received_.clear();
    roomToRead_.notify_one();
}

void PortPump::DiscardUnsent(const std::function<void()>& abortWrite) {
    std::unique_lock<std::mutex> lock(mutex_);
    unsent_.clear();
    ++discards_;
    // The writer may hold discarded bytes and be just about to hand them to the port, and the start of a
    // write clears an abort that came before it: abort until that write is over.
    do {
        lock.unlock();
        abortWrite();
        lock.lock();
    } while (writing_ && writingDiscards_ != discards_ && !stop_ &&
             !toWrite_.wait_for(lock, kAbortRetry, [this] { return !writing_ || stop_; }));
}

uint64_t PortPump::TakeDropped() {
    std::lock_guard<std::mutex> guard(mutex_);
    const uint64_t dropped = dropped_;
    dropped_ = 0;
    return dropped;
}

bool PortPump::Failed(DWORD* error) {
    std::lock_guard<std::mutex> guard(mutex_);
    *error = failure_;
    return failed_;
}

void PortPump::Fail(DWORD error) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (stop_ || failed_) {
            return;  // the stop closed the port under the call: that is no failure
        }
        failed_ = true;
        failure_ = error;
    }
    toWrite_.notify_all();
    wakeup_.Wake();
}

void PortPump::Read() {
    std::vector<char> buffer(kChunkBytes);
    for (;;) {
        size_t room = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            roomToRead_.wait(lock, [this] { return stop_ || received_.size() < kReceivedQueueBytes; });
            if (stop_) {
                return;
            }
            room = std::min<size_t>(kReceivedQueueBytes - received_.size(), buffer.size());
        }
        DWORD got = 0;
        if (!ReadFile(port_, buffer.data(), static_cast<DWORD>(room), &got, nullptr)) {
            Fail(GetLastError());
            return;
        }
        if (got == 0) {
            continue;  // a purge ended the read
        }
        bool first = false;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            first = received_.empty();
            received_.append(buffer.data(), got);
        }
        if (first) {
            wakeup_.Wake();  // a loop that has not taken the earlier bytes yet will take these with them
        }
    }
}

void PortPump::Write() {
    std::vector<char> chunk(kChunkBytes);
    for (;;) {
        size_t size = 0;
        uint64_t discards = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            toWrite_.wait(lock, [this] { return stop_ || !unsent_.empty(); });
            if (stop_) {
                return;
            }
            size = std::min(unsent_.size(), chunk.size());
            unsent_.copy(chunk.data(), size);
            discards = discards_;
            writing_ = true;
            writingDiscards_ = discards;
        }
        DWORD written = 0;
        const bool ok = WriteFile(port_, chunk.data(), static_cast<DWORD>(size), &written, nullptr) != FALSE;
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (discards == discards_) {
                // A write the port ended short took all it could: nobody has the other end open (or a purge
                // aborted it). The rest of the piece goes the way of bytes sent down an unplugged line.
                unsent_.erase(0, size);
                if (ok) {
                    dropped_ += size - written;
                }
            }
            writing_ = false;
        }
        toWrite_.notify_all();
        if (!ok) {
            Fail(error);
            return;
        }
        wakeup_.Wake();
    }
}
