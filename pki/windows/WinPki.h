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

    CvelPKI() = default;
    ~CvelPKI() override;

    // PkiSystem
    // openStore: the store is the user's own here, so a path is refused (E_NOTIMPL).
    void openStore(const std::string& path) override;
    void setTrustAnchor(const std::string& file, const std::string& fingerprint) override;
    void importAll(ISMCertificateList* certificates, ISMCRLList* lists) override;
    void writePkcs12(const std::string& file, const std::string& password,
                     ISMCertificate* certificate, ISMAsymKey* key, bool withChain) override;
    LONG importIssued(const std::string& file, const std::string& reference,
                      const std::optional<std::string>& password,
                      const std::string& under) override;
    std::int64_t storedIdOf(ISMCertificate* certificate) override;
    void markRevoked(std::int64_t id) override;
    bool deleteStored(std::int64_t id) override;
    velcom::ComPtr<ISMCertificate> certificateWithId(LONG id) override;
    velcom::ComPtr<ISMCertificate> anchorCertificate() override;
    CertStatus statusOfCertificate(ISMCertificate* certificate) override;
    CertStatus statusOfStored(LONG id) override;
    void appendIssuers(ISMCertificate* certificate, std::size_t depth,
                       CvelCertificateList& chain) override;
    void findCertificates(const FindCriteria& criteria, CvelCertificateList& found) override;
    velcom::ComPtr<ISMAsymKey> keyOfCertificate(LONG id) override;
    void loadFile(const std::string& file, CvelCertificateList& certificates,
                  CvelCRLList& lists) override;
    void loadPkcs12(const std::string& file, const std::string& password,
                    CvelCertificateList& certificates, CvelKeyList& keys) override;
    std::string certificateFileText(std::int64_t id, bool pem) override;
    void writeCertificateFile(const std::string& file, const std::string& bytes) override;
    void writeKeyFile(const std::string& file, ISMAsymKey* key,
                      const std::string& password) override;
    velcom::ComPtr<CvelRequest> newRequest(KeyAlgorithm algorithm, const std::string& challenge,
                                           const std::string& password) override;
    void keepRequest(const CvelRequest& request, const std::string& reference) override;
    std::vector<std::string> openReferences() override;
    bool forgetRequest(const std::string& reference) override;

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

    std::shared_ptr<PasswordCheck> m_passwords = std::make_shared<PasswordCheck>();
    // Containers made by CreateRequest that no AddRequest has kept yet: removed with the object.
    std::vector<std::string> m_unkept;
};
