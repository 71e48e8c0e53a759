#include <limits.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>

#include "KernelObject.h"

namespace {

using velcom::detail::KernelObject;

// One reference belongs to the handle, one to the running thread, so that either may go first.
// Whoever drops the last one reaps the POSIX thread: the thread itself detaches, anybody else
// joins it (it has finished its routine by then, so the join returns at once).
class ThreadObject final : public KernelObject {
public:
    ThreadObject(_beginthreadex_proc_type routine, void* argument)
        : m_routine(routine), m_argument(argument) {}

    bool launch(std::size_t stackSize, unsigned* threadId) {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        if (stackSize != 0)
            pthread_attr_setstacksize(&attributes,
                                      std::max<std::size_t>(stackSize, PTHREAD_STACK_MIN));
        addRef();
        const int rc = pthread_create(&m_thread, &attributes, &ThreadObject::run, this);
        pthread_attr_destroy(&attributes);
        if (rc != 0) {
            errno = rc;
            return false;
        }
        m_launched = true;
        // Windows hands out the id with the handle; here only the new thread can read its id.
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_threadId != 0; });
        if (threadId != nullptr) *threadId = m_threadId;
        return true;
    }

    DWORD wait(DWORD milliseconds) override {
        std::unique_lock lock(m_mutex);
        const auto hasEnded = [this] { return m_ended; };
        if (milliseconds == INFINITE)
            m_changed.wait(lock, hasEnded);
        else if (!m_changed.wait_until(lock, velcom::detail::deadlineAfter(milliseconds), hasEnded))
            return WAIT_TIMEOUT;
        return WAIT_OBJECT_0;
    }

private:
    static void* run(void* self) {
        auto* object = static_cast<ThreadObject*>(self);
        {
            std::lock_guard lock(object->m_mutex);
            object->m_threadId = GetCurrentThreadId();
        }
        object->m_changed.notify_all();
        object->m_routine(object->m_argument);
        {
            std::lock_guard lock(object->m_mutex);
            object->m_ended = true;
        }
        object->m_changed.notify_all();
        object->release();
        return nullptr;
    }

    void destroy() override {
        if (m_launched) {
            if (pthread_equal(pthread_self(), m_thread))
                pthread_detach(m_thread);
            else
                pthread_join(m_thread, nullptr);
        }
        delete this;
    }

    _beginthreadex_proc_type m_routine;
    void* m_argument;
    pthread_t m_thread{};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    DWORD m_threadId = 0;
    bool m_launched = false;
    bool m_ended = false;
};

DWORD refuseSuspension(HANDLE thread) {
    if (velcom::detail::objectFromHandle<ThreadObject>(thread) != nullptr) errno = ENOTSUP;
    return 0xFFFFFFFFu;
}

}  // namespace

extern "C" std::uintptr_t _beginthreadex(void*, unsigned stackSize,
                                         _beginthreadex_proc_type routine, void* argument,
                                         unsigned initFlags, unsigned* threadId) {
    if (routine == nullptr) {
        errno = EINVAL;
        return 0;
    }
    if ((initFlags & CREATE_SUSPENDED) != 0) {
        errno = ENOTSUP;
        return 0;
    }
    auto* object = new (std::nothrow) ThreadObject(routine, argument);
    if (object == nullptr) {
        errno = ENOMEM;
        return 0;
    }
    if (!object->launch(stackSize, threadId)) {
        const int error = errno;
        object->release();  // the reference launch took for the thread that never ran
        object->release();
        errno = error;
        return 0;
    }
    return reinterpret_cast<std::uintptr_t>(velcom::detail::handleFromObject(object));
}

extern "C" DWORD SuspendThread(HANDLE thread) { return refuseSuspension(thread); }

extern "C" DWORD ResumeThread(HANDLE thread) { return refuseSuspension(thread); }
