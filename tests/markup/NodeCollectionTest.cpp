#include "markup/velNodeCollection.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "markup/FaultyNode.h"
#include "markup/NodeObjectTest.h"

namespace {

using NodeCollectionTest = NodeObjectTest;

velcom::ComPtr<IvelNodeCollection> collectionOf(const std::vector<Node*>& nodes) {
    velcom::ComPtr<IvelNodeCollection> collection;
    EXPECT_EQ(CvelNodeCollection::create(nodes, collection.put()), S_OK);
    return collection;
}

// The object behind an interface pointer that CvelNodeCollection::create handed out.
CvelNodeCollection& objectOf(IvelNodeCollection* collection) {
    return *static_cast<CvelNodeCollection*>(collection);
}

TEST_F(NodeCollectionTest, CountsItsNodesAndIndexesThemFromOne) {
    const auto root = rootOf(kOutcomeBlock);
    const auto collection = collectionOf(root->getChildren());
    EXPECT_EQ(countOf(collection.get()), 2);
    const auto first = itemOf(collection.get(), 1);
    const auto second = itemOf(collection.get(), 2);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(nameOf(first.get()), u"first");
    EXPECT_EQ(stringPropOf(first.get()), u"one");
    EXPECT_EQ(nameOf(second.get()), u"second");
    EXPECT_EQ(stringPropOf(second.get()), u"two");
}

TEST_F(NodeCollectionTest, IndexBelowOneGivesTheFirstNode) {
    const auto root = rootOf(kOutcomeBlock);
    const auto collection = collectionOf(root->getChildren());
    for (const LONG index : {0, -5, INT_MIN}) {
        SCOPED_TRACE(index);
        const auto node = itemOf(collection.get(), index);
        ASSERT_TRUE(node);
        EXPECT_EQ(nameOf(node.get()), u"first");
    }
}

TEST_F(NodeCollectionTest, IndexPastTheEndAndEmptyCollectionFail) {
    const auto root = rootOf(kOutcomeBlock);
    const auto full = collectionOf(root->getChildren());
    const auto empty = collectionOf({});
    const struct {
        IvelNodeCollection* collection;
        LONG index;
    } cases[] = {{full.get(), 3}, {full.get(), INT_MAX}, {empty.get(), 1}, {empty.get(), 0}};
    // An out-pointer that still names an object must come back null.
    const auto stale = nodeObject(root.get());
    for (const auto& item : cases) {
        SCOPED_TRACE(item.index);
        IvelNode* node = stale.get();
        EXPECT_EQ(item.collection->get_Item(item.index, &node), E_FAIL);
        EXPECT_EQ(node, nullptr);
    }
    EXPECT_EQ(countOf(empty.get()), 0);
}

TEST_F(NodeCollectionTest, NullEntryFailsItemButKeepsItsPlace) {
    const auto first = rootOf("Param1=a\n");
    const auto third = rootOf("Param1=c\n");
    const auto collection = collectionOf({first.get(), nullptr, third.get()});
    EXPECT_EQ(countOf(collection.get()), 3);
    velcom::ComPtr<IvelNode> node;
    EXPECT_EQ(collection->get_Item(2, node.put()), E_FAIL);
    EXPECT_FALSE(node);
    const auto last = itemOf(collection.get(), 3);
    ASSERT_TRUE(last);
    EXPECT_EQ(nameOf(last.get()), u"c");
}

TEST_F(NodeCollectionTest, NullOutPointersGivePointerErrors) {
    const auto root = rootOf(kOutcomeBlock);
    const auto collection = collectionOf(root->getChildren());
    EXPECT_EQ(collection->get_Count(nullptr), E_POINTER);
    EXPECT_EQ(collection->get__NewEnum(nullptr), E_POINTER);
    EXPECT_EQ(collection->get_Item(1, nullptr), E_POINTER);
}

TEST_F(NodeCollectionTest, EachItemIsANewObjectWithEqualProperties) {
    const auto root = rootOf(kOutcomeBlock);
    const auto collection = collectionOf(root->getChildren());
    const auto once = itemOf(collection.get(), 1);
    const auto again = itemOf(collection.get(), 1);
    ASSERT_TRUE(once && again);
    EXPECT_NE(identityOf(once.get()), identityOf(again.get()));
    EXPECT_EQ(nameOf(once.get()), nameOf(again.get()));
    EXPECT_EQ(stringPropOf(once.get()), stringPropOf(again.get()));
    EXPECT_EQ(longPropOf(once.get()), longPropOf(again.get()));
    EXPECT_EQ(moduleLockCount(), 3);
}

TEST_F(NodeCollectionTest, HoldsCopiesThatSetNodesReplaces) {
    auto outcome = rootOf(kOutcomeBlock);
    const auto collection = collectionOf(outcome->getChildren());
    const auto before = itemOf(collection.get(), 2);
    outcome.reset();
    EXPECT_EQ(countOf(collection.get()), 2);

    const auto action = rootOf("Action=a\nParam1=x\nParam2=y\nParam3=z\n");
    objectOf(collection.get()).setNodes(action->getChildren());
    EXPECT_EQ(countOf(collection.get()), 3);
    const auto after = itemOf(collection.get(), 2);
    ASSERT_TRUE(before && after);
    EXPECT_EQ(nameOf(after.get()), u"y");
    EXPECT_EQ(nameOf(before.get()), u"second");
}

TEST_F(NodeCollectionTest, SetNodesKeepsTheNodesWhenCloningFails) {
    const auto fault = std::make_shared<Fault>();
    FaultyNode faulty(fault, "faulty");
    const auto parameter = rootOf("Param1=kept\n");
    const auto collection = collectionOf({parameter.get()});
    fault->place = Fault::Place::Clone;
    EXPECT_THROW(objectOf(collection.get()).setNodes({parameter.get(), &faulty}), std::bad_alloc);
    EXPECT_EQ(countOf(collection.get()), 1);
    const auto kept = itemOf(collection.get(), 1);
    ASSERT_TRUE(kept);
    EXPECT_EQ(nameOf(kept.get()), u"kept");
}

TEST_F(NodeCollectionTest, ItemGivesTheCodeOfAFailingClone) {
    const struct {
        Fault::Exception exception;
        HRESULT expected;
    } cases[] = {{Fault::Exception::BadAlloc, E_OUTOFMEMORY},
                 {Fault::Exception::Contract, static_cast<HRESULT>(Invariant::kCode)},
                 {Fault::Exception::ComError, E_ACCESSDENIED}};
    for (const auto& failure : cases) {
        SCOPED_TRACE(static_cast<int>(failure.exception));
        const auto fault = std::make_shared<Fault>();
        fault->exception = failure.exception;
        fault->comError = E_ACCESSDENIED;
        FaultyNode faulty(fault, "faulty");
        const auto collection = collectionOf({&faulty});
        fault->place = Fault::Place::Clone;
        velcom::ComPtr<IvelNode> node;
        EXPECT_EQ(collection->get_Item(1, node.put()), failure.expected);
        EXPECT_FALSE(node);
        EXPECT_EQ(moduleLockCount(), 1);
    }
}

TEST_F(NodeCollectionTest, CreatedObjectHasOneReferenceAndHoldsTheModule) {
    const auto root = rootOf(kOutcomeBlock);
    IvelNodeCollection* collection = nullptr;
    ASSERT_EQ(CvelNodeCollection::create(root->getChildren(), &collection), S_OK);
    ASSERT_NE(collection, nullptr);
    EXPECT_EQ(moduleLockCount(), 1);
    EXPECT_EQ(collection->AddRef(), 2u);
    EXPECT_EQ(collection->Release(), 1u);
    EXPECT_EQ(collection->Release(), 0u);
    EXPECT_EQ(moduleLockCount(), 0);

    EXPECT_EQ(CvelNodeCollection::create(root->getChildren(), nullptr), E_POINTER);
    EXPECT_EQ(moduleLockCount(), 0);
}

TEST_F(NodeCollectionTest, CreateDestroysTheObjectWhenCloningFails) {
    const auto fault = std::make_shared<Fault>();
    fault->place = Fault::Place::Clone;
    FaultyNode faulty(fault, "faulty");
    IvelNodeCollection* collection = nullptr;
    EXPECT_THROW(CvelNodeCollection::create({&faulty}, &collection), std::bad_alloc);
    EXPECT_EQ(collection, nullptr);
    EXPECT_EQ(moduleLockCount(), 0);
}

TEST_F(NodeCollectionTest, AnswersItsInterfacesWithOneIdentity) {
    const auto collection = collectionOf({});
    const void* identity = identityOf(collection.get());
    EXPECT_EQ(identity, static_cast<const void*>(static_cast<IUnknown*>(collection.get())));
    for (const IID* iid : {&IID_IDispatch, &IID_IvelNodeCollection, &IID_ISupportErrorInfo}) {
        velcom::ComPtr<IUnknown> other;
        ASSERT_EQ(collection->QueryInterface(*iid, other.putVoid()), S_OK);
        EXPECT_EQ(identityOf(other.get()), identity);
    }
    for (const IID* iid : {&IID_IvelNode, &IID_IEnumVARIANT}) {
        void* other = &identity;
        EXPECT_EQ(collection->QueryInterface(*iid, &other), E_NOINTERFACE);
        EXPECT_EQ(other, nullptr);
    }
    EXPECT_EQ(collection->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(NodeCollectionTest, SupportsErrorInfoForIvelNodeCollectionOnly) {
    const auto collection = collectionOf({});
    velcom::ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(collection.as(support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IvelNodeCollection), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IvelNode), S_FALSE);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IvelTesseraProxy), S_FALSE);
}

