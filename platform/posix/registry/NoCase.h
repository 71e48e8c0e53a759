// Registry names compare ignoring ASCII case, the way the keys are looked up, listed and written.
#pragma once

#include <algorithm>
#include <string_view>

namespace velcom::registry {

// Letters compare in upper case, as Windows lists keys. The path separator sorts before every
// other character, so that a key is followed by its subkeys before any sibling: the file then
// reads as a tree, and the subkeys of a key are one contiguous run of the sorted keys.
constexpr unsigned char foldForOrder(char c) {
    if (c == '\\') return 0;
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

struct NoCaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](char x, char y) { return foldForOrder(x) < foldForOrder(y); });
    }
};

inline bool equalsNoCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b,
                              [](char x, char y) { return foldForOrder(x) == foldForOrder(y); });
}

inline bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace velcom::registry
