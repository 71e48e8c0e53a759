#include "velCertificate.h"

#include <openssl/x509v3.h>

#include "DerText.h"

Validity validityNow(const ASN1_TIME* notBefore, const ASN1_TIME* notAfter) {
    if (X509_cmp_current_time(notBefore) > 0) return SMValNotYet;
    if (X509_cmp_current_time(notAfter) < 0) return SMValExpired;
    return SMValValid;
}

CvelCertificate::CvelCertificate(X509Owner certificate, std::int64_t id)
    : m_certificate(std::move(certificate)), m_id(id) {}

std::string CvelCertificate::serialNumber() const { return serialText(certificate()); }

std::string CvelCertificate::mailAddress() const { return emailOf(certificate()); }

std::string CvelCertificate::issuerName() const {
    return nameText(X509_get_issuer_name(certificate()));
}

std::string CvelCertificate::subjectName() const {
    return nameText(X509_get_subject_name(certificate()));
}

std::string CvelCertificate::digestBytes(DigestAlgo algorithm) const {
    const EVP_MD* digest = algorithm == SMDigestAlgoMD5 ? EVP_md5() : EVP_sha1();
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    checkSsl(X509_digest(certificate(), digest, bytes, &length), "computing the fingerprint");
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

Validity CvelCertificate::validity() const {
    return validityNow(X509_get0_notBefore(certificate()), X509_get0_notAfter(certificate()));
}

std::string CvelCertificate::notBeforeText() const {
    return timeText(X509_get0_notBefore(certificate()));
}

std::string CvelCertificate::notAfterText() const {
    return timeText(X509_get0_notAfter(certificate()));
}

bool CvelCertificate::authority() const { return X509_check_ca(certificate()) != 0; }

bool CvelCertificate::selfSigned() const { return X509_self_signed(certificate(), 1) == 1; }

std::string CvelCertificate::derBytes() const { return certificateDer(certificate()); }

int CvelCertificate::keyBits() const { return EVP_PKEY_get_bits(X509_get0_pubkey(certificate())); }

bool CvelCertificate::rsaKey() const {
    return EVP_PKEY_get_base_id(X509_get0_pubkey(certificate())) == EVP_PKEY_RSA;
}

std::string CvelCertificate::commonName() const {
    return commonNameOf(X509_get_subject_name(certificate()));
}
