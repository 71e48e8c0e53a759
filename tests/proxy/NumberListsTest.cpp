#include "proxy/NumberLists.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace {

// A number loses its leading zeros, a list entry does not; letter case does not matter.
TEST(NumberListsTest, NumbersAreFoundInListsIgnoringTheirLeadingZerosAndCase) {
    const struct {
        const char* number;  // null: indexOfZero
        const char* list;
        int index;
    } cases[] = {
        {"007", "3+7+9", 1},    {"8", "3+7+9", -1}, {"9", "3+7+9", 2},     {"3", "3+7+9", 0},
        {"5", "5+5", 0},        {"5", "5", 0},      {"5", "", -1},         {"5", "1++5", 2},
        {"ff", "1+FF", 1},      {"00ab", "AB", 0},  {"7", "07", -1},       {"70", "7", -1},
        {"100", "100", 0},      {"007", "7", 0},    {nullptr, "1+0+0", 1}, {nullptr, "1+1+0", 2},
        {nullptr, "1+1", -1},   {nullptr, "0", 0},  {nullptr, "00+0", 1},  {nullptr, "", -1},
        {nullptr, "10+01", -1},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(row.number ? indexInList(row.number, row.list) : indexOfZero(row.list), row.index)
            << (row.number ? row.number : "zero") << " in " << row.list;
        if (row.number && *row.list && !std::strchr(row.list, '+')) {
            EXPECT_EQ(equalsIgnoringLeadingZeros(row.number, row.list), row.index == 0);
        }
    }
    // A number of only zeros has no digits to compare.
    EXPECT_THROW(equalsIgnoringLeadingZeros("000", "0"), std::out_of_range);
    EXPECT_THROW(equalsIgnoringLeadingZeros("", ""), std::out_of_range);
    EXPECT_THROW(indexInList("0", "1+0"), std::out_of_range);
}

}  // namespace
