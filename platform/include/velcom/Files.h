// Files the component writes for its collaborators: paths in the temporary directory a host names,
// and files that may carry key material.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include <velcom/export.h>

namespace velcom {

// The directory joined with the file name by the system's separator. On Windows the name is
// appended behind a "\" as it is; elsewhere a directory that already ends in "/" is not given a
// second one.
VELCOM_API std::string joinPath(std::string_view directory, std::string_view name);

// Creates the file, or truncates it, readable and writable by its owner only, and writes the
// parts in order as bytes. False when the file cannot be opened or written; a symbolic link in
// its place is not followed.
VELCOM_API bool writeOwnerOnlyFile(const std::string& path,
                                   std::initializer_list<std::string_view> parts);

}  // namespace velcom
