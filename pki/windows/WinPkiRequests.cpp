// Key requests: created with a new key in a container of its own, kept open in the user's
// registry under the server's reference, and closed by the import of the certificate issued for
// their key, which goes into CurrentUser\My linked to that container.
#include <algorithm>

#include "Base64.h"
#include "CryptText.h"
#include "KeyContainer.h"
#include "PemBundle.h"
#include "PkiFailure.h"
#include "Spkac.h"
#include "UserStores.h"
#include "WinAsymKey.h"
#include "WinPki.h"
#include "velRequest.h"

namespace {

DWORD rsaBits(KeyAlgorithm algorithm) {
    switch (algorithm) {
        case KeyAlgorithm::Rsa2048:
            return 2048;
        case KeyAlgorithm::Rsa3072:
            return 3072;
        case KeyAlgorithm::Rsa4096:
            return 4096;
        case KeyAlgorithm::EcP256:
        case KeyAlgorithm::EcP384:
            break;
    }
    failWith(NTE_NOT_SUPPORTED,
             "EC keys cannot be kept: the system's key storage keeps no EC key of a process for a "
             "later one (NCryptCreatePersistedKey), so requests use RSA keys");
}

// The certificate of certificates for the request's key; null when none is.
PCCERT_CONTEXT issuedFor(const OpenRequest& request, const std::vector<CertContext>& certificates) {
    for (const CertContext& certificate : certificates)
        if (publicKeyInfoOf(certificate.get()) == request.publicKey) return certificate.get();
    return nullptr;
}

}  // namespace

LONG CvelPKI::importIssued(const std::string& file, const std::string& reference,
                           const std::optional<std::string>& password, const std::string& under) {
    std::vector<OpenRequest> requests = pkiRegistry::openRequests();
    if (!reference.empty())
        std::erase_if(requests,
                      [&](const OpenRequest& open) { return open.reference != reference; });
    if (requests.empty()) failWith(E_INVALIDARG, "no request is open" + under);
    const std::vector<CertContext> certificates = readCertificatesAndLists(file).certificates;
    for (const OpenRequest& request : requests) {
        PCCERT_CONTEXT issued = issuedFor(request, certificates);
        if (issued == nullptr) continue;
        // A password given must open the key, so that the user learns of a wrong one now.
        if (password) {
            const std::optional<PasswordDigest> digest =
                pkiRegistry::keyPassword(request.container);
            if (!digest || !m_passwords->matches(*digest, *password))
                failWith(E_ACCESSDENIED, "the password does not open the request's key");
        }
        requireChained(certificates);
        for (const CertContext& certificate : certificates)
            if (certificate.get() != issued) keepAuthority(certificate.get());
        storeWithKey(issued, request.container);
        const std::string hash = sha1Of(issued);
        const std::optional<CertificateRecord> known = pkiRegistry::certificateWithHash(hash);
        const LONG id =
            known ? known->id : pkiRegistry::addCertificate({0, hash, request.container, false});
        pkiRegistry::removeRequest(request.reference);
        return id;
    }
    failWith(E_INVALIDARG, "no certificate in the file is for the key of a request open" + under);
}

velcom::ComPtr<CvelRequest> CvelPKI::newRequest(KeyAlgorithm algorithm,
                                                const std::string& challenge,
                                                const std::string& password) {
    const DWORD bits = rsaBits(algorithm);
    m_unkept.reserve(m_unkept.size() + 1);
    const KeyContainer key = KeyContainer::create(bits);
    m_unkept.push_back(key.name());
    const PasswordDigest digest = digestOfNewPassword(password);
    pkiRegistry::keepKeyPassword(key.name(), digest);
    m_passwords->remember(digest, password);
    const std::string publicKey = key.publicKeyInfo();
    return CvelRequest::make(toBase64(signedSpkac(key.provider(), kKeySpec, publicKey, challenge)),
                             publicKey, key.name());
}

void CvelPKI::keepRequest(const CvelRequest& request, const std::string& reference) {
    // On this system the request's private part is the name of its key's container.
    pkiRegistry::addRequest({reference, request.privateKey(), request.publicKey()});
    std::erase(m_unkept, request.privateKey());
}

std::vector<std::string> CvelPKI::openReferences() {
    std::vector<std::string> references;
    for (const OpenRequest& request : pkiRegistry::openRequests())
        references.push_back(request.reference);
    return references;
}

bool CvelPKI::forgetRequest(const std::string& reference) {
    const std::vector<OpenRequest> requests = pkiRegistry::openRequests();
    const auto request =
        std::find_if(requests.begin(), requests.end(),
                     [&](const OpenRequest& open) { return open.reference == reference; });
    if (request == requests.end()) return false;
    pkiRegistry::removeRequest(reference);
    KeyContainer::remove(request->container);
    pkiRegistry::forgetKeyPassword(request->container);
    return true;
}

velcom::ComPtr<ISMAsymKey> CvelPKI::keyOfCertificate(LONG id) {
    const std::optional<CertificateRecord> record = pkiRegistry::certificate(id);
    if (!record || record->container.empty()) return nullptr;
    return velcom::ComPtr<ISMAsymKey>(CvelAsymKey::make(record->container, m_passwords).get());
}
