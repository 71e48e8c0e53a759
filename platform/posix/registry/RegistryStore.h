// The registry file on disk: where it is, reading it, and changing it safely with other processes
// doing the same.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <velcom/win32.h>

#include "Hive.h"

namespace velcom::registry {

// $VELCOM_REGISTRY, else $XDG_CONFIG_HOME/velcom/registry.reg, else
// $HOME/.config/velcom/registry.reg, read from the environment at each call; none when none of
// them is set. A plain text, as every registry read asks for it.
std::optional<std::string> registryFilePath();

// Which registry a read sees: the file, and how many changes this process had made to the
// registry by then. What was read under another version may be outdated; another process's change
// does not show here.
struct RegistryVersion {
    std::optional<std::string> path;
    std::uint64_t changesInProcess = 0;
    bool operator==(const RegistryVersion&) const = default;
};
RegistryVersion registryVersion();

// The registry as it is now; a missing file is an empty registry. ERROR_BADDB when the file
// cannot be parsed, ERROR_ACCESS_DENIED or ERROR_REGISTRY_IO_FAILED when it cannot be read. The
// hive is shared with other readers of the same text and never changes.
LSTATUS loadHive(std::shared_ptr<const Hive>& hive);

// Applies `change` to the registry as it is on disk at this moment, holding the writers' lock,
// and replaces the file with the result when `change` succeeds and the text differs. Nothing is
// written when `change` fails (its result is returned), when the file cannot be parsed
// (ERROR_BADDB) or when a value has no form in the file (ERROR_NO_UNICODE_TRANSLATION).
LSTATUS updateHive(const std::function<LSTATUS(Hive&)>& change);

}  // namespace velcom::registry
