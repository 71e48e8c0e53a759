#include "Utility/Thread.h"

#include "Utility/ExceptionBase.h"

namespace {

// The location every exception of this file names.
constexpr const char* kSource = "Utility/Thread";

// Reads the last error before anything else can change it, then raises.
[[noreturn]] void raiseLastError(int line, const char* operation) {
    const DWORD error = GetLastError();
    throw ExceptionBase(kSource, line, error, "%s", operation);
}

}  // namespace

CritSection::CritSection() { InitializeCriticalSection(&m_section); }

CritSection::~CritSection() { DeleteCriticalSection(&m_section); }

void CritSection::lock() { EnterCriticalSection(&m_section); }

void CritSection::unlock() { LeaveCriticalSection(&m_section); }

Mutex::Mutex() : m_hMutex(CreateMutexA(nullptr, FALSE, nullptr)) {}

Mutex::Mutex(const char* name) : m_hMutex(CreateMutexA(nullptr, FALSE, name)) {}

Mutex::~Mutex() {
    if (m_hMutex != nullptr) CloseHandle(m_hMutex);
}

void Mutex::recreate(const char* name) {
    if (m_hMutex != nullptr) CloseHandle(m_hMutex);
    m_hMutex = CreateMutexA(nullptr, FALSE, name);
}

void Mutex::lock() {
    if (WaitForSingleObject(m_hMutex, INFINITE) == WAIT_FAILED)
        raiseLastError(__LINE__, "Mutex::lock");
}

void Mutex::unlock() { ReleaseMutex(m_hMutex); }

Event::Event() : m_hEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

Event::~Event() {
    if (m_hEvent != nullptr) CloseHandle(m_hEvent);
}

void Event::lock() {
    if (WaitForSingleObject(m_hEvent, INFINITE) == WAIT_FAILED)
        raiseLastError(__LINE__, "m_Event::lock");
}

void Event::unlock() { ResetEvent(m_hEvent); }

void Event::signal() { SetEvent(m_hEvent); }

Thread::Thread(Function function, void* argument) : m_pfnThread(function), m_pArgument(argument) {}

Thread::~Thread() {
    try {
        stop();
    } catch (const ExceptionBase&) {
        // A destructor cannot report; the wait only fails for a handle that is already gone.
    }
}

unsigned __stdcall Thread::entry(void* self) {
    auto* thread = static_cast<Thread*>(self);
    if (thread->m_pfnThread != nullptr) thread->m_pfnThread(thread->m_pArgument);
    thread->m_bRunning.store(false, std::memory_order_release);
    return 0;
}

void Thread::start() {
    if (isRunning()) return;
    // A thread whose function has returned may still be on its way out; reap it first.
    waitForExit();
    m_bRunning.store(true, std::memory_order_release);
    unsigned threadId = 0;
    const std::uintptr_t handle = _beginthreadex(nullptr, 0, &Thread::entry, this, 0, &threadId);
    if (handle == 0) {
        m_bRunning.store(false, std::memory_order_release);
        raiseLastError(__LINE__, "Thread::start");
    }
    m_hThread = reinterpret_cast<HANDLE>(handle);
    m_dwThreadId = threadId;
}

void Thread::lock() { waitForExit(); }

void Thread::unlock() {}

void Thread::stop() {
    if (m_hThread != nullptr && GetCurrentThreadId() == m_dwThreadId) return;
    waitForExit();
}

void Thread::setPriority(std::int32_t) {}

void Thread::suspend() {
    if (isRunning() && SuspendThread(m_hThread) == 0xFFFFFFFFu)
        raiseLastError(__LINE__, "Thread::suspend");
}

void Thread::resume() {
    if (isRunning() && ResumeThread(m_hThread) == 0xFFFFFFFFu)
        raiseLastError(__LINE__, "Thread::resume");
}

void Thread::waitForExit() {
    if (m_hThread == nullptr) return;
    if (WaitForSingleObject(m_hThread, INFINITE) == WAIT_FAILED)
        raiseLastError(__LINE__, "Thread::lock");
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_dwThreadId = 0;
}

Notifier::Notifier(HWND window, UINT messageOther, UINT message0, UINT message2, UINT message1)
    : m_hWnd(window),
      m_uMessageOther(messageOther),
      m_uMessage0(message0),
      m_uMessage2(message2),
      m_uMessage1(message1) {}

BOOL Notifier::notify(int kind, long value) {
    UINT message = m_uMessageOther;
    if (kind == 0)
        message = m_uMessage0;
    else if (kind == 1)
        message = m_uMessage1;
    else if (kind == 2)
        message = m_uMessage2;
    return PostMessageA(m_hWnd, message, 0, static_cast<LPARAM>(value));
}

ScopedLock::ScopedLock(const SyncObjPtr& handle) : m_handle(handle) {
    if (m_handle) m_handle.get()->lock();
}

ScopedLock::~ScopedLock() {
    if (m_handle) m_handle.get()->unlock();
}
