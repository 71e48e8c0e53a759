#include <velcom/Files.h>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace velcom {

std::string joinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

namespace {

// All parts in one system call where the kernel takes them whole: a file of several parts is
// written as often as the proxy imports a certificate, and each call into the kernel is dear once
// its paths have gone cold.
bool writeAll(int fd, std::initializer_list<std::string_view> parts) {
    std::vector<iovec> pending;
    pending.reserve(parts.size());
    for (const std::string_view part : parts)
        if (!part.empty()) pending.push_back({const_cast<char*>(part.data()), part.size()});
    std::size_t next = 0;
    while (next < pending.size()) {
        const auto count = static_cast<int>(std::min<std::size_t>(pending.size() - next, IOV_MAX));
        const ssize_t written = ::writev(fd, pending.data() + next, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        auto left = static_cast<std::size_t>(written);
        while (next < pending.size() && left >= pending[next].iov_len)
            left -= pending[next++].iov_len;
        if (left > 0) {
            pending[next].iov_base = static_cast<char*>(pending[next].iov_base) + left;
            pending[next].iov_len -= left;
        }
    }
    return true;
}

}  // namespace

bool writeOwnerOnlyFile(const std::string& path, std::initializer_list<std::string_view> parts) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) return false;
    // A file that existed before keeps its mode through open; key material must not stay
    // readable by others.
    bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    written = written && writeAll(fd, parts);
    return ::close(fd) == 0 && written;
}

}  // namespace velcom
