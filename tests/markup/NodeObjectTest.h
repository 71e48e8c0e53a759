// The fixture of the tests of the script-visible node objects: every object a test makes must be
// gone at its end, which the module lock count shows. Helpers read the properties a script reads.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include <velTesseraComm/velTesseraComm.h>

#include "markup/mtGNodes.h"
#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "markup/velNode.h"
#include "module/ModuleLock.h"
#include "support/OleText.h"

// An outcome with two parameters, as a server sends it.
inline constexpr std::string_view kOutcomeBlock =
    "Return=Request\nStatus=42\nErrorMessage=try again\n"
    "Param1=first\nType1=TEXT\nValue1=one\n"
    "Param2=second\nType2=PKCS#7\nValue2=two\n";

class NodeObjectTest : public ::testing::Test {
protected:
    // Objects left over by another test would make every count here meaningless.
    void SetUp() override { ASSERT_EQ(moduleLockCount(), 0); }
    // Also counts the tracer: a test releases its TraceCapture before it ends.
    void TearDown() override {
        EXPECT_EQ(moduleLockCount(), 0) << "a node object, collection or enumerator is left";
    }

    // The root of a block given as its lines.
    static std::unique_ptr<Node> rootOf(std::string_view block) {
        mtGScanner scanner(block);
        return std::unique_ptr<Node>(mtGParser::parseBlock(scanner));
    }

    static velcom::ComPtr<IvelNode> nodeObject(const Node* node) {
        velcom::ComPtr<IvelNode> object;
        EXPECT_EQ(CvelNode::create(node, object.put()), S_OK);
        return object;
    }

    static std::u16string nameOf(IvelNode* node) {
        velcom::Bstr text;
        EXPECT_EQ(node->get_Name(text.put()), S_OK);
        return textOf(text.get());
    }
    static std::u16string stringPropOf(IvelNode* node) {
        velcom::Bstr text;
        EXPECT_EQ(node->get_StringProp(text.put()), S_OK);
        return textOf(text.get());
    }
    static LONG longPropOf(IvelNode* node) {
        LONG value = -1;
        EXPECT_EQ(node->get_LongProp(&value), S_OK);
        return value;
    }
    static LONG typeOf(IvelNode* node) {
        NodeType type = static_cast<NodeType>(-1);
        EXPECT_EQ(node->get_Type(&type), S_OK);
        return type;
    }
    static velcom::ComPtr<IvelNodeCollection> subNodesOf(IvelNode* node) {
        velcom::ComPtr<IvelNodeCollection> collection;
        EXPECT_EQ(node->get_SubNodes(collection.put()), S_OK);
        return collection;
    }
    static LONG countOf(IvelNodeCollection* collection) {
        LONG count = -1;
        EXPECT_EQ(collection->get_Count(&count), S_OK);
        return count;
    }
    static velcom::ComPtr<IvelNode> itemOf(IvelNodeCollection* collection, LONG index) {
        velcom::ComPtr<IvelNode> node;
        EXPECT_EQ(collection->get_Item(index, node.put()), S_OK);
        return node;
    }
    static velcom::ComPtr<IEnumVARIANT> enumeratorOf(IvelNodeCollection* collection) {
        velcom::ComPtr<IUnknown> unknown;
        EXPECT_EQ(collection->get__NewEnum(unknown.put()), S_OK);
        velcom::ComPtr<IEnumVARIANT> enumerator;
        if (unknown) {
            EXPECT_EQ(unknown.as(enumerator), S_OK);
        }
        return enumerator;
    }
    // The node object a variant from an enumerator holds.
    static velcom::ComPtr<IvelNode> nodeIn(const VARIANT& variant) {
        velcom::ComPtr<IvelNode> node;
        EXPECT_EQ(variant.vt, VT_DISPATCH);
        if (variant.vt == VT_DISPATCH && variant.pdispVal != nullptr) {
            EXPECT_EQ(velcom::ComPtr<IDispatch>(variant.pdispVal).as(node), S_OK);
        }
        return node;
    }
    // The identity of an object: its IUnknown, compared as an address.
    template <class Interface>
    static const void* identityOf(Interface* object) {
        velcom::ComPtr<IUnknown> unknown;
        EXPECT_EQ(object->QueryInterface(IID_IUnknown, unknown.putVoid()), S_OK);
        return unknown.get();
    }
};
