#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <set>
#include <thread>

#include <velcom/win32.h>

namespace {

struct Shared {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> idInside{0};
    ~Shared() { CloseHandle(go); }
};

unsigned __stdcall waitForGo(void* argument) {
    auto* shared = static_cast<Shared*>(argument);
    shared->idInside = GetCurrentThreadId();
    WaitForSingleObject(shared->go, INFINITE);
    return 0;
}

TEST(ThreadHandleTest, HandleIsSignalledWhenTheRoutineHasReturned) {
    Shared shared;
    unsigned id = 0;
    const auto handle =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &waitForGo, &shared, 0, &id));
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(handle, 20), WAIT_TIMEOUT);
    EXPECT_EQ(shared.idInside, id) << "the id handed out is the thread's own";
    EXPECT_NE(id, GetCurrentThreadId());
    SetEvent(shared.go);
    EXPECT_EQ(WaitForSingleObject(handle, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0) << "stays signalled";
    EXPECT_TRUE(CloseHandle(handle));
}

TEST(ThreadHandleTest, ClosingTheHandleFirstLeavesTheThreadRunning) {
    Shared shared;
    const auto handle = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 64 * 1024, &waitForGo, &shared, 0, nullptr));
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(CloseHandle(handle));
    while (shared.idInside == 0) std::this_thread::yield();
    SetEvent(shared.go);
    // The thread reaps itself; under LeakSanitizer a leak here would fail the run.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST(ThreadHandleTest, SuspendedCreationAndSuspensionAreRefused) {
    Shared shared;
    EXPECT_EQ(_beginthreadex(nullptr, 0, &waitForGo, &shared, CREATE_SUSPENDED, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTSUP));
    EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));

    const auto handle =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &waitForGo, &shared, 0, nullptr));
    EXPECT_EQ(SuspendThread(handle), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTSUP));
    EXPECT_EQ(ResumeThread(handle), 0xFFFFFFFFu);
    EXPECT_EQ(SuspendThread(shared.go), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBADF)) << "an event is no thread";
    SetEvent(shared.go);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}

TEST(ThreadHandleTest, ThreadIdsAreDistinctAndStable) {
    std::set<DWORD> ids{GetCurrentThreadId()};
    EXPECT_EQ(GetCurrentThreadId(), *ids.begin());
    for (int i = 0; i < 4; ++i) {
        DWORD id = 0;
        std::thread([&] { id = GetCurrentThreadId(); }).join();
        ids.insert(id);
    }
    EXPECT_GE(ids.size(), 2u);
    EXPECT_EQ(ids.count(0u), 0u);
}

TEST(ThreadHandleTest, LastErrorIsPerThread) {
    SetLastError(1234);
    DWORD other = 0;
    std::thread([&] {
        SetLastError(99);
        other = GetLastError();
    }).join();
    EXPECT_EQ(other, 99u);
    EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
