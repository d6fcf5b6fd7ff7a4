#include "wire/call_region.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "wire/wire.h"

namespace ce::wire {
namespace {

static_assert(sizeof(RegionWords) <= CallRegion::kAreasOffset);

constexpr int kRequiredSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;

// The words live in memory shared between processes: the futex calls are the shared (not private) ones.
long Futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, timeout, nullptr, 0);
}

uint8_t* Map(int fd) {
    void* base = mmap(nullptr, CallRegion::kBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return base == MAP_FAILED ? nullptr : static_cast<uint8_t*>(base);
}

}  // namespace

CallRegion::~CallRegion() {
    if (base_ != nullptr) {
        munmap(base_, kBytes);
    }
}

CallRegion::CallRegion(CallRegion&& other) noexcept
    : base_(std::exchange(other.base_, nullptr)), words_(std::exchange(other.words_, nullptr)) {}

CallRegion& CallRegion::operator=(CallRegion&& other) noexcept {
    if (this != &other) {
        if (base_ != nullptr) {
            munmap(base_, kBytes);
        }
        base_ = std::exchange(other.base_, nullptr);
        words_ = std::exchange(other.words_, nullptr);
    }
    return *this;
}

bool CallRegion::Create(CallRegion* region, int* fd) {
    *fd = memfd_create("ce-call", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (*fd < 0) {
        return false;
    }
    uint8_t* base = nullptr;
    if (ftruncate(*fd, static_cast<off_t>(kBytes)) != 0 || fcntl(*fd, F_ADD_SEALS, kRequiredSeals) != 0 ||
        (base = Map(*fd)) == nullptr) {
        const int error = errno;
        close(*fd);
        *fd = -1;
        errno = error;
        return false;
    }
    *region = CallRegion();
    region->base_ = base;
    region->words_ = new (base) RegionWords{};
    return true;
}

bool CallRegion::Adopt(int fd, CallRegion* region) {
    struct stat status {};
    const int seals = fcntl(fd, F_GET_SEALS);
    // A region that could shrink under the host would fault it on its next access.
    if (seals < 0 || (seals & kRequiredSeals) != kRequiredSeals || fstat(fd, &status) != 0 ||
        !S_ISREG(status.st_mode) || static_cast<size_t>(status.st_size) != kBytes) {
        return false;
    }
    uint8_t* base = Map(fd);
    if (base == nullptr) {
        return false;
    }
    *region = CallRegion();
    region->base_ = base;
    // The program made the words; the host only uses them as atomics.
    region->words_ = reinterpret_cast<RegionWords*>(base);
    return true;
}

void CallRegion::KeepFromChildren() {
    if (base_ != nullptr) {
        madvise(base_, kBytes, MADV_DONTFORK);
    }
}

void CallRegion::Ring(std::atomic<uint32_t>& word, uint32_t number, std::atomic<uint32_t>& sleeps) {
    uint32_t old = word.load(std::memory_order_relaxed);
    while (!word.compare_exchange_weak(old, (old & kEndedBit) | (number & kCallNumberMask),
                                       std::memory_order_seq_cst)) {
    }
    // Paired with the sleeper's flag-then-look in Await: one of the two sees the other.
    if (sleeps.load(std::memory_order_seq_cst) != 0) {
        Futex(&word, FUTEX_WAKE, 1, nullptr);
    }
}

CallRegion::Wait CallRegion::Await(std::atomic<uint32_t>& word, uint32_t seen, std::atomic<uint32_t>& sleeps,
                                   AdaptiveSpin* spinner, std::chrono::milliseconds timeout) {
    seen &= kCallNumberMask;
    const auto rang = [&] { return word.load(std::memory_order_acquire) != seen; };
    if (!rang() && spinner != nullptr) {
        spinner->Spin(rang);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!rang()) {
        sleeps.store(1, std::memory_order_seq_cst);
        timespec wait{};
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) {
            sleeps.store(0, std::memory_order_relaxed);
            return Wait::kTimedOut;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        wait.tv_sec = static_cast<time_t>(ns / 1000000000);
        wait.tv_nsec = static_cast<long>(ns % 1000000000);
        // Sleeps only while the word still holds `seen`: a ring or an end since the look above is not missed.
        Futex(&word, FUTEX_WAIT, seen, &wait);
        sleeps.store(0, std::memory_order_relaxed);
    }
    const uint32_t now = word.load(std::memory_order_acquire);
    return (now & kCallNumberMask) == (seen & kCallNumberMask) ? Wait::kEnded : Wait::kRang;
}

CallRegion::Lane CallRegion::LaneOf(Message which) {
    return which == Message::kRequest
               ? Lane{requestArea(), words_->requestBytes, words_->request, words_->hostSleeps}
               : Lane{replyArea(), words_->replyBytes, words_->reply, words_->programSleeps};
}

bool CallRegion::Post(Message which, uint32_t number, const std::vector<uint8_t>& message, int fd) {
    const Lane lane = LaneOf(which);
    const bool inArea = message.size() <= kRegionAreaBytes;
    if (inArea) {
        std::memcpy(lane.area, message.data(), message.size());
    }
    lane.bytes.store(inArea ? static_cast<uint32_t>(message.size()) : kMessageOnSocket,
                     std::memory_order_relaxed);
    Ring(lane.bell, number, lane.sleeps);
    return inArea || SendMessage(fd, message);
}

bool CallRegion::Take(Message which, int fd, std::vector<uint8_t>* message) {
    const Lane lane = LaneOf(which);
    const uint32_t bytes = lane.bytes.load(std::memory_order_acquire);
    if (bytes == kMessageOnSocket) {
        return ReceiveMessage(fd, message) == Received::Message;
    }
    if (bytes < sizeof(MessageHeader) || bytes > kRegionAreaBytes) {
        return false;
    }
    message->assign(lane.area, lane.area + bytes);
    MessageHeader header{};
    std::memcpy(&header, message->data(), sizeof(header));
    return header.size == bytes;
}

void CallRegion::End() {
    if (words_ == nullptr) {
        return;
    }
    for (std::atomic<uint32_t>* word : {&words_->request, &words_->reply}) {
        word->fetch_or(kEndedBit, std::memory_order_seq_cst);
        Futex(word, FUTEX_WAKE, 1, nullptr);
    }
}

}  // namespace ce::wire
