// A POSIX file descriptor owned by one object and closed with it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace velcom::registry {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&&) = delete;
    ~UniqueFd() {
        if (m_fd >= 0) ::close(m_fd);
    }

    explicit operator bool() const { return m_fd >= 0; }
    int get() const { return m_fd; }

    // Closes now and reports what close found: on some file systems a failed write shows only
    // here. Returns 0 or the errno value.
    int close() {
        const int result = ::close(std::exchange(m_fd, -1));
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

}  // namespace velcom::registry
