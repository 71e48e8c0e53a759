// The answer-page markup: scanner, nodes, parser, and the node objects scripts see.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Utility/ExceptionBase.h"
#include "inproc/ModuleLock.h"
#include "markup/Tokens.h"
#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "markup/velNode.h"
#include "markup/velNodeEnumerator.h"
#include "support/TraceCapture.h"
#include "text/AnsiText.h"

namespace {

// The trace lines joined by blanks; "?word" for the scanner's unknown token, "!" for unknown node.
std::string traced(const TraceCapture& capture) {
    const std::string unknown = "TSR mtGScanner(258): unknown token: ";
    std::string all;
    for (std::string line : capture.lines()) {
        if (line == "TSR mtGParser(239): unknown node\r\n") line = "!";
        if (line.starts_with(unknown) && line.ends_with("\r\n"))
            line = "?" + line.substr(unknown.size(), line.size() - unknown.size() - 2);
        all += (all.empty() ? "" : " ") + line;
    }
    return all;
}

std::unique_ptr<Node> rootOf(std::string_view block) {
    mtGScanner scanner(block);
    return std::unique_ptr<Node>(mtGParser::parseBlock(scanner));
}

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

// The given-back tokens are pushed in order before the input is read; the end stays until one is.
TEST(ScannerTest, GivenBackTokensComeFirstAndTheEndStays) {
    using Tokens = std::vector<std::pair<int, std::string>>;
    // Name, input, the tokens before the first TokEnd, the tokens given back.
    const std::tuple<const char*, std::string_view, Tokens, Tokens> rows[] = {
        {"EmptyBlockEndsAtOnce", "", {}, {}},
        {"GivenBackTokensReturnLastFirstBeforeTheStream",
         "Action",
         {{TokStatus, "status"}, {TokEquals, "="}, {TokText, "kept value"}, {TokAction, "Action"}},
         {{TokText, "kept value"}, {TokEquals, "="}, {TokWord, "status"}}},
        {"GivenBackEqualsTurnsValueModeOnAgain",
         "Param1 = two words\n",
         {{TokEquals, "="}, {TokText, "Param1 = two words"}, {TokNewLine, "\n"}},
         {{TokEquals, "="}}},
    };
    for (const auto& [name, input, before, givenBack] : rows) {
        SCOPED_TRACE(name);
        const TraceCapture capture;
        mtGScanner scanner(input);
        EXPECT_EQ(scanner.remainingInput(), input.size());
        for (const auto& [code, text] : givenBack) scanner.pushBack(code, text);
        EXPECT_FALSE(scanner.isEOF()) << "the end is noticed by the read that finds nothing";
        Tokens tokens;
        std::string text;
        do {
            text = "stale";
            tokens.emplace_back(scanner.nextToken(text), text);
        } while (tokens.back().first != TokEnd && tokens.size() < 20);
        Tokens expected = before;
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
    std::string traces = "";
};

// Pages ("<...") go through one parser, each parse replacing the roots before; other input is one
// block, whose root's clone must show the same tree once the original is gone.
TEST(ParserTest, PagesGiveTheRootsOfTheirMarkedBlocksInOrderAndBlocksTheirTree) {
    const auto repeated = [](std::string_view text, int times, std::string_view between = "") {
        std::string result;
        for (int i = 0; i < times; ++i) result.append(i == 0 ? "" : between).append(text);
        return result;
    };
    const Row rows[] = {
        {"AnswerPageGivesAReturnNodeWithItsParameter",
         "<html><body><p>Issued</p>\n<!-- ???\nReturn=R1\nStatus=100\nParam1=cert\nType1=PKCS#7\n"
         "Value1=AAAA\nBBBB\nCCCC\n-->\n</body></html>",
         "R(R1|100|){P(cert|5|AAAA\r\nBBBB\r\nCCCC)}", "?BBBB ?CCCC"},
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
        {"EmptyBlock", "<!-- ??\?-->", ""},
        {"BlockStartingWithAnotherKeyIsAnUnknownNode", "<!-- ???\nStatus=0\n-->", "", "!"},
        // After a bare key the next line is a key; the unknown one is read, given back, read again.
        {"UnknownKeyEndsTheBlockButKeepsWhatCameBefore",
         "<!-- ???\nReturn=R\nParam1=p\nValue1=v\nParam2\nFoo=bar\nParam3=q\n-->\n"
         "<!-- ???\nAction=A\n-->",
         "R(R|100|){P(p|0|v),P(|0|)} A(A||POST)", "?Foo ?Foo !"},
        {"OneGroupOnly", "<!-- ???\nParam1=a\nValue1=1\nParam2=b\nValue2=2\n-->", "P(a|0|1)"},
        {"ParameterGroupsFollowTheReturnInOrder",
         "<!-- ???\nReturn=R\nParam1=a\nParam2=b\nValue2=2\n-->", "R(R|100|){P(a|0|),P(b|0|2)}"},
        {"StatusIsReadLikeAtoi", "Return=R\nStatus=abc", "R(R|0|)"},
        {"StatusStopsAtItsFirstNonDigit", "Return=R\nStatus = -42abc", "R(R|-42|)"},
        {"StatusSaturatesAbove", "Return=R\nStatus=99999999999", "R(R|2147483647|)"},
        {"StatusSaturatesBelow", "Return=R\nStatus=-99999999999", "R(R|-2147483648|)"},
        {"BlankErrorMessageIsNone", "Return=R\nErrorMessage=  \t\n", "R(R|100|)"},
        {"RepeatedReturnLineStartsAChildOfTheFirstReturn",
         "Return=first\nStatus=1\nReturn=second\nStatus=2", "R(first|1|){R(second|2|)}"},
        {"MultiLineValuesAreJoinedWithCrLfAndTrimmedPerLine",
         "Return=R\nParam1=p\nValue1= AAAA \n  BB=CC  \r\n\nDDDD \t\n",
         "R(R|100|){P(p|0|AAAA\r\nBB=CC\r\nDDDD)}", "?BB ?DDDD"},
        // The second line is as many bytes long as the first, but fewer characters.
        {"ValueOnTheNextLine", "Value1=\nMIIB\n\xC3\xA4\x42\x43\n=A\xFF\n",
         "P(|0|\r\nMIIB\r\n\xC3\xA4\x42\x43\r\n=A\xFF)", "?MIIB ?\xC3\xA4\x42\x43 ?"},
        {"ValueOfManyLinesIsJoinedAsTheyAreRead",
         "Value1=v" + repeated("\n w = x", 40) + "\nType1=BOOL",
         "P(|2|v" + repeated("\r\nw=x", 40) + ")", repeated("?w", 40, " ")},
        {"ContinuationLineBeginningWithAKeywordEndsTheValue",
         "Return=R\nParam1=p\nValue1=AAAA\nurlBBBB\n", "R(R|100|){P(p|0|AAAA)}", "!"},
        {"ParameterTypesAreMatchedIgnoringCase", "Type1=x.509", "P(|6|)"},
        {"UnknownTypeIsNone", "Type1=DER", "P(|0|)"},
        {"MethodIsPostUnlessAnotherIsNamed", "Action=a\nMethod=post", "A(a||POST)"},
        {"LoneCrEndsALine", "Action=\rMethod=get\r\n\r\n\nURL=u\rX", "A(|u\r\nX|GET)", "?X"},
        {"MethodGet", "Action=a\nURL=https://ca/x?y=1\nMethod=get", "A(a|https://ca/x?y=1|GET)"},
        // The keys a start node takes but does not keep come first: refusing one would end it.
        {"StartNodeKeepsItsAddresses",
         "Return\nAcceptDTRoot=1\nReonholdCertificate=o\nLDAPSearch=l\nPickUpCertificate=\n"
         "RevokeCertificate=v\nCRLDownload=c\nCheckCertificate=k",
         "S(|||v|c|k)"},
        {"OnlyTheServersOwnSpellingIsAKey", "Return\nCreateCertificate=x", "S(|||||)",
         "?CreateCertificate ?CreateCertificate !"},
        {"CloneIsDeep", "Return=R\nStatus=7\nParam1=a\nValue1=1\nParam2=b\nParam3=c\nType3=BOOL",
         "R(R|7|){P(a|0|1),P(b|0|),P(c|2|)}"},
    };
    mtGParser parser;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TraceCapture capture;
        std::string tree;
        if (row.input.starts_with('<')) {
            EXPECT_EQ(parser.parse(row.input), !row.tree.empty());
            for (const Node* root : parser.getNodes())
                tree += (tree.empty() ? "" : " ") + describe(root);
        } else {
            auto root = rootOf(row.input);
            ASSERT_TRUE(root);
            const std::unique_ptr<Node> copy(root->clone());
            tree = describe(root.get());
            root.reset();
            EXPECT_EQ(describe(copy.get()), row.tree) << "the clone";
        }
        EXPECT_EQ(tree, row.tree);
        EXPECT_EQ(traced(capture), row.traces);
    }
    parser.clear();
    EXPECT_TRUE(parser.getNodes().empty());

    std::string_view block;
    const std::string page = "xx<!-- ???\nA\n-->yy";
    EXPECT_EQ(mtGParser::extractBlock(page, 0, block), page.rfind('>')) << "where the next may be";
    EXPECT_EQ(block, "\nA\n");
    EXPECT_FALSE(mtGParser::extractBlock(page, page.rfind('>'), block).has_value());
    EXPECT_FALSE(mtGParser::extractBlock("<!-- !!!unterminated", 0, block).has_value());
    EXPECT_EQ(block, "unterminated");
}

TEST(NodeTest, KeysAreTakenOnceAndOnlyIfAccepted) {
    ParameterNode parameter;
    StartNode start;
    ReturnNode outcome;
    ActionNode action;
    EXPECT_TRUE(parameter.accepts(TokParam));
    EXPECT_FALSE(parameter.accepts(TokParam)) << "a second Param starts the next group";
    EXPECT_FALSE(parameter.accepts(TokStatus) || parameter.accepts(TokNewLine));
    EXPECT_FALSE(std::unique_ptr<Node>(parameter.clone())->accepts(TokParam)) << "copied too";
    std::string name = "kept";
    EXPECT_TRUE(parameter.setAttribute(TokParam, &name));
    const std::tuple<Node*, int, const char*> rows[] = {
        {&parameter, TokURL, "TMR mtGNodes(420): invalid token (32): x\r\n"},
        {&start, TokStatus, "TMR mtGNodes(288): invalid token (4): x\r\n"},
        {&outcome, TokParam, "TMR mtGNodes(725): invalid token (256): x\r\n"},
        {&action, TokReturn, "TMR mtGNodes(897): invalid token (2): x\r\n"}};
    for (const auto& [node, token, trace] : rows) {
        SCOPED_TRACE(trace);
        const TraceCapture capture;
        std::string value = "x";
        EXPECT_TRUE(node->setAttribute(TokParam, nullptr));
        EXPECT_FALSE(node->setAttribute(token, &value));
        EXPECT_EQ(traced(capture), trace);
    }
    EXPECT_EQ(parameter.getName(), "kept");
    EXPECT_FALSE(parameter.addChild(&action) || start.addChild(&action) ||
                 outcome.addChild(nullptr));
}

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
    EXPECT_EQ(traced(capture), "TSR mtGParser(151): scanner failed\r\n");
    EXPECT_TRUE(ReturnNode().parse(&broken)) << "a node reads nothing from a broken scanner";
    EXPECT_FALSE(ReturnNode().readValue(TokReturn, &broken));
    EXPECT_FALSE(ReturnNode().parse(nullptr) || ReturnNode().readValue(TokReturn, nullptr));
    mtGScanner empty("");
    std::string text;
    empty.nextToken(text);
    EXPECT_FALSE(ReturnNode().readValue(TokReturn, &empty)) << "nothing left to read";
}

