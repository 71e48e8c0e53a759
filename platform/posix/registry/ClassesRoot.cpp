#include "ClassesRoot.h"

#include <memory>
#include <optional>

#include "ApiGuard.h"
#include "KeyNames.h"
#include "RegistryStore.h"

namespace velcom::detail {

// One reading of the registry for the key and its value, where opening the key and querying it
// twice through handles would check the file's stamp three times; activation asks this several
// times for every object it creates. The answers are those of RegOpenKeyExA and RegQueryValueExA.
LSTATUS readClassesRootText(const std::string& subKey, std::string& text) {
    return registry::guarded([&]() -> LSTATUS {
        const std::optional<std::string> path = registry::resolveSubkey("", subKey.c_str());
        if (!path) return ERROR_INVALID_PARAMETER;
        std::shared_ptr<const registry::Hive> hive;
        if (const LSTATUS status = registry::loadHive(hive); status != ERROR_SUCCESS) return status;
        const registry::Values* values = hive->values(*path);
        if (values == nullptr) return ERROR_FILE_NOT_FOUND;
        const auto found = values->find(std::string());
        if (found == values->end()) return ERROR_FILE_NOT_FOUND;
        const registry::Value& value = found->second;
        // REG_EXPAND_SZ is read as written: environment references are not expanded.
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return ERROR_FILE_NOT_FOUND;
        // The stored size may or may not count a terminating zero; the text ends at the first one.
        const std::string stored(value.data.begin(), value.data.end());
        text = stored.substr(0, stored.find('\0'));
        return ERROR_SUCCESS;
    });
}

}  // namespace velcom::detail
