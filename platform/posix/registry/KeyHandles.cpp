#include "KeyHandles.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

struct HKEY__ {
    velcom::registry::OpenedKey key;
};

namespace velcom::registry {

namespace {

constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kMaximumAllowed = 0x02000000;

// Windows reserves 0x80000000-0x800000FF for the predefined keys.
bool isPredefined(HKEY handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    return value >= 0x80000000u && value <= 0x800000FFu;
}

class HandleTable {
public:
    HKEY add(OpenedKey key) {
        auto object = std::make_unique<HKEY__>(HKEY__{std::move(key)});
        HKEY handle = object.get();
        const std::lock_guard lock(m_mutex);
        m_objects.emplace(handle, std::move(object));
        return handle;
    }

    bool find(HKEY handle, OpenedKey& key) const {
        const std::lock_guard lock(m_mutex);
        const auto found = m_objects.find(handle);
        if (found == m_objects.end()) return false;
        key = found->second->key;
        return true;
    }

    bool remove(HKEY handle) {
        const std::lock_guard lock(m_mutex);
        return m_objects.erase(handle) != 0;
    }

private:
    mutable std::mutex m_mutex;
    std::unordered_map<HKEY, std::unique_ptr<HKEY__>> m_objects;
};

// Never destroyed: a host's static objects may still close their keys while the process exits,
// after this file's statics would have been torn down.
HandleTable& handleTable() {
    union NeverDestroyed {
        HandleTable table;
        NeverDestroyed() : table() {}
        ~NeverDestroyed() {}
    };
    static NeverDestroyed instance;
    return instance.table;
}

}  // namespace

REGSAM grantedAccess(REGSAM desired) {
    REGSAM granted = desired & KEY_ALL_ACCESS;
    if ((desired & (kGenericRead | kGenericExecute)) != 0) granted |= KEY_READ;
    if ((desired & kGenericWrite) != 0) granted |= KEY_WRITE;
    if ((desired & (kGenericAll | kMaximumAllowed)) != 0) granted |= KEY_ALL_ACCESS;
    return granted;
}

LSTATUS keyOfHandle(HKEY handle, REGSAM needed, OpenedKey& key) {
    if (handle == HKEY_CLASSES_ROOT) {
        key = OpenedKey{std::string(), KEY_ALL_ACCESS};
    } else if (isPredefined(handle)) {
        return ERROR_ACCESS_DENIED;
    } else if (!handleTable().find(handle, key)) {
        return ERROR_INVALID_HANDLE;
    }
    return (key.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY openKeyHandle(OpenedKey key) { return handleTable().add(std::move(key)); }

LSTATUS closeKeyHandle(HKEY handle) {
    if (isPredefined(handle)) return ERROR_SUCCESS;
    return handleTable().remove(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace velcom::registry
