// Reading a whole file, and replacing one so that a crash at any point leaves either the old or
// the new contents, never a mix.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <velcom/win32.h>

namespace velcom::registry {

// ERROR_ACCESS_DENIED for permission errors, ERROR_NOT_ENOUGH_MEMORY, else
// ERROR_REGISTRY_IO_FAILED.
LSTATUS statusFromErrno(int error);

struct FileContents {
    bool exists = false;
    std::string text;
    mode_t mode = 0;
};

// A missing file is not an error: it comes back with exists false.
LSTATUS readWholeFile(const std::filesystem::path& path, FileContents& contents);

// Writes "<path>.tmp", flushes it to disk, renames it over `path` and flushes the directory.
// Callers hold the writers' lock, so a temporary file found on the way is a dead writer's and is
// replaced. `mode` keeps the permissions of the file replaced; a new file gets 0666 less the umask.
LSTATUS replaceFileAtomically(const std::filesystem::path& path, std::string_view text,
                              std::optional<mode_t> mode);

}  // namespace velcom::registry
