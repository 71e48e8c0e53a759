// The trust anchor: the one certificate that imported certificates must chain to and that must
// have issued and signed imported revocation lists, once the user has named it by its
// fingerprint.
#include "CryptText.h"
#include "PemBundle.h"
#include "PkiFailure.h"
#include "SystemVerification.h"
#include "UserStores.h"
#include "WinPki.h"

void CvelPKI::setTrustAnchor(const std::string& file, const std::string& fingerprint) {
    const std::string expected = parseFingerprint(fingerprint);
    const std::vector<CertContext> certificates = readCertificatesAndLists(file).certificates;
    if (certificates.empty()) failWith(E_INVALIDARG, "the file holds no certificate");
    const std::string actual = sha256Fingerprint(certificates.front().get());
    if (actual != expected)
        failWith(VELPKI_E_FINGERPRINT,
                 "the certificate's fingerprint is SHA256:" + actual + ", not the one given");
    pkiRegistry::setTrustAnchor(derOf(certificates.front().get()));
}

CertContext CvelPKI::trustAnchor() {
    const std::optional<std::string> der = pkiRegistry::trustAnchor();
    return der ? certificateFromDer(*der) : nullptr;
}

std::vector<CertContext> CvelPKI::storedCertificates() {
    std::vector<CertContext> stored;
    for (const CertificateRecord& record : pkiRegistry::certificates())
        if (CertContext certificate = ::storedCertificate(record.hash))
            stored.push_back(std::move(certificate));
    return stored;
}

void CvelPKI::requireChained(const std::vector<CertContext>& certificates) {
    const CertContext anchor = trustAnchor();
    if (!anchor) return;
    const std::vector<CertContext> stored = storedCertificates();
    std::vector<PCCERT_CONTEXT> extra;
    for (const CertContext& certificate : certificates) extra.push_back(certificate.get());
    for (const CertContext& certificate : stored) extra.push_back(certificate.get());
    for (const CertContext& certificate : certificates)
        requireChainedToAnchor(certificate.get(), anchor.get(), extra);
}

void CvelPKI::requireFromAnchor(PCCRL_CONTEXT list) {
    if (const CertContext anchor = trustAnchor()) requireListFromAnchor(list, anchor.get());
}

long CvelPKI::keepAuthority(PCCERT_CONTEXT certificate) {
    const std::string hash = sha1Of(certificate);
    if (const std::optional<CertificateRecord> known = pkiRegistry::certificateWithHash(hash))
        return known->id;
    storeAuthority(certificate);
    return pkiRegistry::addCertificate({0, hash, {}, false});
}

velcom::ComPtr<ISMCertificate> CvelPKI::anchorCertificate() {
    CertContext anchor = trustAnchor();
    if (!anchor) return nullptr;
    return velcom::ComPtr<ISMCertificate>(CvelCertificate::make(std::move(anchor), 0).get());
}