// Throws the fault once set, from clone() and getKind(); shared with the clones, to be set late.
using Fault = std::shared_ptr<std::exception_ptr>;

struct FaultyNode : ReturnNode {
    FaultyNode(Fault shared, std::string name) : fault(std::move(shared)) {
        setAttribute(TokReturn, &name);
    }
    void raise() const {
        if (*fault) std::rethrow_exception(*fault);
    }
    Node* clone() const override { return raise(), new FaultyNode(*this); }
    int getKind() const override { return raise(), ReturnNode::getKind(); }
    Fault fault;
};

// The array Next fills, cleared on every path (VT_EMPTY is zero).
struct Variants {
    VARIANT items[4] = {};
    ~Variants() {
        for (VARIANT& item : items) VariantClear(&item);
    }
};

std::u16string ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Node objects given, each with the name it showed then.
using Kept = std::vector<std::pair<velcom::ComPtr<IvelNode>, std::string>>;

class NodeObjectTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(moduleLockCount(), 0); }
    void TearDown() override { EXPECT_EQ(moduleLockCount(), 0) << "an object is left"; }

    static velcom::ComPtr<IvelNode> nodeObject(const Node* node) {
        velcom::ComPtr<IvelNode> object;
        EXPECT_EQ(CvelNode::create(node, object.put()), S_OK);
        return object;
    }
    static velcom::ComPtr<IvelNodeCollection> collectionOver(const std::vector<Node*>& nodes) {
        velcom::ComPtr<IvelNodeCollection> collection;
        EXPECT_EQ(CvelNodeCollection::create(nodes, collection.put()), S_OK);
        return collection;
    }
    // Script engines ask for the enumerator as a method; only _NewEnum answers that way.
    static velcom::ComPtr<IEnumVARIANT> enumeratorOf(IvelNodeCollection* collection) {
        DISPPARAMS none{};
        velcom::Variant newEnum;
        EXPECT_EQ(collection->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD, &none,
                                     newEnum.put(), nullptr, nullptr),
                  S_OK);
        velcom::ComPtr<IEnumVARIANT> enumerator;
        EXPECT_EQ(V_VT(newEnum.get()) == VT_UNKNOWN
                      ? velcom::ComPtr<IUnknown>(V_UNKNOWN(newEnum.get())).as(enumerator)
                      : E_FAIL,
                  S_OK);
        return enumerator;
    }
    static std::string nameOf(IvelNode* node) {
        velcom::Bstr text;
        EXPECT_EQ(node->get_Name(text.put()), S_OK);
        return toAnsi(text.get());
    }
    // The names of the node objects Next gave, "-" for a null one; the objects are kept.
    static std::string namesIn(const Variants& given, Kept& kept) {
        std::string names;
        for (const VARIANT& item : given.items) {
            if (item.vt == VT_EMPTY) continue;
            EXPECT_EQ(item.vt, VT_DISPATCH);
            velcom::ComPtr<IvelNode> node;
            EXPECT_TRUE(item.pdispVal == nullptr ||
                        velcom::ComPtr<IDispatch>(item.pdispVal).as(node) == S_OK);
            names += (names.empty() ? "" : ",") + (node ? nameOf(node.get()) : "-");
            if (node) kept.emplace_back(node, nameOf(node.get()));
        }
        return names;
    }
    static const void* identityOf(IUnknown* object) {
        velcom::ComPtr<IUnknown> unknown;
        EXPECT_EQ(object->QueryInterface(IID_IUnknown, unknown.putVoid()), S_OK);
        return unknown.get();
    }
    // A failure as a script's error handler sees it: "-" for E_FAIL, any other as its code.
    static std::u16string codeOf(HRESULT result) {
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(result));
        return result == E_FAIL ? u"-" : ascii(code);
    }
    // Name|Type|Count of SubNodes|StringProp|LongProp; a failure leaves the out value null.
    static std::u16string show(IvelNode* node) {
        std::u16string shown;
        const auto read = [&](auto property, auto value, auto toText) {
            const HRESULT result = (node->*property)(&value);
            EXPECT_EQ((node->*property)(nullptr), E_INVALIDARG);
            if constexpr (std::is_pointer_v<decltype(value)>) {
                EXPECT_EQ(value == nullptr, result != S_OK);
            }
            shown += u"|" + (result == S_OK ? toText(value) : codeOf(result));
        };
        const auto number = [](LONG value) { return ascii(std::to_string(value)); };
        const auto text = [](BSTR v) { return std::u16string(velcom::Bstr::attach(v).view()); };
        const auto count = [&](IvelNodeCollection* children) {
            LONG n = -1;
            EXPECT_EQ(velcom::ComPtr<IvelNodeCollection>::attach(children)->get_Count(&n), S_OK);
            return number(n);
        };
        OLECHAR stale[1] = {};
        const auto staleCollection = collectionOver({});
        read(&IvelNode::get_Name, BSTR{stale}, text);
        read(&IvelNode::get_Type, TesseraNTReturn, number);
        read(&IvelNode::get_SubNodes, staleCollection.get(), count);
        read(&IvelNode::get_StringProp, BSTR{stale}, text);
        read(&IvelNode::get_LongProp, LONG{0}, number);
        return shown.substr(1);
    }

    // An outcome with two parameters; the nodes are its parameters with a null between.
    std::unique_ptr<Node> outcome = rootOf(
        "Return=Request\nStatus=42\nErrorMessage=try again\n"
        "Param1=first\nType1=TEXT\nValue1=one\nParam2=second\nType2=PKCS#7\nValue2=two\n");
    std::vector<Node*> nodes{outcome->getChildren()[0], nullptr, outcome->getChildren()[1]};
};

