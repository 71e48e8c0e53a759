#include "markup/mtGScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "markup/Tokens.h"
#include "support/TraceCapture.h"

namespace {

using Tokens = std::vector<std::pair<int, std::string>>;

// Every token of the block up to and including the first TokEnd.
Tokens scan(std::string_view block) {
    mtGScanner scanner(block);
    Tokens tokens;
    std::string text;
    int code;
    do {
        code = scanner.nextToken(text);
        tokens.emplace_back(code, text);
    } while (code != TokEnd && tokens.size() < 100);
    return tokens;
}

TEST(ScannerTest, KeyEqualsValueAndLineEnd) {
    const Tokens expected{
        {TokStatus, "Status"}, {TokEquals, "="}, {TokText, "0"}, {TokNewLine, "\n"}, {TokEnd, ""}};
    EXPECT_EQ(scan("Status = 0\r\n"), expected);
}

TEST(ScannerTest, KeysIgnoreCaseAndTakeAnySuffixOfTheirStem) {
    EXPECT_EQ(scan("type1=TEXT")[0], std::make_pair(TokType, std::string("type1")));
    EXPECT_EQ(scan("type1=TEXT")[2], std::make_pair(TokText, std::string("TEXT")));
    EXPECT_EQ(scan("ReturnCode=5")[0].first, TokReturn);
    EXPECT_EQ(scan("PARAM12=x")[0].first, TokParam);
    EXPECT_EQ(scan("createcertficate=x")[0].first, TokCreateCertificate);
    EXPECT_EQ(scan("CreateCertificate=x")[0].first, TokWord) << "only the server's spelling";
}

TEST(ScannerTest, UnknownWordIsTracedAndReturnedAsWord) {
    TraceCapture capture;
    const Tokens tokens = scan("Typ=5");
    EXPECT_EQ(tokens[0], std::make_pair(TokWord, std::string("Typ")));
    EXPECT_EQ(capture.lines(),
              std::vector<std::string>{"TSR mtGScanner(258): unknown token: Typ\r\n"});
}

TEST(ScannerTest, ValueKeepsEqualsAndInnerSpaces) {
    const Tokens expected{{TokValue, "Value1"},
                          {TokEquals, "="},
                          {TokText, "a=b c"},
                          {TokNewLine, "\n"},
                          {TokEnd, ""}};
    EXPECT_EQ(scan("  Value1  =   a=b c  \n"), expected);
}

TEST(ScannerTest, EmptyValueDoesNotTakeTheNextLine) {
    const Tokens tokens = scan("Status=\nURL=x");
    const Tokens expected{{TokStatus, "Status"}, {TokEquals, "="}, {TokText, ""},
                          {TokNewLine, "\n"},    {TokURL, "URL"},  {TokEquals, "="},
                          {TokText, "x"},        {TokEnd, ""}};
    EXPECT_EQ(tokens, expected);
}

TEST(ScannerTest, LastTokenWithoutLineEndThenEndForever) {
    mtGScanner scanner("Method=POST");
    std::string text;
    scanner.nextToken(text);
    scanner.nextToken(text);
    EXPECT_EQ(scanner.nextToken(text), TokText);
    EXPECT_EQ(text, "POST");
    EXPECT_TRUE(scanner.isEOF());
    EXPECT_EQ(scanner.nextToken(text), TokEnd);
    EXPECT_EQ(scanner.nextToken(text), TokEnd);
    EXPECT_FALSE(scanner.isBad());
}

TEST(ScannerTest, BlankLinesAndCarriageReturnsGiveOneLineEndEach) {
    const Tokens expected{{TokURL, "URL"},
                          {TokNewLine, "\n"},
                          {TokMethod, "Method"},
                          {TokNewLine, "\n"},
                          {TokEnd, ""}};
    EXPECT_EQ(scan("\r\n  URL\r\n\r\n\n\rMethod\r"), expected);
}

TEST(ScannerTest, GivenBackTokensReturnLastFirstWithoutReadingTheStream) {
    TraceCapture capture;
    mtGScanner scanner("Action");
    std::string text;
    scanner.pushBack(TokText, "kept value");
    scanner.pushBack(TokEquals, "=");
    scanner.pushBack(TokWord, "status");
    EXPECT_FALSE(scanner.isEOF());
    EXPECT_EQ(scanner.nextToken(text), TokStatus) << "classified again from its text";
    EXPECT_EQ(scanner.nextToken(text), TokEquals);
    EXPECT_EQ(scanner.nextToken(text), TokText);
    EXPECT_EQ(text, "kept value");
    EXPECT_EQ(scanner.nextToken(text), TokAction) << "only now the stream is read";
    EXPECT_TRUE(capture.lines().empty());
}

TEST(ScannerTest, GivenBackEqualsTurnsValueModeOnAgain) {
    mtGScanner scanner("Param1 = two words\n");
    std::string text;
    scanner.pushBack(TokEquals, "=");
    EXPECT_EQ(scanner.nextToken(text), TokEquals);
    EXPECT_EQ(scanner.nextToken(text), TokText) << "the stream's first line is read as a value";
    EXPECT_EQ(text, "Param1 = two words");
}

TEST(ScannerTest, EmptyBlockEndsAtOnce) {
    mtGScanner scanner("");
    std::string text = "stale";
    EXPECT_FALSE(scanner.isEOF()) << "the end is noticed by the read that finds nothing";
    EXPECT_EQ(scanner.nextToken(text), TokEnd);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(scanner.isEOF());
    scanner.pushBack(TokNewLine, "\n");
    EXPECT_FALSE(scanner.isEOF()) << "a pending token is still to come";
}

TEST(ScannerTest, LineStartingWithEqualsIsAnEmptyWord) {
    g_lTraceLevel = 0;
    const Tokens tokens = scan("=x");
    g_lTraceLevel = 7;
    EXPECT_EQ(tokens[0], std::make_pair(TokWord, std::string()));
    EXPECT_EQ(tokens[1].first, TokEquals);
    EXPECT_EQ(tokens[2], std::make_pair(TokText, std::string("x")));
}

TEST(ScannerTest, BytesAboveAsciiPassThrough) {
    const Tokens tokens = scan("Value=gr\xC3\xBC\xC3\x9F\xFF");
    EXPECT_EQ(tokens[2].second, "gr\xC3\xBC\xC3\x9F\xFF");
}

}  // namespace
