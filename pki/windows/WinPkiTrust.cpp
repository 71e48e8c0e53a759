// The trust anchor: the one certificate that imported certificates must chain to and that must
// have issued and signed imported revocation lists, once the user has named it by its
// fingerprint.
#include <algorithm>
#include <cctype>

#include "CertificateText.h"
#include "CryptText.h"
#include "ErrorBoundary.h"
#include "FileBytes.h"
#include "UserStores.h"
#include "WinPki.h"
#include "text/AnsiText.h"

namespace {

// The 64 upper-case hexadecimal digits of a fingerprint as the user may write it.
std::string fingerprintDigits(std::string text) {
    if (text.size() >= 7 && _strnicmp(text.c_str(), "SHA256:", 7) == 0) text.erase(0, 7);
    std::string digits;
    for (const char c : text)
        if (c != ':') digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (digits.size() != 64 || digits.find_first_not_of("0123456789ABCDEF") != std::string::npos)
        failWith(E_INVALIDARG, "\"" + text + "\" is not a SHA-256 fingerprint");
    return digits;
}

std::string sha256Digits(PCCERT_CONTEXT certificate) {
    const std::string der = derOf(certificate);
    std::string digest(32, '\0');
    DWORD size = static_cast<DWORD>(digest.size());
    checkSystem(CryptHashCertificate2(
                    BCRYPT_SHA256_ALGORITHM, 0, nullptr, reinterpret_cast<const BYTE*>(der.data()),
                    static_cast<DWORD>(der.size()), reinterpret_cast<BYTE*>(digest.data()), &size),
                "computing the fingerprint");
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (const char octet : digest)
        digits += {kHex[static_cast<unsigned char>(octet) >> 4], kHex[octet & 0xF]};
    return digits;
}

bool signedBy(PCCERT_CONTEXT certificate, PCCERT_CONTEXT issuer) {
    return CertCompareCertificateName(X509_ASN_ENCODING, &certificate->pCertInfo->Issuer,
                                      &issuer->pCertInfo->Subject) &&
           CryptVerifyCertificateSignatureEx(
               0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
               const_cast<CERT_CONTEXT*>(certificate), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
               const_cast<CERT_CONTEXT*>(issuer), 0, nullptr);
}

bool sameCertificate(PCCERT_CONTEXT a, PCCERT_CONTEXT b) {
    return CertCompareCertificate(X509_ASN_ENCODING, a->pCertInfo, b->pCertInfo);
}

// Whether the signatures lead from certificate to anchor through candidates, each used once.
bool leadsTo(PCCERT_CONTEXT certificate, PCCERT_CONTEXT anchor,
             std::vector<PCCERT_CONTEXT> candidates) {
    for (PCCERT_CONTEXT current = certificate;;) {
        if (sameCertificate(current, anchor) || signedBy(current, anchor)) return true;
        const auto issuer = std::find_if(candidates.begin(), candidates.end(),
                                         [&](PCCERT_CONTEXT c) { return signedBy(current, c); });
        if (issuer == candidates.end()) return false;
        current = *issuer;
        candidates.erase(issuer);
    }
}

}  // namespace

STDMETHODIMP CvelPKI::SetTrustAnchor(BSTR strFile, BSTR strFingerprint) {
    return errorBoundary(IID_IvelPKIStore, "SetTrustAnchor", [&] {
        const std::string expected = fingerprintDigits(toAnsi(strFingerprint));
        const std::vector<CertContext> certificates =
            certificatesIn(readFileBytes(toAnsi(strFile)));
        if (certificates.empty()) failWith(E_INVALIDARG, "the file holds no certificate");
        const std::string actual = sha256Digits(certificates.front().get());
        if (actual != expected)
            failWith(VELPKI_E_FINGERPRINT,
                     "the certificate's fingerprint is SHA256:" + actual + ", not the one given");
        pkiRegistry::setTrustAnchor(derOf(certificates.front().get()));
    });
}

STDMETHODIMP CvelPKI::GetTrustAnchor(ISMCertificate** ppAnchor) {
    bool none = false;
    const HRESULT result = errorBoundary(IID_IvelPKIStore, "GetTrustAnchor", [&] {
        requireOut(ppAnchor);
        *ppAnchor = nullptr;
        CertContext anchor = trustAnchor();
        none = !anchor;
        if (anchor) *ppAnchor = CvelCertificate::make(std::move(anchor), 0)->handOut();
    });
    return result == S_OK && none ? S_FALSE : result;
}

CertContext CvelPKI::trustAnchor() {
    const std::optional<std::string> der = pkiRegistry::trustAnchor();
    return der ? certificateFromDer(*der) : nullptr;
}

void CvelPKI::requireChained(const std::vector<CertContext>& certificates) {
    const CertContext anchor = trustAnchor();
    if (!anchor) return;
    // Who signed is the question here; a certificate's validity period is a matter of its status.
    std::vector<CertContext> stored;
    for (const CertificateRecord& record : pkiRegistry::certificates())
        if (CertContext certificate = ::storedCertificate(record.hash))
            stored.push_back(std::move(certificate));
    std::vector<PCCERT_CONTEXT> candidates;
    for (const CertContext& certificate : certificates) candidates.push_back(certificate.get());
    for (const CertContext& certificate : stored) candidates.push_back(certificate.get());
    for (const CertContext& certificate : certificates)
        if (!leadsTo(certificate.get(), anchor.get(), candidates))
            failWith(VELPKI_E_UNTRUSTED, "the certificate " +
                                             nameText(certificate->pCertInfo->Subject) +
                                             " does not chain to the trust anchor");
}

long CvelPKI::keepAuthority(PCCERT_CONTEXT certificate) {
    const std::string hash = sha1Of(certificate);
    if (const std::optional<CertificateRecord> known = pkiRegistry::certificateWithHash(hash))
        return known->id;
    storeAuthority(certificate);
    return pkiRegistry::addCertificate({0, hash, {}, false});
}
