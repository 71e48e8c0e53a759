#include "Utility/NoCase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(NoCaseTest, EqualsIgnoresCaseButNotLength) {
    EXPECT_EQ(equalsNoCase("Return", "RETURN"), 0);
    EXPECT_EQ(equalsNoCase("", ""), 0);
    EXPECT_NE(equalsNoCase("Return", "Returns"), 0);
    EXPECT_NE(equalsNoCase("Returns", "Return"), 0);
    EXPECT_NE(equalsNoCase("Status", "Statue"), 0);
}

TEST(NoCaseTest, EqualsComparesNonAsciiBytesExactly) {
    EXPECT_EQ(equalsNoCase("gr\xC3\xBC\xC3\x9F", "GR\xC3\xBC\xC3\x9F"), 0);
    EXPECT_NE(equalsNoCase("\xC3\xBC", "\xC3\x9C"), 0);
}

TEST(NoCaseTest, EqualsNComparesOnlyThePrefixWhenBothAreLongEnough) {
    EXPECT_EQ(equalsNoCaseN("Param1", "PARAM", 5), 0);
    EXPECT_NE(equalsNoCaseN("Param1", "PARAM", 6), 0);
    EXPECT_EQ(equalsNoCaseN("Param", "param", 6), 0);
    EXPECT_EQ(equalsNoCaseN("ActionX", "actionY", 6), 0);
    EXPECT_NE(equalsNoCaseN("ActionX", "actorY", 6), 0);
    EXPECT_EQ(equalsNoCaseN("anything", "else", 0), 0);
}

TEST(NoCaseTest, LessOrdersIgnoringCaseWithPrefixesFirst) {
    EXPECT_TRUE(lessNoCase("alpha", "BETA"));
    EXPECT_FALSE(lessNoCase("BETA", "alpha"));
    EXPECT_TRUE(lessNoCase("Param", "param1"));
    EXPECT_FALSE(lessNoCase("param1", "PARAM"));
    EXPECT_FALSE(lessNoCase("Same", "sAME"));
    EXPECT_FALSE(lessNoCase("", ""));
    EXPECT_TRUE(lessNoCase("", "a"));
}

TEST(NoCaseTest, LessComparesUpperCasedCharactersAsSignedValues) {
    // Upper-cased, '_' (0x5F) sorts after 'A'..'Z' (0x41..0x5A) even though it sorts before 'a'.
    EXPECT_TRUE(lessNoCase("a", "_"));
    // Bytes above 0x7F are negative as signed characters and sort before all ASCII.
    EXPECT_TRUE(lessNoCase("\xC3", "A"));
    EXPECT_FALSE(lessNoCase("A", "\xC3"));
}

TEST(NoCaseTest, LessIsAStrictWeakOrderForSorting) {
    std::vector<std::string> names{"refnum", "Cert", "action", "CERT_state", "cert", "Status"};
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return lessNoCase(a, b); });
    const std::vector<std::string> expected{"action",     "Cert",   "cert",
                                            "CERT_state", "refnum", "Status"};
    EXPECT_EQ(names, expected);
}

}  // namespace
