#include "markup/velNode.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "markup/FaultyNode.h"
#include "markup/NodeObjectTest.h"
#include "support/TraceCapture.h"

namespace {

using velNodeTest = NodeObjectTest;

// The object behind an interface pointer that CvelNode::create handed out.
CvelNode& objectOf(IvelNode* node) { return *static_cast<CvelNode*>(node); }

TEST_F(velNodeTest, OutcomeShowsItsStatusMessageAndParameters) {
    const auto root = rootOf(kOutcomeBlock);
    const auto node = nodeObject(root.get());
    EXPECT_EQ(typeOf(node.get()), TesseraNTReturn);
    EXPECT_EQ(nameOf(node.get()), u"Request");
    EXPECT_EQ(stringPropOf(node.get()), u"try again");
    EXPECT_EQ(longPropOf(node.get()), 42);

    const auto children = subNodesOf(node.get());
    ASSERT_TRUE(children);
    EXPECT_EQ(countOf(children.get()), 2);
    const auto first = itemOf(children.get(), 1);
    ASSERT_TRUE(first);
    EXPECT_EQ(nameOf(first.get()), u"first");
}

TEST_F(velNodeTest, OutcomeWithoutStatusLineShows100) {
    const auto root = rootOf("Return=Check\nErrorMessage=none\n");
    EXPECT_EQ(longPropOf(nodeObject(root.get()).get()), 100);
}

TEST_F(velNodeTest, ParameterShowsNameValueAndTypeAndHasNoSubNodes) {
    const auto root = rootOf("Param1=cert\nType1=PKCS#7\nValue1=MIIB\nAAAA\n");
    const auto node = nodeObject(root.get());
    EXPECT_EQ(typeOf(node.get()), TesseraNTParam);
    EXPECT_EQ(nameOf(node.get()), u"cert");
    EXPECT_EQ(stringPropOf(node.get()), u"MIIB\r\nAAAA");
    EXPECT_EQ(longPropOf(node.get()), ParamTypePKCS7);

    const auto children = subNodesOf(node.get());
    ASSERT_TRUE(children);
    EXPECT_EQ(countOf(children.get()), 0);
    const auto enumerator = enumeratorOf(children.get());
    ASSERT_TRUE(enumerator);
    velcom::Variant item;
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(1, item.get(), &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(item.type(), VT_EMPTY);
}

TEST_F(velNodeTest, ActionAndStartShowOnlyTheirKindAndChildren) {
    const auto action = rootOf("Action=next\nURL=https://ca/next\nParam1=a\nParam2=b\n");
    const auto start = rootOf("Return\nCreateCertficate=https://ca/create\n");
    ASSERT_EQ(action->getKind(), KindAction);
    ASSERT_EQ(start->getKind(), KindStart);
    const struct {
        const Node* node;
        LONG kind;
        LONG children;
    } cases[] = {{action.get(), 2, 2}, {start.get(), 3, 0}};
    for (const auto& shown : cases) {
        SCOPED_TRACE(shown.kind);
        const auto node = nodeObject(shown.node);
        EXPECT_EQ(typeOf(node.get()), shown.kind);
        velcom::Bstr text;
        EXPECT_EQ(node->get_Name(text.put()), E_FAIL);
        EXPECT_EQ(text.get(), nullptr);
        EXPECT_EQ(node->get_StringProp(text.put()), E_FAIL);
        EXPECT_EQ(text.get(), nullptr);
        LONG number = 0;
        EXPECT_EQ(node->get_LongProp(&number), E_FAIL);
        const auto children = subNodesOf(node.get());
        ASSERT_TRUE(children);
        EXPECT_EQ(countOf(children.get()), shown.children);
    }
}

TEST_F(velNodeTest, EveryPropertyRefusesANullOutPointerFirst) {
    const auto root = rootOf(kOutcomeBlock);
    for (const Node* shown : {root.get(), static_cast<Node*>(nullptr)}) {
        const auto node = nodeObject(shown);
        EXPECT_EQ(node->get_Name(nullptr), E_INVALIDARG);
        EXPECT_EQ(node->get_Type(nullptr), E_INVALIDARG);
        EXPECT_EQ(node->get_SubNodes(nullptr), E_INVALIDARG);
        EXPECT_EQ(node->get_StringProp(nullptr), E_INVALIDARG);
        EXPECT_EQ(node->get_LongProp(nullptr), E_INVALIDARG);
    }
}

TEST_F(velNodeTest, ObjectWithoutNodeFailsEveryProperty) {
    const auto node = nodeObject(nullptr);
    velcom::Bstr text;
    NodeType type = TesseraNTReturn;
    velcom::ComPtr<IvelNodeCollection> children;
    LONG number = 0;
    EXPECT_EQ(node->get_Name(text.put()), E_FAIL);
    EXPECT_EQ(node->get_Type(&type), E_FAIL);
    EXPECT_EQ(node->get_SubNodes(children.put()), E_FAIL);
    EXPECT_FALSE(children);
    EXPECT_EQ(node->get_StringProp(text.put()), E_FAIL);
    EXPECT_EQ(node->get_LongProp(&number), E_FAIL);
}

TEST_F(velNodeTest, EmptyTextsGiveEmptyStringsNotNull) {
    const auto outcome = rootOf("Return=R\n");
    const auto parameter = rootOf("Value1=v\n");
    for (const Node* shown : {outcome.get(), parameter.get()}) {
        const auto node = nodeObject(shown);
        velcom::Bstr text;
        const HRESULT read =
            shown == outcome.get() ? node->get_StringProp(text.put()) : node->get_Name(text.put());
        EXPECT_EQ(read, S_OK);
        ASSERT_NE(text.get(), nullptr);
        EXPECT_EQ(text.length(), 0u);
    }
}

TEST_F(velNodeTest, TextsAreConvertedFromTheAnsiCodePage) {
    const auto root = rootOf(
        "Return=Gr\xC3\xBC\xC3\x9F"
        "e\nErrorMessage=\xE2\x82\xAC 5\n");
    const auto node = nodeObject(root.get());
    EXPECT_EQ(nameOf(node.get()), u"Gr\u00FC\u00DFe");
    EXPECT_EQ(stringPropOf(node.get()), u"\u20AC 5");
}

TEST_F(velNodeTest, ShowsItsOwnCopyOfTheNode) {
    auto root = rootOf(kOutcomeBlock);
    const auto node = nodeObject(root.get());
    root.reset();
    EXPECT_EQ(nameOf(node.get()), u"Request");
    const auto children = subNodesOf(node.get());
    ASSERT_TRUE(children);
    EXPECT_EQ(countOf(children.get()), 2);
}

TEST_F(velNodeTest, SetNodeReplacesTheNodeShown) {
    const auto outcome = rootOf(kOutcomeBlock);
    auto parameter = rootOf("Param1=serial\nValue1=0A1B\n");
    const auto node = nodeObject(outcome.get());

    objectOf(node.get()).setNode(parameter.get());
    parameter.reset();
    EXPECT_EQ(typeOf(node.get()), TesseraNTParam);
    EXPECT_EQ(nameOf(node.get()), u"serial");
    EXPECT_EQ(stringPropOf(node.get()), u"0A1B");

    objectOf(node.get()).setNode(nullptr);
    NodeType type = TesseraNTReturn;
    EXPECT_EQ(node->get_Type(&type), E_FAIL);
}

TEST_F(velNodeTest, SetNodeKeepsTheNodeShownWhenCloningFails) {
    const auto fault = std::make_shared<Fault>();
    const FaultyNode faulty(fault, "faulty");
    const auto outcome = rootOf(kOutcomeBlock);
    const auto node = nodeObject(outcome.get());
    fault->place = Fault::Place::Clone;
    EXPECT_THROW(objectOf(node.get()).setNode(&faulty), std::bad_alloc);
    EXPECT_EQ(nameOf(node.get()), u"Request");
}

TEST_F(velNodeTest, CreatedObjectHasOneReferenceAndHoldsTheModule) {
    const auto root = rootOf(kOutcomeBlock);
    IvelNode* node = nullptr;
    ASSERT_EQ(CvelNode::create(root.get(), &node), S_OK);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(moduleLockCount(), 1);
    EXPECT_EQ(node->AddRef(), 2u);
    EXPECT_EQ(node->Release(), 1u);
    EXPECT_EQ(node->Release(), 0u);
    EXPECT_EQ(moduleLockCount(), 0);

    EXPECT_EQ(CvelNode::create(root.get(), nullptr), E_POINTER);
    EXPECT_EQ(moduleLockCount(), 0);
}

TEST_F(velNodeTest, CreateDestroysTheObjectWhenCloningFails) {
    const auto fault = std::make_shared<Fault>();
    fault->place = Fault::Place::Clone;
    fault->exception = Fault::Exception::Contract;
    const FaultyNode faulty(fault, "faulty");
    IvelNode* node = nullptr;
    EXPECT_THROW(CvelNode::create(&faulty, &node), Invariant);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(moduleLockCount(), 0);
}

TEST_F(velNodeTest, AnswersItsInterfacesWithOneIdentity) {
    const auto root = rootOf(kOutcomeBlock);
    const auto node = nodeObject(root.get());
    const void* identity = identityOf(node.get());
    EXPECT_EQ(identity, static_cast<const void*>(static_cast<IUnknown*>(node.get())));
    for (const IID* iid : {&IID_IDispatch, &IID_IvelNode, &IID_ISupportErrorInfo}) {
        velcom::ComPtr<IUnknown> other;
        ASSERT_EQ(node->QueryInterface(*iid, other.putVoid()), S_OK);
        EXPECT_EQ(identityOf(other.get()), identity);
    }
    for (const IID* iid : {&IID_IvelNodeCollection, &IID_IEnumVARIANT, &IID_IvelTesseraProxy}) {
        void* other = &identity;
        EXPECT_EQ(node->QueryInterface(*iid, &other), E_NOINTERFACE);
        EXPECT_EQ(other, nullptr);
    }
    EXPECT_EQ(node->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(velNodeTest, SupportsErrorInfoForIvelNodeOnly) {
    const auto node = nodeObject(nullptr);
    velcom::ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(node.as(support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IvelNode), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IvelNodeCollection), S_FALSE);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IvelTesseraProxy), S_FALSE);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

TEST_F(velNodeTest, NodeFromSubNodesOutlivesItsCollectionAndParent) {
    velcom::ComPtr<IvelNode> second;
    {
        auto root = rootOf(kOutcomeBlock);
        auto parent = nodeObject(root.get());
        root.reset();
        auto children = subNodesOf(parent.get());
        ASSERT_TRUE(children);
        second = itemOf(children.get(), 2);
        children.reset();
        parent.reset();
    }
    ASSERT_TRUE(second);
    EXPECT_EQ(moduleLockCount(), 1);
    EXPECT_EQ(nameOf(second.get()), u"second");
    EXPECT_EQ(stringPropOf(second.get()), u"two");
    EXPECT_EQ(longPropOf(second.get()), ParamTypePKCS7);
}

TEST_F(velNodeTest, EachSubNodesCallGivesANewCollection) {
    const auto root = rootOf(kOutcomeBlock);
    const auto node = nodeObject(root.get());
    const auto first = subNodesOf(node.get());
    const auto second = subNodesOf(node.get());
    ASSERT_TRUE(first && second);
    EXPECT_NE(identityOf(first.get()), identityOf(second.get()));
    EXPECT_EQ(moduleLockCount(), 3);
}

// An exception escaping a property becomes its result and one level 7 trace at its own line.
TEST_F(velNodeTest, ExceptionFrameReportsAtThePropertysLine) {
    struct Property {
        const char* name;
        int line;
        Fault::Place place;
        std::function<HRESULT(IvelNode*)> read;
    };
    const Property properties[] = {
        {"Name", 131, Fault::Place::Kind,
         [](IvelNode* node) {
             velcom::Bstr text;
             const HRESULT result = node->get_Name(text.put());
             EXPECT_EQ(text.get(), nullptr);
             return result;
         }},
        {"Type", 162, Fault::Place::Kind,
         [](IvelNode* node) {
             NodeType type = TesseraNTReturn;
             return node->get_Type(&type);
         }},
        {"SubNodes", 194, Fault::Place::Clone,
         [](IvelNode* node) {
             velcom::ComPtr<IvelNodeCollection> children;
             const HRESULT result = node->get_SubNodes(children.put());
             EXPECT_FALSE(children);
             return result;
         }},
        {"StringProp", 232, Fault::Place::Kind,
         [](IvelNode* node) {
             velcom::Bstr text;
             const HRESULT result = node->get_StringProp(text.put());
             EXPECT_EQ(text.get(), nullptr);
             return result;
         }},
        {"LongProp", 270, Fault::Place::Kind,
         [](IvelNode* node) {
             LONG number = 0;
             return node->get_LongProp(&number);
         }},
    };
    for (const Property& property : properties) {
        for (const auto exception :
             {Fault::Exception::BadAlloc, Fault::Exception::Contract, Fault::Exception::ComError}) {
            SCOPED_TRACE(std::string(property.name) + " " +
                         std::to_string(static_cast<int>(exception)));
            const auto fault = std::make_shared<Fault>();
            fault->exception = exception;
            FaultyNode root(fault, "root");
            auto child = std::make_unique<FaultyNode>(fault, "child");
            ASSERT_TRUE(root.addChild(child.get()));
            child.release();
            auto node = nodeObject(&root);
            ASSERT_TRUE(node);
            fault->place = property.place;

            std::vector<std::string> lines;
            HRESULT result = S_OK;
            {
                const TraceCapture capture;
                result = property.read(node.get());
                lines = capture.lines();
            }
            node.reset();
            ASSERT_EQ(lines.size(), 1u);
            const std::string location = "TSR velNode(" + std::to_string(property.line) + "): ";
            switch (exception) {
                case Fault::Exception::BadAlloc:
                    EXPECT_EQ(result, E_FAIL);
                    EXPECT_EQ(lines[0].rfind(location + "Exception std::bad_alloc (", 0), 0u)
                        << lines[0];
                    EXPECT_TRUE(lines[0].ends_with(")\r\n")) << lines[0];
                    break;
                case Fault::Exception::Contract:
                    EXPECT_EQ(result, static_cast<HRESULT>(Invariant::kCode));
                    EXPECT_EQ(lines[0],
                              location + "Invariant violated(File FaultyNode.h at Line 7)\r\n");
                    break;
                case Fault::Exception::ComError:
                    EXPECT_EQ(result, E_OUTOFMEMORY);
                    EXPECT_EQ(lines[0],
                              location + _com_error(E_OUTOFMEMORY).ErrorMessage() + "\r\n");
                    break;
            }
            EXPECT_EQ(moduleLockCount(), 0);
        }
    }
}

}  // namespace
