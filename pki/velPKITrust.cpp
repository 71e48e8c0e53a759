// The store's trust anchor: the one certificate that imported certificates must chain to and
// that must have issued and signed imported revocation lists, once the user has named it by its
// fingerprint.
#include <openssl/crypto.h>
#include <openssl/err.h>

#include <algorithm>
#include <cctype>

#include "DerText.h"
#include "PemFiles.h"
#include "PkiFailure.h"
#include "velPKI.h"

namespace {

// The 64 upper-case hexadecimal digits of a fingerprint as the user may write it.
std::string fingerprintDigits(std::string text) {
    if (text.size() >= 7 && OPENSSL_strncasecmp(text.c_str(), "SHA256:", 7) == 0) text.erase(0, 7);
    std::string digits;
    for (const char c : text)
        if (c != ':') digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (digits.size() != 64 || digits.find_first_not_of("0123456789ABCDEF") != std::string::npos)
        failWith(E_INVALIDARG, "\"" + text + "\" is not a SHA-256 fingerprint");
    return digits;
}

std::string sha256Digits(X509* certificate) {
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    checkSsl(X509_digest(certificate, EVP_sha256(), bytes, &length), "computing the fingerprint");
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (unsigned int index = 0; index < length; ++index)
        digits += {kHex[bytes[index] >> 4], kHex[bytes[index] & 0xF]};
    return digits;
}

}  // namespace

void CvelPKI::setTrustAnchor(const std::string& file, const std::string& fingerprint) {
    const std::string expected = fingerprintDigits(fingerprint);
    const X509Owner anchor = readOneCertificate(file);
    const std::string actual = sha256Digits(anchor.get());
    if (actual != expected)
        failWith(VELPKI_E_FINGERPRINT,
                 "the certificate's fingerprint is SHA256:" + actual + ", not the one given");
    store().setTrustAnchor(certificateDer(anchor.get()));
}

X509Owner CvelPKI::trustAnchor() {
    const std::optional<std::string> der = store().trustAnchor();
    return der ? certificateFromDer(*der) : X509Owner();
}

void CvelPKI::requireChained(const std::vector<X509Owner>& certificates) {
    const X509Owner anchor = trustAnchor();
    if (!anchor) return;
    const StoreOwner trusted = owned<StoreOwner>(X509_STORE_new(), "making a trust store");
    checkSsl(X509_STORE_add_cert(trusted.get(), anchor.get()), "adding the trust anchor");
    // Who signed is the question here; a certificate's validity period is a matter of its status.
    unsigned long flags = X509_V_FLAG_NO_CHECK_TIME;
    // An anchor below a root ends the chain where it stands.
    if (X509_self_signed(anchor.get(), 0) != 1) flags |= X509_V_FLAG_PARTIAL_CHAIN;
    checkSsl(X509_STORE_set_flags(trusted.get(), flags), "setting the verification's flags");
    const X509StackOwner intermediates =
        owned<X509StackOwner>(sk_X509_new_null(), "making a certificate list");
    for (const X509Owner& certificate : certificates)
        checkSsl(X509_add_cert(intermediates.get(), certificate.get(), X509_ADD_FLAG_UP_REF),
                 "adding an intermediate");
    for (const CertificateRow& row : store().certificates(std::nullopt, std::nullopt))
        checkSsl(X509_add_cert(intermediates.get(), certificateFromDer(row.der).get(),
                               X509_ADD_FLAG_UP_REF),
                 "adding an intermediate");
    for (const X509Owner& certificate : certificates) {
        const StoreContextOwner context =
            owned<StoreContextOwner>(X509_STORE_CTX_new(), "making a context");
        checkSsl(X509_STORE_CTX_init(context.get(), trusted.get(), certificate.get(),
                                     intermediates.get()),
                 "starting the verification");
        if (X509_verify_cert(context.get()) == 1) continue;
        const int error = X509_STORE_CTX_get_error(context.get());
        ERR_clear_error();
        failWith(
            VELPKI_E_UNTRUSTED,
            "the certificate " + nameText(X509_get_subject_name(certificate.get())) +
                " does not chain to the trust anchor: " + X509_verify_cert_error_string(error));
    }
}

void CvelPKI::requireFromAnchor(X509_CRL* list) {
    const X509Owner anchor = trustAnchor();
    if (!anchor) return;
    const std::string issuer = nameText(X509_CRL_get_issuer(list));
    if (X509_NAME_cmp(X509_CRL_get_issuer(list), X509_get_subject_name(anchor.get())) != 0)
        failWith(VELPKI_E_UNTRUSTED,
                 "the revocation list of " + issuer + " is not one of the trust anchor");
    if (X509_CRL_verify(list, X509_get0_pubkey(anchor.get())) != 1) {
        ERR_clear_error();
        failWith(VELPKI_E_BAD_SIGNATURE,
                 "the trust anchor's key does not verify the revocation list of " + issuer);
    }
    const ASN1_TIME* next = X509_CRL_get0_nextUpdate(list);
    if (next == nullptr || X509_cmp_current_time(next) <= 0)
        failWith(VELPKI_E_EXPIRED,
                 "the revocation list of " + issuer +
                     (next == nullptr ? " names no next update" : " expired at " + timeText(next)));
}

void CvelPKI::storeWithRevocations(const std::vector<X509Owner>& certificates,
                                   const std::vector<CrlOwner>& lists) {
    std::vector<CertificateEntry> entries;
    for (const X509Owner& certificate : certificates) entries.push_back(entryOf(certificate.get()));
    std::vector<std::string> ders;
    for (const CrlOwner& list : lists) ders.push_back(revocationListDer(list.get()));
    store().storeAll(entries, ders, [&](const std::string& der) {
        const X509Owner stored = certificateFromDer(der);
        return std::any_of(lists.begin(), lists.end(), [&](const CrlOwner& list) {
            X509_REVOKED* entry = nullptr;
            return X509_CRL_get0_by_cert(list.get(), &entry, stored.get()) == 1;
        });
    });
}

velcom::ComPtr<ISMCertificate> CvelPKI::anchorCertificate() {
    X509Owner anchor = trustAnchor();
    if (!anchor) return nullptr;
    return velcom::ComPtr<ISMCertificate>(CvelCertificate::make(std::move(anchor), 0).get());
}
