// The module as a host meets it: registered by its own export, created by ProgID, called by name.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <velPKI/velPKI.h>

#include "platform/registry/RegistryFixture.h"
#include "text/AnsiText.h"

namespace {

using PkiModuleTest = RegistryTest;

TEST_F(PkiModuleTest, RegisteredItIsCreatedByProgIdAndAnswersByName) {
    void* module = dlopen(VEL_PKI_MODULE, RTLD_NOW);
    ASSERT_NE(module, nullptr);
    const auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    {
        CLSID classId{};
        ASSERT_EQ(CLSIDFromProgID(toBstr(kVelPkiProgId).get(), &classId), S_OK);
        EXPECT_TRUE(IsEqualCLSID(classId, CLSID_velPKI));
        velcom::ComPtr<IDispatch> pki;
        ASSERT_EQ(
            CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, pki.putVoid()),
            S_OK);
        velcom::ComPtr<IvelPKIStore> store;
        ASSERT_EQ(pki.as(store), S_OK);
        ASSERT_EQ(store->Open(toBstr(getenv("VELCOM_REGISTRY") + std::string(".db")).get()), S_OK);
        LPOLESTR names[] = {const_cast<LPOLESTR>(u"GetOpenRequests")};
        DISPID id = 0;
        ASSERT_EQ(pki->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        EXPECT_EQ(id, 20);
        DISPPARAMS none{};
        velcom::Variant result;
        EXPECT_EQ(
            pki->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, result.get(), nullptr, nullptr),
            S_OK);
        EXPECT_EQ(result.type(), VT_EMPTY);

        // What a script hands the renewal in place of an IAuthenticator of its own.
        velcom::ComPtr<IAuthenticator> authenticator;
        EXPECT_EQ(store->CreateAuthenticator(toBstr("").get(), authenticator.put()), E_INVALIDARG);
        ASSERT_EQ(store->CreateAuthenticator(toBstr("key secret").get(), authenticator.put()),
                  S_OK);
        velcom::Bstr password;
        ASSERT_EQ(authenticator->GetPassword(password.put()), S_OK);
        EXPECT_EQ(toAnsi(password.get()), "key secret");
    }
    CoUninitialize();
    const auto unregisterServer =
        reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllUnregisterServer"));
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(fileText().find(kVelPkiProgId), std::string::npos);
    dlclose(module);
}

}  // namespace
