#include "proxy/NumberLists.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <tuple>

namespace {

// A number loses its leading zeros, a list entry does not; letter case does not matter.
TEST(NumberListsTest, NumbersAreFoundInListsIgnoringTheirLeadingZerosAndCase) {
    // A number (null: indexOfZero), a list, the index found.
    const std::tuple<const char*, const char*, int> cases[] = {
        {"007", "3+7+9", 1},    {"8", "3+7+9", -1}, {"9", "3+7+9", 2},     {"3", "3+7+9", 0},
        {"5", "5+5", 0},        {"5", "5", 0},      {"5", "", -1},         {"5", "1++5", 2},
        {"ff", "1+FF", 1},      {"00ab", "AB", 0},  {"7", "07", -1},       {"70", "7", -1},
        {"100", "100", 0},      {"007", "7", 0},    {nullptr, "1+0+0", 1}, {nullptr, "1+1+0", 2},
        {nullptr, "1+1", -1},   {nullptr, "0", 0},  {nullptr, "00+0", 1},  {nullptr, "", -1},
        {nullptr, "10+01", -1},
    };
    for (const auto& [number, list, index] : cases) {
        EXPECT_EQ(number ? indexInList(number, list) : indexOfZero(list), index)
            << (number ? number : "zero") << " in " << list;
        if (number && *list && !std::strchr(list, '+')) {
            EXPECT_EQ(equalsIgnoringLeadingZeros(number, list), index == 0);
        }
    }
    // A number of only zeros has no digits to compare.
    EXPECT_THROW(equalsIgnoringLeadingZeros("000", "0"), std::out_of_range);
    EXPECT_THROW(equalsIgnoringLeadingZeros("", ""), std::out_of_range);
    EXPECT_THROW(indexInList("0", "1+0"), std::out_of_range);
}

}  // namespace
