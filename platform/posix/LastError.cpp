#include <unistd.h>

#include <cerrno>

#include <velcom/win32.h>

extern "C" DWORD GetLastError() { return static_cast<DWORD>(errno); }

extern "C" void SetLastError(DWORD error) { errno = static_cast<int>(error); }

extern "C" DWORD GetCurrentThreadId() {
    // gettid is a system call; a thread's id never changes, so ask once.
    thread_local const DWORD id = static_cast<DWORD>(gettid());
    return id;
}
