// An exclusive flock on a lock file, held for the object's lifetime. The kernel drops it when the
// process dies, so a writer that crashes never blocks the others.
#pragma once

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <filesystem>

#include "UniqueFd.h"

namespace velcom::registry {

class FileLock {
public:
    // Creates the lock file when missing and waits for the lock; check error() afterwards.
    explicit FileLock(const std::filesystem::path& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (!m_fd) {
            m_error = errno;
            return;
        }
        while (flock(m_fd.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = errno;
                return;
            }
        }
        m_locked = true;
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        // Unlock explicitly: a child forked meanwhile shares the descriptor and would otherwise
        // keep the lock until it exits.
        if (m_locked) flock(m_fd.get(), LOCK_UN);
    }

    // 0 when the lock is held, else the errno value of the failure.
    int error() const { return m_error; }

private:
    UniqueFd m_fd;
    int m_error = 0;
    bool m_locked = false;
};

}  // namespace velcom::registry
