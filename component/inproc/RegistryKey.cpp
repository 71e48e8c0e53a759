#include "inproc/RegistryKey.h"

#include <utility>
#include <vector>

namespace {

// Registry key names are at most 255 characters.
constexpr DWORD kMaxKeyName = 256;

}  // namespace

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : m_hKey(std::exchange(other.m_hKey, nullptr)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        close();
        m_hKey = std::exchange(other.m_hKey, nullptr);
    }
    return *this;
}

RegistryKey::~RegistryKey() { close(); }

void RegistryKey::close() {
    if (HKEY key = std::exchange(m_hKey, nullptr)) RegCloseKey(key);
}

LSTATUS RegistryKey::create(HKEY parent, const std::string& path, RegistryKey& key) {
    key.close();
    return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key.m_hKey, nullptr);
}

LSTATUS RegistryKey::open(HKEY parent, const std::string& path, RegistryKey& key) {
    key.close();
    return RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key.m_hKey);
}

LSTATUS RegistryKey::setString(const std::string& name, const std::string& text) const {
    // Stored with its terminating zero, as the system's registry tools store strings.
    return RegSetValueExA(m_hKey, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

LSTATUS RegistryKey::deleteValue(const std::string& name) const {
    return RegDeleteValueA(m_hKey, name.c_str());
}

LSTATUS RegistryKey::subkeyName(DWORD index, std::string& name) const {
    char buffer[kMaxKeyName];
    DWORD length = kMaxKeyName;
    const LSTATUS status =
        RegEnumKeyExA(m_hKey, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name.assign(buffer, length);
    return status;
}

bool RegistryKey::hasSubkeys() const {
    std::string ignored;
    return subkeyName(0, ignored) != ERROR_NO_MORE_ITEMS;
}

LSTATUS deleteKeyTree(HKEY parent, const std::string& name) {
    RegistryKey key;
    if (const LSTATUS status = RegistryKey::open(parent, name, key); status != ERROR_SUCCESS)
        return status;
    // Collected first: deleting while enumerating would shift the indexes.
    std::vector<std::string> children;
    std::string child;
    LSTATUS status = ERROR_SUCCESS;
    for (DWORD index = 0; (status = key.subkeyName(index, child)) == ERROR_SUCCESS; ++index)
        children.push_back(child);
    if (status != ERROR_NO_MORE_ITEMS) return status;
    for (const std::string& each : children)
        if (status = deleteKeyTree(key.get(), each);
            status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return status;
    key = RegistryKey();
    return RegDeleteKeyA(parent, name.c_str());
}
