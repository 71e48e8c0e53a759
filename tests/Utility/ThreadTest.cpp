#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "Utility/ExceptionBase.h"
#include "Utility/Thread.h"

namespace {

// What a worker function sees: it counts its runs and, when asked, waits for a release.
struct Job {
    std::atomic<int> runs{0};
    std::atomic<bool> holdOpen{false};
    std::atomic<bool> inside{false};
    std::atomic<void*> seenArgument{nullptr};
    Event release;
};

Job* g_job = nullptr;

void work(void* argument) {
    g_job->seenArgument = argument;
    ++g_job->runs;
    g_job->inside = true;
    if (g_job->holdOpen) g_job->release.lock();
    g_job->inside = false;
}

class ThreadTest : public ::testing::Test {
protected:
    void SetUp() override { g_job = &job; }
    void TearDown() override { g_job = nullptr; }

    void waitUntilInside() {
        while (!job.inside) std::this_thread::yield();
    }

    Job job;
};

TEST_F(ThreadTest, LockOnAnIdleThreadReturnsAtOnce) {
    Thread thread(&work, nullptr);
    EXPECT_FALSE(thread.isRunning());
    thread.lock();
    EXPECT_EQ(job.runs, 0);
}

TEST_F(ThreadTest, StartWhileRunningStartsOneThreadOnly) {
    job.holdOpen = true;
    Thread thread(&work, nullptr);
    thread.start();
    waitUntilInside();
    thread.start();
    EXPECT_TRUE(thread.isRunning());
    job.release.signal();
    thread.lock();
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(job.runs, 1);
}

TEST_F(ThreadTest, AfterTheFunctionReturnedStartRunsItAgain) {
    int first = 1;
    int second = 2;
    Thread thread(&work, &first);
    thread.start();
    thread.lock();
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(job.seenArgument, &first);

    thread.setArgument(&second);
    thread.start();
    thread.lock();
    EXPECT_EQ(job.runs, 2);
    EXPECT_EQ(job.seenArgument, &second);
}

TEST_F(ThreadTest, IdleAgainAsSoonAsTheFunctionReturnsEvenWithoutLock) {
    Thread thread(&work, nullptr);
    thread.start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (thread.isRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_FALSE(thread.isRunning());
    thread.start();
    thread.lock();
    EXPECT_EQ(job.runs, 2);
}

TEST_F(ThreadTest, ThreadWithoutFunctionRunsAndEnds) {
    Thread thread(nullptr, nullptr);
    thread.start();
    thread.lock();
    EXPECT_FALSE(thread.isRunning());
}

TEST_F(ThreadTest, StopAndDestructionWaitForTheWorkerInsteadOfKillingIt) {
    job.holdOpen = true;
    std::atomic<bool> stopped{false};
    {
        Thread thread(&work, nullptr);
        thread.start();
        waitUntilInside();
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_FALSE(stopped) << "stop returned while the worker was still inside";
            job.release.signal();
        });
        thread.stop();
        stopped = true;
        releaser.join();
        EXPECT_FALSE(job.inside);
        EXPECT_FALSE(thread.isRunning());

        job.release.unlock();
        thread.start();
        waitUntilInside();
        job.release.signal();
    }  // the destructor waits for the second run
    EXPECT_EQ(job.runs, 2);
    EXPECT_FALSE(job.inside);
}

TEST_F(ThreadTest, SuspendAndResumeOfAnIdleThreadDoNothing) {
    Thread thread(&work, nullptr);
    EXPECT_NO_THROW(thread.suspend());
    EXPECT_NO_THROW(thread.resume());
}

TEST_F(ThreadTest, SuspendOfARunningThreadIsRefusedOnPosix) {
    job.holdOpen = true;
    Thread thread(&work, nullptr);
    thread.start();
    waitUntilInside();
    try {
        thread.suspend();
        ADD_FAILURE() << "suspend succeeded";
    } catch (const ExceptionBase& error) {
        EXPECT_EQ(error.getText(), "Thread::suspend");
        EXPECT_EQ(error.getCode(), static_cast<std::uint32_t>(ENOTSUP));
    }
    try {
        thread.resume();
        ADD_FAILURE() << "resume succeeded";
    } catch (const ExceptionBase& error) {
        EXPECT_EQ(error.getText(), "Thread::resume");
    }
    job.release.signal();
    thread.lock();
}

}  // namespace
