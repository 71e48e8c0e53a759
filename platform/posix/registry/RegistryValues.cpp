// RegSetValueExA, RegQueryValueExA and RegDeleteValueA.
#include <cstring>
#include <string>

#include <velcom/win32.h>

#include "ApiGuard.h"
#include "KeyHandles.h"
#include "KeyNames.h"
#include "OpenedHive.h"
#include "RegistryStore.h"

using velcom::registry::guarded;
using velcom::registry::Hive;
using velcom::registry::keyOfHandle;
using velcom::registry::loadHiveWithKey;
using velcom::registry::OpenedKey;
using velcom::registry::Value;
using velcom::registry::Values;

namespace {

// A null name and "" both name the default value.
std::string valueNameOf(LPCSTR name) { return name == nullptr ? std::string() : name; }

}  // namespace

extern "C" LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                                  DWORD size) {
    return guarded([&]() -> LSTATUS {
        const std::string name = valueNameOf(valueName);
        if ((data == nullptr && size != 0) || !velcom::registry::isValidValueName(name))
            return ERROR_INVALID_PARAMETER;
        OpenedKey opened;
        if (const LSTATUS status = keyOfHandle(key, KEY_SET_VALUE, opened); status != ERROR_SUCCESS)
            return status;
        const Value value{type, std::vector<BYTE>(data, data + size)};
        return velcom::registry::updateHive([&](Hive& hive) {
            Values* values = hive.values(opened.path);
            if (values == nullptr) return ERROR_KEY_DELETED;
            (*values)[name] = value;
            return ERROR_SUCCESS;
        });
    });
}

extern "C" LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD size) {
    return guarded([&]() -> LSTATUS {
        if (reserved != nullptr || (data != nullptr && size == nullptr))
            return ERROR_INVALID_PARAMETER;
        OpenedKey opened;
        if (const LSTATUS status = keyOfHandle(key, KEY_QUERY_VALUE, opened);
            status != ERROR_SUCCESS)
            return status;
        std::shared_ptr<const Hive> hive;
        if (const LSTATUS status = loadHiveWithKey(opened.path, hive); status != ERROR_SUCCESS)
            return status;
        const Values* values = hive->values(opened.path);
        const auto found = values->find(valueNameOf(valueName));
        if (found == values->end()) return ERROR_FILE_NOT_FOUND;
        const Value& value = found->second;
        const auto needed = static_cast<DWORD>(value.data.size());
        if (type != nullptr) *type = value.type;
        if (data != nullptr && *size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr && needed != 0) std::memcpy(data, value.data.data(), needed);
        if (size != nullptr) *size = needed;
        return ERROR_SUCCESS;
    });
}

extern "C" LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    return guarded([&]() -> LSTATUS {
        OpenedKey opened;
        if (const LSTATUS status = keyOfHandle(key, KEY_SET_VALUE, opened); status != ERROR_SUCCESS)
            return status;
        const std::string name = valueNameOf(valueName);
        return velcom::registry::updateHive([&](Hive& hive) {
            Values* values = hive.values(opened.path);
            if (values == nullptr) return ERROR_KEY_DELETED;
            const auto found = values->find(name);
            if (found == values->end()) return ERROR_FILE_NOT_FOUND;
            values->erase(found);
            return ERROR_SUCCESS;
        });
    });
}
