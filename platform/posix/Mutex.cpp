#include <time.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "KernelObject.h"
#include "SharedMutexBlock.h"

namespace {

using velcom::detail::KernelObject;
using velcom::detail::SharedMutexBlock;

constexpr std::size_t kMaxNameLength = 200;

class MutexObject final : public KernelObject {
public:
    MutexObject() : m_mutex(&m_ownMutex) { velcom::detail::initialiseMutex(m_mutex, false); }
    explicit MutexObject(std::unique_ptr<SharedMutexBlock> block)
        : m_mutex(block->mutex()), m_sharedBlock(std::move(block)) {}

    DWORD wait(DWORD milliseconds) override {
        int rc = 0;
        if (milliseconds == INFINITE) {
            rc = pthread_mutex_lock(m_mutex);
        } else if (milliseconds == 0) {
            rc = pthread_mutex_trylock(m_mutex);
        } else {
            const auto deadline = velcom::detail::deadlineAfter(milliseconds);
            const auto since = deadline.time_since_epoch();
            timespec until{};
            until.tv_sec = std::chrono::duration_cast<std::chrono::seconds>(since).count();
            until.tv_nsec = (since - std::chrono::seconds(until.tv_sec)).count();
            rc = pthread_mutex_clocklock(m_mutex, CLOCK_MONOTONIC, &until);
        }
        switch (rc) {
            case 0:
                return WAIT_OBJECT_0;
            case EOWNERDEAD:
                pthread_mutex_consistent(m_mutex);
                return WAIT_ABANDONED;
            case EBUSY:
            case ETIMEDOUT:
                return WAIT_TIMEOUT;
            default:
                errno = rc;
                return WAIT_FAILED;
        }
    }

    bool unlock() {
        const int rc = pthread_mutex_unlock(m_mutex);
        if (rc != 0) errno = rc;
        return rc == 0;
    }

private:
    ~MutexObject() override {
        if (m_sharedBlock == nullptr) pthread_mutex_destroy(&m_ownMutex);
    }

    pthread_mutex_t m_ownMutex{};
    pthread_mutex_t* m_mutex;
    std::unique_ptr<SharedMutexBlock> m_sharedBlock;
};

}  // namespace

extern "C" HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    MutexObject* object = nullptr;
    bool existed = false;
    if (name == nullptr || *name == '\0') {
        object = new (std::nothrow) MutexObject();
    } else if (std::strlen(name) > kMaxNameLength) {
        errno = ENAMETOOLONG;
        return nullptr;
    } else {
        auto block = SharedMutexBlock::open(name, existed);
        if (block == nullptr) return nullptr;
        object = new (std::nothrow) MutexObject(std::move(block));
    }
    if (object == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    if (initialOwner) object->wait(INFINITE);
    errno = existed ? EEXIST : 0;
    return velcom::detail::handleFromObject(object);
}

extern "C" BOOL ReleaseMutex(HANDLE mutex) {
    auto* object = velcom::detail::objectFromHandle<MutexObject>(mutex);
    return object != nullptr && object->unlock() ? TRUE : FALSE;
}
