#include "SharedMutexBlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velcom::detail {

namespace {

// Shared-memory names allow no "/" and few other characters; keep the safe ones and escape the
// rest, so that distinct Windows names stay distinct.
std::string sharedMemoryName(const char* name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string result = "/velcom-" + std::to_string(getuid()) + "-mutex-";
    for (const char* p = name; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (safe) {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += kHex[c >> 4];
            result += kHex[c & 0x0F];
        }
    }
    return result;
}

// The shared-memory object of a name, opened and locked exclusively for its lifetime. The lock
// makes creating, counting and removing one step for all processes; the kernel drops it when a
// process dies, so a crash never leaves the others waiting.
class LockedFile {
public:
    LockedFile(const std::string& path, int extraFlags)
        : m_fd(shm_open(path.c_str(), O_RDWR | O_CLOEXEC | extraFlags, 0600)) {
        if (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0) closeKeepingErrno();
    }
    ~LockedFile() {
        if (m_fd < 0) return;
        // A mapping keeps the open file alive, so closing alone would not drop the lock.
        flock(m_fd, LOCK_UN);
        closeKeepingErrno();
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    int fd() const { return m_fd; }

private:
    void closeKeepingErrno() {
        const int error = errno;
        close(m_fd);
        m_fd = -1;
        errno = error;
    }

    int m_fd;
};

// A name removed by its last user while another process waited for the lock is opened anew;
// the bound only guards against a name that keeps being removed under us.
constexpr int kOpenAttempts = 100;

}  // namespace

void initialiseMutex(pthread_mutex_t* mutex, bool shared) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    if (shared) pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

std::unique_ptr<SharedMutexBlock> SharedMutexBlock::open(const char* name, bool& existed) {
    const std::string path = sharedMemoryName(name);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const LockedFile file(path, O_CREAT);
        struct stat status {};
        if (file.fd() < 0 || fstat(file.fd(), &status) != 0) return nullptr;
        if (status.st_nlink == 0) continue;
        if (status.st_size < static_cast<off_t>(sizeof(Layout)) &&
            ftruncate(file.fd(), sizeof(Layout)) != 0)
            return nullptr;
        void* mapped =
            mmap(nullptr, sizeof(Layout), PROT_READ | PROT_WRITE, MAP_SHARED, file.fd(), 0);
        if (mapped == MAP_FAILED) return nullptr;
        auto* layout = static_cast<Layout*>(mapped);
        // A creator that died before finishing left initialised at 0: set the block up again.
        existed = layout->initialised != 0;
        if (!existed) {
            initialiseMutex(&layout->mutex, true);
            layout->openCount = 0;
            layout->initialised = 1;
        }
        ++layout->openCount;
        return std::unique_ptr<SharedMutexBlock>(
            new SharedMutexBlock(path, layout, status.st_dev, status.st_ino));
    }
    errno = EAGAIN;
    return nullptr;
}

SharedMutexBlock::SharedMutexBlock(std::string path, Layout* layout, dev_t device, ino_t inode)
    : m_path(std::move(path)), m_layout(layout), m_device(device), m_inode(inode) {}

SharedMutexBlock::~SharedMutexBlock() {
    const int error = errno;
    {
        const LockedFile file(m_path, 0);
        struct stat status {};
        const bool sameObject = file.fd() >= 0 && fstat(file.fd(), &status) == 0 &&
                                status.st_dev == m_device && status.st_ino == m_inode;
        if (sameObject && --m_layout->openCount == 0) shm_unlink(m_path.c_str());
    }
    munmap(m_layout, sizeof(Layout));
    errno = error;
}

pthread_mutex_t* SharedMutexBlock::mutex() { return &m_layout->mutex; }

}  // namespace velcom::detail
