#include "proxy/NumberLists.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(NumberListsTest, LeadingZerosOfTheNumberAloneAreIgnored) {
    EXPECT_TRUE(equalsIgnoringLeadingZeros("007", "7"));
    EXPECT_TRUE(equalsIgnoringLeadingZeros("00ab", "AB")) << "case is ignored";
    EXPECT_FALSE(equalsIgnoringLeadingZeros("7", "07")) << "the text keeps its zeros";
    EXPECT_FALSE(equalsIgnoringLeadingZeros("70", "7"));
    EXPECT_TRUE(equalsIgnoringLeadingZeros("100", "100")) << "inner zeros stay";
}

TEST(NumberListsTest, ANumberWithoutDigitsBesideZerosCannotBeCompared) {
    EXPECT_THROW(equalsIgnoringLeadingZeros("000", "0"), std::out_of_range);
    EXPECT_THROW(equalsIgnoringLeadingZeros("", ""), std::out_of_range);
    EXPECT_THROW(indexInList("0", "1+0"), std::out_of_range);
}

TEST(NumberListsTest, IndexInListFindsTheFirstEqualToken) {
    EXPECT_EQ(indexInList("007", "3+7+9"), 1);
    EXPECT_EQ(indexInList("8", "3+7+9"), -1);
    EXPECT_EQ(indexInList("9", "3+7+9"), 2) << "the last token counts";
    EXPECT_EQ(indexInList("3", "3+7+9"), 0);
    EXPECT_EQ(indexInList("5", "5+5"), 0);
    EXPECT_EQ(indexInList("5", "5"), 0) << "a list of one";
    EXPECT_EQ(indexInList("5", ""), -1);
    EXPECT_EQ(indexInList("5", "1++5"), 2) << "an empty token keeps its place";
    EXPECT_EQ(indexInList("ff", "1+FF"), 1);
}

TEST(NumberListsTest, IndexOfZeroWantsATokenThatIsExactlyZero) {
    EXPECT_EQ(indexOfZero("1+0+0"), 1);
    EXPECT_EQ(indexOfZero("1+1+0"), 2);
    EXPECT_EQ(indexOfZero("1+1"), -1);
    EXPECT_EQ(indexOfZero("0"), 0);
    EXPECT_EQ(indexOfZero("00+0"), 1);
    EXPECT_EQ(indexOfZero(""), -1);
    EXPECT_EQ(indexOfZero("10+01"), -1);
}

}  // namespace
