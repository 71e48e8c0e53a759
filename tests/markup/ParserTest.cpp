// The answer-page markup: the scanner's tokens, the nodes they make and the parser's roots.
#include "markup/mtGParser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "markup/Tokens.h"
#include "markup/mtGScanner.h"
#include "support/TraceCapture.h"

namespace {

using Tokens = std::vector<std::pair<int, std::string>>;

std::string unknownToken(const std::string& word) {
    return "TSR mtGScanner(258): unknown token: " + word + "\r\n";
}
const std::string kUnknownNode = "TSR mtGParser(239): unknown node\r\n";

// A node and its children on one line, by kind: R(name|status|message), P(name|type|value),
// A(action|URL|POST or GET), S(create|pick up|renew|revoke|CRL|check); the children in {}.
std::string describe(const Node* node) {
    if (node == nullptr) return "";
    std::vector<std::string> fields;
    if (const auto* n = dynamic_cast<const ReturnNode*>(node))
        fields = {n->getName(), std::to_string(n->getStatus()), n->getErrorMessage()};
    if (const auto* n = dynamic_cast<const ParameterNode*>(node))
        fields = {n->getName(), std::to_string(n->getType()), n->getValue()};
    if (const auto* n = dynamic_cast<const ActionNode*>(node))
        fields = {n->getAction(), n->getURL(), n->getPost() ? "POST" : "GET"};
    if (const auto* n = dynamic_cast<const StartNode*>(node))
        fields = {n->getCreateCertificate(), n->getPickUpCertificate(), n->getRenewCertificate(),
                  n->getRevokeCertificate(), n->getCRLDownload(),       n->getCheckCertificate()};
    std::string text(1, "RPAS"[node->getKind()]);
    for (std::size_t i = 0; i < fields.size(); ++i) text += (i == 0 ? "(" : "|") + fields[i];
    const auto children = node->getChildren();
    for (std::size_t i = 0; i < children.size(); ++i)
        text += (i == 0 ? "){" : ",") + describe(children[i]);
    return text + (children.empty() ? ")" : "}");
}

// Each row's given-back tokens are pushed in order before its input is read. The scanner must
// then stay at its end until a token is given back.
TEST(ScannerTest, GivenBackTokensComeFirstAndTheEndStays) {
    const struct {
        const char* name;
        std::string_view input;
        Tokens expected;  // before the first TokEnd
        Tokens givenBack = {};
    } rows[] = {
        {"EmptyBlockEndsAtOnce", "", {}},
        {"GivenBackTokensReturnLastFirstBeforeTheStream",
         "Action",
         {{TokStatus, "status"}, {TokEquals, "="}, {TokText, "kept value"}, {TokAction, "Action"}},
         {{TokText, "kept value"}, {TokEquals, "="}, {TokWord, "status"}}},
        {"GivenBackEqualsTurnsValueModeOnAgain",
         "Param1 = two words\n",
         {{TokEquals, "="}, {TokText, "Param1 = two words"}, {TokNewLine, "\n"}},
         {{TokEquals, "="}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TraceCapture capture;
        mtGScanner scanner(row.input);
        EXPECT_EQ(scanner.remainingInput(), row.input.size());
        for (const auto& [code, text] : row.givenBack) scanner.pushBack(code, text);
        EXPECT_FALSE(scanner.isEOF()) << "the end is noticed by the read that finds nothing";
        Tokens tokens;
        std::string text;
        do {
            text = "stale";
            tokens.emplace_back(scanner.nextToken(text), text);
        } while (tokens.back().first != TokEnd && tokens.size() < 20);
        Tokens expected = row.expected;
        expected.emplace_back(TokEnd, "");
        EXPECT_EQ(tokens, expected);
        EXPECT_TRUE(capture.lines().empty());
        EXPECT_TRUE(scanner.isEOF());
        EXPECT_EQ(scanner.nextToken(text), TokEnd);
        EXPECT_EQ(scanner.remainingInput(), 0u);
        EXPECT_FALSE(scanner.isBad());
        scanner.pushBack(TokNewLine, "\n");
        EXPECT_FALSE(scanner.isEOF()) << "a given-back token is still to come";
    }
    mtGScanner scanner("Method=POST");
    std::string text;
    for (const int code : {TokMethod, TokEquals, TokText}) EXPECT_EQ(scanner.nextToken(text), code);
    EXPECT_TRUE(scanner.isEOF()) << "the last token without a line end ends the input";
}

struct Row {
    const char* name;
    std::string input;
    std::string tree;  // the roots described, separated by blanks
    std::vector<std::string> traces = {};
};

// One parser reads every page in turn: each parse replaces the roots of the one before, and
// succeeds when it finds roots.
TEST(ParserTest, PagesGiveTheRootsOfTheirMarkedBlocksInOrder) {
    const Row rows[] = {
        {"AnswerPageGivesAReturnNodeWithItsParameter",
         "<html><body><p>Issued</p>\n<!-- ???\nReturn=R1\nStatus=100\nParam1=cert\nType1=PKCS#7\n"
         "Value1=AAAA\nBBBB\n-->\n</body></html>",
         "R(R1|100|){P(cert|5|AAAA\r\nBBBB)}",
         {unknownToken("BBBB")}},
        {"StartPageGivesAStartNode",
         "<!-- !!!\nReturn\ncreatecertficate=a\nPickUpCertificate=b\n-->", "S(a|b||||)"},
        {"StartNodeDropsTheNodeThatFollowsAndIgnoresTheRest",
         "<!-- ???\nReturn\nRenewCertificate=r\nParam1=dropped\nAction=ignored\n-->", "S(||r|||)"},
        {"OrdinaryCommentsAreSkipped", "<!-- note --> <!-- !!!\nAction=a\n-->", "A(a||POST)"},
        {"UnterminatedBlockIsIgnored",
         "<!-- ???\nReturn=one\n--><p><!-- ???\nAction=two\n--><!-- ???\nReturn=three\n",
         "R(one|100|) A(two||POST)"},
        {"NoMarkedBlock", "<html><!-- an ordinary comment --><!--???\nReturn=x\n--></html>", ""},
        {"NothingBeyondTheOpener", "<!-- ???", ""},
        {"EmptyBlock",
         "<!-- ???"
         "-->",
         ""},
        {"BlockWithoutItsEnd", "<!-- ???\nReturn=R\n", ""},
        {"BlockStartingWithAnotherKeyIsAnUnknownNode",
         "<!-- ???\nStatus=0\n-->",
         "",
         {kUnknownNode}},
        // After a bare key the next line is a key, not a value's continuation; the unknown word
        // is read as a key, given back and read again by the node factory.
        {"UnknownKeyEndsTheBlockButKeepsWhatCameBefore",
         "<!-- ???\nReturn=R\nParam1=p\nValue1=v\nParam2\nFoo=bar\nParam3=q\n-->\n"
         "<!-- ???\nAction=A\n-->",
         "R(R|100|){P(p|0|v),P(|0|)} A(A||POST)",
         {unknownToken("Foo"), unknownToken("Foo"), kUnknownNode}},
        {"ParameterRootKeepsOnlyItsFirstGroup",
         "<!-- ???\nParam1=a\nValue1=1\nParam2=b\nValue2=2\n-->", "P(a|0|1)"},
        {"ParameterGroupsFollowTheReturnInOrder",
         "<!-- ???\nReturn=R\nParam1=a\nParam2=b\nValue2=2\n-->", "R(R|100|){P(a|0|),P(b|0|2)}"},
    };
    mtGParser parser;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TraceCapture capture;
        EXPECT_EQ(parser.parse(row.input), !row.tree.empty());
        std::string tree;
        for (const Node* root : parser.getNodes())
            tree += (tree.empty() ? "" : " ") + describe(root);
        EXPECT_EQ(tree, row.tree);
        EXPECT_EQ(capture.lines(), row.traces);
    }
    parser.clear();
    EXPECT_TRUE(parser.getNodes().empty());
}

// The root of each block; its clone must show the same tree once the original is gone.
TEST(NodeTest, BlocksGiveTheirTree) {
    const Row rows[] = {
        {"StatusDefaultsTo100", "Return=R", "R(R|100|)"},
        {"StatusIsReadLikeAtoi", "Return=R\nStatus=abc", "R(R|0|)"},
        {"StatusStopsAtItsFirstNonDigit", "Return=R\nStatus = -42abc", "R(R|-42|)"},
        {"StatusSaturatesAbove", "Return=R\nStatus=99999999999", "R(R|2147483647|)"},
        {"StatusSaturatesBelow", "Return=R\nStatus=-99999999999", "R(R|-2147483648|)"},
        {"BlankErrorMessageIsNone", "Return=R\nErrorMessage=  \t\n", "R(R|100|)"},
        {"RepeatedReturnLineStartsAChildOfTheFirstReturn",
         "Return=first\nStatus=1\nReturn=second\nStatus=2", "R(first|1|){R(second|2|)}"},
        {"MultiLineValuesAreJoinedWithCrLfAndTrimmedPerLine",
         "Return=R\nParam1=p\nValue1= AAAA \n  BB=CC  \r\n\nDDDD \t\n",
         "R(R|100|){P(p|0|AAAA\r\nBB=CC\r\nDDDD)}",
         {unknownToken("BB"), unknownToken("DDDD")}},
        {"ValueStartingOnTheNextLineBeginsWithCrLf",
         "Value1=\nMIIB\n=A\xFF\n",
         "P(|0|\r\nMIIB\r\n=A\xFF)",
         {unknownToken("MIIB"), unknownToken("")}},
        {"ContinuationLineBeginningWithAKeywordEndsTheValue",
         "Return=R\nParam1=p\nValue1=AAAA\nurlBBBB\n",
         "R(R|100|){P(p|0|AAAA)}",
         {kUnknownNode}},
        {"ParameterTypesAreMatchedIgnoringCase", "Type1=pkcs#7", "P(|5|)"},
        {"X509Type", "Type1=x.509", "P(|6|)"},
        {"UnknownTypeIsNone", "Type1=DER", "P(|0|)"},
        {"MethodIsPostUnlessAnotherIsNamed", "Action=a\nMethod=post", "A(a||POST)"},
        {"EmptyValueAndLoneCarriageReturnsEndALine",
         "Action=\rMethod=get\r\n\r\n\nURL=u\rX",
         "A(|u\r\nX|GET)",
         {unknownToken("X")}},
        {"MethodGet", "Action=a\nURL=https://ca/x?y=1\nMethod=get", "A(a|https://ca/x?y=1|GET)"},
        {"ActionKeepsItsParameters", "Action=a\nParam1=x\nParam2=y", "A(a||POST){P(x|0|),P(y|0|)}"},
        // The keys a start node takes but does not keep come first: refusing one would end it.
        {"StartNodeKeepsItsAddresses",
         "Return\nAcceptDTRoot=1\nReonholdCertificate=o\nLDAPSearch=l\nPickUpCertificate=\n"
         "RevokeCertificate=v\nCRLDownload=c\nCheckCertificate=k",
         "S(|||v|c|k)"},
        {"OnlyTheServersOwnSpellingIsAKey",
         "Return\nCreateCertificate=x",
         "S(|||||)",
         {unknownToken("CreateCertificate"), unknownToken("CreateCertificate"), kUnknownNode}},
        {"CloneIsDeep", "Return=R\nStatus=7\nParam1=a\nValue1=1\nParam2=b\nParam3=c\nType3=BOOL",
         "R(R|7|){P(a|0|1),P(b|0|),P(c|2|)}"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TraceCapture capture;
        mtGScanner scanner(row.input);
        std::unique_ptr<Node> root(mtGParser::parseBlock(scanner));
        EXPECT_EQ(describe(root.get()), row.tree);
        EXPECT_EQ(capture.lines(), row.traces);
        ASSERT_TRUE(root);
        std::unique_ptr<Node> copy(root->clone());
        root.reset();
        EXPECT_EQ(describe(copy.get()), row.tree);
    }
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
    mtGScanner scanner(block);
    const std::unique_ptr<Node> root(mtGParser::parseBlock(scanner));
    g_lTraceLevel = 7;
    EXPECT_EQ(dynamic_cast<const ParameterNode&>(*root).value(), expected);
}

// Each kind takes its own keys, each once; a key outside the kind is traced and refused, but a
// missing value is never stored. Only outcomes and actions have children.
TEST(NodeTest, KeysAreTakenOnceAndOnlyIfAccepted) {
    ParameterNode parameter;
    StartNode start;
    ReturnNode outcome;
    ActionNode action;
    EXPECT_TRUE(parameter.accepts(TokParam));
    EXPECT_FALSE(parameter.accepts(TokParam)) << "a second Param starts the next group";
    EXPECT_FALSE(parameter.accepts(TokStatus));
    EXPECT_FALSE(parameter.accepts(TokNewLine));
    EXPECT_FALSE(std::unique_ptr<Node>(parameter.clone())->accepts(TokParam)) << "copied too";
    std::string name = "kept";
    EXPECT_TRUE(parameter.setAttribute(TokParam, &name));
    const struct {
        Node* node;
        int token;
        const char* trace;
    } rows[] = {{&parameter, TokURL, "TMR mtGNodes(420): invalid token (32): x\r\n"},
                {&start, TokStatus, "TMR mtGNodes(288): invalid token (4): x\r\n"},
                {&outcome, TokParam, "TMR mtGNodes(725): invalid token (256): x\r\n"},
                {&action, TokReturn, "TMR mtGNodes(897): invalid token (2): x\r\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.trace);
        const TraceCapture capture;
        std::string value = "x";
        EXPECT_TRUE(row.node->setAttribute(TokParam, nullptr));
        EXPECT_FALSE(row.node->setAttribute(row.token, &value));
        EXPECT_EQ(capture.lines(), std::vector<std::string>{row.trace});
    }
    EXPECT_EQ(parameter.getName(), "kept");
    EXPECT_FALSE(parameter.addChild(&action));
    EXPECT_FALSE(start.addChild(&action));
    EXPECT_FALSE(outcome.addChild(nullptr));
}

// A scanner whose input broke: nothing can be read from it.
struct BrokenScanner : Scanner {
    int nextToken(std::string&) override { return TokEnd; }
    bool pushBack(int, const std::string&) override { return true; }
    bool isEOF() override { return false; }
    bool isBad() override { return true; }
};

TEST(NodeTest, NothingIsReadFromANullOrBrokenScanner) {
    const TraceCapture capture;
    BrokenScanner broken;
    EXPECT_EQ(mtGParser::parseBlock(broken), nullptr);
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"TSR mtGParser(151): scanner failed\r\n"});
    EXPECT_TRUE(ReturnNode().parse(&broken)) << "a node reads nothing from a broken scanner";
    EXPECT_FALSE(ReturnNode().readValue(TokReturn, &broken));
    EXPECT_FALSE(ReturnNode().parse(nullptr));
    EXPECT_FALSE(ReturnNode().readValue(TokReturn, nullptr));
    mtGScanner empty("");
    std::string text;
    empty.nextToken(text);
    EXPECT_FALSE(ReturnNode().readValue(TokReturn, &empty)) << "nothing left to read";
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