// Each object shows its own copy, from create or setNode: the node is gone before it is read.
TEST_F(NodeObjectTest, PropertiesShowOutcomesAndParametersOnly) {
    const std::pair<const char*, std::u16string> rows[] = {
        {"Return=Request\nStatus=42\nErrorMessage=try again\nParam1=a\nParam2=b\n",
         u"Request|0|2|try again|42"},
        {"Param1=cert\nType1=PKCS#7\nValue1=MIIB\nAAAA\n", u"cert|1|0|MIIB\r\nAAAA|5"},
        {"Return=Gr\xC3\xBC\xC3\x9F\nErrorMessage=\xE2\x82\xAC 5\n",
         u"Gr\u00FC\u00DF|0|0|\u20AC 5|100"},  // from the ANSI code page
        {"Return=R\n", u"R|0|0||100"},
        {"Value1=v\n", u"|1|0|v|0"},
        {"Action=next\nURL=https://ca/next\nParam1=a\nParam2=b\n", u"-|2|2|-|-"},
        {"Return\nCreateCertficate=https://ca/create\n", u"-|3|0|-|-"},
        {nullptr, u"-|-|-|-|-"},
    };
    const auto replaced = nodeObject(nullptr);
    for (const auto& [block, shown] : rows) {
        SCOPED_TRACE(block == nullptr ? "no node" : block);
        auto root = block == nullptr ? nullptr : rootOf(block);
        const auto node = nodeObject(root.get());
        static_cast<CvelNode*>(replaced.get())->setNode(root.get());
        root.reset();
        EXPECT_EQ(show(node.get()), shown);
        EXPECT_EQ(show(replaced.get()), shown) << "after setNode";
    }
}

