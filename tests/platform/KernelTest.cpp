// Events, mutexes, threads, handles and posted messages as velcom provides them on POSIX.
#include <fcntl.h>
#include <sys/mman.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <velcom/win32.h>

#include "support/ChildProcess.h"

namespace {

int errorOf(bool succeeded) { return succeeded ? 0 : static_cast<int>(GetLastError()); }

int releasedBySignal(HANDLE event, int waiters, DWORD milliseconds) {
    std::atomic<int> released{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < waiters; ++i)
        threads.emplace_back(
            [&] { released += WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0; });
    EXPECT_TRUE(SetEvent(event));
    for (auto& thread : threads) thread.join();
    return released;
}

TEST(EventTest, ManualResetReleasesEveryWaiterAndAutoResetOnePerSignal) {
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    EXPECT_EQ(releasedBySignal(manual, 3, 10000), 3);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "stays signalled";
    EXPECT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 20), WAIT_TIMEOUT);
    HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0) << "created signalled";
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT) << "the wait reset it";
    EXPECT_EQ(releasedBySignal(automatic, 2, 300), 1);
    EXPECT_TRUE(CloseHandle(manual) && CloseHandle(automatic));
}

// Waits in another thread, where the owner's recursion does not count, and gives back what it got.
DWORD waitElsewhere(HANDLE handle, DWORD milliseconds) {
    DWORD result = 0;
    std::thread([&] {
        result = WaitForSingleObject(handle, milliseconds);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(handle);
    }).join();
    return result;
}

TEST(MutexTest, OnlyTheOwningThreadEntersAgainAndReleasesAndItsEndAbandonsTheMutex) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    EXPECT_EQ(waitElsewhere(mutex, 0), WAIT_TIMEOUT);
    EXPECT_EQ(waitElsewhere(mutex, 30), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "the owner may enter again";
    int errorOfOther = 0;
    std::thread([&] { errorOfOther = errorOf(ReleaseMutex(mutex)); }).join();
    EXPECT_EQ(errorOfOther, EPERM);
    EXPECT_TRUE(ReleaseMutex(mutex) && ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex)) << "nobody owns it";
    EXPECT_EQ(waitElsewhere(mutex, 0), WAIT_OBJECT_0);

    std::thread([&] { WaitForSingleObject(mutex, INFINITE); }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(waitElsewhere(mutex, 0), WAIT_OBJECT_0) << "usable again after abandonment";
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST(MutexTest, NamedMutexIsFoundByItsExactNameUntilItsLastHandleCloses) {
    const std::string name = "velcom-test-named-" + std::to_string(getpid());
    HANDLE first = CreateMutexA(nullptr, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE second = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EEXIST));
    EXPECT_EQ(waitElsewhere(second, 0), WAIT_TIMEOUT);
    ReleaseMutex(first);
    EXPECT_EQ(waitElsewhere(second, 0), WAIT_OBJECT_0);
    CloseHandle(first);
    HANDLE third = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EEXIST)) << "still held by the second handle";
    EXPECT_TRUE(CloseHandle(second) && CloseHandle(third));
    HANDLE fresh = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), 0u) << "a new object after the last handle went";
    CloseHandle(fresh);

    HANDLE slash = CreateMutexA(nullptr, TRUE, (name + "/x").c_str());
    HANDLE backslash = CreateMutexA(nullptr, FALSE, (name + "\\x").c_str());
    EXPECT_EQ(waitElsewhere(backslash, 0), WAIT_OBJECT_0) << "escaped characters stay apart";
    ReleaseMutex(slash);
    const std::string longest = name + std::string(200 - name.size(), 'x');
    HANDLE fits = CreateMutexA(nullptr, FALSE, longest.c_str());
    EXPECT_TRUE(CloseHandle(slash) && CloseHandle(backslash) && CloseHandle(fits));
    EXPECT_EQ(errorOf(CreateMutexA(nullptr, FALSE, (longest + "x").c_str())), ENAMETOOLONG);
}

TEST(MutexTest, NamedMutexExcludesOtherProcessesAndIsAbandonedWhenTheOwnerDies) {
    for (const bool release : {true, false}) {
        const std::string name = "velcom-test-" + std::to_string(getpid()) + (release ? "r" : "d");
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        // The child takes the mutex, says so, and on the parent's word releases it or dies.
        int up[2], down[2];
        ASSERT_TRUE(pipe(up) == 0 && pipe(down) == 0);
        char taken = 0;
        const pid_t child = runInChild([&] {
            HANDLE own = CreateMutexA(nullptr, FALSE, name.c_str());
            taken = WaitForSingleObject(own, INFINITE) == WAIT_OBJECT_0 ? 'y' : 'n';
            if (write(up[1], &taken, 1) != 1 || read(down[0], &taken, 1) != 1) return 2;
            return release && ReleaseMutex(own) && CloseHandle(own) ? 0 : 3;
        });
        ASSERT_EQ(read(up[0], &taken, 1), 1);
        EXPECT_EQ(taken, 'y');
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
        ASSERT_EQ(write(down[1], "g", 1), 1);
        EXPECT_EQ(WaitForSingleObject(mutex, 10000), release ? WAIT_OBJECT_0 : WAIT_ABANDONED);
        ReleaseMutex(mutex);
        EXPECT_EQ(exitCodeOf(child), release ? 0 : 3);
        for (const int end : {up[0], up[1], down[0], down[1]}) close(end);
        CloseHandle(mutex);
        // A process that dies keeps its count in the shared block, so the name outlives it.
        if (!release)
            shm_unlink(("/velcom-" + std::to_string(getuid()) + "-mutex-" + name).c_str());
    }
}

