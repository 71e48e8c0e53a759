// What a HANDLE points to on POSIX: a reference-counted kernel object that can be waited for.
#pragma once

#include <cerrno>

#include <atomic>
#include <chrono>

#include <velcom/win32.h>

namespace velcom::detail {

class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    // Returns WAIT_OBJECT_0, WAIT_ABANDONED or WAIT_TIMEOUT, or WAIT_FAILED with errno set.
    virtual DWORD wait(DWORD milliseconds) = 0;

    void addRef() { m_references.fetch_add(1, std::memory_order_relaxed); }
    void release() {
        if (m_references.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy();
    }

protected:
    virtual ~KernelObject() = default;
    // Runs when the last reference is gone; threads override it to reap their POSIX thread.
    virtual void destroy() { delete this; }

private:
    std::atomic<int> m_references{1};
};

// The object behind a handle when it is of the wanted kind; otherwise null with errno EBADF, the
// POSIX counterpart of ERROR_INVALID_HANDLE.
template <class Object>
Object* objectFromHandle(HANDLE handle) {
    Object* object = nullptr;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        object = dynamic_cast<Object*>(static_cast<KernelObject*>(handle));
    if (object == nullptr) errno = EBADF;
    return object;
}

inline HANDLE handleFromObject(KernelObject* object) { return static_cast<HANDLE>(object); }

// The point in time a wait of the given milliseconds ends; INFINITE is handled by the callers.
inline std::chrono::steady_clock::time_point deadlineAfter(DWORD milliseconds) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

}  // namespace velcom::detail
