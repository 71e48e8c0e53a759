#include "proxy/NumberLists.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(NumberListsTest, LeadingZerosOfTheNumberAloneAreIgnoredAndCaseToo) {
    const struct {
        const char* number;
        const char* text;
        bool equal;
    } cases[] = {{"007", "7", true},
                 {"00ab", "AB", true},
                 {"7", "07", false},
                 {"70", "7", false},
                 {"100", "100", true}};
    for (const auto& row : cases)
        EXPECT_EQ(equalsIgnoringLeadingZeros(row.number, row.text), row.equal)
            << row.number << " " << row.text;
    // A number of only zeros has no digits to compare.
    EXPECT_THROW(equalsIgnoringLeadingZeros("000", "0"), std::out_of_range);
    EXPECT_THROW(equalsIgnoringLeadingZeros("", ""), std::out_of_range);
    EXPECT_THROW(indexInList("0", "1+0"), std::out_of_range);
}

TEST(NumberListsTest, IndexInListFindsTheFirstEqualTokenAndIndexOfZeroAnExactZero) {
    const struct {
        const char* number;  // null: indexOfZero
        const char* list;
        int index;
    } cases[] = {
        {"007", "3+7+9", 1}, {"8", "3+7+9", -1},    {"9", "3+7+9", 2},     {"3", "3+7+9", 0},
        {"5", "5+5", 0},     {"5", "5", 0},         {"5", "", -1},         {"5", "1++5", 2},
        {"ff", "1+FF", 1},   {nullptr, "1+0+0", 1}, {nullptr, "1+1+0", 2}, {nullptr, "1+1", -1},
        {nullptr, "0", 0},   {nullptr, "00+0", 1},  {nullptr, "", -1},     {nullptr, "10+01", -1},
    };
    for (const auto& row : cases)
        EXPECT_EQ(row.number ? indexInList(row.number, row.list) : indexOfZero(row.list), row.index)
            << (row.number ? row.number : "zero") << " in " << row.list;
}

}  // namespace
