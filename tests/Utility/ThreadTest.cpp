// The synchronisation objects, the worker thread and the notifier, on real threads and pipes.
#include "Utility/Thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Utility/ExceptionBase.h"

namespace {

// "<text> <code> <location up to the line number>" of what a call raised; empty if nothing.
template <class Call>
std::string raisedBy(Call call) {
    try {
        call();
    } catch (const ExceptionBase& error) {
        return error.getText() + " " + std::to_string(error.getCode()) + " " +
               error.getLocation().substr(0, error.getLocation().rfind(' ') + 1);
    }
    return "";
}

// Counts the increments four threads make under the locks; a lock that does not exclude loses some.
long hammer(SyncObj& one, SyncObj& other) {
    long counter = 0;
    std::vector<std::thread> workers;
    for (SyncObj* lock : {&one, &other, &one, &other})
        workers.emplace_back([lock, &counter] {
            for (int i = 0; i < 300; ++i) {
                lock->lock();
                const long seen = counter;
                std::this_thread::yield();
                counter = seen + 1;
                lock->unlock();
            }
        });
    for (auto& worker : workers) worker.join();
    return counter;
}

TEST(SyncObjTest, LocksExcludeOtherThreadsOneNameIsOneMutexAndAFailedOneRaisesUntilRecreated) {
    CritSection section;
    const std::string name = "velTesseraComm-test-" + std::to_string(GetCurrentThreadId());
    Mutex mutex, first(name.c_str()), second(name.c_str());
    EXPECT_EQ(hammer(section, section), 1200);
    EXPECT_EQ(hammer(mutex, mutex), 1200);
    EXPECT_EQ(hammer(first, second), 1200);
    std::thread([&] { first.lock(); }).join();
    EXPECT_EQ(raisedBy([&] { first.lock(); }), "") << "its owner ended without unlocking";
    first.unlock();
    Mutex unnamed(std::string(5000, 'n').c_str());
    EXPECT_EQ(raisedBy([&] { unnamed.lock(); }),
              "Mutex::lock " + std::to_string(EBADF) + " File Utility/Thread at Line ");
    unnamed.recreate(nullptr);
    EXPECT_EQ(raisedBy([&] { unnamed.lock(); }), "");
    unnamed.unlock();
}

struct Probe : SyncObj {
    Probe(std::string& record, bool failing) : log(record), fail(failing) {}
    ~Probe() override { log += "deleted "; }
    void lock() override {
        log += "lock ";
        if (fail) throw ExceptionBase("f", 1, 5, "Probe::lock");
    }
    void unlock() override { log += "unlock "; }
    std::string& log;
    bool fail;
};

TEST(SyncObjTest, ScopedLocksShareTheObjectAndGiveBackTheirShareWhenLockingFails) {
    std::string log;
    {
        auto handle = std::make_unique<SyncObjPtr>(std::make_unique<Probe>(log, false));
        { ScopedLock first(*handle); }
        ScopedLock second(*handle);
        handle.reset();
        EXPECT_EQ(log, "lock unlock lock ") << "the lock keeps the object alive";
    }
    { const ScopedLock nothing{SyncObjPtr()}; }  // a null handle locks nothing
    EXPECT_THROW(ScopedLock{SyncObjPtr(std::make_unique<Probe>(log, true))}, ExceptionBase);
    EXPECT_EQ(log, "lock unlock lock unlock deleted lock deleted ");
}

// The worker's side: it counts its runs and, when asked, waits inside for the release event.
struct Job {
    std::atomic<int> runs{0};
    std::atomic<bool> holdOpen{false}, inside{false};
    Event release;
};

void work(void* argument) {
    Job& job = *static_cast<Job*>(argument);
    ++job.runs;
    job.inside = true;
    if (job.holdOpen) job.release.lock();
    job.inside = false;
}

// One worker's life, held by an event; suspend and resume are refused only while it runs.
TEST(ThreadTest, StartRunsTheFunctionOnceWhenIdleStopWaitsForItAndTheEventHoldsItUntilSignalled) {
    Job first, second;
    second.holdOpen = true;
    std::atomic<bool> stopped{false};
    {
        Thread thread(&work, &first);
        thread.lock();
        EXPECT_FALSE(thread.isRunning()) << "idle: lock returns at once";
        EXPECT_EQ(raisedBy([&] { thread.suspend(), thread.resume(); }), "") << "idle";
        thread.start();
        thread.lock();
        EXPECT_FALSE(thread.isRunning());
        thread.setArgument(&second);
        thread.start();
        while (second.runs < 1) std::this_thread::yield();
        thread.start();
        EXPECT_TRUE(thread.isRunning());
        const std::string refused = " " + std::to_string(ENOTSUP) + " File Utility/Thread at Line ";
        EXPECT_EQ(raisedBy([&] { thread.suspend(); }), "Thread::suspend" + refused);
        EXPECT_EQ(raisedBy([&] { thread.resume(); }), "Thread::resume" + refused);
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_FALSE(stopped) << "stop returned while the worker was still inside";
            second.release.signal();
        });
        thread.stop();
        stopped = true;
        releaser.join();
        EXPECT_FALSE(second.inside || thread.isRunning());
        EXPECT_EQ(raisedBy([&] { second.release.lock(); }), "") << "manual reset: stays signalled";
        second.release.unlock();
        thread.start();
        while (second.runs < 2) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(second.inside) << "unlock reset the event";
        second.release.signal();
    }  // the destructor waits for the second run
    EXPECT_EQ(first.runs, 1);
    EXPECT_EQ(second.runs, 2) << "a start while running starts nothing";
    EXPECT_FALSE(second.inside);
}

// A "window" on POSIX is a pipe an event loop reads; see <velcom/win32.h>.
TEST(NotifierTest, KindChoosesTheMessageInTheConstructorsOrderAndPostingCanFail) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    Notifier notifier(velcomWindowFromDescriptor(ends[1]), 100, 200, 202, 201);
    for (const auto& [kind, message] :
         {std::pair{7, 100u}, {0, 200u}, {2, 202u}, {1, 201u}, {-1, 100u}}) {
        ASSERT_NE(notifier.notify(kind, 40 + kind), 0);
        VELCOM_POSTED_MESSAGE posted{};
        ASSERT_TRUE(velcomReceivePostedMessage(ends[0], &posted));
        EXPECT_EQ(posted.message, message) << "kind " << kind;
        EXPECT_EQ(posted.wParam, 0u);
        EXPECT_EQ(posted.lParam, 40 + kind);
    }
    close(ends[0]);
    EXPECT_EQ(notifier.notify(1, 5), 0) << "nobody reads the window; the process goes on";
    close(ends[1]);
    EXPECT_EQ(Notifier(nullptr, 1, 2, 3, 4).notify(0, 1), 0);
}

}  // namespace
