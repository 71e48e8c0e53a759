#include "proxy/NumberLists.h"

#include <string_view>

#include "Utility/NoCase.h"

namespace {

// Calls visit with each token and its index until it answers true; that index, or -1.
template <class Visit>
int findToken(std::string_view list, Visit visit) {
    int index = 0;
    for (std::size_t start = 0;; ++index) {
        const std::size_t end = list.find('+', start);
        if (visit(list.substr(start, end == std::string_view::npos ? end : end - start)))
            return index;
        if (end == std::string_view::npos) return -1;
        start = end + 1;
    }
}

}  // namespace

bool equalsIgnoringLeadingZeros(const std::string& number, const std::string& text) {
    // substr throws for a position past the end: a number of only zeros has no digits to compare.
    return equalsNoCase(number.substr(number.find_first_not_of('0')), text) == 0;
}

int indexInList(const std::string& number, const std::string& list) {
    return findToken(list, [&](std::string_view token) {
        return equalsIgnoringLeadingZeros(number, std::string(token));
    });
}

int indexOfZero(const std::string& list) {
    return findToken(list, [](std::string_view token) { return token == "0"; });
}
