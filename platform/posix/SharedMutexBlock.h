// The shared memory behind a named mutex.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace velcom::detail {

// Sets up a recursive, robust mutex, shared between processes when asked. Robust, because a
// robust mutex reports an owner that died holding it (EOWNERDEAD), which Windows calls abandoned;
// recursive, because a Windows mutex may be re-entered by its owner.
void initialiseMutex(pthread_mutex_t* mutex, bool shared);

// Every process that opens a name counts itself in the block, and the last one to close removes
// the name, as Windows drops a named object with its last handle. A process that dies without
// closing leaves its count behind; that name then stays until the next reboot.
class SharedMutexBlock {
public:
    // Opens the block of the name, creating it when needed; null with errno set on failure.
    static std::unique_ptr<SharedMutexBlock> open(const char* name, bool& existed);
    ~SharedMutexBlock();
    SharedMutexBlock(const SharedMutexBlock&) = delete;
    SharedMutexBlock& operator=(const SharedMutexBlock&) = delete;

    pthread_mutex_t* mutex();

private:
    struct Layout {
        pthread_mutex_t mutex;
        std::uint32_t initialised;
        std::uint32_t openCount;
    };

    SharedMutexBlock(std::string path, Layout* layout, dev_t device, ino_t inode);

    std::string m_path;
    Layout* m_layout;
    dev_t m_device;
    ino_t m_inode;
};

}  // namespace velcom::detail
