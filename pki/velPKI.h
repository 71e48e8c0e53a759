// The PKI component: keys, key requests, certificates and revocation lists in a SQLite store,
// with OpenSSL doing the cryptography. Apartment-threaded; the store is opened on first use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Keys.h"
#include "OpenSslOwners.h"
#include "PkiAutomation.h"
#include "PkiStore.h"
#include "SealedKeys.h"
#include "velCertificate.h"
#include "velList.h"

class CvelPKI final : public PkiAutomation {
    friend class PkiAutomation;

    CvelPKI() = default;

    // PkiSystem
    void openStore(const std::string& path) override;
    void setTrustAnchor(const std::string& file, const std::string& fingerprint) override;
    void importAll(ISMCertificateList* certificates, ISMCRLList* lists) override;
    void writePkcs12(const std::string& file, const std::string& password,
                     ISMCertificate* certificate, ISMAsymKey* key, bool withChain) override;
    LONG importIssued(const std::string& file, const std::string& reference,
                      const std::optional<std::string>& password,
                      const std::string& under) override;
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

    PkiStore& store();
    velcom::ComPtr<CvelCertificate> storedCertificate(std::int64_t id);
    // The certificate behind any ISMCertificate, read from its Base64 text when it is foreign.
    X509Owner certificateOf(ISMCertificate* certificate);
    std::int64_t storedIdOf(ISMCertificate* certificate) override;
    CertStatus statusOf(X509* certificate, std::int64_t id);
    // The issuers of the certificate as far as the store and its anchor know them, nearest first.
    X509StackOwner issuerChain(X509* certificate);
    // The store's trust anchor; null when it has none.
    X509Owner trustAnchor();
    // With an anchor: VELPKI_E_UNTRUSTED unless each certificate chains to it, through the others
    // and the store's certificates.
    void requireChained(const std::vector<X509Owner>& certificates);
    // With an anchor: a failure unless the anchor issued and signed the list and it is current.
    void requireFromAnchor(X509_CRL* list);
    // Stores the certificates and lists, all or none, and marks revoked every stored certificate
    // a list names.
    void storeWithRevocations(const std::vector<X509Owner>& certificates,
                              const std::vector<CrlOwner>& lists);

    std::shared_ptr<PkiStore> m_pStore;
    SealedKeys m_sealed;
};

CertificateEntry entryOf(X509* certificate);
