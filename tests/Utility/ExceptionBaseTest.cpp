#include "Utility/ExceptionBase.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/RecordingChannel.h"

namespace {

TEST(ExceptionBaseTest, CodeTextAndLocationAreBoundedSeenAsStdExceptionAndPrinted) {
    const std::string longText(5000, 'm');
    const std::string longFile(2000, 'p');
    // The code as print writes it: upper-case hex without prefix or leading zeros.
    const std::tuple<ExceptionBase, std::string, std::string, std::string> rows[] = {
        {Invariant("x", 12), "Invariant violated", "File x at Line 12", "C0041001"},
        {PreCondition("x", 12), "PreCondition violated", "File x at Line 12", "C0041002"},
        {PostCondition("x", 12), "PostCondition violated", "File x at Line 12", "C0041003"},
        {ExceptionBase("T.cpp", 7, 5, "%s failed with %d", "wait", 42), "wait failed with 42",
         "File T.cpp at Line 7", "5"},
        {ExceptionBase(nullptr, 3, 0xABCu), "", "", "ABC"},
        {ExceptionBase(nullptr, 3, 1, "text"), "text", "", "1"},
        {ExceptionBase("f", 3, 1, nullptr), "", "File f at Line 3", "1"},
        {ExceptionBase("f", 1, 2, "%s", longText.c_str()), longText.substr(0, 1023),
         "File f at Line 1", "2"},
        {ExceptionBase(longFile.c_str(), 99, 2), "", ("File " + longFile).substr(0, 1023), "2"},
        {ExceptionBase("f", 1, 2, "ab%cde", '\0'), "ab", "File f at Line 1", "2"}};
    for (const auto& [error, text, location, code] : rows) {
        SCOPED_TRACE(text.substr(0, 30) + " / " + location.substr(0, 30));
        EXPECT_EQ(error.getText(), text);
        EXPECT_EQ(error.getLocation(), location);
        EXPECT_EQ(error.getCode(), std::stoul(code, nullptr, 16));
        const std::exception& standard = error;
        ASSERT_NE(standard.what(), nullptr);
        EXPECT_EQ(std::string(standard.what()), text);
        RecordingChannel recorder;
        Channel* channel = &recorder;
        error.print(channel);
        EXPECT_EQ(recorder.all(), "Exception (" + code + ") in " + location + "\n\t" + text + "\n");
        channel = nullptr;
        error.print(channel);
    }
}

TEST(ExceptionBaseTest, SettersReplaceOnlyTheirOwnTextAndIgnoreNull) {
    ExceptionBase error("first", 1, 2, "old");
    error.setLocation("second", 9);
    error.setLocation(nullptr, 10);
    EXPECT_EQ(error.getLocation(), "File second at Line 9");
    // A null format is allowed here; the format checks do not expect one.
    va_list none{};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
    error.setText(nullptr, none);
#pragma GCC diagnostic pop
    EXPECT_EQ(error.getText(), "old");
}

}  // namespace
