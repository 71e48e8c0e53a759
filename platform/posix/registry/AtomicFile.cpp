#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "UniqueFd.h"

namespace velcom::registry {

namespace {

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path) : m_path(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!m_committed) unlink(m_path.c_str());
    }

    const std::filesystem::path& path() const { return m_path; }
    void commit() { m_committed = true; }

private:
    std::filesystem::path m_path;
    bool m_committed = false;
};

int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Makes the rename itself durable. Some file systems cannot sync a directory (EINVAL); there the
// rename is as durable as it gets.
int syncDirectory(const std::filesystem::path& directory) {
    const UniqueFd fd(
        open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return errno;
    return fsync(fd.get()) == 0 || errno == EINVAL ? 0 : errno;
}

}  // namespace

LSTATUS statusFromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

LSTATUS readWholeFile(const std::filesystem::path& path, FileContents& contents) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return errno == ENOENT ? ERROR_SUCCESS : statusFromErrno(errno);
    struct stat info {};
    if (fstat(fd.get(), &info) != 0) return statusFromErrno(errno);
    contents.exists = true;
    contents.mode = info.st_mode & 07777;
    contents.text.clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(fd.get(), buffer, sizeof buffer);
        if (got == 0) return ERROR_SUCCESS;
        if (got < 0) {
            if (errno == EINTR) continue;
            return statusFromErrno(errno);
        }
        contents.text.append(buffer, static_cast<std::size_t>(got));
    }
}

LSTATUS replaceFileAtomically(const std::filesystem::path& path, std::string_view text,
                              std::optional<mode_t> mode) {
    TemporaryFile temporary(std::filesystem::path(path) += ".tmp");
    if (unlink(temporary.path().c_str()) != 0 && errno != ENOENT) return statusFromErrno(errno);
    UniqueFd fd(open(temporary.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) return statusFromErrno(errno);
    if (mode && fchmod(fd.get(), *mode) != 0) return statusFromErrno(errno);
    if (const int error = writeAll(fd.get(), text)) return statusFromErrno(error);
    if (fsync(fd.get()) != 0) return statusFromErrno(errno);
    if (const int error = fd.close()) return statusFromErrno(error);
    if (rename(temporary.path().c_str(), path.c_str()) != 0) return statusFromErrno(errno);
    temporary.commit();
    if (const int error = syncDirectory(path.parent_path())) return statusFromErrno(error);
    return ERROR_SUCCESS;
}

}  // namespace velcom::registry