TEST_F(NodeCollectionTest, EnumeratorKeepsTheCollectionAlive) {
    const auto root = rootOf(kOutcomeBlock);
    auto collection = collectionOf(root->getChildren());
    const auto enumerator = enumeratorOf(collection.get());
    ASSERT_TRUE(enumerator);
    EXPECT_EQ(moduleLockCount(), 2);
    collection.reset();
    EXPECT_EQ(moduleLockCount(), 2);

    velcom::Variant items[2];
    ULONG fetched = 0;
    EXPECT_EQ(enumerator->Next(1, items[0].get(), &fetched), S_OK);
    EXPECT_EQ(enumerator->Next(1, items[1].get(), nullptr), S_OK);
    const auto first = nodeIn(*items[0].get());
    const auto second = nodeIn(*items[1].get());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(nameOf(first.get()), u"first");
    EXPECT_EQ(nameOf(second.get()), u"second");
}

TEST_F(NodeCollectionTest, EachNewEnumStartsAtTheFirstNode) {
    const auto root = rootOf(kOutcomeBlock);
    const auto collection = collectionOf(root->getChildren());
    const auto used = enumeratorOf(collection.get());
    ASSERT_TRUE(used);
    EXPECT_EQ(used->Skip(2), S_OK);
    const auto fresh = enumeratorOf(collection.get());
    ASSERT_TRUE(fresh);
    EXPECT_NE(identityOf(used.get()), identityOf(fresh.get()));
    velcom::Variant item;
    ASSERT_EQ(fresh->Next(1, item.get(), nullptr), S_OK);
    const auto node = nodeIn(*item.get());
    ASSERT_TRUE(node);
    EXPECT_EQ(nameOf(node.get()), u"first");
}

