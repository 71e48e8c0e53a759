#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Utility/ExceptionBase.h"
#include "Utility/Thread.h"

namespace {

// Counts increments done under the lock; a lock that does not exclude loses some of them.
void hammer(SyncObj& lock, int threads, int rounds, long& counter) {
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (int i = 0; i < rounds; ++i) {
                lock.lock();
                const long seen = counter;
                std::this_thread::yield();
                counter = seen + 1;
                lock.unlock();
            }
        });
    for (auto& worker : workers) worker.join();
}

std::string uniqueName(const char* stem) {
    return std::string("velTesseraComm-test-") + stem + "-" + std::to_string(GetCurrentThreadId());
}

TEST(SyncObjTest, MutexAndCritSectionExcludeEachOther) {
    Mutex mutex;
    CritSection section;
    long mutexCounter = 0;
    long sectionCounter = 0;
    hammer(mutex, 4, 500, mutexCounter);
    hammer(section, 4, 500, sectionCounter);
    EXPECT_EQ(mutexCounter, 2000);
    EXPECT_EQ(sectionCounter, 2000);
}

TEST(SyncObjTest, MutexAndCritSectionAreReentrantForTheirOwner) {
    Mutex mutex;
    CritSection section;
    for (SyncObj* lock : {static_cast<SyncObj*>(&mutex), static_cast<SyncObj*>(&section)}) {
        lock->lock();
        lock->lock();
        lock->unlock();
        std::atomic<bool> acquired{false};
        std::thread other([&] {
            lock->lock();
            acquired = true;
            lock->unlock();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(acquired) << "released once, still held once";
        lock->unlock();
        other.join();
        EXPECT_TRUE(acquired);
    }
}

TEST(SyncObjTest, TwoMutexesOfOneNameAreOneLock) {
    const std::string name = uniqueName("shared");
    Mutex first(name.c_str());
    Mutex second(name.c_str());
    long counter = 0;
    std::thread viaSecond([&] { hammer(second, 2, 300, counter); });
    hammer(first, 2, 300, counter);
    viaSecond.join();
    EXPECT_EQ(counter, 1200);
}

TEST(SyncObjTest, MutexWhoseOwnerEndedWithoutUnlockingCanBeLocked) {
    Mutex mutex;
    std::thread owner([&] { mutex.lock(); });
    owner.join();
    EXPECT_NO_THROW(mutex.lock());
    mutex.unlock();
}

TEST(SyncObjTest, MutexThatCouldNotBeCreatedRaisesOnLock) {
    const std::string tooLong(5000, 'n');
    Mutex mutex(tooLong.c_str());
    try {
        mutex.lock();
        FAIL() << "lock of a mutex that was never created succeeded";
    } catch (const ExceptionBase& error) {
        EXPECT_EQ(error.getText(), "Mutex::lock");
        EXPECT_NE(error.getCode(), 0u);
        EXPECT_EQ(error.getLocation().rfind("File Utility/Thread at Line ", 0), 0u)
            << error.getLocation();
    }
    mutex.recreate(uniqueName("recreated").c_str());
    EXPECT_NO_THROW(mutex.lock());
    mutex.unlock();
}

TEST(SyncObjTest, EventLockWaitsForSignalAndUnlockResetsIt) {
    Event event;
    std::atomic<int> passed{0};
    std::thread waiter([&] {
        event.lock();
        ++passed;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(passed, 0);
    event.signal();
    waiter.join();
    EXPECT_EQ(passed, 1);

    EXPECT_NO_THROW(event.lock()) << "manual reset: stays signalled";
    event.unlock();
    std::thread blocked([&] {
        event.lock();
        ++passed;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(passed, 1) << "reset by unlock";
    event.signal();
    blocked.join();
    EXPECT_EQ(passed, 2);
}

// A synchronisation object that records what is done to it.
struct Probe : SyncObj {
    explicit Probe(std::vector<std::string>& record) : log(record) {}
    ~Probe() override { log.push_back("deleted"); }
    void lock() override { log.push_back("lock"); }
    void unlock() override { log.push_back("unlock"); }
    std::vector<std::string>& log;
};

TEST(SyncObjPtrTest, ScopedLocksShareTheObjectUntilTheLastOwnerIsGone) {
    std::vector<std::string> log;
    {
        auto handle = std::make_unique<SyncObjPtr>(std::make_unique<Probe>(log));
        { ScopedLock first(*handle); }
        {
            ScopedLock second(*handle);
            handle.reset();
            EXPECT_EQ(log.back(), "lock") << "the lock keeps the object alive";
        }
    }
    const std::vector<std::string> expected{"lock", "unlock", "lock", "unlock", "deleted"};
    EXPECT_EQ(log, expected);
}

TEST(SyncObjPtrTest, CopiesShareOneObject) {
    std::vector<std::string> log;
    {
        SyncObjPtr original(std::make_unique<Probe>(log));
        SyncObjPtr copy = original;
        EXPECT_EQ(copy.get(), original.get());
        original = SyncObjPtr();
        EXPECT_TRUE(log.empty());
    }
    EXPECT_EQ(log, std::vector<std::string>{"deleted"});
}

TEST(SyncObjPtrTest, ScopedLockOnAnEmptyHandleLocksNothing) {
    const SyncObjPtr empty;
    EXPECT_NO_THROW(ScopedLock lock(empty));
}

TEST(SyncObjPtrTest, ScopedLockGivesBackItsShareWhenLockingFails) {
    struct Failing : SyncObj {
        explicit Failing(bool& flag) : deleted(flag) {}
        ~Failing() override { deleted = true; }
        void lock() override { throw ExceptionBase("f", 1, 5, "Failing::lock"); }
        void unlock() override { ADD_FAILURE() << "unlocked a lock never taken"; }
        bool& deleted;
    };
    bool deleted = false;
    {
        SyncObjPtr handle(std::make_unique<Failing>(deleted));
        EXPECT_THROW(ScopedLock lock(handle), ExceptionBase);
    }
    EXPECT_TRUE(deleted);
}

}  // namespace
