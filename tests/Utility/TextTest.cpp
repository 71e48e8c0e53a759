// The utility library's texts: exceptions, case-insensitive comparison and the object trace log.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "Utility/ExceptionBase.h"
#include "Utility/NoCase.h"
#include "Utility/TraceLog.h"
#include "support/RecordingChannel.h"

namespace {

TEST(ExceptionBaseTest, TextAndNewLocationAreBoundedSeenAsStdExceptionAndPrintedWithTheCode) {
    const std::string big(5000, 'm');
    const std::string path(2000, 'p');
    ExceptionBase moved("first", 1, 2, "old");  // a new location replaces only the old one
    moved.setLocation("second", 9);
    moved.setLocation(nullptr, 10);
    // The code as print writes it: upper-case hex without prefix or leading zeros.
    const std::tuple<ExceptionBase, std::string, std::string, std::string> rows[] = {
        {Invariant("x", 12), "Invariant violated", "File x at Line 12", "C0041001"},
        {PreCondition("x", 12), "PreCondition violated", "File x at Line 12", "C0041002"},
        {PostCondition("x", 12), "PostCondition violated", "File x at Line 12", "C0041003"},
        {ExceptionBase("T", 7, 5, "%s is %d", "wait", 42), "wait is 42", "File T at Line 7", "5"},
        {ExceptionBase(nullptr, 3, 0xABCu), "", "", "ABC"},
        {ExceptionBase(nullptr, 3, 1, "text"), "text", "", "1"},
        {ExceptionBase("f", 3, 1, nullptr), "", "File f at Line 3", "1"},
        {ExceptionBase("f", 1, 2, "%s", big.c_str()), big.substr(0, 1023), "File f at Line 1", "2"},
        {ExceptionBase(path.c_str(), 99, 2), "", ("File " + path).substr(0, 1023), "2"},
        {ExceptionBase("f", 1, 2, "ab%cde", '\0'), "ab", "File f at Line 1", "2"},
        {moved, "old", "File second at Line 9", "2"}};
    for (const auto& [error, text, location, code] : rows) {
        SCOPED_TRACE(text.substr(0, 30) + " / " + location.substr(0, 30));
        EXPECT_EQ(error.getText(), text);
        EXPECT_EQ(error.getLocation(), location);
        EXPECT_EQ(error.getCode(), std::stoul(code, nullptr, 16));
        EXPECT_STREQ(static_cast<const std::exception&>(error).what(), text.c_str());
        RecordingChannel recorder;
        for (Channel* channel : {static_cast<Channel*>(nullptr), static_cast<Channel*>(&recorder)})
            error.print(channel);
        EXPECT_EQ(recorder.all(), "Exception (" + code + ") in " + location + "\n\t" + text + "\n");
    }
}

TEST(NoCaseTest, EqualsIgnoresAsciiCaseOnBothSidesOfAPrefixAndLessOrdersUpperCasedSignedChars) {
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
    // Upper-cased '_' (0x5F) sorts after 'Z'; bytes above 0x7F are negative, so before ASCII.
    const std::tuple<const char*, const char*, bool> lessRows[] = {
        {"alpha", "BETA", true},   {"BETA", "alpha", false},
        {"Param", "param1", true}, {"param1", "PARAM", false},
        {"Same", "sAME", false},   {"", "", false},
        {"", "a", true},           {"a", "_", true},
        {"\xC3", "A", true},       {"A", "\xC3", false}};
    for (const auto& [a, b, less] : lessRows) EXPECT_EQ(lessNoCase(a, b), less) << a << " < " << b;
}

// Nothing is written while there is no channel, but objects are numbered even then.
TEST(TraceLogTest, ObjectsScopesCodePathsFalseAssertsAndHitsWriteTheirLinesToTheChannelIfAny) {
    RecordingChannel recorder;
    g_lTraceObjectCount = 0;
    for (Channel* channel : {static_cast<Channel*>(nullptr), static_cast<Channel*>(&recorder)}) {
        g_pTraceChannel = channel;
        TraceScope scope("exchange");
        TraceCodePath("retry", 2);
        TraceCodePath(nullptr, 3);
        traceAssert(true, "a.cpp", 1, "never %d\n", 1);
        traceAssert(false, "a.cpp", 17, "count %d\n", 4);
        traceAssert(false, nullptr, 18, "no file\n");
        traceHit("b.cpp", 5, "%s", "here\n");
        TraceObject original("orig");
        TraceObject copy(original);
        TraceObject unnamed(nullptr);
        unnamed = copy;  // takes the name and keeps its number
    }
    g_pTraceChannel = nullptr;
    EXPECT_EQ(g_lTraceObjectCount, 6);
    std::string writes;  // each ended by "|"
    for (const std::string& write : recorder.writes) writes += write + "|";
    EXPECT_EQ(
        writes,
        "---> begin exchange\n|===> CodePath visited:retry - 2\n|===> CodePath visited: - 3\n|"
        "Assert in File a.cpp at Line 17\n|count 4\n|no file\n|Hit in File b.cpp at Line 5\n|"
        "here\n|---> object orig 4 constructed\n|---> object orig 5 constructed\n|"
        "---> object  6 constructed\n|---- object  6 assigned orig 5\n|"
        "<--- object orig 6 destroyed\n|<--- object orig 5 destroyed\n|"
        "<--- object orig 4 destroyed\n|<--- end exchange\n|");
}

}  // namespace
