#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include <velcom/win32.h>

namespace {

TEST(EventTest, ManualResetReleasesEveryWaiterAndStaysSignalled) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0) ++released;
        });
    EXPECT_TRUE(SetEvent(event));
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released, 3);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(EventTest, AutoResetLetsOneWaitThroughPerSignal) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "created signalled";
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "the wait reset it";

    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 300) == WAIT_OBJECT_0) ++released;
        });
    SetEvent(event);
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released, 1);
    CloseHandle(event);
}

TEST(EventTest, NamedEventsAreRefused) {
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "velcom-test-event"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTSUP));
}

TEST(EventTest, SettingAMutexAsEventIsRefused) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_FALSE(ResetEvent(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBADF));
    CloseHandle(mutex);
}

}  // namespace
