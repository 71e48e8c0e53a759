// An open registry key that closes itself, with the few operations self-registration needs.
// Results are the registry's own Win32 codes (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND …).
#pragma once

#include <string>

#include <velcom/com.h>

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    ~RegistryKey();

    // Creates parent\path, or opens it when it exists.
    static LSTATUS create(HKEY parent, const std::string& path, RegistryKey& key);
    static LSTATUS open(HKEY parent, const std::string& path, RegistryKey& key);

    HKEY get() const { return m_hKey; }

    // A REG_SZ value; an empty name is the key's default value.
    LSTATUS setString(const std::string& name, const std::string& text) const;
    LSTATUS deleteValue(const std::string& name) const;
    // False also when the key cannot be read: then nothing below it is touched.
    bool hasSubkeys() const;
    // The name of the subkey at index (0 is the first); ERROR_NO_MORE_ITEMS past the last.
    LSTATUS subkeyName(DWORD index, std::string& name) const;

private:
    void close();

    HKEY m_hKey = nullptr;
};

// Deletes parent\name with every key below it. ERROR_FILE_NOT_FOUND when it does not exist.
LSTATUS deleteKeyTree(HKEY parent, const std::string& name);
