// The PKI component a host hands to Init. Requesting a certificate's form calls nothing on it, so
// this one answers every method with E_NOTIMPL.
#pragma once

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "CountedObject.h"

class HostPki final : public velcom::DispatchImpl<ISMPrivateKeyInfrastructure>,
                      public CountedObject<HostPki> {
public:
    static velcom::ComPtr<ISMPrivateKeyInfrastructure> create() {
        velcom::ComPtr<ISMPrivateKeyInfrastructure> pki;
        (new HostPki())->QueryInterface(IID_ISMPrivateKeyInfrastructure, pki.putVoid());
        return pki;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
            !IsEqualIID(riid, IID_ISMPrivateKeyInfrastructure)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<ISMPrivateKeyInfrastructure*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
    STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

    STDMETHODIMP FindKey(LONG, ISMAsymKey**) override { return E_NOTIMPL; }
    STDMETHODIMP Verify2(LONG, LONG, CertStatus*) override { return E_NOTIMPL; }
    STDMETHODIMP Verify(ISMCertificate*, LONG, CertStatus*) override { return E_NOTIMPL; }
    STDMETHODIMP ImportKey(LONG, ISMAsymKey*) override { return E_NOTIMPL; }
    STDMETHODIMP ExportPKCS12(BSTR, BSTR, ISMCertificate*, ISMAsymKey*, LONG) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Import(ISMCertificateList*, ISMCRLList*) override { return E_NOTIMPL; }
    STDMETHODIMP Load(BSTR, ISMCertificateList**, ISMCRLList**) override { return E_NOTIMPL; }
    STDMETHODIMP LoadPKCS12(BSTR, BSTR, ISMCertificateList**, ISMKeyList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Export(BSTR, FileFormat, FileEncoding, ISMCertificateList*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Export2(BSTR, FileFormat, FileEncoding, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP Find(CertType*, CertStatus*, BSTR*, LONG*, BSTR*, VARIANT*, BSTR*,
                      ISMCertificateList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetCertificate(LONG, ISMCertificate**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIssuer(ISMCertificate*, LONG, ISMCertificateList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP HasValidCertifiedKey(BSTR, ISMCertificateList**, LONG*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP FindValidCerts(VARIANT, VARIANT*, VARIANT*, ISMCertificateList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP AdjustDefaults(ISMCertificateList*) override { return E_NOTIMPL; }
    STDMETHODIMP CreateCertificateList(ISMCertificateList**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateRequest(RequestType, BSTR, VARIANT, ISMRequest**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP AddRequest(ISMRequest*, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetOpenRequests(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP ImportRequestedCertificate(BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Revoke(ISMCertificate*) override { return E_NOTIMPL; }
    STDMETHODIMP ExportKey(BSTR, BSTR, FileFormat, FileEncoding, ISMAsymKey*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Delete(ISMCertificate*) override { return E_NOTIMPL; }
    STDMETHODIMP Delete2(LONG) override { return E_NOTIMPL; }

private:
    HostPki() : DispatchImpl(kISMPrivateKeyInfrastructureMembers) {}
    ~HostPki() = default;
    friend class CountedObject<HostPki>;
};
