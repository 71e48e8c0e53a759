// The keys and values of the registry in memory, as read from the file and written back to it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <velcom/win32.h>

#include "NoCase.h"

namespace velcom::registry {

struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// A key's values by name ("" is the default value). A name keeps the case it was first set with.
using Values = std::map<std::string, Value, NoCaseLess>;

// Keys are named by their path below HKEY_CLASSES_ROOT: "" is the root itself, "CLSID\{...}" a
// key two levels down. Every key above an existing key exists too.
class Hive {
public:
    using Keys = std::map<std::string, Values, NoCaseLess>;

    Hive();

    // Every key, the root first, each followed by its subkeys.
    const Keys& keys() const { return m_keys; }

    Values* values(std::string_view path);
    const Values* values(std::string_view path) const;

    // Creates the key and the missing keys above it; false when it existed already.
    bool create(std::string_view path);
    bool hasSubkeys(std::string_view path) const;
    // Removes one key with its values; callers refuse the root and keys that still have subkeys.
    void erase(std::string_view path);
    // The name of a key's index-th subkey in listing order (ignoring case), none past the end.
    std::optional<std::string> subkeyName(std::string_view path, std::size_t index) const;

private:
    Keys m_keys;
};

}  // namespace velcom::registry
