#include "markup/mtGParser.h"

#include <gtest/gtest.h>

#include <string>

#include "markup/Tokens.h"
#include "support/TraceCapture.h"

namespace {

template <class Kind>
const Kind& as(const Node* node) {
    return dynamic_cast<const Kind&>(*node);
}

TEST(ParserTest, AnswerPageGivesAReturnNodeWithItsParameter) {
    mtGParser parser;
    g_lTraceLevel = 0;
    ASSERT_TRUE(
        parser.parse("<html><body><p>Issued</p>\n<!-- ???\nReturn=R1\nStatus=100\n"
                     "Param1=cert\nType1=PKCS#7\nValue1=AAAA\nBBBB\n-->\n</body></html>"));
    g_lTraceLevel = 7;
    const auto nodes = parser.getNodes();
    ASSERT_EQ(nodes.size(), 1u);
    const auto& answer = as<ReturnNode>(nodes[0]);
    EXPECT_EQ(answer.getName(), "R1");
    EXPECT_EQ(answer.getStatus(), 100);
    EXPECT_EQ(answer.getErrorMessage(), "");
    const auto children = answer.getChildren();
    ASSERT_EQ(children.size(), 1u);
    const auto& parameter = as<ParameterNode>(children[0]);
    EXPECT_EQ(parameter.getName(), "cert");
    EXPECT_EQ(parameter.getType(), ParamTypePKCS7);
    EXPECT_EQ(parameter.getValue(), "AAAA\r\nBBBB");
}

TEST(ParserTest, StartPageGivesAStartNode) {
    mtGParser parser;
    ASSERT_TRUE(parser.parse("<!-- !!!\nReturn\nCreateCertficate=a\nPickUpCertificate=b\n-->"));
    const auto& start = as<StartNode>(parser.getNodes().at(0));
    EXPECT_EQ(start.getCreateCertificate(), "a");
    EXPECT_EQ(start.getPickUpCertificate(), "b");
    EXPECT_EQ(start.getKind(), KindStart);
}

TEST(ParserTest, StartNodeDropsTheNodeThatFollowsAndIgnoresTheRest) {
    mtGParser parser;
    ASSERT_TRUE(
        parser.parse("<!-- ???\nReturn\nRenewCertificate=r\nParam1=dropped\nAction=ignored\n-->"));
    const auto nodes = parser.getNodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(as<StartNode>(nodes[0]).getRenewCertificate(), "r");
}

TEST(ParserTest, PagesWithoutAMarkedBlockGiveNothing) {
    mtGParser parser;
    EXPECT_FALSE(parser.parse("<html><!-- an ordinary comment --><!--???\nReturn=x\n--></html>"));
    EXPECT_TRUE(parser.getNodes().empty());
    EXPECT_FALSE(parser.parse("<!-- ???")) << "nothing beyond the opener";
    EXPECT_FALSE(
        parser.parse("<!-- ???"
                     "-->"))
        << "an empty block";
    EXPECT_FALSE(parser.parse("<!-- ???\nReturn=R\n")) << "a block without its end";
    EXPECT_TRUE(parser.parse("<!-- note --> <!-- !!!\nAction=a\n-->"));
}

TEST(ParserTest, BlocksGiveRootsInPageOrderAndAnUnterminatedOneIsIgnored) {
    mtGParser parser;
    ASSERT_TRUE(
        parser.parse("<!-- ???\nReturn=one\n--><p><!-- ???\nAction=two\n-->"
                     "<!-- ???\nReturn=three\n"));
    const auto nodes = parser.getNodes();
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(as<ReturnNode>(nodes[0]).getName(), "one");
    EXPECT_EQ(as<ActionNode>(nodes[1]).getAction(), "two");
}

TEST(ParserTest, BlockStartingWithAnotherKeyIsAnUnknownNode) {
    TraceCapture capture;
    mtGParser parser;
    EXPECT_FALSE(parser.parse("<!-- ???\nStatus=0\n-->"));
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"TSR mtGParser(239): unknown node\r\n"});
}

