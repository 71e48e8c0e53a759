// Threads and synchronisation objects behind one lock/unlock interface, a shared owning handle
// and a scoped lock over them, and a notifier that posts window messages.
//
// Every failure raises ExceptionBase with the last-error value read right after the failing
// system call as its code, the operation's name as its text ("Mutex::lock" …) and the location
// "File Utility/Thread at Line <n>". On POSIX the last-error value is errno.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include <velcom/win32.h>

class SyncObj {
public:
    SyncObj() = default;
    SyncObj(const SyncObj&) = delete;
    SyncObj& operator=(const SyncObj&) = delete;
    virtual ~SyncObj() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

// A recursive lock private to the process.
class CritSection : public SyncObj {
public:
    CritSection();
    ~CritSection() override;
    void lock() override;
    void unlock() override;

private:
    CRITICAL_SECTION m_section;
};

// A recursive lock owned by a thread; a named one is shared by the processes that use the name.
// A lock whose previous owner ended without unlocking succeeds. A mutex that could not be created
// is not reported here: the next lock() raises "Mutex::lock".
class Mutex : public SyncObj {
public:
    Mutex();
    explicit Mutex(const char* name);
    ~Mutex() override;
    // Closes the current mutex and creates it again, not owned, under the given name.
    void recreate(const char* name);
    void lock() override;
    void unlock() override;

private:
    HANDLE m_hMutex;
};

// A manual-reset event: lock() waits until it is signalled, unlock() resets it.
class Event : public SyncObj {
public:
    Event();
    ~Event() override;
    void lock() override;
    void unlock() override;
    void signal();

private:
    HANDLE m_hEvent;
};

class IThread : public SyncObj {
public:
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void setPriority(std::int32_t priority) = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
};

// Runs a plain function on a thread of its own. lock() waits for the function to return.
//
// stop() never kills a thread: it waits until the function has returned and forgets the thread;
// called on the worker thread itself it does nothing, since a thread cannot wait for its own end.
// The destructor calls stop(), so a Thread outlives its worker.
// suspend() and resume() raise "Thread::suspend" and "Thread::resume" with ENOTSUP on POSIX,
// which cannot pause another thread at an arbitrary point.
class Thread : public IThread {
public:
    using Function = void (*)(void* argument);

    Thread(Function function, void* argument);
    ~Thread() override;

    void setArgument(void* argument) { m_pArgument = argument; }
    // True from start() until the function has returned.
    bool isRunning() const { return m_bRunning.load(std::memory_order_acquire); }

    void lock() override;
    void unlock() override;
    void start() override;
    void stop() override;
    // Accepted and ignored: threads run at the default priority on every platform.
    void setPriority(std::int32_t priority) override;
    void suspend() override;
    void resume() override;

private:
    static unsigned __stdcall entry(void* self);
    void waitForExit();

    HANDLE m_hThread = nullptr;
    Function m_pfnThread;
    void* m_pArgument;
    DWORD m_dwThreadId = 0;
    std::atomic<bool> m_bRunning{false};
};

class INotifier {
public:
    virtual ~INotifier() = default;
    virtual BOOL notify(int kind, long value) = 0;
};

// Posts a window message chosen by kind, with word parameter 0 and the value as long parameter.
// On POSIX the window is a descriptor wrapped by velcomWindowFromDescriptor (see <velcom/win32.h>).
class Notifier : public INotifier {
public:
    Notifier(HWND window, UINT messageOther, UINT message0, UINT message2, UINT message1);
    // Non-zero when the message was posted.
    BOOL notify(int kind, long value) override;

private:
    HWND m_hWnd;
    UINT m_uMessageOther;
    UINT m_uMessage0;
    UINT m_uMessage2;
    UINT m_uMessage1;
};

// Shared ownership of a synchronisation object: the last handle or lock to go deletes it.
class SyncObjPtr {
public:
    SyncObjPtr() = default;
    explicit SyncObjPtr(std::unique_ptr<SyncObj> object) : m_pObject(std::move(object)) {}

    SyncObj* get() const { return m_pObject.get(); }
    explicit operator bool() const { return m_pObject != nullptr; }

private:
    std::shared_ptr<SyncObj> m_pObject;
};

// Holds the lock of a shared synchronisation object, and a share of its ownership, for its own
// lifetime. A null handle locks nothing.
class ScopedLock {
public:
    explicit ScopedLock(const SyncObjPtr& handle);
    ~ScopedLock();
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    SyncObjPtr m_handle;
};
