// What the operations ask of the host's PKI component. Every call raises a COM error, with the
// component's error information, for a failing result; a missing component raises E_POINTER.
#pragma once

#include <string>

#include <velTesseraComm/velTesseraComm.h>

class PkiCalls {
public:
    explicit PkiCalls(ISMPrivateKeyInfrastructure* pki) : m_pki(pki) {}

    // A new SPKAC request for the challenge, its key protected by keyPassword.
    velcom::ComPtr<ISMRequest> createRequest(const std::string& keyPassword,
                                             const std::string& challenge) const;
    // Keeps the request open under reference; a second call gives its final reference.
    void addRequest(ISMRequest* request, const std::string& reference) const;
    // VT_EMPTY or VT_ERROR for none, else VT_ARRAY|VT_BSTR of the open references.
    velcom::Variant openRequests() const;
    LONG importRequestedCertificate(const std::string& file, const std::string& reference) const;
    // The extended interface, or null when the component does not offer it.
    velcom::ComPtr<ISMPrivateKeyInfrastructureEx> extended() const;
    void revoke(ISMCertificate* certificate) const;
    velcom::ComPtr<ISMAsymKey> findKey(LONG certificateId) const;
    // The certificate with this identifier, written as a PEM file.
    void exportCertificate(const std::string& file, LONG certificateId) const;
    // The key written as a PEM file, protected by password.
    void exportKey(const std::string& file, const std::string& password, ISMAsymKey* key) const;
    // The certificates and revocation lists of a PEM file, stored as Load gives them.
    void loadAndImport(const std::string& file) const;

private:
    ISMPrivateKeyInfrastructure& component() const;

    ISMPrivateKeyInfrastructure* m_pki;
};

LONG importRequestedCertificate2(ISMPrivateKeyInfrastructureEx& pki, const std::string& file,
                                 const std::string& reference, BSTR* keyPassword);

// The companions of the component: a request's or a certificate's Base64 text as VT_ARRAY|VT_UI1,
// a certificate's serial and identifier, and a key made usable for export.
velcom::Variant requestAsBase64(ISMRequest& request);
velcom::Variant certificateAsBase64(ISMCertificate& certificate);
std::string certificateSerial(ISMCertificate& certificate);
LONG certificateId(ISMCertificate& certificate);
void decryptKey(ISMAsymKey& key, const std::string& password);
