#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include <velcom/win32.h>

namespace {

std::string uniqueName(const std::string& stem) {
    return "velcom-test-" + stem + "-" + std::to_string(getpid());
}

// Waits in another thread, where the owner's recursion does not count.
DWORD waitElsewhere(HANDLE handle, DWORD milliseconds) {
    DWORD result = 0;
    std::thread([&] {
        result = WaitForSingleObject(handle, milliseconds);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(handle);
    }).join();
    return result;
}

TEST(MutexTest, OwnedMutexTimesOutForOthersAndIsFreeAfterRelease) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(waitElsewhere(mutex, 0), WAIT_TIMEOUT);
    EXPECT_EQ(waitElsewhere(mutex, 30), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "the owner may enter again";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(waitElsewhere(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST(MutexTest, OnlyTheOwnerMayRelease) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_FALSE(ReleaseMutex(mutex)) << "nobody owns it";
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    BOOL releasedByOther = TRUE;
    int errorOfOther = 0;
    std::thread([&] {
        releasedByOther = ReleaseMutex(mutex);
        errorOfOther = static_cast<int>(GetLastError());
    }).join();
    EXPECT_FALSE(releasedByOther);
    EXPECT_EQ(errorOfOther, EPERM);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(MutexTest, OwnerThreadEndingWithoutReleaseAbandonsIt) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    std::thread([&] { WaitForSingleObject(mutex, INFINITE); }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "usable again after abandonment";
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(MutexTest, NamedMutexIsFoundAgainByName) {
    const std::string name = uniqueName("again");
    HANDLE first = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE second = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EEXIST));
    EXPECT_EQ(waitElsewhere(second, 0), WAIT_TIMEOUT);
    ReleaseMutex(first);
    EXPECT_EQ(waitElsewhere(second, 0), WAIT_OBJECT_0);
    CloseHandle(first);
    CloseHandle(second);
}

TEST(MutexTest, NamedMutexDisappearsWithItsLastHandle) {
    const std::string name = uniqueName("last-close");
    HANDLE first = CreateMutexA(nullptr, FALSE, name.c_str());
    HANDLE second = CreateMutexA(nullptr, FALSE, name.c_str());
    CloseHandle(first);
    HANDLE third = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EEXIST)) << "still held by the second handle";
    CloseHandle(second);
    CloseHandle(third);
    HANDLE fresh = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), 0u) << "a new object after the last handle went";
    CloseHandle(fresh);
}

TEST(MutexTest, NamesThatOnlyDifferInEscapedCharactersStayApart) {
    const std::string base = uniqueName("escape");
    HANDLE slash = CreateMutexA(nullptr, TRUE, (base + "/x").c_str());
    HANDLE backslash = CreateMutexA(nullptr, FALSE, (base + "\\x").c_str());
    ASSERT_NE(slash, nullptr);
    ASSERT_NE(backslash, nullptr);
    EXPECT_EQ(waitElsewhere(backslash, 0), WAIT_OBJECT_0);
    ReleaseMutex(slash);
    CloseHandle(slash);
    CloseHandle(backslash);
}

TEST(MutexTest, NameTooLongFails) {
    const std::string name(201, 'x');
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENAMETOOLONG));
}

// A child process that takes the named mutex, says so, waits for the parent's go and then
// either releases the mutex or dies holding it.
struct Child {
    pid_t pid = -1;
    int fromChild = -1;
    int toChild = -1;
};

Child startChildTakingMutex(const std::string& name, bool releaseBeforeExit) {
    int up[2];
    int down[2];
    if (pipe(up) != 0 || pipe(down) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        const char taken = WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0 ? 'y' : 'n';
        char go = 0;
        if (write(up[1], &taken, 1) != 1 || read(down[0], &go, 1) != 1) _exit(2);
        if (releaseBeforeExit) {
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        }
        _exit(0);
    }
    close(up[1]);
    close(down[0]);
    return {pid, up[0], down[1]};
}

TEST(MutexTest, NamedMutexExcludesOtherProcessesAndIsAbandonedWhenTheOwnerDies) {
    for (const bool release : {true, false}) {
        const std::string name = uniqueName(release ? "process-release" : "process-die");
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        ASSERT_NE(mutex, nullptr);
        const Child child = startChildTakingMutex(name, release);
        ASSERT_GT(child.pid, 0);
        char taken = 0;
        ASSERT_EQ(read(child.fromChild, &taken, 1), 1);
        EXPECT_EQ(taken, 'y');
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
        const char go = 'g';
        ASSERT_EQ(write(child.toChild, &go, 1), 1);
        EXPECT_EQ(WaitForSingleObject(mutex, 10000), release ? WAIT_OBJECT_0 : WAIT_ABANDONED);
        ReleaseMutex(mutex);
        int status = 0;
        waitpid(child.pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        close(child.fromChild);
        close(child.toChild);
        CloseHandle(mutex);
        // A process that dies keeps its count in the shared block, so the name outlives it.
        if (!release)
            shm_unlink(("/velcom-" + std::to_string(getuid()) + "-mutex-" + name).c_str());
    }
}

TEST(MutexTest, HandlesOfTheWrongKindOrNoneAreRefused) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(ReleaseMutex(event));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBADF));
    CloseHandle(event);

    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBADF));
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(nullptr));
}

}  // namespace
