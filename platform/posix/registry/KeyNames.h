// Which key paths and value names the registry accepts: what Windows allows, less what a line of
// the file cannot hold.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velcom::registry {

// A path of one or more key names separated by single backslashes, each name 1 to 255
// characters without line breaks.
bool isValidKeyPath(std::string_view path);

// Windows allows value names of up to 16383 characters; line breaks cannot be written.
bool isValidValueName(std::string_view name);

// The path named by a subkey argument relative to an open key's path; a null or empty argument
// names the key itself, and one trailing backslash is allowed as on Windows. None when the
// argument is not a valid key path.
std::optional<std::string> resolveSubkey(std::string_view base, const char* subKey);

}  // namespace velcom::registry
