#include <gtest/gtest.h>

#include "ActivationFixture.h"
#include "TestServer.h"

namespace {

constexpr CLSID kClass{
    0x7A0E5B21, 0x9C3D, 0x4F6A, {0xB1, 0x07, 0x3E, 0x52, 0xC8, 0x19, 0x40, 0x03}};
constexpr CLSID kOtherClass{
    0x7A0E5B22, 0x9C3D, 0x4F6A, {0xB1, 0x07, 0x3E, 0x52, 0xC8, 0x19, 0x40, 0x03}};

// A class object whose references are watched. CreateInstance records the outer object and
// refuses, without touching the out parameter.
class RecordingFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID, void**) override {
        lastOuter = outer;
        return CLASS_E_NOAGGREGATION;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    ULONG references = 0;
    IUnknown* lastOuter = nullptr;
};

// The class object found for the context, or null; the factories outlive the pointer.
IUnknown* classObjectFor(REFCLSID clsid, DWORD context) {
    velcom::ComPtr<IUnknown> found;
    CoGetClassObject(clsid, context, nullptr, IID_IUnknown, found.putVoid());
    return found.get();
}

using ActivationClassTableTest = ActivationFixture;

TEST_F(ActivationClassTableTest, RegisteredClassObjectServesBeforeTheRegistryUntilRevoked) {
    registerServer(CLSID_TestServer, VEL_TEST_SERVER_MODULE);
    RecordingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestServer, &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_EQ(factory.references, 1u) << "the table holds a reference";
    EXPECT_EQ(classObjectFor(CLSID_TestServer, CLSCTX_ALL), &factory);
    RecordingFactory outer;
    void* object = &outer;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestServer, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CLASS_E_NOAGGREGATION)
        << "the factory's own answer";
    EXPECT_EQ(factory.lastOuter, &outer);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.references, 0u);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG) << "a cookie is revoked once";
    velcom::ComPtr<ITestAnswer> answer;
    ASSERT_EQ(CoCreateInstance(CLSID_TestServer, nullptr, CLSCTX_INPROC_SERVER, IID_ITestAnswer,
                               answer.putVoid()),
              S_OK);
    EXPECT_EQ(answer->Answer(), kTestServerAnswer) << "the registered module serves again";
}

TEST_F(ActivationClassTableTest, MultipleUseLocalServerAlsoServesInprocUnlessSeparate) {
    RecordingFactory shared;
    RecordingFactory separate;
    DWORD sharedCookie = 0;
    DWORD separateCookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClass, &shared, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                    &sharedCookie),
              S_OK);
    ASSERT_EQ(CoRegisterClassObject(kOtherClass, &separate, CLSCTX_LOCAL_SERVER,
                                    REGCLS_MULTI_SEPARATE, &separateCookie),
              S_OK);
    EXPECT_EQ(classObjectFor(kClass, CLSCTX_INPROC_SERVER), &shared);
    EXPECT_EQ(classObjectFor(kOtherClass, CLSCTX_INPROC_SERVER), nullptr);
    EXPECT_EQ(classObjectFor(kOtherClass, CLSCTX_SERVER), &separate);
    CoRevokeClassObject(sharedCookie);
    CoRevokeClassObject(separateCookie);
}

TEST_F(ActivationClassTableTest, BadArgumentsAreRefusedAndNothingIsKept) {
    RecordingFactory factory;
    DWORD cookie = 7;
    EXPECT_EQ(CoRegisterClassObject(kClass, nullptr, CLSCTX_INPROC_SERVER, 0, &cookie),
              E_INVALIDARG);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, CLSCTX_INPROC_SERVER, 0, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, 0, 0, &cookie), E_INVALIDARG);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, CLSCTX_INPROC_SERVER, 0x100, &cookie),
              E_INVALIDARG);
    EXPECT_EQ(factory.references, 0u);
    EXPECT_EQ(CoRevokeClassObject(0), E_INVALIDARG);

    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
    void* object = &factory;
    EXPECT_EQ(CoGetClassObject(kClass, 0, nullptr, IID_IUnknown, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
