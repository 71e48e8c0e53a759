#include "markup/mtGNodes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "markup/Tokens.h"
#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "support/TraceCapture.h"

namespace {

// The root of a block given as its lines.
std::unique_ptr<Node> rootOf(std::string_view block) {
    mtGScanner scanner(block);
    return std::unique_ptr<Node>(mtGParser::parseBlock(scanner));
}

template <class Kind>
const Kind& as(const Node* node) {
    return dynamic_cast<const Kind&>(*node);
}

TEST(NodeTest, StatusDefaultsTo100AndIsReadLikeAtoi) {
    EXPECT_EQ(as<ReturnNode>(rootOf("Return=R").get()).getStatus(), 100);
    EXPECT_EQ(as<ReturnNode>(rootOf("Return=R\nStatus=abc").get()).getStatus(), 0);
    EXPECT_EQ(as<ReturnNode>(rootOf("Return=R\nStatus= -42abc").get()).getStatus(), -42);
    EXPECT_EQ(as<ReturnNode>(rootOf("Return=R\nStatus=99999999999").get()).getStatus(), 2147483647);
}

TEST(NodeTest, MultiLineValuesAreJoinedWithCrLfAndTrimmedPerLine) {
    g_lTraceLevel = 0;
    const auto root = rootOf("Return=R\nParam1=p\nValue1= AAAA \n  BB=CC  \r\n\nDDDD \t\n");
    g_lTraceLevel = 7;
    const auto children = root->getChildren();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(as<ParameterNode>(children[0]).getValue(), "AAAA\r\nBB=CC\r\nDDDD");
}

TEST(NodeTest, LargeValuesKeepEveryLine) {
    std::string block = "Value1=first\n";
    std::string expected = "first";
    for (int line = 0; line < 4000; ++line) {
        const std::string text = "0123456789+/" + std::to_string(line) + std::string(50, 'x');
        block += text + "\n";
        expected += "\r\n" + text;
    }
    g_lTraceLevel = 0;
    const auto root = rootOf(block);
    g_lTraceLevel = 7;
    EXPECT_EQ(as<ParameterNode>(root.get()).value(), expected);
}

TEST(NodeTest, ValueStartingOnTheNextLineBeginsWithCrLf) {
    g_lTraceLevel = 0;
    const auto root = rootOf("Value1=\nMIIB\nAAAA\n");
    g_lTraceLevel = 7;
    EXPECT_EQ(as<ParameterNode>(root.get()).getValue(), "\r\nMIIB\r\nAAAA");
}

TEST(NodeTest, ContinuationLineBeginningWithAKeywordEndsTheValue) {
    g_lTraceLevel = 0;
    const auto root = rootOf("Return=R\nParam1=p\nValue1=AAAA\nurlBBBB\n");
    g_lTraceLevel = 7;
    const auto children = root->getChildren();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(as<ParameterNode>(children[0]).getValue(), "AAAA");
}

TEST(NodeTest, ParameterTypesAreMatchedIgnoringCase) {
    EXPECT_EQ(as<ParameterNode>(rootOf("Type1=pkcs#7").get()).getType(), ParamTypePKCS7);
    EXPECT_EQ(as<ParameterNode>(rootOf("Type1=x.509").get()).getType(), ParamTypeX509);
    EXPECT_EQ(as<ParameterNode>(rootOf("Type1=DER").get()).getType(), ParamTypeNone);
}

TEST(NodeTest, MethodIsPostUnlessAnotherIsNamed) {
    EXPECT_TRUE(as<ActionNode>(rootOf("Action=a\nURL=u").get()).getPost());
    EXPECT_TRUE(as<ActionNode>(rootOf("Action=a\nMethod=post").get()).getPost());
    const auto get = rootOf("Action=a\nURL=https://ca/x?y=1\nMethod=get");
    EXPECT_FALSE(as<ActionNode>(get.get()).getPost());
    EXPECT_EQ(as<ActionNode>(get.get()).getURL(), "https://ca/x?y=1");
}

TEST(NodeTest, RepeatedReturnLineStartsAChildOfTheFirstReturn) {
    const auto root = rootOf("Return=first\nStatus=1\nReturn=second\nStatus=2");
    const auto children = root->getChildren();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(as<ReturnNode>(root.get()).getName(), "first");
    EXPECT_EQ(as<ReturnNode>(children[0]).getName(), "second");
    EXPECT_EQ(as<ReturnNode>(children[0]).getStatus(), 2);
}

TEST(NodeTest, EmptyValueNeverOverwrites) {
    ParameterNode parameter;
    std::string name = "kept";
    EXPECT_TRUE(parameter.setAttribute(TokParam, &name));
    EXPECT_TRUE(parameter.setAttribute(TokParam, nullptr));
    EXPECT_EQ(parameter.getName(), "kept");
    const auto root = rootOf("Return=R\nErrorMessage=  \t\n");
    EXPECT_EQ(as<ReturnNode>(root.get()).getErrorMessage(), "");
}

TEST(NodeTest, KeyOutsideTheClassIsTracedAndRefused) {
    TraceCapture capture;
    std::string value = "x";
    EXPECT_FALSE(ParameterNode().setAttribute(TokURL, &value));
    EXPECT_FALSE(StartNode().setAttribute(TokStatus, &value));
    EXPECT_FALSE(ReturnNode().setAttribute(TokParam, &value));
    EXPECT_FALSE(ActionNode().setAttribute(TokReturn, &value));
    const std::vector<std::string> expected{"TMR mtGNodes(420): invalid token (32): x\r\n",
                                            "TMR mtGNodes(288): invalid token (4): x\r\n",
                                            "TMR mtGNodes(725): invalid token (256): x\r\n",
                                            "TMR mtGNodes(897): invalid token (2): x\r\n"};
    EXPECT_EQ(capture.lines(), expected);
}

TEST(NodeTest, KeysAreTakenOnceAndOnlyIfAccepted) {
    ParameterNode parameter;
    EXPECT_TRUE(parameter.accepts(TokParam));
    EXPECT_FALSE(parameter.accepts(TokParam)) << "a second Param starts the next group";
    EXPECT_FALSE(parameter.accepts(TokStatus));
    EXPECT_FALSE(parameter.accepts(TokNewLine));
}

TEST(NodeTest, LeavesHaveNoChildren) {
    ParameterNode parameter;
    StartNode start;
    ParameterNode child;
    EXPECT_FALSE(parameter.addChild(&child));
    EXPECT_FALSE(start.addChild(&child));
    EXPECT_TRUE(parameter.getChildren().empty());
    EXPECT_TRUE(start.getChildren().empty());
    EXPECT_FALSE(ReturnNode().addChild(nullptr));
}

TEST(NodeTest, CloneIsDeepAndIndependent) {
    auto root = rootOf("Return=R\nStatus=7\nParam1=a\nValue1=1\nParam2=b\nParam3=c\nType3=BOOL");
    std::unique_ptr<Node> copy(root->clone());
    const auto originals = root->getChildren();
    root.reset();
    const auto children = copy->getChildren();
    ASSERT_EQ(children.size(), 3u);
    EXPECT_NE(children[0], originals[0]);
    EXPECT_EQ(as<ReturnNode>(copy.get()).getStatus(), 7);
    EXPECT_EQ(as<ParameterNode>(children[0]).getValue(), "1");
    EXPECT_EQ(as<ParameterNode>(children[2]).getName(), "c");
    EXPECT_EQ(as<ParameterNode>(children[2]).getType(), ParamTypeBool);
    std::unique_ptr<Node> copyOfLeaf(children[1]->clone());
    EXPECT_FALSE(copyOfLeaf->accepts(TokParam)) << "the keys taken are copied too";
}

TEST(NodeTest, ParseOfANullScannerFails) {
    EXPECT_FALSE(ReturnNode().parse(nullptr));
    EXPECT_FALSE(ReturnNode().readValue(TokReturn, nullptr));
    mtGScanner empty("");
    std::string text;
    empty.nextToken(text);
    EXPECT_FALSE(ReturnNode().readValue(TokReturn, &empty)) << "nothing left to read";
}

}  // namespace
