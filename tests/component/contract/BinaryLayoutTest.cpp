// The interfaces outside the type library are reached through their vtables alone: the transport
// and the PKI component are built elsewhere and find each method at a fixed slot. These tests call
// the slots the way a C client does, and see which method answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

namespace {

// IUnknown and IDispatch fill the first seven slots.
constexpr std::size_t kFirstOwnSlot = 7;

template <class Function, class Interface>
Function slot(Interface* object, std::size_t index) {
    using AnySlot = void (*)();
    AnySlot* vtable = *reinterpret_cast<AnySlot**>(object);
    return reinterpret_cast<Function>(vtable[index]);
}

// Notes the name of each of the interface's own methods that is called.
template <class Interface>
class Recorder : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }

    std::vector<std::string> calls;

protected:
    HRESULT note(const char* method) {
        calls.emplace_back(method);
        return S_OK;
    }
};

class Transport : public Recorder<IvelTransport> {
public:
    STDMETHODIMP Init(IvelBackChannel*, IvelRand*) override { return note("Init"); }
    STDMETHODIMP Reserved1() override { return note("Reserved1"); }
    STDMETHODIMP Reserved2() override { return note("Reserved2"); }
    STDMETHODIMP Reserved3() override { return note("Reserved3"); }
    STDMETHODIMP Reserved4() override { return note("Reserved4"); }
    STDMETHODIMP Reserved5() override { return note("Reserved5"); }
    STDMETHODIMP Reserved6() override { return note("Reserved6"); }
    STDMETHODIMP Post(BSTR, BSTR, VARIANT, VARIANT) override { return note("Post"); }
    STDMETHODIMP Get(BSTR, BSTR, VARIANT, VARIANT) override { return note("Get"); }
};

class PkiExtension : public Recorder<ISMPrivateKeyInfrastructureEx> {
public:
    STDMETHODIMP ImportRequestedCertificate2(BSTR, BSTR, BSTR*, LONG*) override {
        return note("ImportRequestedCertificate2");
    }
};

TEST(BinaryLayoutTest, TransportHasInitFirstAndPostAndGetAfterSixUnusedSlots) {
    using InitCall = HRESULT(STDMETHODCALLTYPE*)(IvelTransport*, IvelBackChannel*, IvelRand*);
    using RequestCall = HRESULT(STDMETHODCALLTYPE*)(IvelTransport*, BSTR, BSTR, VARIANT, VARIANT);
    Transport transport;
    IvelTransport* object = &transport;
    VARIANT none;
    VariantInit(&none);
    EXPECT_EQ(slot<InitCall>(object, kFirstOwnSlot)(object, nullptr, nullptr), S_OK);
    EXPECT_EQ(slot<RequestCall>(object, kFirstOwnSlot + 7)(object, nullptr, nullptr, none, none),
              S_OK);
    EXPECT_EQ(slot<RequestCall>(object, kFirstOwnSlot + 8)(object, nullptr, nullptr, none, none),
              S_OK);
    EXPECT_EQ(transport.calls, (std::vector<std::string>{"Init", "Post", "Get"}));
}

TEST(BinaryLayoutTest, PkiExtensionImportsRequestedCertificatesInItsFirstSlot) {
    using ImportCall =
        HRESULT(STDMETHODCALLTYPE*)(ISMPrivateKeyInfrastructureEx*, BSTR, BSTR, BSTR*, LONG*);
    PkiExtension extension;
    ISMPrivateKeyInfrastructureEx* object = &extension;
    LONG id = 0;
    EXPECT_EQ(slot<ImportCall>(object, kFirstOwnSlot)(object, nullptr, nullptr, nullptr, &id),
              S_OK);
    EXPECT_EQ(extension.calls, std::vector<std::string>{"ImportRequestedCertificate2"});
}

}  // namespace
