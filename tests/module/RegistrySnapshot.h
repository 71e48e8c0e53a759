// Reading back what registration wrote below HKEY_CLASSES_ROOT, through the registry calls.
#pragma once

#include <map>
#include <optional>
#include <string>

#include <velcom/com.h>

// A string value of HKEY_CLASSES_ROOT\key (name null or empty: the default value) without its
// terminating zero; nothing when the key or value is missing or the value is not a REG_SZ.
inline std::optional<std::string> stringValue(const std::string& key, const char* name = nullptr) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = REG_NONE;
    char data[1024];
    DWORD size = sizeof data;
    const LSTATUS status =
        RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS || type != REG_SZ || size == 0 || data[size - 1] != '\0')
        return std::nullopt;
    return std::string(data, size - 1);
}

inline bool keyExists(const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

// Every key from HKEY_CLASSES_ROOT\root down, by its path below HKEY_CLASSES_ROOT, with its
// default value (nothing for a key without one).
using RegistrySnapshot = std::map<std::string, std::optional<std::string>>;

inline void addSnapshotOf(const std::string& key, RegistrySnapshot& snapshot) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    snapshot[key] = stringValue(key);
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(opened, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        addSnapshotOf(key + "\\" + std::string(name, length), snapshot);
    }
    RegCloseKey(opened);
}

inline RegistrySnapshot snapshotOf(const std::string& root) {
    RegistrySnapshot snapshot;
    addSnapshotOf(root, snapshot);
    return snapshot;
}