TEST(ParserTest, UnknownKeyEndsTheBlockButKeepsWhatCameBefore) {
    TraceCapture capture;
    mtGParser parser;
    // After a bare key the next line is read as a key, not as a continuation of a value.
    EXPECT_TRUE(
        parser.parse("<!-- ???\nReturn=R\nParam1=p\nValue1=v\nParam2\nFoo=bar\n"
                     "Param3=q\n-->\n<!-- ???\nAction=A\n-->"));
    // The word is read as a key, given back, and read again by the node factory.
    const std::vector<std::string> expected{"TSR mtGScanner(258): unknown token: Foo\r\n",
                                            "TSR mtGScanner(258): unknown token: Foo\r\n",
                                            "TSR mtGParser(239): unknown node\r\n"};
    EXPECT_EQ(capture.lines(), expected);
    const auto nodes = parser.getNodes();
    ASSERT_EQ(nodes.size(), 2u);
    const auto children = nodes[0]->getChildren();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(as<ParameterNode>(children[0]).getValue(), "v");
    EXPECT_EQ(as<ParameterNode>(children[1]).getName(), "");
}

TEST(ParserTest, ParameterRootKeepsOnlyItsFirstGroup) {
    mtGParser parser;
    ASSERT_TRUE(parser.parse("<!-- ???\nParam1=a\nValue1=1\nParam2=b\nValue2=2\n-->"));
    const auto nodes = parser.getNodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(as<ParameterNode>(nodes[0]).getName(), "a");
    EXPECT_TRUE(nodes[0]->getChildren().empty());
}

TEST(ParserTest, ParameterGroupsFollowTheReturnInOrder) {
    mtGParser parser;
    ASSERT_TRUE(parser.parse("<!-- ???\nReturn=R\nParam1=a\nParam2=b\nValue2=2\n-->"));
    const auto children = parser.getNodes()[0]->getChildren();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(as<ParameterNode>(children[0]).getName(), "a");
    EXPECT_EQ(as<ParameterNode>(children[1]).getName(), "b");
    EXPECT_EQ(as<ParameterNode>(children[1]).getValue(), "2");
}

TEST(ParserTest, ParsingAgainReplacesThePreviousNodes) {
    mtGParser parser;
    ASSERT_TRUE(parser.parse("<!-- ???\nReturn=first\n--><!-- ???\nReturn=second\n-->"));
    ASSERT_TRUE(parser.parse("<!-- ???\nAction=third\n-->"));
    ASSERT_EQ(parser.getNodes().size(), 1u);
    EXPECT_EQ(as<ActionNode>(parser.getNodes()[0]).getAction(), "third");
    parser.clear();
    EXPECT_TRUE(parser.getNodes().empty());
}

// A scanner whose input broke: nothing can be read from it.
class BrokenScanner : public Scanner {
public:
    int nextToken(std::string& text) override {
        text.clear();
        return TokEnd;
    }
    bool pushBack(int, const std::string&) override { return true; }
    bool isEOF() override { return false; }
    bool isBad() override { return true; }
};

TEST(ParserTest, BrokenScannerIsTracedAndGivesNoRoot) {
    TraceCapture capture;
    BrokenScanner scanner;
    EXPECT_EQ(mtGParser::parseBlock(scanner), nullptr);
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"TSR mtGParser(151): scanner failed\r\n"});
    EXPECT_TRUE(ReturnNode().parse(&scanner)) << "a node reads nothing from a broken scanner";
}

TEST(ParserTest, BlockExtractionReportsWhereToGoOn) {
    std::string_view block;
    const std::string page = "xx<!-- ???\nA\n-->yy";
    const auto next = mtGParser::extractBlock(page, 0, block);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(block, "\nA\n");
    EXPECT_EQ(page[*next], '>');
    EXPECT_FALSE(mtGParser::extractBlock(page, *next, block).has_value());
    EXPECT_FALSE(mtGParser::extractBlock("<!-- !!!unterminated", 0, block).has_value());
    EXPECT_EQ(block, "unterminated");
}

}  // namespace
