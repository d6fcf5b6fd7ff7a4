#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include <ceplatform.h>
#include <windows.h>

#include "kernel/caller_memory.h"
#include "kernel/known_memory.h"

namespace {

TEST(CriticalSections, AreRecursiveAndExclusive) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs)) << "the owner may enter again";
    EXPECT_EQ(cs.LockCount, 3u);
    EXPECT_EQ(cs.OwnerThread, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId())));

    std::atomic<int> tryResult{-1};
    std::thread other([&] { tryResult = TryEnterCriticalSection(&cs); });
    other.join();
    EXPECT_EQ(tryResult.load(), FALSE) << "another thread cannot enter while it is held";

    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    std::thread stillHeld([&] { tryResult = TryEnterCriticalSection(&cs); });
    stillHeld.join();
    EXPECT_EQ(tryResult.load(), FALSE) << "held until the last leave";
    LeaveCriticalSection(&cs);

    std::thread free([&] {
        tryResult = TryEnterCriticalSection(&cs);
        if (tryResult) {
            LeaveCriticalSection(&cs);
        }
    });
    free.join();
    EXPECT_EQ(tryResult.load(), TRUE);
    DeleteCriticalSection(&cs);
}

TEST(CriticalSections, ProtectACounterAcrossThreads) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    long counter = 0;
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                EnterCriticalSection(&cs);
                EnterCriticalSection(&cs);
                ++counter;
                LeaveCriticalSection(&cs);
                LeaveCriticalSection(&cs);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(counter, kThreads * kRounds);
    DeleteCriticalSection(&cs);
}

