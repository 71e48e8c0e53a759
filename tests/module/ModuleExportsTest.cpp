// The built library's exports, reached as a host reaches them: loaded from its file, and through
// the COM run time once it is registered.
#include <gtest/gtest.h>

#include <velTesseraComm/velTesseraComm.h>

#include "module/AggregatingOuter.h"
#include "module/LoadedServer.h"
#include "platform/registry/RegistryFixture.h"

namespace {

class ModuleExportsTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        ASSERT_NE(server.getClassObject, nullptr);
        ASSERT_NE(server.canUnloadNow, nullptr);
        ASSERT_EQ(server.canUnloadNow(), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(server.canUnloadNow(), S_OK) << "nothing of the component is left";
        RegistryTest::TearDown();
    }

    velcom::ComPtr<IClassFactory> classObject() const {
        velcom::ComPtr<IClassFactory> factory;
        EXPECT_EQ(
            server.getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, factory.putVoid()),
            S_OK);
        return factory;
    }

    LoadedServer server;
};

TEST_F(ModuleExportsTest, GetClassObjectWithoutAnOutPointerFails) {
    EXPECT_EQ(server.getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ModuleExportsTest, NodeClassesHaveNoClassObject) {
    for (const CLSID& clsid : {CLSID_velNode, CLSID_velNodeCollection}) {
        void* object = this;
        EXPECT_EQ(server.getClassObject(clsid, IID_IClassFactory, &object),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
    }
}

TEST_F(ModuleExportsTest, HeldClassObjectKeepsTheModule) {
    auto factory = classObject();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE);
    factory.reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ModuleExportsTest, LockServerKeepsTheModuleUntilUnlocked) {
    classObject()->LockServer(TRUE);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE);
    classObject()->LockServer(FALSE);
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ModuleExportsTest, LiveProxyKeepsTheModule) {
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(classObject()->CreateInstance(nullptr, IID_IvelTesseraProxy, proxy.putVoid()), S_OK);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE);
    proxy.reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ModuleExportsTest, CreateInstanceWithoutAnOutPointerFails) {
    EXPECT_EQ(classObject()->CreateInstance(nullptr, IID_IvelTesseraProxy, nullptr), E_POINTER);
}

class RegisteredModuleTest : public ModuleExportsTest {
protected:
    void SetUp() override {
        ModuleExportsTest::SetUp();
        ASSERT_EQ(server.registerServer(), S_OK);
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(CLSIDFromProgID(u"velTesseraComm2.velTesseraProxy", &clsid), S_OK);
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
        ModuleExportsTest::TearDown();
    }

    CLSID clsid = GUID_NULL;
};

TEST_F(RegisteredModuleTest, ProgIdCreatesAProxyThatAnswersByName) {
    velcom::ComPtr<IDispatch> proxy;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, proxy.putVoid()),
        S_OK);
    OLECHAR name[] = u"iNITcOMM";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(proxy->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 2);
}

TEST_F(RegisteredModuleTest, AggregatesOnlyThroughIUnknown) {
    const auto outer = AggregatingOuter::create();
    void* object = this;
    EXPECT_EQ(
        CoCreateInstance(clsid, outer.get(), CLSCTX_INPROC_SERVER, IID_IvelTesseraProxy, &object),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    ASSERT_EQ(outer->aggregate([&](IUnknown* controlling, REFIID riid, void** inner) {
        return CoCreateInstance(clsid, controlling, CLSCTX_INPROC_SERVER, riid, inner);
    }),
              S_OK);
    velcom::ComPtr<IvelTesseraProxyEx> proxy;
    EXPECT_EQ(outer->QueryInterface(IID_IvelTesseraProxyEx, proxy.putVoid()), S_OK);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE);
}

// Without a test holding the library: the run time loads it for the first object and unloads it
// once its DllCanUnloadNow says nothing is left.
class ModuleUnloadTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        {
            const LoadedServer server;
            ASSERT_NE(server.registerServer, nullptr);
            ASSERT_EQ(server.registerServer(), S_OK);
        }
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoFreeUnusedLibraries();
        ASSERT_EQ(GetModuleHandleA(VEL_TESSERACOMM_MODULE), nullptr) << "loaded before the test";
    }
    void TearDown() override {
        CoUninitialize();
        RegistryTest::TearDown();
    }
};

TEST_F(ModuleUnloadTest, CoFreeUnusedLibrariesUnloadsTheModuleOnceItsLastObjectIsGone) {
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(u"velTesseraComm2.velTesseraProxy", &clsid), S_OK);
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IvelTesseraProxy,
                               proxy.putVoid()),
              S_OK);
    EXPECT_NE(GetModuleHandleA(VEL_TESSERACOMM_MODULE), nullptr);

    CoFreeUnusedLibraries();
    EXPECT_NE(GetModuleHandleA(VEL_TESSERACOMM_MODULE), nullptr) << "the proxy still lives";

    proxy.reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleA(VEL_TESSERACOMM_MODULE), nullptr);
}

}  // namespace
