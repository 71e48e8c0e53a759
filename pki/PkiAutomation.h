// What the PKI class shows to automation, whichever system's cryptography it is built on: its
// three dual interfaces, and one IDispatch over all of them, with one reference count, the
// module lock of a live object and ISupportErrorInfo for the three. A script holds only the
// object's IDispatch, so the names of the store's management and of the extended import are found
// there too, after the contract's own, under DISPIDs of ranges of their own. Each method's checks
// of its arguments are made here too; what keys, requests and certificates are made of and where
// they are kept is each system's own, behind PkiSystem.
#pragma once

#include <new>
#include <string>

#include "PkiDispatchTables.h"
#include "PkiSystem.h"

class PkiAutomation : public velcom::DispatchImpl<ISMPrivateKeyInfrastructure>,
                      public velcom::DispatchImpl<ISMPrivateKeyInfrastructureEx>,
                      public velcom::DispatchImpl<IvelPKIStore>,
                      public ISupportErrorInfo,
                      protected PkiSystem {
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

    STDMETHODIMP Open(BSTR path) override;
    STDMETHODIMP SetTrustAnchor(BSTR strFile, BSTR strFingerprint) override;
    STDMETHODIMP CreateAuthenticator(BSTR strPassword, IAuthenticator** ppAuthenticator) override;
    STDMETHODIMP CreateCertificateList(ISMCertificateList** ppCertList) override;

    // Finding (PkiCertificateAutomation.cpp)
    STDMETHODIMP Find(CertType* pType, CertStatus* pStatus, BSTR* pstrAddress, LONG* pbDefault,
                      BSTR* pstrCommonName, VARIANT* pIssuer, BSTR* pstrSerial,
                      ISMCertificateList** ppCertList) override;
    STDMETHODIMP FindKey(LONG lCertID, ISMAsymKey** ppKey) override;
    STDMETHODIMP GetCertificate(LONG lID, ISMCertificate** ppCertificate) override;
    STDMETHODIMP GetTrustAnchor(ISMCertificate** ppAnchor) override;
    STDMETHODIMP Revoke(ISMCertificate* pCert) override;
    STDMETHODIMP Delete(ISMCertificate* pCert) override;
    STDMETHODIMP Delete2(LONG lCertID) override;

    // Judging (PkiVerifyAutomation.cpp)
    STDMETHODIMP Verify(ISMCertificate* pCert, LONG bOnline, CertStatus* pStatus) override;
    STDMETHODIMP Verify2(LONG lCertID, LONG bOnline, CertStatus* pStatus) override;
    STDMETHODIMP GetIssuer(ISMCertificate* pCertificate, LONG lDeep,
                           ISMCertificateList** ppChain) override;

    // Files (PkiFileAutomation.cpp)
    STDMETHODIMP Load(BSTR strFile, ISMCertificateList** ppCertList,
                      ISMCRLList** ppCRLList) override;
    STDMETHODIMP LoadPKCS12(BSTR strFile, BSTR strPass, ISMCertificateList** ppCertList,
                            ISMKeyList** ppKeyList) override;
    STDMETHODIMP Export2(BSTR strFile, FileFormat sFormat, FileEncoding sEncoding,
                         VARIANT vCertIDs) override;
    STDMETHODIMP Import(ISMCertificateList* pCertList, ISMCRLList* pCRLList) override;
    STDMETHODIMP ExportPKCS12(BSTR strFile, BSTR strPass, ISMCertificate* pCertificate,
                              ISMAsymKey* pKey, LONG bWithChain) override;
    STDMETHODIMP ExportKey(BSTR strFile, BSTR strPass, FileFormat sFormat, FileEncoding sEncoding,
                           ISMAsymKey* pKey) override;

    // Requests (PkiRequestAutomation.cpp)
    STDMETHODIMP CreateRequest(RequestType nType, BSTR strPass, VARIANT varAttr,
                               ISMRequest** ppRequest) override;
    STDMETHODIMP AddRequest(ISMRequest* pRequest, BSTR strSNr) override;
    STDMETHODIMP GetOpenRequests(VARIANT* pvarRequests) override;
    STDMETHODIMP ImportRequestedCertificate(BSTR strCertFile, BSTR strReqID,
                                            LONG* plCertID) override;
    STDMETHODIMP ImportRequestedCertificate2(BSTR strCertFile, BSTR strReqID, BSTR* pstrPass,
                                             LONG* plCertID) override;
    STDMETHODIMP put_KeyType(BSTR strKeyType) override;
    STDMETHODIMP ForgetRequest(BSTR strReference) override;
    STDMETHODIMP put_RequestScope(BSTR strReference) override;

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
    ~PkiAutomation() override;

private:
    ULONG m_lReferences = 0;
    KeyAlgorithm m_keyAlgorithm = KeyAlgorithm::Rsa2048;
    std::string m_requestScope;
};
