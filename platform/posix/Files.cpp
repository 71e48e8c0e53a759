#include <velcom/Files.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velcom {

std::string joinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
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
    for (const std::string_view part : parts) written = written && writeAll(fd, part);
    return ::close(fd) == 0 && written;
}

}  // namespace velcom
