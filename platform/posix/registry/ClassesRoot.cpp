#include "ClassesRoot.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "ApiGuard.h"
#include "KeyNames.h"
#include "RegistryStore.h"

namespace velcom::detail {

LSTATUS ClassesRootSnapshot::take() {
    return registry::guarded([&] { return registry::loadHive(m_hive); });
}

// The answers are those of RegOpenKeyExA and RegQueryValueExA, where opening the key and querying
// it twice through handles would check the file's stamp three times.
LSTATUS ClassesRootSnapshot::readText(const std::string& subKey, std::string& text) const {
    return registry::guarded([&]() -> LSTATUS {
        const std::optional<std::string> path = registry::resolveSubkey("", subKey.c_str());
        if (!path) return ERROR_INVALID_PARAMETER;
        if (m_hive == nullptr) return ERROR_REGISTRY_IO_FAILED;
        const registry::Values* values = m_hive->values(*path);
        if (values == nullptr) return ERROR_FILE_NOT_FOUND;
        const auto found = values->find(std::string());
        if (found == values->end()) return ERROR_FILE_NOT_FOUND;
        const registry::Value& value = found->second;
        // REG_EXPAND_SZ is read as written: environment references are not expanded.
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return ERROR_FILE_NOT_FOUND;
        // The stored size may or may not count a terminating zero; the text ends at the first one.
        const auto end = std::find(value.data.begin(), value.data.end(), '\0');
        text.assign(value.data.begin(), end);
        return ERROR_SUCCESS;
    });
}

// Activation asks this several times for every object it creates.
LSTATUS readClassesRootText(const std::string& subKey, std::string& text) {
    ClassesRootSnapshot snapshot;
    if (const LSTATUS status = snapshot.take(); status != ERROR_SUCCESS) return status;
    return snapshot.readText(subKey, text);
}

}  // namespace velcom::detail
