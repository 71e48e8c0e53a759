// What the PKI class shows to automation, whichever system's cryptography it is built on: its
// three dual interfaces, and one IDispatch over all of them, with one reference count, the
// module lock of a live object and ISupportErrorInfo for the three. A script holds only the
// object's IDispatch, so the names of the store's management and of the extended import are found
// there too, after the contract's own, under DISPIDs of ranges of their own. The methods that do
// not touch keys or certificates are answered here too; the rest is each system's own.
#pragma once

#include <new>

#include "PkiDispatchTables.h"

class PkiAutomation : public velcom::DispatchImpl<ISMPrivateKeyInfrastructure>,
                      public velcom::DispatchImpl<ISMPrivateKeyInfrastructureEx>,
                      public velcom::DispatchImpl<IvelPKIStore>,
                      public ISupportErrorInfo {
public:
    // The class object's creation function for the system's PKI class: aggregation is refused.
    template <class Pki>
    static HRESULT create(IUnknown* outer, REFIID riid, void** object) {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        Pki* created = new (std::nothrow) Pki();
        if (created == nullptr) return E_OUTOFMEMORY;
        const velcom::ComPtr<ISMPrivateKeyInfrastructure> held(created);
        return held->QueryInterface(riid, object);
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    STDMETHODIMP CreateAuthenticator(BSTR strPassword, IAuthenticator** ppAuthenticator) override;
    STDMETHODIMP CreateCertificateList(ISMCertificateList** ppCertList) override;

    // What neither system offers.
    STDMETHODIMP ImportKey(LONG, ISMAsymKey*) override { return E_NOTIMPL; }
    STDMETHODIMP Export(BSTR, FileFormat, FileEncoding, ISMCertificateList*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP HasValidCertifiedKey(BSTR, ISMCertificateList**, LONG*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP FindValidCerts(VARIANT, VARIANT*, VARIANT*, ISMCertificateList**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP AdjustDefaults(ISMCertificateList*) override { return E_NOTIMPL; }

protected:
    PkiAutomation();
    virtual ~PkiAutomation();

private:
    ULONG m_lReferences = 0;
};
