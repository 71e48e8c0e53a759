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
    // Not emptied on opening: ext4 writes a file that was truncated to nothing out to disk when it
    // is closed (its guard for programs that replace files so), on the caller's thread and once
    // per import. The new bytes go over the old ones, and a longer old file is cut to their length.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) return false;
    struct stat before {};
    constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;
    // A file that existed before keeps its mode through open; key material must not stay
    // readable by others. Only a change is asked for, since each one is a journal entry.
    bool written = ::fstat(fd, &before) == 0 &&
                   ((before.st_mode & 07777) == kOwnerOnly || ::fchmod(fd, kOwnerOnly) == 0) &&
                   writeAll(fd, parts);
    off_t size = 0;
    for (const std::string_view part : parts) size += static_cast<off_t>(part.size());
    // After a failed write nothing of the old content may be taken for the new.
    if (!written)
        static_cast<void>(::ftruncate(fd, 0));
    else if (before.st_size > size)
        written = ::ftruncate(fd, size) == 0;
    return ::close(fd) == 0 && written;
}

}  // namespace velcom