TEST(LocalMemory, ZeroInitAndSafeFree) {
    auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 256));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(block[i], 0) << i;
    }
    EXPECT_EQ(LocalFree(block), nullptr);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(LocalFree(block), block) << "a second free is refused, not a heap corruption";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    int onStack = 0;
    EXPECT_EQ(LocalFree(&onStack), &onStack);
    EXPECT_EQ(LocalFree(nullptr), nullptr);

    EXPECT_EQ(LocalAlloc(LMEM_MOVEABLE, 16), nullptr) << "only fixed blocks exist";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_TRUE(CePlatformInjectFault("LocalAlloc", 0, ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(LocalAlloc(LPTR, 16), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    void* after = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_NE(after, nullptr) << "a zero-byte block is still a block";
    LocalFree(after);
}

// The safe copy reports a bad buffer on either side instead of taking a signal, and copies good ones.
TEST(SafeCopy, SurvivesBadPointers) {
    const long pageSize = sysconf(_SC_PAGESIZE);
    void* page = mmap(nullptr, pageSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);

    char source[32] = "eight bytes and some more";
    char target[32];
    std::memset(target, 0x5A, sizeof(target));
    ASSERT_TRUE(CeSafeCopyMemory(target, source, sizeof(source)));
    EXPECT_EQ(std::memcmp(target, source, sizeof(source)), 0);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CeSafeCopyMemory(target, page, 16)) << "unreadable source";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
    EXPECT_FALSE(CeSafeCopyMemory(page, source, 16)) << "unwritable target";
    EXPECT_FALSE(CeSafeCopyMemory(target, reinterpret_cast<void*>(0x10), 8)) << "garbage address";
    EXPECT_FALSE(CeSafeCopyMemory(nullptr, source, 8));
    EXPECT_TRUE(CeSafeCopyMemory(nullptr, nullptr, 0)) << "nothing to copy";

    // A buffer that runs off the end of readable memory fails as a whole.
    char* edge = static_cast<char*>(
        mmap(nullptr, 2 * pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(edge, MAP_FAILED);
    mprotect(edge + pageSize, pageSize, PROT_NONE);
    EXPECT_FALSE(CeSafeCopyMemory(target, edge + pageSize - 8, 16));
    EXPECT_TRUE(CeSafeCopyMemory(target, edge + pageSize - 8, 8));
    munmap(edge, 2 * pageSize);
    munmap(page, pageSize);

    // A forked child copies from its own memory, not from its parent's.
    std::strcpy(source, "parent");
    const pid_t child = fork();
    if (child == 0) {
        std::strcpy(source, "child");
        _exit(CeSafeCopyMemory(target, source, 6) && std::strcmp(target, "child") == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Known memory is copied as it is, but only within its bounds and while it is known, and only when both
// sides are known: anything else is left to the kernel's checked copy.
TEST(SafeCopy, MemoryIsKnownOnlyWithinItsBoundsAndItsTime) {
    const size_t pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    char* pages = static_cast<char*>(
        mmap(nullptr, pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    std::memcpy(pages + pageSize - 8, "lent one", 8);
    char target[16] = {};
    std::vector<char> unknown(16);
    {
        const ce::LentMemory lent(pages, pageSize);
        EXPECT_TRUE(ce::CopyKnownMemory(target, pages + pageSize - 8, 8));
        EXPECT_EQ(std::memcmp(target, "lent one", 8), 0);
        EXPECT_FALSE(ce::CopyKnownMemory(target, pages + pageSize - 8, 16)) << "runs past the lent range";
        EXPECT_FALSE(ce::CopyKnownMemory(unknown.data(), pages, 8)) << "a known source, an unknown target";
        EXPECT_TRUE(ce::IsKnownMemory(pages, pageSize));
        EXPECT_FALSE(ce::IsKnownMemory(pages + 8, pageSize));
        EXPECT_FALSE(ce::ForgetBlock(pages)) << "lent memory is not a block";
        { const ce::LentMemory again(pages, 8); }
        EXPECT_TRUE(ce::CopyKnownMemory(target, pages + 8, 8))
            << "a second lending of the start lent nothing";
    }
    EXPECT_FALSE(ce::CopyKnownMemory(target, pages, 8)) << "given back";
    EXPECT_FALSE(ce::IsKnownMemory(pages, 8));

    ASSERT_TRUE(ce::RememberBlock(pages, 16));
    EXPECT_TRUE(ce::CopyKnownMemory(pages, target, 16));
    EXPECT_FALSE(ce::CopyKnownMemory(pages, target, 17));
    EXPECT_TRUE(ce::ForgetBlock(pages));
    EXPECT_FALSE(ce::ForgetBlock(pages));
    EXPECT_FALSE(ce::CopyKnownMemory(pages, target, 8));
    munmap(pages, pageSize);

    // A thread knows its own stack, not another thread's.
    int mine = 7;
    std::atomic<int> copiedOnOwnStack{-1};
    std::atomic<int> copiedFromOtherStack{-1};
    std::thread([&] {
        int own = 0;
        int ownToo = 5;
        copiedOnOwnStack = ce::CopyKnownMemory(&own, &ownToo, sizeof(own)) && own == 5;
        copiedFromOtherStack = ce::CopyKnownMemory(&own, &mine, sizeof(own));
    }).join();
    EXPECT_EQ(copiedOnOwnStack, 1);
    EXPECT_EQ(copiedFromOtherStack, 0);
}

// Writability is proven page by page over the whole range, and the proof writes nothing.
TEST(SafeCopy, WritabilityIsProvenForTheWholeRangeWithoutAWrite) {
    const size_t pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    char* pages = static_cast<char*>(
        mmap(nullptr, 3 * pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    std::memset(pages, 0x5A, 2 * pageSize);
    mprotect(pages + pageSize, pageSize, PROT_READ);
    mprotect(pages + 2 * pageSize, pageSize, PROT_NONE);

    EXPECT_TRUE(ce::ProvenWritable(pages + 8, pageSize - 8));
    EXPECT_EQ(pages[8], 0x5A);
    EXPECT_TRUE(ce::ProvenWritable(nullptr, 0));
    EXPECT_FALSE(ce::ProvenWritable(pages + pageSize - 8, 16)) << "runs into a read-only page";
    EXPECT_FALSE(ce::ProvenWritable(pages + pageSize, 8)) << "read-only";
    EXPECT_FALSE(ce::ProvenWritable(pages + 2 * pageSize, 8)) << "no access";
    EXPECT_FALSE(ce::ProvenWritable(reinterpret_cast<void*>(0x10), 8)) << "never mapped";
    EXPECT_FALSE(ce::ProvenWritable(pages, SIZE_MAX)) << "wraps around";
    munmap(pages, 3 * pageSize);
}

}  // namespace
