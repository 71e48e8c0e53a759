// What the PKI class shows to automation, whichever system's cryptography it is built on: its
// three dual interfaces, and one IDispatch over all of them, with one reference count, the
// module lock of a live object and ISupportErrorInfo for the three. A script holds only the
// object's IDispatch, so the names of the store's management and of the extended import are found
// there too, after the contract's own, under DISPIDs of ranges of their own. Each method's checks
// of its arguments are made here too; what keys, requests and certificates are made of and where
// they are kept is each system's own, behind the protected hooks.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "FindCriteria.h"
#include "PkiDispatchTables.h"
#include "RequestAttributes.h"
#include "velList.h"
#include "velRequest.h"

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

    // IvelPKIStore
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
    virtual ~PkiAutomation();

    // Opens the store at the path from now on.
    virtual void openStore(const std::string& path) = 0;
    // Makes the file's certificate the trust anchor when it has the SHA-256 fingerprint.
    virtual void setTrustAnchor(const std::string& file, const std::string& fingerprint) = 0;
    // Appends the stored certificates the criteria admit.
    virtual void findCertificates(const FindCriteria& criteria, CvelCertificateList& found) = 0;
    // The key of the stored certificate, locked; null when it has none.
    virtual velcom::ComPtr<ISMAsymKey> keyOfCertificate(LONG id) = 0;
    // The stored certificate; a failure when there is none under the ID.
    virtual velcom::ComPtr<ISMCertificate> certificateWithId(LONG id) = 0;
    // The ID of a stored certificate; a failure for one not stored.
    virtual std::int64_t storedIdOf(ISMCertificate* certificate) = 0;
    virtual void markRevoked(std::int64_t id) = 0;
    // Removes the stored certificate and a key no other one uses; false when none has the ID.
    virtual bool deleteStored(std::int64_t id) = 0;
    // The trust anchor; null when none is set.
    virtual velcom::ComPtr<ISMCertificate> anchorCertificate() = 0;
    // The status of any certificate, stored or not, or of a stored one.
    virtual CertStatus statusOfCertificate(ISMCertificate* certificate) = 0;
    virtual CertStatus statusOfStored(LONG id) = 0;
    // Appends the certificate's issuers, nearest first, no more than depth of them unless it is 0.
    virtual void appendIssuers(ISMCertificate* certificate, std::size_t depth,
                               CvelCertificateList& chain) = 0;
    // Stores the certificates and lists of a host's lists, once they pass the trust anchor.
    virtual void importAll(ISMCertificateList* certificates, ISMCRLList* lists) = 0;
    // The certificate with the component's key, and its issuers if asked, as a PKCS#12 file.
    virtual void writePkcs12(const std::string& file, const std::string& password,
                             ISMCertificate* certificate, ISMAsymKey* key, bool withChain) = 0;
    // The certificates and revocation lists of a PEM or DER file.
    virtual void loadFile(const std::string& file, CvelCertificateList& certificates,
                          CvelCRLList& lists) = 0;
    // The certificates of a PKCS#12 file, and its key.
    virtual void loadPkcs12(const std::string& file, const std::string& password,
                            CvelCertificateList& certificates, CvelKeyList& keys) = 0;
    // The stored certificate as PEM text or DER, for a certificate file.
    virtual std::string certificateFileText(std::int64_t id, bool pem) = 0;
    virtual void writeCertificateFile(const std::string& file, const std::string& bytes) = 0;
    // The component's key as PKCS#8 PEM, encrypted under a password that is not empty.
    virtual void writeKeyFile(const std::string& file, ISMAsymKey* key,
                              const std::string& password) = 0;
    // A request for a new key of the algorithm, kept under the password until AddRequest.
    virtual velcom::ComPtr<CvelRequest> newRequest(KeyAlgorithm algorithm,
                                                   const std::string& challenge,
                                                   const std::string& password) = 0;
    // Keeps the request open under the server's reference.
    virtual void keepRequest(const CvelRequest& request, const std::string& reference) = 0;
    // The references of all open requests.
    virtual std::vector<std::string> openReferences() = 0;
    // Stores the file's certificate for the key of an open request (of the reference unless that
    // is empty), checking a password given against the key, and closes the request. under ends
    // the failures that name the open requests.
    virtual LONG importIssued(const std::string& file, const std::string& reference,
                              const std::optional<std::string>& password,
                              const std::string& under) = 0;
    // Closes the request and drops its key; false when none is open under the reference.
    virtual bool forgetRequest(const std::string& reference) = 0;

private:
    ULONG m_lReferences = 0;
    KeyAlgorithm m_keyAlgorithm = KeyAlgorithm::Rsa2048;
    std::string m_requestScope;
};
