#include "Utility/NoCase.h"

namespace {

// toupper as the C locale defines it, which is the locale the component runs its comparisons in:
// a host that switches the process to another locale must not change how keywords match.
// Characters are taken as signed values, so bytes above 0x7F stay negative and unchanged.
int upper(char c) {
    const int value = static_cast<signed char>(c);
    return value >= 'a' && value <= 'z' ? value - ('a' - 'A') : value;
}

bool samePrefixNoCase(std::string_view a, std::string_view b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i] && upper(a[i]) != upper(b[i])) return false;
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
