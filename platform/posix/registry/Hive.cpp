#include "Hive.h"

namespace velcom::registry {

namespace {

std::string subkeyPrefix(std::string_view path) {
    return path.empty() ? std::string() : std::string(path) + '\\';
}

}  // namespace

Hive::Hive() { add(m_keys.try_emplace(std::string()).first); }

std::string Hive::folded(std::string_view path) {
    std::string text(path);
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void Hive::add(Keys::iterator key) { m_index.try_emplace(folded(key->first), &key->second); }

Values* Hive::values(std::string_view path) {
    const auto found = m_index.find(folded(path));
    return found == m_index.end() ? nullptr : found->second;
}

const Values* Hive::values(std::string_view path) const {
    const auto found = m_index.find(folded(path));
    return found == m_index.end() ? nullptr : found->second;
}

bool Hive::create(std::string_view path) {
    if (m_keys.contains(path)) return false;
    // Built from the top, so that the keys that exist keep their spelling in the new key's path.
    std::string spelled;
    for (std::size_t start = 0;;) {
        const std::size_t separator = path.find('\\', start);
        const std::string_view name = path.substr(start, separator - start);
        std::string candidate = spelled.empty() ? std::string() : spelled + '\\';
        candidate += name;
        const auto key = m_keys.try_emplace(std::move(candidate)).first;
        add(key);
        spelled = key->first;
        if (separator == std::string_view::npos) return true;
        start = separator + 1;
    }
}

bool Hive::hasSubkeys(std::string_view path) const { return subkeyName(path, 0).has_value(); }

void Hive::erase(std::string_view path) {
    const auto found = m_keys.find(path);
    if (found == m_keys.end()) return;
    m_index.erase(folded(found->first));
    m_keys.erase(found);
}

std::optional<std::string> Hive::subkeyName(std::string_view path, std::size_t index) const {
    const std::string prefix = subkeyPrefix(path);
    // A key's descendants directly follow it, and since every ancestor of a key exists, the first
    // of them is a subkey. Past a subkey, its own subtree is skipped in one search: it ends before
    // the subkey's name followed by the character ordered next after the separator.
    for (auto it = m_keys.upper_bound(path);
         it != m_keys.end() && startsWithNoCase(it->first, prefix);
         it = m_keys.lower_bound(it->first + '\x01')) {
        if (index == 0) return it->first.substr(prefix.size());
        --index;
    }
    return std::nullopt;
}

}  // namespace velcom::registry
