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

        // A script holds the IDispatch alone: the store's members are found there too. What it
        // hands the renewal in place of an IAuthenticator of its own gives the password back.
        LPOLESTR create[] = {const_cast<LPOLESTR>(u"createauthenticator")};
        ASSERT_EQ(pki->GetIDsOfNames(IID_NULL, create, 1, 0, &id), S_OK);
        for (const char* password : {"", "key secret"}) {
            velcom::Variant argument;
            argument.put()->vt = VT_BSTR;
            argument.get()->bstrVal = toBstr(password).detach();
            DISPPARAMS one{argument.get(), nullptr, 1, 0};
            velcom::Variant made;
            EXPECT_EQ(
                pki->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &one, made.get(), nullptr, nullptr),
                *password ? S_OK : DISP_E_EXCEPTION);
            if (!*password) continue;
            velcom::ComPtr<IAuthenticator> authenticator;
            ASSERT_EQ(
                made.get()->pdispVal->QueryInterface(IID_IAuthenticator, authenticator.putVoid()),
                S_OK);
            velcom::Bstr given;
            ASSERT_EQ(authenticator->GetPassword(given.put()), S_OK);
            EXPECT_EQ(toAnsi(given.get()), password);
        }
    }
    CoUninitialize();
    const auto unregisterServer =
        reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllUnregisterServer"));
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(fileText().find(kVelPkiProgId), std::string::npos);
    dlclose(module);
}

}  // namespace
