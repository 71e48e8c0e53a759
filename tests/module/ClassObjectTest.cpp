// The class object of the proxy and the class table that keeps it, inside the test program: how
// each reason to stay loaded shows in the module lock count that DllCanUnloadNow answers from.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "markup/velNode.h"
#include "module/AggregatingOuter.h"
#include "module/ClassTable.h"
#include "module/ModuleLock.h"
#include "module/ServerExports.h"
#include "module/StartedModule.h"
#include "tracer/ITracer.h"

namespace {

class ClassObjectTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(canUnloadModule(), S_OK); }
    void TearDown() override {
        EXPECT_EQ(canUnloadModule(), S_OK) << "nothing holds the module any more";
    }

    // The class-table lock exists from start-up on.
    StartedModule module;

    static velcom::ComPtr<IClassFactory> proxyClassObject() {
        velcom::ComPtr<IClassFactory> classObject;
        EXPECT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, classObject.putVoid()),
                  S_OK);
        return classObject;
    }
};

TEST_F(ClassObjectTest, IsKeptAndHandedOutAgain) {
    const auto first = proxyClassObject();
    const auto second = proxyClassObject();
    EXPECT_EQ(first.get(), second.get());

    velcom::ComPtr<IUnknown> unknown;
    ASSERT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IUnknown, unknown.putVoid()), S_OK);
    EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(first.get()));
}

TEST_F(ClassObjectTest, HoldsTheModuleOnlyWhileHeldFromOutside) {
    auto classObject = proxyClassObject();
    EXPECT_EQ(moduleLockCount(), 1);
    EXPECT_EQ(canUnloadModule(), S_FALSE);
    auto another = proxyClassObject();
    EXPECT_EQ(moduleLockCount(), 1) << "one lock however many references are held outside";

    classObject.reset();
    EXPECT_EQ(moduleLockCount(), 1);
    another.reset();
    EXPECT_EQ(canUnloadModule(), S_OK) << "the class table's own reference holds nothing";
}

TEST_F(ClassObjectTest, ThreadsRacingForTheFirstRequestShareOneClassObject) {
    constexpr int kThreads = 8;
    std::vector<IClassFactory*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int index = 0; index < kThreads; ++index)
        threads.emplace_back([&seen, index] {
            getClassObject(CLSID_velTesseraProxy, IID_IClassFactory,
                           reinterpret_cast<void**>(&seen[index]));
        });
    for (std::thread& thread : threads) thread.join();

    for (IClassFactory* classObject : seen) EXPECT_EQ(classObject, seen[0]);
    ASSERT_NE(seen[0], nullptr);
    for (IClassFactory* classObject : seen) classObject->Release();
}

TEST_F(ClassObjectTest, LockServerHoldsTheModuleUntilItIsUndone) {
    auto classObject = proxyClassObject();
    EXPECT_EQ(classObject->LockServer(TRUE), S_OK);
    EXPECT_EQ(classObject->LockServer(TRUE), S_OK);
    classObject.reset();
    EXPECT_EQ(canUnloadModule(), S_FALSE);

    classObject = proxyClassObject();
    EXPECT_EQ(classObject->LockServer(FALSE), S_OK);
    classObject.reset();
    EXPECT_EQ(canUnloadModule(), S_FALSE) << "one LockServer(TRUE) is still outstanding";

    classObject = proxyClassObject();
    EXPECT_EQ(classObject->LockServer(FALSE), S_OK);
    classObject.reset();
    EXPECT_EQ(canUnloadModule(), S_OK);
}

TEST_F(ClassObjectTest, LiveProxyHoldsTheModule) {
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(proxyClassObject()->CreateInstance(nullptr, IID_IvelTesseraProxy, proxy.putVoid()),
              S_OK);
    EXPECT_EQ(canUnloadModule(), S_FALSE);
    proxy.reset();
    EXPECT_EQ(canUnloadModule(), S_OK);
}

TEST_F(ClassObjectTest, LiveNodeObjectHoldsTheModule) {
    velcom::ComPtr<IvelNode> node;
    ASSERT_EQ(CvelNode::create(nullptr, node.put()), S_OK);
    EXPECT_EQ(canUnloadModule(), S_FALSE);
    node.reset();
    EXPECT_EQ(canUnloadModule(), S_OK);
}

TEST_F(ClassObjectTest, LiveTracerHoldsTheModule) {
    ITracer* tracer = ITracer::instance();
    ASSERT_NE(tracer, nullptr);
    EXPECT_EQ(canUnloadModule(), S_FALSE);
    tracer->release();
    EXPECT_EQ(canUnloadModule(), S_OK);
}

TEST_F(ClassObjectTest, AggregationIsOfferedOnlyThroughIUnknown) {
    const auto classObject = proxyClassObject();
    const auto outer = AggregatingOuter::create();
    void* object = this;
    EXPECT_EQ(classObject->CreateInstance(outer.get(), IID_IvelTesseraProxy, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(moduleLockCount(), 1) << "only the class object held here";
    EXPECT_EQ(outer->references(), 1u);

    EXPECT_EQ(outer->aggregate([&](IUnknown* controlling, REFIID riid, void** inner) {
        return classObject->CreateInstance(controlling, riid, inner);
    }),
              S_OK);
    EXPECT_EQ(moduleLockCount(), 2) << "the aggregated proxy lives";
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(outer->QueryInterface(IID_IvelTesseraProxy, proxy.putVoid()), S_OK);
    EXPECT_EQ(outer->references(), 2u) << "the proxy counts its references on the outer object";
}

TEST_F(ClassObjectTest, NullOutPointersAreRefused) {
    EXPECT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(proxyClassObject()->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ClassObjectTest, AnInterfaceTheProxyLacksLeavesNoObjectBehind) {
    void* object = this;
    EXPECT_EQ(proxyClassObject()->CreateInstance(nullptr, IID_IClassFactory, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(canUnloadModule(), S_OK) << "the new proxy was destroyed at once";
}

TEST_F(ClassObjectTest, ClassesOutsideTheTableAreNotAvailable) {
    for (const CLSID& clsid : {CLSID_velNode, CLSID_velNodeCollection, CLSID_velTransport}) {
        void* object = this;
        EXPECT_EQ(getClassObject(clsid, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
    }
}

TEST_F(ClassObjectTest, AnInterfaceTheClassObjectLacksIsRefused) {
    void* object = this;
    EXPECT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
