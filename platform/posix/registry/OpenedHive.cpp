#include "OpenedHive.h"

#include "RegistryStore.h"

namespace velcom::registry {

LSTATUS loadHiveWithKey(const std::string& path, std::shared_ptr<const Hive>& hive) {
    if (const LSTATUS status = loadHive(hive); status != ERROR_SUCCESS) return status;
    return hive->values(path) == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

}  // namespace velcom::registry
