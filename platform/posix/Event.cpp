#include <condition_variable>
#include <mutex>
#include <new>

#include "KernelObject.h"

namespace {

using velcom::detail::KernelObject;

class EventObject final : public KernelObject {
public:
    EventObject(bool manualReset, bool signalled)
        : m_manualReset(manualReset), m_signalled(signalled) {}

    DWORD wait(DWORD milliseconds) override {
        std::unique_lock lock(m_mutex);
        const auto isSignalled = [this] { return m_signalled; };
        if (milliseconds == INFINITE)
            m_changed.wait(lock, isSignalled);
        else if (!m_changed.wait_until(lock, velcom::detail::deadlineAfter(milliseconds),
                                       isSignalled))
            return WAIT_TIMEOUT;
        if (!m_manualReset) m_signalled = false;
        return WAIT_OBJECT_0;
    }

    void set(bool signalled) {
        {
            std::lock_guard lock(m_mutex);
            m_signalled = signalled;
        }
        if (!signalled) return;
        // A manual-reset event releases every waiter; an auto-reset one exactly one.
        if (m_manualReset)
            m_changed.notify_all();
        else
            m_changed.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const bool m_manualReset;
    bool m_signalled;
};

BOOL setEventState(HANDLE event, bool signalled) {
    auto* object = velcom::detail::objectFromHandle<EventObject>(event);
    if (object == nullptr) return FALSE;
    object->set(signalled);
    return TRUE;
}

}  // namespace

extern "C" HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                               LPCSTR name) {
    if (name != nullptr && *name != '\0') {
        errno = ENOTSUP;
        return nullptr;
    }
    auto* object = new (std::nothrow) EventObject(manualReset != FALSE, initialState != FALSE);
    if (object == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    return velcom::detail::handleFromObject(object);
}

extern "C" BOOL SetEvent(HANDLE event) { return setEventState(event, true); }

extern "C" BOOL ResetEvent(HANDLE event) { return setEventState(event, false); }
