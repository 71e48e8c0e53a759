#include "markup/velNodeEnumerator.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "markup/FaultyNode.h"
#include "markup/NodeObjectTest.h"
#include "markup/velNodeCollection.h"

namespace {

// The contiguous array that Next fills, cleared on every path.
template <std::size_t Size>
struct Variants {
    Variants() {
        for (VARIANT& item : items) VariantInit(&item);
    }
    ~Variants() {
        for (VARIANT& item : items) VariantClear(&item);
    }
    Variants(const Variants&) = delete;
    Variants& operator=(const Variants&) = delete;

    VARIANT items[Size];
};

class NodeEnumeratorTest : public NodeObjectTest {
protected:
    // An enumerator from _NewEnum over the nodes; the enumerator alone keeps the collection.
    static velcom::ComPtr<IEnumVARIANT> enumeratorOver(const std::vector<Node*>& nodes) {
        velcom::ComPtr<IvelNodeCollection> collection;
        EXPECT_EQ(CvelNodeCollection::create(nodes, collection.put()), S_OK);
        return collection ? enumeratorOf(collection.get()) : nullptr;
    }
    // The name of the node object a variant from Next holds.
    static std::u16string nameIn(const VARIANT& variant) {
        const auto node = nodeIn(variant);
        return node ? nameOf(node.get()) : u"<none>";
    }
};

TEST_F(NodeEnumeratorTest, NextPastTheEndGivesWhatIsLeft) {
    const auto root = rootOf(kOutcomeBlock);
    const auto enumerator = enumeratorOver(root->getChildren());
    ASSERT_TRUE(enumerator);
    Variants<3> items;
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(3, items.items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(nameIn(items.items[0]), u"first");
    EXPECT_EQ(nameIn(items.items[1]), u"second");
    EXPECT_EQ(items.items[2].vt, VT_EMPTY);

    Variants<1> after;
    EXPECT_EQ(enumerator->Next(1, after.items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(after.items[0].vt, VT_EMPTY);
    EXPECT_EQ(enumerator->Skip(1), S_FALSE);
}

TEST_F(NodeEnumeratorTest, NextOfAllThatIsLeftGivesSOk) {
    const auto root = rootOf(kOutcomeBlock);
    const auto enumerator = enumeratorOver(root->getChildren());
    ASSERT_TRUE(enumerator);
    Variants<1> first;
    EXPECT_EQ(enumerator->Next(1, first.items, nullptr), S_OK);
    EXPECT_EQ(nameIn(first.items[0]), u"first");
    Variants<2> rest;
    ULONG fetched = 0;
    EXPECT_EQ(enumerator->Next(1, rest.items, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(nameIn(rest.items[0]), u"second");
    EXPECT_EQ(enumerator->Next(0, rest.items + 1, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(rest.items[1].vt, VT_EMPTY);
}

TEST_F(NodeEnumeratorTest, NextRefusesMissingPointersAndStaysPut) {
    const auto root = rootOf(kOutcomeBlock);
    const auto enumerator = enumeratorOver(root->getChildren());
    ASSERT_TRUE(enumerator);
    Variants<2> items;
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(enumerator->Next(2, items.items, nullptr), E_POINTER);
    EXPECT_EQ(enumerator->Next(0, items.items, nullptr), E_POINTER);
    EXPECT_EQ(items.items[0].vt, VT_EMPTY);
    EXPECT_EQ(enumerator->Next(1, items.items, nullptr), S_OK);
    EXPECT_EQ(nameIn(items.items[0]), u"first");
}

TEST_F(NodeEnumeratorTest, NullEntryGivesANullDispatch) {
    const auto first = rootOf("Param1=a\n");
    const auto third = rootOf("Param1=c\n");
    const auto enumerator = enumeratorOver({first.get(), nullptr, third.get()});
    ASSERT_TRUE(enumerator);
    Variants<3> items;
    ULONG fetched = 0;
    EXPECT_EQ(enumerator->Next(3, items.items, &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(nameIn(items.items[0]), u"a");
    EXPECT_EQ(items.items[1].vt, VT_DISPATCH);
    EXPECT_EQ(items.items[1].pdispVal, nullptr);
    EXPECT_EQ(nameIn(items.items[2]), u"c");
}

TEST_F(NodeEnumeratorTest, EveryVariantHoldsANewNodeObject) {
    const auto root = rootOf(kOutcomeBlock);
    const auto enumerator = enumeratorOver(root->getChildren());
    ASSERT_TRUE(enumerator);
    Variants<1> once;
    Variants<1> again;
    ASSERT_EQ(enumerator->Next(1, once.items, nullptr), S_OK);
    ASSERT_EQ(enumerator->Reset(), S_OK);
    ASSERT_EQ(enumerator->Next(1, again.items, nullptr), S_OK);
    const auto first = nodeIn(once.items[0]);
    const auto second = nodeIn(again.items[0]);
    ASSERT_TRUE(first && second);
    EXPECT_NE(identityOf(first.get()), identityOf(second.get()));
    EXPECT_EQ(nameOf(first.get()), nameOf(second.get()));
}

TEST_F(NodeEnumeratorTest, FailingNodeUndoesTheWholeNext) {
    const auto fault = std::make_shared<Fault>();
    const auto good = rootOf("Param1=good\n");
    FaultyNode faulty(fault, "faulty");
    const auto enumerator = enumeratorOver({good.get(), &faulty});
    ASSERT_TRUE(enumerator);
    fault->place = Fault::Place::Clone;

    Variants<2> items;
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(2, items.items, &fetched), E_OUTOFMEMORY);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(items.items[0].vt, VT_EMPTY);
    EXPECT_EQ(items.items[1].vt, VT_EMPTY);
    // Only the collection and the enumerator: the node object made for "good" is gone.
    EXPECT_EQ(moduleLockCount(), 2);

    fault->exception = Fault::Exception::Contract;
    EXPECT_EQ(enumerator->Skip(1), S_OK);
    EXPECT_EQ(enumerator->Next(1, items.items, nullptr), static_cast<HRESULT>(Invariant::kCode));
    EXPECT_EQ(items.items[0].vt, VT_EMPTY);

    fault->place = Fault::Place::Nowhere;
    ASSERT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Next(2, items.items, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(nameIn(items.items[0]), u"good");
    EXPECT_EQ(nameIn(items.items[1]), u"faulty");
}

TEST_F(NodeEnumeratorTest, SkipSaysWhetherItCouldSkipAll) {
    const auto root = rootOf(kOutcomeBlock);
    const auto enumerator = enumeratorOver(root->getChildren());
    ASSERT_TRUE(enumerator);
    EXPECT_EQ(enumerator->Skip(0), S_OK);
    EXPECT_EQ(enumerator->Skip(2), S_OK);
    EXPECT_EQ(enumerator->Skip(1), S_FALSE);
    EXPECT_EQ(enumerator->Skip(0), S_OK);

    ASSERT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(1), S_OK);
    Variants<1> item;
    EXPECT_EQ(enumerator->Next(1, item.items, nullptr), S_OK);
    EXPECT_EQ(nameIn(item.items[0]), u"second");

    ASSERT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(5), S_FALSE);
    Variants<1> none;
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(1, none.items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

TEST_F(NodeEnumeratorTest, ResetGoesBackToTheFirstNode) {
    const auto root = rootOf(kOutcomeBlock);
    const auto enumerator = enumeratorOver(root->getChildren());
    ASSERT_TRUE(enumerator);
    Variants<2> all;
    ULONG fetched = 0;
    ASSERT_EQ(enumerator->Next(2, all.items, &fetched), S_OK);
    EXPECT_EQ(enumerator->Reset(), S_OK);
    Variants<1> first;
    EXPECT_EQ(enumerator->Next(1, first.items, nullptr), S_OK);
    EXPECT_EQ(nameIn(first.items[0]), u"first");
}

TEST_F(NodeEnumeratorTest, CloneStartsWhereTheOriginalIsAndMovesOnItsOwn) {
    const auto root = rootOf(kOutcomeBlock);
    auto enumerator = enumeratorOver(root->getChildren());
    ASSERT_TRUE(enumerator);
    ASSERT_EQ(enumerator->Skip(1), S_OK);
    velcom::ComPtr<IEnumVARIANT> clone;
    ASSERT_EQ(enumerator->Clone(clone.put()), S_OK);
    ASSERT_TRUE(clone);
    EXPECT_NE(identityOf(clone.get()), identityOf(enumerator.get()));

    Variants<1> fromOriginal;
    ASSERT_EQ(enumerator->Next(1, fromOriginal.items, nullptr), S_OK);
    EXPECT_EQ(nameIn(fromOriginal.items[0]), u"second");
    enumerator.reset();
    // The clone's own reference keeps the collection.
    EXPECT_EQ(moduleLockCount(), 3);

    Variants<1> fromClone;
    ASSERT_EQ(clone->Next(1, fromClone.items, nullptr), S_OK);
    EXPECT_EQ(nameIn(fromClone.items[0]), u"second");
    EXPECT_EQ(clone->Skip(1), S_FALSE);
    EXPECT_EQ(clone->Clone(nullptr), E_POINTER);
}

TEST_F(NodeEnumeratorTest, CreatedObjectHasOneReferenceAndHoldsTheModule) {
    const auto root = rootOf(kOutcomeBlock);
    velcom::ComPtr<IvelNodeCollection> collection;
    ASSERT_EQ(CvelNodeCollection::create(root->getChildren(), collection.put()), S_OK);
    auto* object = static_cast<CvelNodeCollection*>(collection.get());

    IEnumVARIANT* enumerator = nullptr;
    ASSERT_EQ(CvelNodeEnumerator::create(object, 1, &enumerator), S_OK);
    ASSERT_NE(enumerator, nullptr);
    EXPECT_EQ(moduleLockCount(), 2);
    EXPECT_EQ(enumerator->AddRef(), 2u);
    EXPECT_EQ(enumerator->Release(), 1u);
    Variants<1> item;
    EXPECT_EQ(enumerator->Next(1, item.items, nullptr), S_OK);
    EXPECT_EQ(nameIn(item.items[0]), u"second");
    EXPECT_EQ(enumerator->Release(), 0u);
    EXPECT_EQ(moduleLockCount(), 2);

    EXPECT_EQ(CvelNodeEnumerator::create(object, 0, nullptr), E_POINTER);
    // An out-pointer that still names an object must come back null.
    const auto stale = enumeratorOf(collection.get());
    enumerator = stale.get();
    EXPECT_EQ(CvelNodeEnumerator::create(nullptr, 0, &enumerator), E_POINTER);
    EXPECT_EQ(enumerator, nullptr);
}

TEST_F(NodeEnumeratorTest, PositionPastTheEndStartsAtTheEnd) {
    const auto root = rootOf(kOutcomeBlock);
    velcom::ComPtr<IvelNodeCollection> collection;
    ASSERT_EQ(CvelNodeCollection::create(root->getChildren(), collection.put()), S_OK);
    velcom::ComPtr<IEnumVARIANT> enumerator;
    ASSERT_EQ(CvelNodeEnumerator::create(static_cast<CvelNodeCollection*>(collection.get()), 7,
                                         enumerator.put()),
              S_OK);
    Variants<1> item;
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(1, item.items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(enumerator->Skip(0), S_OK);
    ASSERT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(2), S_OK);
}

TEST_F(NodeEnumeratorTest, StaysInsideACollectionThatShrank) {
    const auto outcome = rootOf(kOutcomeBlock);
    const auto single = rootOf("Param1=only\n");
    velcom::ComPtr<IvelNodeCollection> collection;
    ASSERT_EQ(CvelNodeCollection::create(outcome->getChildren(), collection.put()), S_OK);
    const auto enumerator = enumeratorOf(collection.get());
    ASSERT_TRUE(enumerator);
    ASSERT_EQ(enumerator->Skip(2), S_OK);
    static_cast<CvelNodeCollection*>(collection.get())->setNodes({single.get()});
    EXPECT_EQ(enumerator->Skip(1), S_FALSE);
    ASSERT_EQ(enumerator->Reset(), S_OK);
    Variants<2> items;
    ULONG fetched = 0;
    EXPECT_EQ(enumerator->Next(2, items.items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(nameIn(items.items[0]), u"only");
}

TEST_F(NodeEnumeratorTest, AnswersIUnknownAndIEnumVariantWithOneIdentity) {
    const auto enumerator = enumeratorOver({});
    ASSERT_TRUE(enumerator);
    const void* identity = identityOf(enumerator.get());
    EXPECT_EQ(identity, static_cast<const void*>(enumerator.get()));
    velcom::ComPtr<IEnumVARIANT> again;
    ASSERT_EQ(enumerator.as(again), S_OK);
    EXPECT_EQ(again.get(), enumerator.get());
    for (const IID* iid : {&IID_IDispatch, &IID_ISupportErrorInfo, &IID_IvelNodeCollection}) {
        void* other = &identity;
        EXPECT_EQ(enumerator->QueryInterface(*iid, &other), E_NOINTERFACE);
        EXPECT_EQ(other, nullptr);
    }
    EXPECT_EQ(enumerator->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

}  // namespace