// Create and set pass a node's exception on; Item, Next (all or nothing) and properties trace it.
TEST_F(NodeObjectTest, FailingNodeGivesItsCodeAndLeavesNothingBehind) {
    // The exception, the code of Item and Next, the properties' result and the trace's text.
    const auto contract = static_cast<HRESULT>(Invariant::kCode);
    const auto thrown = [](auto error) { return std::make_exception_ptr(error); };
    const std::tuple<std::exception_ptr, HRESULT, HRESULT, std::string> rows[] = {
        {thrown(std::bad_alloc()), E_OUTOFMEMORY, E_FAIL, "Exception std::bad_alloc (N)"},
        {thrown(Invariant("F.h", 7)), contract, contract, "Invariant violated(File F.h at Line 7)"},
        {thrown(_com_error(E_ABORT)), E_ABORT, E_ABORT, _com_error(E_ABORT).ErrorMessage()},
        {thrown(std::logic_error("broken")), E_FAIL, E_FAIL, "Exception broken (N)"}};
    for (const auto& [exception, failure, property, trace] : rows) {
        SCOPED_TRACE(trace);
        const auto fault = std::make_shared<std::exception_ptr>();
        FaultyNode faulty(fault, "faulty");
        ASSERT_TRUE(faulty.addChild(new FaultyNode(fault, "child")));
        const auto node = nodeObject(outcome.get());
        const auto collection = collectionOver({nodes[0], &faulty});
        const auto enumerator = enumeratorOf(collection.get());
        const auto shown = nodeObject(&faulty);
        *fault = exception;

        EXPECT_ANY_THROW(static_cast<CvelNode*>(node.get())->setNode(&faulty));
        EXPECT_EQ(nameOf(node.get()), "Request");
        EXPECT_ANY_THROW(static_cast<CvelNodeCollection*>(collection.get())->setNodes({&faulty}));
        IvelNode* made = node.get();
        EXPECT_ANY_THROW(CvelNode::create(&faulty, &made));
        EXPECT_EQ(made, nullptr);
        IvelNodeCollection* madeCollection = collection.get();
        EXPECT_ANY_THROW(CvelNodeCollection::create({&faulty}, &madeCollection));
        EXPECT_EQ(madeCollection, nullptr);
        made = node.get();
        EXPECT_EQ(collection->get_Item(2, &made), failure);
        EXPECT_EQ(made, nullptr);
        Variants items;
        ULONG fetched = 99;
        EXPECT_EQ(enumerator->Next(2, items.items, &fetched), failure);
        EXPECT_EQ(fetched, 0u);
        EXPECT_EQ(items.items[0].vt, VT_EMPTY);
        EXPECT_EQ(moduleLockCount(), 4) << "the object made for the first node is gone";

        const TraceCapture capture;
        const std::u16string code = codeOf(property);
        EXPECT_EQ(show(shown.get()), code + u"|" + code + u"|" + code + u"|" + code + u"|" + code);
        // Up to the error number, which a standard exception's line ends with.
        const auto cut = [](const std::string& line) { return line.substr(0, line.rfind(" (")); };
        std::string lines, expected;
        for (const std::string& line : capture.lines()) lines += cut(line) + "|";
        for (const int line : {131, 162, 194, 232, 270})
            expected += cut("TSR velNode(" + std::to_string(line) + "): " + trace + "\r\n") + "|";
        EXPECT_EQ(lines, expected);

        *fault = nullptr;
        Kept kept;
        EXPECT_EQ(enumerator->Next(2, items.items, &fetched), S_OK) << "the position stayed";
        EXPECT_EQ(namesIn(items, kept), "first,faulty") << "and the collection kept its nodes";
    }
}