// A script reaches the collection through IDispatch alone: Item is the default member.
TEST_F(NodeCollectionTest, DispatchServesItemCountAndNewEnum) {
    const auto root = rootOf(kOutcomeBlock);
    const auto collection = collectionOf(root->getChildren());
    velcom::ComPtr<IDispatch> script;
    ASSERT_EQ(collection.as(script), S_OK);

    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = 2;
    DISPPARAMS arguments{&index, nullptr, 1, 0};
    velcom::Variant item;
    ASSERT_EQ(script->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                             &arguments, item.get(), nullptr, nullptr),
              S_OK);
    ASSERT_EQ(item.type(), VT_DISPATCH);
    ASSERT_NE(item.get()->pdispVal, nullptr);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    velcom::Variant name;
    ASSERT_EQ(item.get()->pdispVal->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, name.get(),
                                           nullptr, nullptr),
              S_OK);
    ASSERT_EQ(name.type(), VT_BSTR);
    EXPECT_EQ(textOf(name.get()->bstrVal), u"second");

    index.lVal = 3;
    EXCEPINFO failure{};
    velcom::Variant missing;
    EXPECT_EQ(script->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &arguments,
                             missing.get(), &failure, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(failure.scode, E_FAIL);
    SysFreeString(failure.bstrSource);
    SysFreeString(failure.bstrDescription);
    SysFreeString(failure.bstrHelpFile);

    velcom::Variant count;
    ASSERT_EQ(
        script->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, count.get(), nullptr, nullptr),
        S_OK);
    ASSERT_EQ(count.type(), VT_I4);
    EXPECT_EQ(count.get()->lVal, 2);

    velcom::Variant enumerator;
    ASSERT_EQ(script->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                             enumerator.get(), nullptr, nullptr),
              S_OK);
    ASSERT_EQ(enumerator.type(), VT_UNKNOWN);
    velcom::ComPtr<IEnumVARIANT> items;
    EXPECT_EQ(velcom::ComPtr<IUnknown>(enumerator.get()->punkVal).as(items), S_OK);
}

}  // namespace
