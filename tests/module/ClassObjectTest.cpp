// The proxy's class object and the class table that keeps it, what keeps the module loaded, the
// proxy's COM identity, and the module's start-up and shut-down.
#include <string>
#include <thread>
#include <vector>

#include "module/ModuleState.h"
#include "module/ModuleTest.h"
#include "module/TerminationList.h"

namespace {

// Through each of the proxy's interfaces, every one of them is answered (reflexive, symmetric,
// transitive) with one and the same IUnknown, and an interface it lacks is refused.
void expectTheProxysIdentity(IUnknown* object) {
    const IID answered[] = {IID_IUnknown,           IID_IvelTesseraProxy,  IID_IDispatch,
                            IID_IvelTesseraProxyEx, IID_ISupportErrorInfo, IID_IvelBackChannel};
    velcom::ComPtr<IUnknown> identity;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
    for (const IID& from : answered) {
        velcom::ComPtr<IUnknown> through;
        ASSERT_EQ(object->QueryInterface(from, through.putVoid()), S_OK);
        for (const IID& to : answered) {
            velcom::ComPtr<IUnknown> reached, reachedIdentity;
            ASSERT_EQ(through->QueryInterface(to, reached.putVoid()), S_OK);
            ASSERT_EQ(reached->QueryInterface(IID_IUnknown, reachedIdentity.putVoid()), S_OK);
            EXPECT_EQ(reachedIdentity.get(), identity.get()) << &from - answered << &to - answered;
        }
        void* refused = through.get();
        EXPECT_EQ(through->QueryInterface(IID_IClassFactory, &refused), E_NOINTERFACE);
        EXPECT_EQ(refused, nullptr);
    }
}

using ClassObjectTest = ModuleTest;

TEST_F(ClassObjectTest, IsMadeOnceForThreadsRacingForItAndHandedOutAgain) {
    std::vector<IClassFactory*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (IClassFactory*& each : seen)
        threads.emplace_back([&each] {
            getClassObject(CLSID_velTesseraProxy, IID_IClassFactory,
                           reinterpret_cast<void**>(&each));
        });
    for (std::thread& thread : threads) thread.join();
    ASSERT_NE(seen[0], nullptr);
    for (IClassFactory* classObject : seen) EXPECT_EQ(classObject, seen[0]);
    velcom::ComPtr<IUnknown> unknown;
    ASSERT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IUnknown, unknown.putVoid()), S_OK);
    EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(seen[0]));
    for (IClassFactory* classObject : seen) classObject->Release();
}

TEST_F(ClassObjectTest, EverythingAHostHoldsKeepsTheModuleLoaded) {
    auto classObject = proxyClassObject();
    auto another = proxyClassObject();
    EXPECT_EQ(moduleLockCount(), 1) << "one lock however many references are held outside";
    classObject.reset();
    EXPECT_EQ(moduleLockCount(), 1);
    EXPECT_EQ(another->LockServer(TRUE), S_OK);
    EXPECT_EQ(another->LockServer(TRUE), S_OK);
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(another->CreateInstance(nullptr, IID_IvelTesseraProxy, proxy.putVoid()), S_OK);
    EXPECT_EQ(moduleLockCount(), 4);
    another.reset();
    EXPECT_EQ(moduleLockCount(), 3) << "the class table's own reference holds nothing";
    proxy.reset();
    for (const LONG left : {1, 0}) {
        EXPECT_EQ(canUnloadModule(), S_FALSE);
        EXPECT_EQ(proxyClassObject()->LockServer(FALSE), S_OK);
        EXPECT_EQ(moduleLockCount(), left);
    }
}

TEST_F(ClassObjectTest, RefusedRequestsLeaveNothingBehind) {
    const auto classObject = proxyClassObject();
    EXPECT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(classObject->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(classObject->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    const auto expectRefused = [](const char* request, HRESULT expected, const auto& call) {
        void* object = &expected;
        EXPECT_EQ(call(&object), expected) << request;
        EXPECT_EQ(object, nullptr) << request;
        EXPECT_EQ(moduleLockCount(), 1) << request << ": only the class object is held";
    };
    for (const CLSID* clsid : {&CLSID_velNode, &CLSID_velNodeCollection, &CLSID_velTransport})
        expectRefused("a class outside the table", CLASS_E_CLASSNOTAVAILABLE, [&](void** object) {
            return getClassObject(*clsid, IID_IClassFactory, object);
        });
    expectRefused("IDispatch of the class object", E_NOINTERFACE, [](void** object) {
        return getClassObject(CLSID_velTesseraProxy, IID_IDispatch, object);
    });
    expectRefused("the class object's own query", E_NOINTERFACE, [&](void** object) {
        return classObject->QueryInterface(IID_IDispatch, object);
    });
    expectRefused("a proxy as a class object", E_NOINTERFACE, [&](void** object) {
        return classObject->CreateInstance(nullptr, IID_IClassFactory, object);
    });
    expectRefused("aggregation but through IUnknown", CLASS_E_NOAGGREGATION, [&](void** object) {
        return classObject->CreateInstance(classObject.get(), IID_IvelTesseraProxy, object);
    });
}

// Aggregation and its identity are the proxy's own; see its tests.
TEST_F(ClassObjectTest, TheProxyKeepsTheRulesOfIdentity) {
    velcom::ComPtr<IUnknown> proxy;
    ASSERT_EQ(proxyClassObject()->CreateInstance(nullptr, IID_IvelTesseraProxyEx, proxy.putVoid()),
              S_OK);
    expectTheProxysIdentity(proxy.get());
}

TEST_F(ModuleTest, StartUpKnowsTheModuleAndShutDownForgetsItAndRunsTheTerminationsNewestFirst) {
    ASSERT_NE(testProgram(), nullptr);
    EXPECT_EQ(moduleInstance(), testProgram());
    EXPECT_FALSE(moduleFileName().empty());
    EXPECT_TRUE(classTableLock() && typeInformationLock());
    std::vector<std::string> order;
    ASSERT_TRUE(addTermination([&] { order.push_back("first added"); }));
    ASSERT_TRUE(addTermination([&] { order.push_back("second added"); }));

    stopModule();
    stopModule();
    runTerminations();
    EXPECT_EQ(moduleInstance(), nullptr);
    EXPECT_FALSE(classTableLock() || typeInformationLock());
    EXPECT_EQ(order, (std::vector<std::string>{"second added", "first added"})) << "each once";
}

TEST_F(ModuleTest, ShutDownReleasesTheKeptClassObjectButNotOneHeldOutside) {
    auto held = proxyClassObject();
    stopModule();
    EXPECT_EQ(moduleLockCount(), 0) << "a class object holds the module from its second reference";
    velcom::ComPtr<IvelTesseraProxy> proxy;
    EXPECT_EQ(held->CreateInstance(nullptr, IID_IvelTesseraProxy, proxy.putVoid()), S_OK);
    proxy.reset();
    held.reset();
    startModule(testProgram());
    EXPECT_TRUE(proxyClassObject()) << "made again once the module runs again";
}

}  // namespace
