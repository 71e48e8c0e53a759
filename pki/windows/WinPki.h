// The PKI component over the system's own cryptography and certificate store: keys in rsaenh key
// containers, certificates in the user's store, and what links them and keeps requests open in
// the user's registry (PkiRegistry.h). Apartment-threaded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CryptOwners.h"
#include "PasswordCheck.h"
#include "PkiAutomation.h"
#include "PkiRegistry.h"
#include "RequestAttributes.h"
#include "WinCertificate.h"
#include "velList.h"

class CvelPKI final : public PkiAutomation {
    friend class PkiAutomation;

public:
    // IvelPKIStore. Open: the store is the user's own here, so a path is refused (E_NOTIMPL).
    STDMETHODIMP Open(BSTR path) override;
    STDMETHODIMP SetTrustAnchor(BSTR strFile, BSTR strFingerprint) override;
    STDMETHODIMP GetTrustAnchor(ISMCertificate** ppAnchor) override;
    STDMETHODIMP put_KeyType(BSTR strKeyType) override;
    STDMETHODIMP ForgetRequest(BSTR strReference) override;
    STDMETHODIMP put_RequestScope(BSTR strReference) override;

    // ISMPrivateKeyInfrastructure
    STDMETHODIMP FindKey(LONG lCertID, ISMAsymKey** ppKey) override;
    STDMETHODIMP Verify2(LONG lCertID, LONG bOnline, CertStatus* pStatus) override;
    STDMETHODIMP Verify(ISMCertificate* pCert, LONG bOnline, CertStatus* pStatus) override;
    STDMETHODIMP ExportPKCS12(BSTR strFile, BSTR strPass, ISMCertificate* pCertificate,
                              ISMAsymKey* pKey, LONG bWithChain) override;
    STDMETHODIMP Import(ISMCertificateList* pCertList, ISMCRLList* pCRLList) override;
    STDMETHODIMP Load(BSTR strFile, ISMCertificateList** ppCertList,
                      ISMCRLList** ppCRLList) override;
    STDMETHODIMP LoadPKCS12(BSTR strFile, BSTR strPass, ISMCertificateList** ppCertList,
                            ISMKeyList** ppKeyList) override;
    STDMETHODIMP Export2(BSTR strFile, FileFormat sFormat, FileEncoding sEncoding,
                         VARIANT vCertIDs) override;
    STDMETHODIMP Find(CertType* pType, CertStatus* pStatus, BSTR* pstrAddress, LONG* pbDefault,
                      BSTR* pstrCommonName, VARIANT* pIssuer, BSTR* pstrSerial,
                      ISMCertificateList** ppCertList) override;
    STDMETHODIMP GetCertificate(LONG lID, ISMCertificate** ppCertificate) override;
    STDMETHODIMP GetIssuer(ISMCertificate* pCertificate, LONG lDeep,
                           ISMCertificateList** ppChain) override;
    STDMETHODIMP CreateRequest(RequestType nType, BSTR strPass, VARIANT varAttr,
                               ISMRequest** ppRequest) override;
    STDMETHODIMP AddRequest(ISMRequest* pRequest, BSTR strSNr) override;
    STDMETHODIMP GetOpenRequests(VARIANT* pvarRequests) override;
    STDMETHODIMP ImportRequestedCertificate(BSTR strCertFile, BSTR strReqID,
                                            LONG* plCertID) override;
    STDMETHODIMP Revoke(ISMCertificate* pCert) override;
    STDMETHODIMP ExportKey(BSTR strFile, BSTR strPass, FileFormat sFormat, FileEncoding sEncoding,
                           ISMAsymKey* pKey) override;
    STDMETHODIMP Delete(ISMCertificate* pCert) override;
    STDMETHODIMP Delete2(LONG lCertID) override;

    // ISMPrivateKeyInfrastructureEx
    STDMETHODIMP ImportRequestedCertificate2(BSTR strCertFile, BSTR strReqID, BSTR* pstrPass,
                                             LONG* plCertID) override;

private:
    CvelPKI() = default;
    ~CvelPKI() override;

    velcom::ComPtr<CvelCertificate> storedCertificate(long id);
    // The certificate behind any ISMCertificate, read from its Base64 text when it is foreign.
    CertContext certificateOf(ISMCertificate* certificate);
    CertificateRecord recordOf(ISMCertificate* certificate);
    CertStatus statusOf(PCCERT_CONTEXT certificate, const CertificateRecord* record);
    // The issuers of the certificate among the stored certificates and the anchor, nearest first.
    std::vector<CertContext> issuerChain(PCCERT_CONTEXT certificate);
    // Removes the record, the certificate from the user's store and a key no other record uses.
    void removeCertificate(const CertificateRecord& record);
    // Puts an authority's certificate into CurrentUser\CA with an ID, once.
    long keepAuthority(PCCERT_CONTEXT certificate);
    // The trust anchor; null when none is set.
    CertContext trustAnchor();
    // Every certificate the component keeps that the user's store still holds.
    std::vector<CertContext> storedCertificates();
    // With an anchor: VELPKI_E_UNTRUSTED unless each certificate chains to it, through the others
    // and the stored certificates.
    void requireChained(const std::vector<CertContext>& certificates);
    // With an anchor: a failure unless the anchor issued and signed the list and it is current.
    void requireFromAnchor(PCCRL_CONTEXT list);

    KeyAlgorithm m_keyAlgorithm = KeyAlgorithm::Rsa2048;
    std::string m_requestScope;
    std::shared_ptr<PasswordCheck> m_passwords = std::make_shared<PasswordCheck>();
    // Containers made by CreateRequest that no AddRequest has kept yet: removed with the object.
    std::vector<std::string> m_unkept;
};
