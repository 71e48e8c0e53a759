#include "velCertificate.h"

#include <openssl/x509v3.h>

#include "AutomationValues.h"
#include "DerText.h"
#include "ErrorBoundary.h"

Validity validityNow(const ASN1_TIME* notBefore, const ASN1_TIME* notAfter) {
    if (X509_cmp_current_time(notBefore) > 0) return SMValNotYet;
    if (X509_cmp_current_time(notAfter) < 0) return SMValExpired;
    return SMValValid;
}

CvelCertificate::CvelCertificate(X509Owner certificate, std::int64_t id)
    : PkiObject(kISMCertificateMembers), m_certificate(std::move(certificate)), m_id(id) {}

STDMETHODIMP CvelCertificate::get_Serial(BSTR* pVal) {
    return errorBoundary(interfaceId(), "Serial", [&] {
        requireOut(pVal);
        *pVal = newText(serialText(certificate()));
    });
}

STDMETHODIMP CvelCertificate::get_MailAddress(BSTR* pVal) {
    return errorBoundary(interfaceId(), "MailAddress", [&] {
        requireOut(pVal);
        *pVal = newText(emailOf(certificate()));
    });
}

STDMETHODIMP CvelCertificate::get_Issuer(VARIANT* pVal) {
    return errorBoundary(interfaceId(), "Issuer", [&] {
        requireOut(pVal);
        putText(pVal, nameText(X509_get_issuer_name(certificate())));
    });
}

STDMETHODIMP CvelCertificate::get_Subject(VARIANT* pVal) {
    return errorBoundary(interfaceId(), "Subject", [&] {
        requireOut(pVal);
        putText(pVal, nameText(X509_get_subject_name(certificate())));
    });
}

STDMETHODIMP CvelCertificate::Fingerprint(DigestAlgo sAlgo, BSTR* pbstrFingerprint) {
    return errorBoundary(interfaceId(), "Fingerprint", [&] {
        requireOut(pbstrFingerprint);
        const EVP_MD* digest = sAlgo == SMDigestAlgoMD5    ? EVP_md5()
                               : sAlgo == SMDigestAlgoSHA1 ? EVP_sha1()
                                                           : nullptr;
        if (digest == nullptr) failWith(E_INVALIDARG, "unknown digest algorithm");
        unsigned char bytes[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        checkSsl(X509_digest(certificate(), digest, bytes, &length), "computing the fingerprint");
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string text;
        for (unsigned int index = 0; index < length; ++index) {
            if (index > 0) text += ':';
            text += kHex[bytes[index] >> 4];
            text += kHex[bytes[index] & 0xF];
        }
        *pbstrFingerprint = newText(text);
    });
}

STDMETHODIMP CvelCertificate::IsActive(Validity* pValidity) {
    return errorBoundary(interfaceId(), "IsActive", [&] {
        requireOut(pValidity);
        *pValidity =
            validityNow(X509_get0_notBefore(certificate()), X509_get0_notAfter(certificate()));
    });
}

STDMETHODIMP CvelCertificate::get_NotBefore(BSTR* pVal) {
    return errorBoundary(interfaceId(), "NotBefore", [&] {
        requireOut(pVal);
        *pVal = newText(timeText(X509_get0_notBefore(certificate())));
    });
}

STDMETHODIMP CvelCertificate::get_NotAfter(BSTR* pVal) {
    return errorBoundary(interfaceId(), "NotAfter", [&] {
        requireOut(pVal);
        *pVal = newText(timeText(X509_get0_notAfter(certificate())));
    });
}

STDMETHODIMP CvelCertificate::get_ID(LONG* pVal) {
    return errorBoundary(interfaceId(), "ID", [&] {
        requireOut(pVal);
        *pVal = static_cast<LONG>(m_id);
    });
}

STDMETHODIMP CvelCertificate::IsCA(LONG* pbIsCA) {
    return errorBoundary(interfaceId(), "IsCA", [&] {
        requireOut(pbIsCA);
        *pbIsCA = X509_check_ca(certificate()) != 0 ? 1 : 0;
    });
}

STDMETHODIMP CvelCertificate::IsSelfSigned(LONG* pbIsSelfSigned) {
    return errorBoundary(interfaceId(), "IsSelfSigned", [&] {
        requireOut(pbIsSelfSigned);
        *pbIsSelfSigned = X509_self_signed(certificate(), 1) == 1 ? 1 : 0;
    });
}

STDMETHODIMP CvelCertificate::get_DBState(DataBaseState* pVal) {
    return errorBoundary(interfaceId(), "DBState", [&] {
        requireOut(pVal);
        *pVal = m_id == 0 ? SMDBStateNew : SMDBStateAdded;
    });
}

STDMETHODIMP CvelCertificate::AsBinaryString(LONG bBase64, VARIANT* pvarData) {
    return errorBoundary(interfaceId(), "AsBinaryString", [&] {
        requireOut(pvarData);
        const std::string der = certificateDer(certificate());
        putBytes(pvarData, bBase64 != 0 ? toBase64(der) : der);
    });
}

STDMETHODIMP CvelCertificate::get_KeyLength(LONG* pVal) {
    return errorBoundary(interfaceId(), "KeyLength", [&] {
        requireOut(pVal);
        *pVal = EVP_PKEY_get_bits(X509_get0_pubkey(certificate()));
    });
}

STDMETHODIMP CvelCertificate::get_KeyType(KeyType* pVal) {
    return errorBoundary(interfaceId(), "KeyType", [&] {
        requireOut(pVal);
        if (EVP_PKEY_get_base_id(X509_get0_pubkey(certificate())) != EVP_PKEY_RSA)
            failWith(E_NOTIMPL, "the key type has no name in KeyType");
        *pVal = SMRSAKey;
    });
}

STDMETHODIMP CvelCertificate::get_CommonName(BSTR* pVal) {
    return errorBoundary(interfaceId(), "CommonName", [&] {
        requireOut(pVal);
        *pVal = newText(commonNameOf(X509_get_subject_name(certificate())));
    });
}
