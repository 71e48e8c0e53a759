// The rules of COM identity for every object of the component a host can hold.
#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include <velTesseraComm/velTesseraComm.h>

#include "markup/mtGParser.h"
#include "markup/mtGScanner.h"
#include "markup/velNode.h"
#include "module/AggregatingOuter.h"
#include "module/ComIdentity.h"
#include "module/ModuleLock.h"
#include "module/ProxyClassObject.h"

namespace {

const std::vector<IID> kProxyInterfaces{IID_IUnknown,          IID_IvelTesseraProxy,
                                        IID_IDispatch,         IID_IvelTesseraProxyEx,
                                        IID_ISupportErrorInfo, IID_IvelBackChannel};

class ComIdentityTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(moduleLockCount(), 0);
        ASSERT_EQ(CvelTesseraProxyClassObject::create(classObject.put()), S_OK);
    }
    void TearDown() override {
        classObject.reset();
        EXPECT_EQ(moduleLockCount(), 0) << "every object is gone";
    }

    // A node with two parameters below it.
    static velcom::ComPtr<IvelNode> nodeObject() {
        mtGScanner scanner(
            std::string_view("Return=Request\nStatus=100\n"
                             "Param1=first\nType1=TEXT\nValue1=one\n"
                             "Param2=second\nType2=TEXT\nValue2=two\n"));
        const std::unique_ptr<Node> root(mtGParser::parseBlock(scanner));
        velcom::ComPtr<IvelNode> node;
        EXPECT_EQ(CvelNode::create(root.get(), node.put()), S_OK);
        return node;
    }

    velcom::ComPtr<IClassFactory> classObject;
};

TEST_F(ComIdentityTest, Proxy) {
    velcom::ComPtr<IUnknown> proxy;
    ASSERT_EQ(classObject->CreateInstance(nullptr, IID_IvelTesseraProxyEx, proxy.putVoid()), S_OK);
    expectComIdentity(proxy.get(), kProxyInterfaces, IID_IClassFactory);
}

TEST_F(ComIdentityTest, AggregatedProxyHasTheIdentityOfItsOuterObject) {
    const auto outer = AggregatingOuter::create();
    ASSERT_EQ(outer->aggregate([&](IUnknown* controlling, REFIID riid, void** inner) {
        return classObject->CreateInstance(controlling, riid, inner);
    }),
              S_OK);

    expectComIdentity(outer.get(), kProxyInterfaces, IID_IClassFactory);
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(outer->QueryInterface(IID_IvelTesseraProxy, proxy.putVoid()), S_OK);
    velcom::ComPtr<IUnknown> identity;
    ASSERT_EQ(proxy->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
    EXPECT_EQ(identity.get(), static_cast<IUnknown*>(outer.get()));
    EXPECT_NE(identity.get(), outer->inner()) << "the inner unknown is the outer object's alone";
}

TEST_F(ComIdentityTest, Node) {
    const auto node = nodeObject();
    ASSERT_TRUE(node);
    expectComIdentity(node.get(),
                      {IID_IUnknown, IID_IDispatch, IID_IvelNode, IID_ISupportErrorInfo},
                      IID_IvelNodeCollection);
}

TEST_F(ComIdentityTest, NodeCollection) {
    const auto node = nodeObject();
    ASSERT_TRUE(node);
    velcom::ComPtr<IvelNodeCollection> collection;
    ASSERT_EQ(node->get_SubNodes(collection.put()), S_OK);
    expectComIdentity(collection.get(),
                      {IID_IUnknown, IID_IDispatch, IID_IvelNodeCollection, IID_ISupportErrorInfo},
                      IID_IvelNode);
}

TEST_F(ComIdentityTest, NodeEnumerator) {
    const auto node = nodeObject();
    ASSERT_TRUE(node);
    velcom::ComPtr<IvelNodeCollection> collection;
    ASSERT_EQ(node->get_SubNodes(collection.put()), S_OK);
    velcom::ComPtr<IUnknown> enumerator;
    ASSERT_EQ(collection->get__NewEnum(enumerator.put()), S_OK);
    expectComIdentity(enumerator.get(), {IID_IUnknown, IID_IEnumVARIANT}, IID_IDispatch);
}

}  // namespace
