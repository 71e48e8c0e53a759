#include "Utility/NoCase.h"

#include <cctype>

namespace {

int upper(char c) {
    const int value = static_cast<signed char>(c);
    return value < 0 ? value : std::toupper(value);
}

bool samePrefixNoCase(std::string_view a, std::string_view b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

}  // namespace

int equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && samePrefixNoCase(a, b, a.size()) ? 0 : 1;
}

int equalsNoCaseN(std::string_view a, std::string_view b, std::size_t n) {
    if (a.size() < n || b.size() < n) return equalsNoCase(a, b);
    return samePrefixNoCase(a, b, n) ? 0 : 1;
}

bool lessNoCase(std::string_view a, std::string_view b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const int left = upper(a[i]);
        const int right = upper(b[i]);
        if (left != right) return left < right;
    }
    return a.size() < b.size();
}
