#include "RegistryStore.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include "AtomicFile.h"
#include "FileLock.h"
#include "RegFileText.h"

namespace velcom::registry {

namespace {

// An empty variable counts as unset, as the XDG base directory rules say.
const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Counted once a change is written or has failed, never before: a reader that saw the old count
// may have read the new file, but one that saw the new count cannot have read the old.
std::atomic<std::uint64_t> changesInProcess{0};

LSTATUS parseInto(const std::string& text, Hive& hive) {
    std::optional<Hive> parsed = parseRegFile(text);
    if (!parsed) return ERROR_BADDB;
    hive = std::move(*parsed);
    return ERROR_SUCCESS;
}

}  // namespace

// A relative XDG_CONFIG_HOME is ignored, as the XDG base directory rules say.
std::optional<std::string> registryFilePath() {
    if (const char* file = environment("VELCOM_REGISTRY")) return std::string(file);
    if (const char* config = environment("XDG_CONFIG_HOME"); config != nullptr && *config == '/')
        return (std::filesystem::path(config) / "velcom" / "registry.reg").native();
    if (const char* home = environment("HOME"))
        return (std::filesystem::path(home) / ".config" / "velcom" / "registry.reg").native();
    return std::nullopt;
}

RegistryVersion registryVersion() {
    return {registryFilePath(), changesInProcess.load(std::memory_order_acquire)};
}

namespace {

// What tells one version of the registry file from another: it is only ever replaced whole, by a
// rename, which gives it a new inode and new times.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileStamp& other) const {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return device == other.device && inode == other.inode && size == other.size &&
               same(modified, other.modified) && same(changed, other.changed);
    }
};

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileStamp{status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

}  // namespace

// Readers take no file lock: the file is only ever replaced whole by a rename, so an open file is
// always one complete version of it. Every activation reads the registry several times, so the
// version read last keeps its parsed hive, and is known again by its stamp without being read.
LSTATUS loadHive(std::shared_ptr<const Hive>& hive) {
    struct ParsedText {
        std::mutex lock;
        std::string path;
        std::optional<FileStamp> stamp;
        std::shared_ptr<const Hive> hive;
    };
    // Never destroyed, as a host's static objects may still read the registry while the process
    // exits.
    union NeverDestroyed {
        ParsedText parsed;
        NeverDestroyed() : parsed() {}
        ~NeverDestroyed() {}
    };
    static NeverDestroyed instance;
    ParsedText& last = instance.parsed;

    const std::optional<std::string> path = registryFilePath();
    if (!path) return ERROR_REGISTRY_IO_FAILED;
    // Taken before the file is read: should it be replaced in between, the next call sees
    // another stamp and reads it again.
    const std::optional<FileStamp> stamp = stampOf(*path);
    {
        const std::lock_guard lock(last.lock);
        if (stamp && last.hive && last.path == *path && last.stamp == stamp) {
            hive = last.hive;
            return ERROR_SUCCESS;
        }
    }
    FileContents contents;
    if (const LSTATUS status = readWholeFile(*path, contents); status != ERROR_SUCCESS)
        return status;
    auto parsed = std::make_shared<Hive>();
    if (const LSTATUS status = parseInto(contents.text, *parsed); status != ERROR_SUCCESS)
        return status;
    hive = parsed;
    const std::lock_guard lock(last.lock);
    last.path = *path;
    last.stamp = stamp;
    last.hive = std::move(parsed);
    return ERROR_SUCCESS;
}

LSTATUS updateHive(const std::function<LSTATUS(Hive&)>& change) {
    struct CountedWhenDone {
        ~CountedWhenDone() { changesInProcess.fetch_add(1, std::memory_order_release); }
    } counted;
    const std::optional<std::string> name = registryFilePath();
    if (!name) return ERROR_REGISTRY_IO_FAILED;
    const std::filesystem::path path(*name);
    if (path.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) return statusFromErrno(error.value());
    }
    const FileLock lock(std::filesystem::path(path) += ".lock");
    if (lock.error() != 0) return statusFromErrno(lock.error());

    FileContents current;
    Hive hive;
    if (const LSTATUS status = readWholeFile(path, current); status != ERROR_SUCCESS) return status;
    if (const LSTATUS status = parseInto(current.text, hive); status != ERROR_SUCCESS)
        return status;
    if (const LSTATUS status = change(hive); status != ERROR_SUCCESS) return status;
    const std::optional<std::string> text = formatRegFile(hive);
    if (!text) return ERROR_NO_UNICODE_TRANSLATION;
    if (current.exists && *text == current.text) return ERROR_SUCCESS;
    return replaceFileAtomically(path, *text,
                                 current.exists ? std::optional(current.mode) : std::nullopt);
}

}  // namespace velcom::registry