struct Shared {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> idInside{0};
    ~Shared() { CloseHandle(go); }
};

unsigned __stdcall waitForGo(void* argument) {
    auto* shared = static_cast<Shared*>(argument);
    shared->idInside = GetCurrentThreadId();
    SetLastError(99);
    return WaitForSingleObject(shared->go, INFINITE);
}

TEST(ThreadHandleTest, HandleIsSignalledWhenTheRoutineHasReturnedCannotSuspendAndMayCloseFirst) {
    Shared shared, other;
    unsigned id = 0;
    const auto handle = HANDLE(_beginthreadex(nullptr, 0, &waitForGo, &shared, 0, &id));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(WaitForSingleObject(handle, 20), WAIT_TIMEOUT);
    EXPECT_EQ(shared.idInside, id) << "the id handed out is the thread's own";
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(errorOf(SuspendThread(handle) != 0xFFFFFFFFu), ENOTSUP);
    EXPECT_EQ(errorOf(ResumeThread(handle) != 0xFFFFFFFFu), ENOTSUP);
    SetLastError(1234);
    SetEvent(shared.go);
    EXPECT_EQ(WaitForSingleObject(handle, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(GetLastError(), 1234u) << "the thread set a last error of its own";
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0) << "stays signalled";
    EXPECT_TRUE(CloseHandle(handle));

    // Closed first, the thread reaps itself; under LeakSanitizer a leak here would fail the run.
    EXPECT_TRUE(
        CloseHandle(HANDLE(_beginthreadex(nullptr, 64 * 1024, &waitForGo, &other, 0, nullptr))));
    while (other.idInside == 0) std::this_thread::yield();
    SetEvent(other.go);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Each refusal with its own code follows one with another code, so that each must set its own.
TEST(KernelHandleTest, HandlesOfTheWrongKindOrNoneAndUnsupportedRequestsAreRefused) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_EQ(errorOf(SetEvent(mutex)), EBADF);
    EXPECT_EQ(errorOf(ResetEvent(mutex)), EBADF);
    EXPECT_EQ(errorOf(ReleaseMutex(event)), EBADF);
    EXPECT_EQ(errorOf(SuspendThread(event) != 0xFFFFFFFFu), EBADF) << "an event is no thread";
    EXPECT_EQ(errorOf(WaitForSingleObject(nullptr, 0) != WAIT_FAILED), EBADF);
    EXPECT_EQ(errorOf(WaitForSingleObject(INVALID_HANDLE_VALUE, 0) != WAIT_FAILED), EBADF);
    EXPECT_EQ(errorOf(CloseHandle(nullptr)), EBADF);
    EXPECT_EQ(errorOf(CreateEventA(nullptr, TRUE, FALSE, "velcom-test")), ENOTSUP);
    EXPECT_EQ(errorOf(PostMessageA(nullptr, 1, 2, 3)), EBADF);
    EXPECT_EQ(errorOf(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr)), EINVAL);
    EXPECT_EQ(errorOf(_beginthreadex(nullptr, 0, &waitForGo, nullptr, CREATE_SUSPENDED, nullptr)),
              ENOTSUP);
    EXPECT_TRUE(CloseHandle(event) && CloseHandle(mutex));
}

TEST(PostMessageTest, MessagesArriveWholeAndInOrderAndAFullUnreadOrUnwrittenPipeFailsAtOnce) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    HWND window = velcomWindowFromDescriptor(ends[1]);
    for (UINT i = 0; i < 50; ++i) EXPECT_TRUE(PostMessageA(window, 0x400 + i, i, -LPARAM(i)));
    VELCOM_POSTED_MESSAGE message{};
    for (UINT i = 0; i < 50; ++i) {
        ASSERT_TRUE(velcomReceivePostedMessage(ends[0], &message));
        EXPECT_EQ(std::tuple(message.message, message.wParam, message.lParam),
                  std::tuple(0x400 + i, WPARAM{i}, -LPARAM(i)));
    }
    EXPECT_EQ(errorOf(velcomReceivePostedMessage(ends[0], nullptr)), EINVAL);

    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    int posted = 0;
    while (PostMessageA(window, 1, 2, 3) && posted < 1000000) ++posted;
    EXPECT_TRUE(posted > 0 && posted < 1000000);
    EXPECT_EQ(GetLastError(), DWORD{EAGAIN}) << "fails instead of blocking";
    close(ends[0]);
    EXPECT_EQ(errorOf(PostMessageA(window, 1, 2, 3)), EPIPE) << "and raises no SIGPIPE";
    close(ends[1]);
    ASSERT_EQ(pipe(ends), 0);
    close(ends[1]);
    EXPECT_EQ(errorOf(velcomReceivePostedMessage(ends[0], &message)), EPIPE) << "poster gone";
    close(ends[0]);
    EXPECT_NE(velcomWindowFromDescriptor(0), nullptr) << "descriptor 0 is a window";
    EXPECT_EQ(velcomWindowFromDescriptor(-1), nullptr);
}

}  // namespace
