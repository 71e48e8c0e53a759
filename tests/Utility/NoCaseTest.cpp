#include "Utility/NoCase.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

TEST(NoCaseTest, EqualsIgnoresAsciiCaseAndComparesAPrefixOnlyWhenBothCoverIt) {
    constexpr std::size_t kAll = std::string::npos;  // equalsNoCase rather than equalsNoCaseN
    const std::tuple<const char*, const char*, std::size_t, bool> rows[] = {
        {"Return", "RETURN", kAll, true},      {"", "", kAll, true},
        {"Return", "Returns", kAll, false},    {"Returns", "Return", kAll, false},
        {"Status", "Statue", kAll, false},     {"g\xC3\xBC", "G\xC3\xBC", kAll, true},
        {"\xC3\xBC", "\xC3\x9C", kAll, false}, {"Param1", "PARAM", 5, true},
        {"Param1", "PARAM", 6, false},         {"Param", "param", 6, true},
        {"ActionX", "actionY", 6, true},       {"ActionX", "actorY", 6, false},
        {"anything", "else", 0, true}};
    for (const auto& [a, b, n, equal] : rows)
        EXPECT_EQ((n == kAll ? equalsNoCase(a, b) : equalsNoCaseN(a, b, n)) == 0, equal)
            << a << " / " << b << " / " << n;
}

TEST(NoCaseTest, LessComparesUpperCasedSignedCharactersWithPrefixesFirst) {
    // Upper-cased, '_' (0x5F) sorts after 'A'..'Z' although it sorts before 'a'; bytes above 0x7F
    // are negative as signed characters and sort before all ASCII.
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"alpha", "BETA", true},   {"BETA", "alpha", false},
        {"Param", "param1", true}, {"param1", "PARAM", false},
        {"Same", "sAME", false},   {"", "", false},
        {"", "a", true},           {"a", "_", true},
        {"\xC3", "A", true},       {"A", "\xC3", false}};
    for (const auto& [a, b, less] : rows) EXPECT_EQ(lessNoCase(a, b), less) << a << " < " << b;
}

}  // namespace
