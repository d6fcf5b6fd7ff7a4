#include <gtest/gtest.h>

#include <thread>

#include <ceplatform.h>
#include <windows.h>

namespace {

DWORD WINAPI ReturnParameter(LPVOID parameter) {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
}

DWORD WINAPI ExitEarly(LPVOID parameter) {
    ExitThread(0x5150);
    return 1;  // never reached
}

DWORD WINAPI WaitOnEvent(LPVOID parameter) {
    return WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE) == WAIT_OBJECT_0 ? 7 : 8;
}

TEST(Threads, ExitCodeFromReturnAndFromExitThread) {
    DWORD id = 0;
    HANDLE returning = CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(42), 0, &id);
    ASSERT_NE(returning, nullptr);
    EXPECT_NE(id, 0u);
    HANDLE exiting = CreateThread(nullptr, 0, ExitEarly, nullptr, 0, nullptr);
    ASSERT_NE(exiting, nullptr);
    HANDLE both[2] = {returning, exiting};
    EXPECT_EQ(WaitForSingleObject(returning, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(exiting, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0) << "a finished thread stays signaled";
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(returning, &code));
    EXPECT_EQ(code, 42u);
    ASSERT_TRUE(GetExitCodeThread(exiting, &code));
    EXPECT_EQ(code, 0x5150u);
    CloseHandle(returning);
    CloseHandle(exiting);
}

TEST(Threads, RunningThreadIsStillActiveAndSuspendedOneWaitsForResume) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE running = CreateThread(nullptr, 0, WaitOnEvent, go, 0, nullptr);
    HANDLE suspended =
        CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(3), CREATE_SUSPENDED, nullptr);
    ASSERT_NE(running, nullptr);
    ASSERT_NE(suspended, nullptr);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(running, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(suspended, 100), WAIT_TIMEOUT) << "a suspended thread does not run";
    EXPECT_EQ(ResumeThread(suspended), 1u);
    EXPECT_EQ(WaitForSingleObject(suspended, 5000), WAIT_OBJECT_0);
    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(running, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(running, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(go);
    CloseHandle(running);
    CloseHandle(suspended);
}

TEST(Threads, ClosingTheHandleDoesNotStopTheThread) {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto setLater = [](LPVOID event) -> DWORD {
        Sleep(50);
        return SetEvent(event);
    };
    HANDLE thread = CreateThread(nullptr, 0, setLater, done, 0, nullptr);
    ASSERT_TRUE(CloseHandle(thread));
    EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0) << "the thread ran on without its handle";
    CloseHandle(done);
}

// Priorities are recorded per thread on the 256-level scale and read back; the seven-level calls map onto
// 248..255 with THREAD_PRIORITY_NORMAL at 251.
TEST(Threads, PrioritiesAreRecordedAndReadable) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitOnEvent, go, 0, nullptr);
    EXPECT_EQ(CeGetThreadPriority(thread), 251);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
    ASSERT_TRUE(CeSetThreadPriority(thread, 103));
    EXPECT_EQ(CeGetThreadPriority(thread), 103);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
    ASSERT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_IDLE));
    EXPECT_EQ(CeGetThreadPriority(thread), 255);
    EXPECT_EQ(CeGetThreadPriority(GetCurrentThread()), 251) << "another thread's priority is its own";

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CeSetThreadPriority(thread, 256));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetThreadPriority(thread, 8));
    EXPECT_EQ(CeGetThreadPriority(thread), 255) << "refused changes change nothing";

    ASSERT_TRUE(CeSetThreadPriority(GetCurrentThread(), 200));
    EXPECT_EQ(CeGetThreadPriority(GetCurrentThread()), 200);
    CeSetThreadPriority(GetCurrentThread(), 251);

    SetEvent(go);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseHandle(go);
}

TEST(Threads, LastErrorIsPerThreadAndUntouchedBySuccess) {
    SetLastError(1234);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(99);
    });
    other.join();
    EXPECT_EQ(GetLastError(), 1234u);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "successful calls leave the last error alone";
    CloseHandle(event);
}

TEST(Threads, BadArgumentsAndFaults) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_TRUE(CePlatformInjectFault("CreateThread", 0, ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(CreateThread(nullptr, 0, ReturnParameter, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));

    HANDLE bogus = reinterpret_cast<HANDLE>(0x4242);
    DWORD code = 5;
    EXPECT_FALSE(GetExitCodeThread(bogus, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_EQ(CeGetThreadPriority(bogus), THREAD_PRIORITY_ERROR_RETURN);
    EXPECT_EQ(ResumeThread(bogus), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(GetExitCodeThread(event, &code)) << "an event is not a thread";
    EXPECT_FALSE(CeSetThreadPriority(event, 100));
    CloseHandle(event);
}

}  // namespace
