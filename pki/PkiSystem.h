// What the PKI class asks of the system it is built on: how keys, requests, certificates and
// revocation lists are made, read, written and kept. PkiAutomation answers automation and checks
// the arguments; the system's class implements these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FindCriteria.h"
#include "RequestAttributes.h"
#include "velList.h"
#include "velRequest.h"

class PkiSystem {
protected:
    virtual ~PkiSystem() = default;

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
};
