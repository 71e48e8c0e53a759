// POSIX stand-ins for the Windows kernel calls the component uses. Names, argument orders and
// result codes follow Windows; the differences POSIX forces are stated beside each call.
//
// Last-error values: on POSIX the last-error value is the calling thread's errno, so
// GetLastError() right after a failing call here (or any C library call) yields an errno code
// such as EBADF, where Windows would give an ERROR_* code.
#pragma once

#include <pthread.h>

#include <cstdint>

#include <velcom/export.h>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using HANDLE = void*;
using LPCSTR = const char*;

struct HWND__;
using HWND = HWND__*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Calling conventions mean nothing on the targets this header serves.
#define WINAPI
#define __stdcall

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000u;
constexpr DWORD WAIT_ABANDONED = 0x00000080u;
constexpr DWORD WAIT_TIMEOUT = 0x00000102u;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr unsigned CREATE_SUSPENDED = 0x00000004u;

// A critical section is a recursive mutex of this process, as on Windows.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

extern "C" {

VELCOM_API DWORD GetLastError();
VELCOM_API void SetLastError(DWORD error);
// The kernel's thread id (gettid): unique in the system while the thread lives.
VELCOM_API DWORD GetCurrentThreadId();

VELCOM_API void InitializeCriticalSection(LPCRITICAL_SECTION section);
VELCOM_API void EnterCriticalSection(LPCRITICAL_SECTION section);
VELCOM_API void LeaveCriticalSection(LPCRITICAL_SECTION section);
VELCOM_API void DeleteCriticalSection(LPCRITICAL_SECTION section);

// Mutexes are recursive and owned by a thread, as on Windows. A wait that acquires a mutex whose
// owner thread or process ended without releasing it returns WAIT_ABANDONED.
// A named mutex is shared by every process of the same user: it lives in POSIX shared memory
// ("/velcom-<uid>-mutex-<name>", mode 0600). POSIX gives no way to notice the last close, so the
// shared-memory object stays until the next reboot, like a POSIX named semaphore. Names are
// limited to 200 bytes; a longer one fails with ENAMETOOLONG. Opening an existing name sets the
// last error to EEXIST, as Windows sets ERROR_ALREADY_EXISTS.
VELCOM_API HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
VELCOM_API BOOL ReleaseMutex(HANDLE mutex);

// Events are private to the process: a non-null name fails with ENOTSUP.
VELCOM_API HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                               BOOL initialState, LPCSTR name);
VELCOM_API BOOL SetEvent(HANDLE event);
VELCOM_API BOOL ResetEvent(HANDLE event);

VELCOM_API DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
VELCOM_API BOOL CloseHandle(HANDLE object);

// Threads: the returned handle becomes signalled when the routine has returned. Closing the
// handle does not affect the thread. CREATE_SUSPENDED is refused with ENOTSUP.
using _beginthreadex_proc_type = unsigned (*)(void*);
VELCOM_API std::uintptr_t _beginthreadex(void* security, unsigned stackSize,
                                         _beginthreadex_proc_type routine, void* argument,
                                         unsigned initFlags, unsigned* threadId);
// POSIX cannot stop another thread at an arbitrary point without cooperation from it, so
// these fail: they return 0xFFFFFFFF with the last error ENOTSUP.
VELCOM_API DWORD SuspendThread(HANDLE thread);
VELCOM_API DWORD ResumeThread(HANDLE thread);

// Windows posts messages to a window's queue. Here a "window" is the write end of a pipe (or any
// descriptor) that an event loop reads: PostMessageA writes one VELCOM_POSTED_MESSAGE record in a
// single write, which a pipe keeps whole. Make the descriptor non-blocking so that a full queue
// fails (FALSE, last error EAGAIN) like a full Windows queue instead of blocking the poster.
struct VELCOM_POSTED_MESSAGE {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
VELCOM_API HWND velcomWindowFromDescriptor(int descriptor);
VELCOM_API BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Reads the next posted record from the read end of such a pipe, blocking until one arrives.
VELCOM_API BOOL velcomReceivePostedMessage(int descriptor, VELCOM_POSTED_MESSAGE* message);
}
