// The PKI component as the proxy sees it, with the key kind of every request fixed: the proxy asks
// for the component's default (RSA-2048), and a host that wants EC P-256 keys says so in the
// request's attributes. Everything an application calls goes on to the real component; what it
// does not call is not offered.
#pragma once

#include "ApplicationPkiDouble.h"
#include "HandWrittenClient.h"

class KeyKindPki final : public ApplicationPkiDouble {
public:
    KeyKindPki(velcom::ComPtr<ISMPrivateKeyInfrastructure> inner, KeyKind kind)
        : m_inner(std::move(inner)), m_kind(kind) {}

    // ImportRequestedCertificate2 and the store's interfaces are the real component's own.
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        const HRESULT own = ApplicationPkiDouble::QueryInterface(riid, object);
        return own == E_NOINTERFACE ? m_inner->QueryInterface(riid, object) : own;
    }
    STDMETHODIMP CreateRequest(RequestType type, BSTR password, VARIANT attributes,
                               ISMRequest** request) override {
        std::vector<std::string> texts = readListArgument(attributes).items;
        texts.push_back(m_kind == KeyKind::EcP256 ? "keytype=EC" : "keytype=RSA");
        std::vector<velcom::Bstr> owned;
        std::vector<BSTR> elements;
        for (const std::string& text : texts)
            elements.push_back(owned.emplace_back(toBstr(text)).get());
        return m_inner->CreateRequest(type, password, *arrayOf(VT_BSTR, elements).get(), request);
    }
    STDMETHODIMP AddRequest(ISMRequest* request, BSTR reference) override {
        return m_inner->AddRequest(request, reference);
    }
    STDMETHODIMP GetOpenRequests(VARIANT* references) override {
        return m_inner->GetOpenRequests(references);
    }
    STDMETHODIMP ImportRequestedCertificate(BSTR file, BSTR reference, LONG* id) override {
        return m_inner->ImportRequestedCertificate(file, reference, id);
    }

private:
    velcom::ComPtr<ISMPrivateKeyInfrastructure> m_inner;
    KeyKind m_kind;
};
