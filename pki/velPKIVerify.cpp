// A certificate's status against what the store knows: its validity, its issuers up to a
// self-signed authority in the store, the revocation lists imported, and revocations marked.
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include "DerText.h"
#include "PkiFailure.h"
#include "velPKI.h"

namespace {

CertStatus statusOfError(int error) {
    switch (error) {
        case X509_V_OK:
            return SMStatusActive;
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return SMStatusExpired;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return SMStatusInActive;
        case X509_V_ERR_CERT_REVOKED:
            return SMStatusRevoked;
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            return SMStatusUnknownCA;
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return SMStatusUntrustedCA;
        case X509_V_ERR_UNABLE_TO_GET_CRL:
        case X509_V_ERR_CRL_HAS_EXPIRED:
        case X509_V_ERR_CRL_NOT_YET_VALID:
            return SMStatusUnknown;
        default:
            return SMStatusInvalid;
    }
}

// Verification against every certificate of the store and its trust anchor as a possible issuer,
// with revocation checked when a list of the certificate's issuer is there.
struct Verification {
    StoreOwner trusted;
    StoreContextOwner context;
    int error;
};

Verification verify(PkiStore& store, X509* certificate) {
    Verification result{owned<StoreOwner>(X509_STORE_new(), "making a certificate store"),
                        owned<StoreContextOwner>(X509_STORE_CTX_new(), "making a context"), 0};
    for (const CertificateRow& row : store.certificates(std::nullopt, std::nullopt))
        checkSsl(X509_STORE_add_cert(result.trusted.get(), certificateFromDer(row.der).get()),
                 "adding an issuer");
    if (const std::optional<std::string> anchor = store.trustAnchor())
        checkSsl(X509_STORE_add_cert(result.trusted.get(), certificateFromDer(*anchor).get()),
                 "adding the trust anchor");
    bool listOfIssuer = false;
    for (const std::string& der : store.revocationLists()) {
        const CrlOwner list = revocationListFromDer(der);
        listOfIssuer = listOfIssuer || X509_NAME_cmp(X509_CRL_get_issuer(list.get()),
                                                     X509_get_issuer_name(certificate)) == 0;
        checkSsl(X509_STORE_add_crl(result.trusted.get(), list.get()), "adding a revocation list");
    }
    if (listOfIssuer) X509_STORE_set_flags(result.trusted.get(), X509_V_FLAG_CRL_CHECK);
    checkSsl(X509_STORE_CTX_init(result.context.get(), result.trusted.get(), certificate, nullptr),
             "starting the verification");
    result.error = X509_verify_cert(result.context.get()) == 1
                       ? X509_V_OK
                       : X509_STORE_CTX_get_error(result.context.get());
    ERR_clear_error();
    return result;
}

}  // namespace

CertStatus CvelPKI::statusOf(X509* certificate, std::int64_t id) {
    if (id != 0) {
        const std::optional<CertificateRow> row = store().certificate(id);
        if (row && row->revoked) return SMStatusRevoked;
    }
    return statusOfError(verify(store(), certificate).error);
}

X509StackOwner CvelPKI::issuerChain(X509* certificate) {
    const Verification verification = verify(store(), certificate);
    X509StackOwner chain = owned<X509StackOwner>(
        X509_STORE_CTX_get1_chain(verification.context.get()), "reading the issuer chain");
    // The first is the certificate itself.
    if (sk_X509_num(chain.get()) > 0) X509_free(sk_X509_shift(chain.get()));
    return chain;
}

void CvelPKI::findCertificates(const FindCriteria& criteria, CvelCertificateList& found) {
    for (const CertificateRow& row : store().certificates(criteria.commonName, criteria.serial)) {
        X509Owner certificate = certificateFromDer(row.der);
        const bool authority = X509_check_ca(certificate.get()) != 0;
        const CertType type = row.privateKey ? SMTypeOwn : authority ? SMTypeCA : SMTypeOther;
        if (!criteria.admits(type)) continue;
        if (criteria.status && statusOf(certificate.get(), row.id) != *criteria.status) continue;
        if (criteria.address && emailOf(certificate.get()) != *criteria.address) continue;
        if (criteria.issuerName &&
            nameText(X509_get_issuer_name(certificate.get())) != *criteria.issuerName)
            continue;
        found.append(CvelCertificate::make(std::move(certificate), row.id));
    }
}

CertStatus CvelPKI::statusOfCertificate(ISMCertificate* certificate) {
    const X509Owner owned = certificateOf(certificate);
    const std::optional<std::int64_t> id = store().certificateId(certificateDer(owned.get()));
    return statusOf(owned.get(), id.value_or(0));
}

CertStatus CvelPKI::statusOfStored(LONG id) {
    return statusOf(storedCertificate(id)->certificate(), id);
}

void CvelPKI::appendIssuers(ISMCertificate* certificate, std::size_t depth,
                            CvelCertificateList& chain) {
    const X509StackOwner issuers = issuerChain(certificateOf(certificate).get());
    for (int index = 0; index < sk_X509_num(issuers.get()) &&
                        (depth == 0 || static_cast<std::size_t>(index) < depth);
         ++index) {
        X509* issuer = sk_X509_value(issuers.get(), index);
        const std::int64_t id = store().certificateId(certificateDer(issuer)).value_or(0);
        checkSsl(X509_up_ref(issuer), "keeping an issuer");
        chain.append(CvelCertificate::make(X509Owner(issuer), id));
    }
}
