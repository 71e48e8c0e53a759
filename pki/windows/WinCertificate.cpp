#include "WinCertificate.h"

#include <string_view>

#include "CertificateText.h"
#include "CryptText.h"

CvelCertificate::CvelCertificate(CertContext certificate, long id)
    : m_certificate(std::move(certificate)), m_id(id) {}

std::string CvelCertificate::serialNumber() const { return serialText(certificate()); }

std::string CvelCertificate::mailAddress() const {
    return subjectAttribute(certificate(), szOID_RSA_emailAddr);
}

std::string CvelCertificate::issuerName() const {
    return nameText(certificate()->pCertInfo->Issuer);
}

std::string CvelCertificate::subjectName() const {
    return nameText(certificate()->pCertInfo->Subject);
}

std::string CvelCertificate::digestBytes(DigestAlgo algorithm) const {
    const DWORD property =
        algorithm == SMDigestAlgoMD5 ? CERT_MD5_HASH_PROP_ID : CERT_SHA1_HASH_PROP_ID;
    return written("computing the fingerprint", [&](BYTE* out, DWORD* size) {
        return CertGetCertificateContextProperty(certificate(), property, out, size);
    });
}

Validity CvelCertificate::validity() const {
    const LONG position = CertVerifyTimeValidity(nullptr, certificate()->pCertInfo);
    return position < 0 ? SMValNotYet : position > 0 ? SMValExpired : SMValValid;
}

std::string CvelCertificate::notBeforeText() const {
    return timeText(certificate()->pCertInfo->NotBefore);
}

std::string CvelCertificate::notAfterText() const {
    return timeText(certificate()->pCertInfo->NotAfter);
}

bool CvelCertificate::authority() const { return isAuthority(certificate()); }

bool CvelCertificate::selfSigned() const { return isSelfSigned(certificate()); }

std::string CvelCertificate::derBytes() const { return derOf(certificate()); }

DWORD CvelCertificate::keyBits() const {
    return CertGetPublicKeyLength(kEncoding, &certificate()->pCertInfo->SubjectPublicKeyInfo);
}

bool CvelCertificate::rsaKey() const {
    return std::string_view(certificate()->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId) ==
           szOID_RSA_RSA;
}

std::string CvelCertificate::commonName() const {
    return subjectAttribute(certificate(), szOID_COMMON_NAME);
}
