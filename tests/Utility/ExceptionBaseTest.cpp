#include "Utility/ExceptionBase.h"

#include <gtest/gtest.h>

#include <string>

#include "support/RecordingChannel.h"

namespace {

template <class Contract>
void expectContract(std::uint32_t code, const char* text) {
    const Contract contract("x", 12);
    EXPECT_EQ(contract.getCode(), code);
    EXPECT_EQ(contract.getText(), text);
    EXPECT_EQ(contract.getLocation(), "File x at Line 12");
    EXPECT_STREQ(contract.what(), text);
}

TEST(ExceptionBaseTest, ContractClassesCarryTheirCodeTextAndLocation) {
    expectContract<Invariant>(0xC0041001u, "Invariant violated");
    expectContract<PreCondition>(0xC0041002u, "PreCondition violated");
    expectContract<PostCondition>(0xC0041003u, "PostCondition violated");
}

TEST(ExceptionBaseTest, MessageIsFormattedPrintfStyle) {
    const ExceptionBase error("Thread.cpp", 7, 5, "%s failed with %d", "wait", 42);
    EXPECT_EQ(error.getText(), "wait failed with 42");
    EXPECT_EQ(error.getLocation(), "File Thread.cpp at Line 7");
    EXPECT_EQ(error.getCode(), 5u);
}

TEST(ExceptionBaseTest, NullFileAndNullFormatLeaveTheirTextsEmpty) {
    const ExceptionBase noFile(nullptr, 3, 1, "text");
    EXPECT_EQ(noFile.getLocation(), "");
    EXPECT_EQ(noFile.getText(), "text");

    const ExceptionBase noFormat("f", 3, 1, nullptr);
    EXPECT_EQ(noFormat.getText(), "");
    EXPECT_EQ(noFormat.getLocation(), "File f at Line 3");
}

TEST(ExceptionBaseTest, WithoutMessageWhatIsEmptyNotNull) {
    const ExceptionBase error("f", 1, 2);
    ASSERT_NE(error.what(), nullptr);
    EXPECT_STREQ(error.what(), "");
    EXPECT_EQ(error.getText(), "");
}

TEST(ExceptionBaseTest, TextsAreCutAfter1023Characters) {
    const std::string longText(5000, 'm');
    const ExceptionBase error("f", 1, 2, "%s", longText.c_str());
    EXPECT_EQ(error.getText(), longText.substr(0, 1023));

    const std::string longFile(2000, 'p');
    const ExceptionBase located(longFile.c_str(), 99, 2);
    EXPECT_EQ(located.getLocation(), ("File " + longFile).substr(0, 1023));
}

TEST(ExceptionBaseTest, EmbeddedZeroEndsTheText) {
    const ExceptionBase error("f", 1, 2, "ab%cde", '\0');
    EXPECT_EQ(error.getText(), "ab");
}

TEST(ExceptionBaseTest, SettersReplaceOnlyTheirOwnTextAndIgnoreNull) {
    ExceptionBase error("first", 1, 2, "old");
    error.setLocation("second", 9);
    EXPECT_EQ(error.getLocation(), "File second at Line 9");
    EXPECT_EQ(error.getText(), "old");

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

TEST(ExceptionBaseTest, CopiesKeepAllThreeFields) {
    const ExceptionBase original("f", 4, 0x80004005u, "boom");
    const ExceptionBase copy = original;
    EXPECT_EQ(copy.getCode(), original.getCode());
    EXPECT_EQ(copy.getText(), "boom");
    EXPECT_EQ(copy.getLocation(), "File f at Line 4");
}

TEST(ExceptionBaseTest, StandardExceptionHandlerCatchesItWithItsText) {
    try {
        throw PreCondition("g.cpp", 8);
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(), "PreCondition violated");
        return;
    }
    FAIL() << "not caught as std::exception";
}

TEST(ExceptionBaseTest, PrintWritesCodeInUpperHexWithoutPrefixOrLeadingZeros) {
    RecordingChannel recorder;
    Channel* channel = &recorder;

    PreCondition("x", 12).print(channel);
    ExceptionBase("y", 3, 6, "small").print(channel);

    ASSERT_EQ(recorder.writes.size(), 2u);
    EXPECT_EQ(recorder.writes[0],
              "Exception (C0041002) in File x at Line 12\n\tPreCondition violated\n");
    EXPECT_EQ(recorder.writes[1], "Exception (6) in File y at Line 3\n\tsmall\n");
}

TEST(ExceptionBaseTest, PrintWithoutLocationOrTextLeavesThemEmpty) {
    RecordingChannel recorder;
    Channel* channel = &recorder;
    ExceptionBase(nullptr, 3, 0xABCu).print(channel);
    EXPECT_EQ(recorder.all(), "Exception (ABC) in \n\t\n");
}

TEST(ExceptionBaseTest, PrintToNoChannelWritesNothing) {
    Channel* channel = nullptr;
    EXPECT_NO_THROW(Invariant("x", 1).print(channel));
}

}  // namespace
