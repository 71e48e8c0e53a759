// The keys and values of the registry in memory, as read from the file and written back to it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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
    // Moves keep the index valid (a map's nodes stay where they are); copies would not.
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;
    Hive(Hive&&) = default;
    Hive& operator=(Hive&&) = default;

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
    // The path with its letters in upper case, as the index knows it.
    static std::string folded(std::string_view path);
    void add(Keys::iterator key);

    Keys m_keys;
    // Every key by its folded path: found by one hash, where the ordered map compares long paths
    // that mostly share their beginning, letter by letter, at every level.
    std::unordered_map<std::string, Values*> m_index;
};

}  // namespace velcom::registry
