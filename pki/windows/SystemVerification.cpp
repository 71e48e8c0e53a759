#include "SystemVerification.h"

#include <algorithm>
#include <cctype>

#include <velPKI/velPKI.h>

#include "SystemFailure.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// What the name says, as "CN=...".
std::string nameText(const CERT_NAME_BLOB& name) {
    auto* blob = const_cast<CERT_NAME_BLOB*>(&name);
    const DWORD size = CertNameToStrA(kEncoding, blob, CERT_X500_NAME_STR, nullptr, 0);
    std::string text(size, '\0');
    CertNameToStrA(kEncoding, blob, CERT_X500_NAME_STR, text.data(), size);
    text.resize(text.empty() ? 0 : text.size() - 1);
    return text;
}

bool sameCertificate(PCCERT_CONTEXT one, PCCERT_CONTEXT other) {
    return one->cbCertEncoded == other->cbCertEncoded &&
           std::equal(one->pbCertEncoded, one->pbCertEncoded + one->cbCertEncoded,
                      other->pbCertEncoded);
}

[[noreturn]] void failUntrusted(PCCERT_CONTEXT certificate, const std::string& reason) {
    throw PkiFailure(VELPKI_E_UNTRUSTED, "the certificate " +
                                             nameText(certificate->pCertInfo->Subject) +
                                             " does not chain to the trust anchor: " + reason);
}

}  // namespace

void requireChainedToAnchor(PCCERT_CONTEXT certificate, PCCERT_CONTEXT anchor,
                            const std::vector<PCCERT_CONTEXT>& extra) {
    if (sameCertificate(certificate, anchor)) return;
    // Wine refuses an engine of exclusive roots, so the default engine builds from a store of the
    // anchor and the extras, and the anchor's place in the chain decides, not the root's trust.
    const CertStore store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    if (!store) failSystem("opening a certificate store in memory");
    checkSystem(
        CertAddCertificateContextToStore(store.get(), anchor, CERT_STORE_ADD_ALWAYS, nullptr),
        "adding the trust anchor to the store");
    for (PCCERT_CONTEXT certificateOnTheWay : extra)
        checkSystem(CertAddCertificateContextToStore(store.get(), certificateOnTheWay,
                                                     CERT_STORE_ADD_USE_EXISTING, nullptr),
                    "adding a certificate to the store");
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    checkSystem(CertGetCertificateChain(nullptr, certificate, nullptr, store.get(), &parameters, 0,
                                        nullptr, &built),
                "building the certificate's chain");
    const ChainContext chain(built);
    const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
    for (DWORD index = 0; index < simple.cElement; ++index) {
        const CERT_CHAIN_ELEMENT& element = *simple.rgpElement[index];
        if (element.TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_SIGNATURE_VALID)
            failUntrusted(certificate, "a signature on the way does not verify");
        if (sameCertificate(element.pCertContext, anchor)) return;
    }
    failUntrusted(certificate, "no chain of issuers reaches it");
}

void requireListFromAnchor(PCCRL_CONTEXT list, PCCERT_CONTEXT anchor) {
    const std::string issuer = nameText(list->pCrlInfo->Issuer);
    if (!CertCompareCertificateName(kEncoding, &list->pCrlInfo->Issuer,
                                    &anchor->pCertInfo->Subject))
        throw PkiFailure(VELPKI_E_UNTRUSTED,
                         "the revocation list of " + issuer + " is not one of the trust anchor");
    if (!CryptVerifyCertificateSignatureEx(
            0, kEncoding, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CRL, const_cast<CRL_CONTEXT*>(list),
            CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT, const_cast<CERT_CONTEXT*>(anchor), 0, nullptr))
        throw PkiFailure(VELPKI_E_BAD_SIGNATURE,
                         "the trust anchor's key does not verify the revocation list of " + issuer);
    const FILETIME next = list->pCrlInfo->NextUpdate;
    if (next.dwLowDateTime == 0 && next.dwHighDateTime == 0)
        throw PkiFailure(VELPKI_E_EXPIRED,
                         "the revocation list of " + issuer + " names no next update");
    if (CertVerifyCRLTimeValidity(nullptr, list->pCrlInfo) > 0)
        throw PkiFailure(VELPKI_E_EXPIRED, "the revocation list of " + issuer + " has expired");
}

bool isRevoked(PCCERT_CONTEXT certificate, const std::vector<PCCRL_CONTEXT>& lists) {
    for (PCCRL_CONTEXT list : lists) {
        if (!CertCompareCertificateName(kEncoding, &list->pCrlInfo->Issuer,
                                        &certificate->pCertInfo->Issuer))
            continue;
        PCRL_ENTRY entry = nullptr;
        checkSystem(CertFindCertificateInCRL(certificate, list, 0, nullptr, &entry),
                    "looking the certificate up in a revocation list");
        if (entry != nullptr) return true;
    }
    return false;
}

std::string sha256Fingerprint(PCCERT_CONTEXT certificate) {
    BYTE digest[32];
    DWORD size = sizeof digest;
    checkSystem(
        CryptHashCertificate2(BCRYPT_SHA256_ALGORITHM, 0, nullptr, certificate->pbCertEncoded,
                              certificate->cbCertEncoded, digest, &size),
        "computing the fingerprint");
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (DWORD index = 0; index < size; ++index)
        digits += {kHex[digest[index] >> 4], kHex[digest[index] & 0xF]};
    return digits;
}

std::string parseFingerprint(const std::string& text) {
    std::string rest = text;
    if (rest.size() >= 7 && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, rest.c_str(), 7,
                                           "SHA256:", 7) == CSTR_EQUAL)
        rest.erase(0, 7);
    std::string digits;
    for (const char c : rest)
        if (c != ':') digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (digits.size() != 64 || digits.find_first_not_of("0123456789ABCDEF") != std::string::npos)
        throw PkiFailure(E_INVALIDARG, "\"" + text + "\" is not a SHA-256 fingerprint");
    return digits;
}