#ifndef _WIN32
// A host that knows the members only from type information, in its own locale, reaches them.
TEST_F(NodeObjectTest, NodesAndCollectionsAreCalledThroughTheirTypeInformation) {
    const auto collection = collectionOver(nodes);
    const auto node = nodeObject(outcome.get());
    const std::tuple<IDispatch*, std::u16string, std::u16string> rows[] = {
        {node.get(), u"name", u"Request"},
        {node.get(), u"LONGPROP", u"42"},
        {collection.get(), u"count", u"3"},
    };
    for (const auto& [object, name, value] : rows) {
        SCOPED_TRACE(toAnsi(name.c_str()));
        velcom::ComPtr<ITypeInfo> typeInfo;
        ASSERT_EQ(object->GetTypeInfo(0, 0x407, typeInfo.put()), S_OK);
        auto asked = const_cast<LPOLESTR>(name.c_str());
        MEMBERID id = MEMBERID_NIL;
        ASSERT_EQ(typeInfo->GetIDsOfNames(&asked, 1, &id), S_OK);
        DISPPARAMS none{};
        velcom::Variant result;
        ASSERT_EQ(typeInfo->Invoke(object, id, DISPATCH_PROPERTYGET, &none, result.put(), nullptr,
                                   nullptr),
                  S_OK);
        ASSERT_EQ(VariantChangeType(result.get(), result.get(), 0, VT_BSTR), S_OK);
        EXPECT_EQ(std::u16string(result.get()->bstrVal), value);
        EXPECT_EQ(typeInfo->Invoke(object, id, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND);
    }
}
#endif

TEST_F(NodeObjectTest, EveryObjectKeepsTheRulesOfComObjects) {
    const auto collection = collectionOver(nodes);
    const auto node = nodeObject(outcome.get());
    const auto enumerator = enumeratorOf(collection.get());
    const IID* iids[] = {&IID_IDispatch,    &IID_IvelNode,          &IID_IvelNodeCollection,
                         &IID_IEnumVARIANT, &IID_ISupportErrorInfo, &IID_IvelTesseraProxy};
    // The object, + or - for each of iids, the one interface with error information, references.
    const std::tuple<IUnknown*, const char*, const IID*, ULONG> rows[] = {
        {node.get(), "++--+-", &IID_IvelNode, 1},
        {collection.get(), "+-+-+-", &IID_IvelNodeCollection, 2},
        {enumerator.get(), "---+--", nullptr, 1}};
    for (const auto& [object, answers, errorInfo, references] : rows) {
        SCOPED_TRACE(answers);
        EXPECT_EQ(object->AddRef(), references + 1);
        EXPECT_EQ(object->Release(), references);
        const void* identity = identityOf(object);
        EXPECT_EQ(identity, object);
        for (int i = 0; i < 6; ++i) {
            void* other = &identity;
            const HRESULT result = object->QueryInterface(*iids[i], &other);
            const velcom::ComPtr<IUnknown> held = velcom::ComPtr<IUnknown>::attach(
                result == S_OK ? static_cast<IUnknown*>(other) : nullptr);
            EXPECT_EQ(result, answers[i] == '+' ? S_OK : E_NOINTERFACE) << i;
            EXPECT_EQ(held ? identityOf(held.get()) : other, held ? identity : nullptr) << i;
        }
        EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
        velcom::ComPtr<ISupportErrorInfo> support;
        if (object->QueryInterface(IID_ISupportErrorInfo, support.putVoid()) != S_OK) continue;
        for (const IID* iid : iids)
            EXPECT_EQ(support->InterfaceSupportsErrorInfo(*iid), iid == errorInfo ? S_OK : S_FALSE);
    }
    EXPECT_EQ(moduleLockCount(), 3);

    Variants items;
    ULONG fetched = 99;
    IEnumVARIANT* stale = enumerator.get();
    EXPECT_EQ(CvelNode::create(outcome.get(), nullptr), E_POINTER);
    EXPECT_EQ(CvelNodeCollection::create(nodes, nullptr), E_POINTER);
    auto* held = static_cast<CvelNodeCollection*>(collection.get());
    EXPECT_EQ(CvelNodeEnumerator::create(held, 0, nullptr), E_POINTER);
    EXPECT_EQ(CvelNodeEnumerator::create(nullptr, 0, &stale), E_POINTER);
    EXPECT_EQ(collection->get_Count(nullptr), E_POINTER);
    EXPECT_EQ(collection->get__NewEnum(nullptr), E_POINTER);
    EXPECT_EQ(collection->get_Item(1, nullptr), E_POINTER);
    EXPECT_EQ(enumerator->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(enumerator->Next(2, items.items, nullptr), E_POINTER) << "only one goes uncounted";
    EXPECT_EQ(enumerator->Next(0, items.items, nullptr), E_POINTER);
    EXPECT_EQ(enumerator->Clone(nullptr), E_POINTER);
    EXPECT_EQ(stale, nullptr);
    Kept kept;
    EXPECT_EQ(enumerator->Next(1, items.items, nullptr), S_OK);
    EXPECT_EQ(namesIn(items, kept), "first") << "the refused calls wrote nothing and stayed put";
}

// Steps on a collection of first, a null entry and second, and an enumerator over it:
//   #N      Count is N                    iN:name  Item(N) gives name, or fails for "-"
//   nN:a,b  Next(N) counted gives a and b  t:name   a Next of one uncounted
//   sN      Skip(N), sN? when it cannot skip all    r  Reset
//   c       Clone, used from then on; w swaps to the other enumerator, which goes at the end
//   k, e    the collection is set to second alone, to nothing
// Every node object given is a new one; the enumerators alone keep the collection.
TEST_F(NodeObjectTest, ItemsAndEnumeratorsFollowTheCollection) {
    // Name, where CvelNodeEnumerator::create starts the enumerator (-1: _NewEnum), the steps.
    const std::tuple<const char*, int, const char*> scripts[] = {
        {"ItemsCountFromOneAndBelowIsTheFirst", -1,
         "#3 i1:first i3:second i0:first i-5:first i-2147483648:first"},
        {"ItemOfANullEntryOrPastTheEndFails", -1, "i2:- i4:- i2147483647:- e #0 i1:- i0:- n1:"},
        {"SetNodesReplacesTheCopiesHeld", -1, "i3:second n1:first k #1 i1:second i2:- r n2:second"},
        {"NextPastTheEndGivesWhatIsLeft", -1, "n4:first,-,second n1: s1?"},
        {"NextOfAllThatIsLeftGivesSOk", -1, "t:first n2:-,second n0:"},
        {"SkipSaysWhetherItCouldSkipAll", -1, "s0 s3 s1? s0 r s2 t:second r s5? n1:"},
        {"ResetGoesBackToTheFirstNode", -1, "n3:first,-,second r t:first"},
        {"CreateStartsAtItsPosition", 2, "t:second r t:first"},
        {"PositionPastTheEndStartsAtTheEnd", 7, "n1: s0 r s3"},
        {"StaysInsideACollectionThatShrank", -1, "s3 k s1? r n2:second"},
        {"CloneStartsWhereTheOriginalIsAndMovesOnItsOwn", -1, "s2 c w t:second w t:second s1?"},
    };
    for (const auto& [title, start, script] : scripts) {
        SCOPED_TRACE(title);
        auto collection = collectionOver(nodes);
        auto* held = static_cast<CvelNodeCollection*>(collection.get());
        velcom::ComPtr<IEnumVARIANT> current = enumeratorOf(collection.get()), other;
        ASSERT_EQ(start < 0 ? S_OK : CvelNodeEnumerator::create(held, start, current.put()), S_OK);
        collection.reset();
        const auto stale = nodeObject(outcome.get());
        Kept kept;
        std::istringstream steps(script);
        for (std::string step; steps >> step;) {
            SCOPED_TRACE(step);
            const auto number = static_cast<LONG>(std::strtol(step.c_str() + 1, nullptr, 10));
            const std::string expected = step.substr(std::min(step.find(':'), step.size() - 1) + 1);
            Variants items;
            ULONG fetched = 99;
            LONG count = -1;
            IvelNode* item = stale.get();
            velcom::ComPtr<IEnumVARIANT> clone;
            if (step[0] == 'n' || step[0] == 't') {
                const ULONG asked = step[0] == 'n' ? number : 1;
                const HRESULT result =
                    current->Next(asked, items.items, step[0] == 'n' ? &fetched : nullptr);
                EXPECT_EQ(namesIn(items, kept), expected);
                const auto got =
                    static_cast<ULONG>(std::ranges::count(expected + ",", ',') - expected.empty());
                EXPECT_EQ(result, got == asked ? S_OK : S_FALSE);
                EXPECT_EQ(fetched, step[0] == 'n' ? got : 99u);
            } else if (step[0] == 'i') {
                const HRESULT result = held->get_Item(number, &item);
                if (result == S_OK)
                    kept.emplace_back(velcom::ComPtr<IvelNode>::attach(item), expected);
                EXPECT_EQ(result, expected == "-" ? E_FAIL : S_OK);
                EXPECT_EQ(item ? nameOf(item) : "-", expected);
            } else if (step[0] == '#') {
                EXPECT_EQ(held->get_Count(&count), S_OK);
                EXPECT_EQ(count, number);
            } else if (step[0] == 's') {
                EXPECT_EQ(current->Skip(number), step.back() == '?' ? S_FALSE : S_OK);
            } else if (step[0] == 'r') {
                EXPECT_EQ(current->Reset(), S_OK);
            } else if (step[0] == 'c') {
                ASSERT_EQ(current->Clone(clone.put()), S_OK);
                EXPECT_NE(identityOf(clone.get()), identityOf(current.get()));
                other = std::exchange(current, clone);
            } else if (step[0] == 'w') {
                std::swap(current, other);
            } else {
                held->setNodes(step[0] == 'k' ? std::vector{nodes[2]} : std::vector<Node*>{});
            }
        }
        other.reset();
        std::set<const void*> identities;
        for (const auto& [node, name] : kept) {
            EXPECT_EQ(nameOf(node.get()), name);
            EXPECT_TRUE(identities.insert(identityOf(node.get())).second);
        }
        EXPECT_EQ(moduleLockCount(), 3 + static_cast<LONG>(kept.size()));
    }
}

}  // namespace
