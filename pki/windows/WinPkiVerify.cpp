// A certificate's status against what the user's store knows: its validity, its issuers up to a
// self-signed authority among the stored certificates or the anchor, the revocation lists in
// CurrentUser\CA, and revocations marked.
#include <algorithm>

#include "CryptText.h"
#include "SystemVerification.h"
#include "UserStores.h"
#include "WinPki.h"

namespace {

bool signedBy(PCCERT_CONTEXT certificate, PCCERT_CONTEXT issuer) {
    return CertCompareCertificateName(X509_ASN_ENCODING, &certificate->pCertInfo->Issuer,
                                      &issuer->pCertInfo->Subject) &&
           CryptVerifyCertificateSignatureEx(
               0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
               const_cast<CERT_CONTEXT*>(certificate), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
               const_cast<CERT_CONTEXT*>(issuer), 0, nullptr);
}

bool selfSigned(PCCERT_CONTEXT certificate) { return signedBy(certificate, certificate); }

}  // namespace

std::vector<CertContext> CvelPKI::issuerChain(PCCERT_CONTEXT certificate) {
    std::vector<CertContext> candidates = storedCertificates();
    if (CertContext anchor = trustAnchor()) candidates.push_back(std::move(anchor));
    std::vector<CertContext> chain;
    for (PCCERT_CONTEXT current = certificate; !selfSigned(current);) {
        const auto issuer = std::find_if(
            candidates.begin(), candidates.end(),
            [&](const CertContext& candidate) { return signedBy(current, candidate.get()); });
        if (issuer == candidates.end()) break;
        chain.push_back(std::move(*issuer));
        candidates.erase(issuer);
        current = chain.back().get();
    }
    return chain;
}

CertStatus CvelPKI::statusOf(PCCERT_CONTEXT certificate, const CertificateRecord* record) {
    if (record != nullptr && record->revoked) return SMStatusRevoked;
    const std::vector<CrlContext> lists = storedRevocationLists();
    std::vector<PCCRL_CONTEXT> held;
    for (const CrlContext& list : lists) held.push_back(list.get());
    if (isRevoked(certificate, held)) return SMStatusRevoked;
    const LONG position = CertVerifyTimeValidity(nullptr, certificate->pCertInfo);
    if (position != 0) return position < 0 ? SMStatusInActive : SMStatusExpired;
    // The chain must end in a self-signed authority the store keeps or the anchor.
    const std::vector<CertContext> chain = issuerChain(certificate);
    PCCERT_CONTEXT top = chain.empty() ? certificate : chain.back().get();
    const CertContext anchor = trustAnchor();
    const bool kept = !chain.empty() || record != nullptr ||
                      (anchor && CertCompareCertificate(X509_ASN_ENCODING, anchor->pCertInfo,
                                                        certificate->pCertInfo));
    return selfSigned(top) && kept ? SMStatusActive : SMStatusUnknownCA;
}

CertStatus CvelPKI::statusOfCertificate(ISMCertificate* certificate) {
    const CertContext owned = certificateOf(certificate);
    const std::optional<CertificateRecord> record =
        pkiRegistry::certificateWithHash(sha1Of(owned.get()));
    return statusOf(owned.get(), record ? &*record : nullptr);
}

CertStatus CvelPKI::statusOfStored(LONG id) {
    const auto stored = storedCertificate(id);
    const std::optional<CertificateRecord> record = pkiRegistry::certificate(id);
    return statusOf(stored->certificate(), record ? &*record : nullptr);
}

void CvelPKI::appendIssuers(ISMCertificate* certificate, std::size_t depth,
                            CvelCertificateList& chain) {
    std::vector<CertContext> issuers = issuerChain(certificateOf(certificate).get());
    for (std::size_t index = 0; index < issuers.size() && (depth == 0 || index < depth); ++index) {
        const std::optional<CertificateRecord> record =
            pkiRegistry::certificateWithHash(sha1Of(issuers[index].get()));
        chain.append(CvelCertificate::make(std::move(issuers[index]), record ? record->id : 0));
    }
}
