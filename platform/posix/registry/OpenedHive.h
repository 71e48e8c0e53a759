// A step every call on an opened key takes: read the registry and make sure the key is still in it.
#pragma once

#include <memory>
#include <string>

#include "Hive.h"

namespace velcom::registry {

// The registry as it is on disk now; loadHive's errors, or ERROR_KEY_DELETED when the key at
// path has been deleted since its handle was opened.
LSTATUS loadHiveWithKey(const std::string& path, std::shared_ptr<const Hive>& hive);

}  // namespace velcom::registry
