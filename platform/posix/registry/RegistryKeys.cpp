// RegCreateKeyExA, RegOpenKeyExA, RegDeleteKeyA, RegEnumKeyExA and RegCloseKey.
#include <cstring>
#include <optional>
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

// Key classes are not kept: the file has no place for them and COM never reads them back. A
// volatile key (REG_OPTION_VOLATILE) cannot be kept in a file that outlives the session, so only
// REG_OPTION_NON_VOLATILE is accepted.
extern "C" LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD options,
                                   REGSAM desired, LPSECURITY_ATTRIBUTES, PHKEY result,
                                   LPDWORD disposition) {
    return guarded([&]() -> LSTATUS {
        if (result == nullptr) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        if (reserved != 0 || options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
        OpenedKey parent;
        if (const LSTATUS status = keyOfHandle(key, 0, parent); status != ERROR_SUCCESS)
            return status;
        const std::optional<std::string> path =
            velcom::registry::resolveSubkey(parent.path, subKey);
        if (!path) return ERROR_INVALID_PARAMETER;

        // Opening an existing key writes nothing, so it works on a registry the caller may only
        // read, as on Windows.
        std::shared_ptr<const Hive> hive;
        if (const LSTATUS status = loadHiveWithKey(parent.path, hive); status != ERROR_SUCCESS)
            return status;
        DWORD outcome = REG_OPENED_EXISTING_KEY;
        if (hive->values(*path) == nullptr) {
            if ((parent.access & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
            const LSTATUS status = velcom::registry::updateHive([&](Hive& current) {
                if (current.values(parent.path) == nullptr) return ERROR_KEY_DELETED;
                outcome = current.create(*path) ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
                return ERROR_SUCCESS;
            });
            if (status != ERROR_SUCCESS) return status;
        }
        *result =
            velcom::registry::openKeyHandle({*path, velcom::registry::grantedAccess(desired)});
        if (disposition != nullptr) *disposition = outcome;
        return ERROR_SUCCESS;
    });
}

extern "C" LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired,
                                 PHKEY result) {
    return guarded([&]() -> LSTATUS {
        if (result == nullptr) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        if (options != 0) return ERROR_INVALID_PARAMETER;
        OpenedKey parent;
        if (const LSTATUS status = keyOfHandle(key, 0, parent); status != ERROR_SUCCESS)
            return status;
        const std::optional<std::string> path =
            velcom::registry::resolveSubkey(parent.path, subKey);
        if (!path) return ERROR_INVALID_PARAMETER;
        std::shared_ptr<const Hive> hive;
        if (const LSTATUS status = loadHiveWithKey(parent.path, hive); status != ERROR_SUCCESS)
            return status;
        if (hive->values(*path) == nullptr) return ERROR_FILE_NOT_FOUND;
        *result =
            velcom::registry::openKeyHandle({*path, velcom::registry::grantedAccess(desired)});
        return ERROR_SUCCESS;
    });
}

// As on Windows, the rights of `key` do not matter: deleting is a right on the key deleted, and
// the file has no ACLs to refuse it.
extern "C" LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    return guarded([&]() -> LSTATUS {
        if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
        OpenedKey parent;
        if (const LSTATUS status = keyOfHandle(key, 0, parent); status != ERROR_SUCCESS)
            return status;
        const std::optional<std::string> path =
            velcom::registry::resolveSubkey(parent.path, subKey);
        if (!path) return ERROR_INVALID_PARAMETER;
        if (path->empty()) return ERROR_ACCESS_DENIED;
        return velcom::registry::updateHive([&](Hive& hive) {
            if (hive.values(parent.path) == nullptr) return ERROR_KEY_DELETED;
            if (hive.values(*path) == nullptr) return ERROR_FILE_NOT_FOUND;
            if (hive.hasSubkeys(*path)) return ERROR_ACCESS_DENIED;
            hive.erase(*path);
            return ERROR_SUCCESS;
        });
    });
}

// Keys are listed by name ignoring case, as Windows lists them. On ERROR_MORE_DATA *nameLength is
// left as it was: callers size the buffer for the longest key name, 255 characters and the
// terminator. Keys have no class and no recorded write time, so the class comes back empty and
// the time zero.
extern "C" LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength,
                                 LPDWORD reserved, LPSTR keyClass, LPDWORD classLength,
                                 PFILETIME lastWriteTime) {
    return guarded([&]() -> LSTATUS {
        if (name == nullptr || nameLength == nullptr || reserved != nullptr ||
            (keyClass != nullptr && classLength == nullptr))
            return ERROR_INVALID_PARAMETER;
        OpenedKey opened;
        if (const LSTATUS status = keyOfHandle(key, KEY_ENUMERATE_SUB_KEYS, opened);
            status != ERROR_SUCCESS)
            return status;
        std::shared_ptr<const Hive> hive;
        if (const LSTATUS status = loadHiveWithKey(opened.path, hive); status != ERROR_SUCCESS)
            return status;
        const std::optional<std::string> subkey = hive->subkeyName(opened.path, index);
        if (!subkey) return ERROR_NO_MORE_ITEMS;
        if (subkey->size() >= *nameLength || (keyClass != nullptr && *classLength == 0))
            return ERROR_MORE_DATA;
        std::memcpy(name, subkey->c_str(), subkey->size() + 1);
        *nameLength = static_cast<DWORD>(subkey->size());
        if (keyClass != nullptr) keyClass[0] = '\0';
        if (classLength != nullptr) *classLength = 0;
        if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

extern "C" LSTATUS RegCloseKey(HKEY key) {
    return guarded([&] { return velcom::registry::closeKeyHandle(key); });
}
