#include "WinCertificate.h"

#include "AutomationValues.h"
#include "Base64.h"
#include "CertificateText.h"
#include "CryptText.h"
#include "ErrorBoundary.h"

CvelCertificate::CvelCertificate(CertContext certificate, long id)
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
        *pVal = newText(subjectAttribute(certificate(), szOID_RSA_emailAddr));
    });
}

STDMETHODIMP CvelCertificate::get_Issuer(VARIANT* pVal) {
    return errorBoundary(interfaceId(), "Issuer", [&] {
        requireOut(pVal);
        putText(pVal, nameText(certificate()->pCertInfo->Issuer));
    });
}

STDMETHODIMP CvelCertificate::get_Subject(VARIANT* pVal) {
    return errorBoundary(interfaceId(), "Subject", [&] {
        requireOut(pVal);
        putText(pVal, nameText(certificate()->pCertInfo->Subject));
    });
}

STDMETHODIMP CvelCertificate::Fingerprint(DigestAlgo sAlgo, BSTR* pbstrFingerprint) {
    return errorBoundary(interfaceId(), "Fingerprint", [&] {
        requireOut(pbstrFingerprint);
        const DWORD property = sAlgo == SMDigestAlgoMD5    ? CERT_MD5_HASH_PROP_ID
                               : sAlgo == SMDigestAlgoSHA1 ? CERT_SHA1_HASH_PROP_ID
                                                           : 0;
        if (property == 0) failWith(E_INVALIDARG, "unknown digest algorithm");
        const std::string bytes = written("computing the fingerprint", [&](BYTE* out, DWORD* size) {
            return CertGetCertificateContextProperty(certificate(), property, out, size);
        });
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string text;
        for (const char octet : bytes) {
            if (!text.empty()) text += ':';
            text += {kHex[static_cast<unsigned char>(octet) >> 4], kHex[octet & 0xF]};
        }
        *pbstrFingerprint = newText(text);
    });
}

STDMETHODIMP CvelCertificate::IsActive(Validity* pValidity) {
    return errorBoundary(interfaceId(), "IsActive", [&] {
        requireOut(pValidity);
        const LONG position = CertVerifyTimeValidity(nullptr, certificate()->pCertInfo);
        *pValidity = position < 0 ? SMValNotYet : position > 0 ? SMValExpired : SMValValid;
    });
}

STDMETHODIMP CvelCertificate::get_NotBefore(BSTR* pVal) {
    return errorBoundary(interfaceId(), "NotBefore", [&] {
        requireOut(pVal);
        *pVal = newText(timeText(certificate()->pCertInfo->NotBefore));
    });
}

STDMETHODIMP CvelCertificate::get_NotAfter(BSTR* pVal) {
    return errorBoundary(interfaceId(), "NotAfter", [&] {
        requireOut(pVal);
        *pVal = newText(timeText(certificate()->pCertInfo->NotAfter));
    });
}

STDMETHODIMP CvelCertificate::get_ID(LONG* pVal) {
    return errorBoundary(interfaceId(), "ID", [&] {
        requireOut(pVal);
        *pVal = m_id;
    });
}

STDMETHODIMP CvelCertificate::IsCA(LONG* pbIsCA) {
    return errorBoundary(interfaceId(), "IsCA", [&] {
        requireOut(pbIsCA);
        *pbIsCA = isAuthority(certificate()) ? 1 : 0;
    });
}

STDMETHODIMP CvelCertificate::IsSelfSigned(LONG* pbIsSelfSigned) {
    return errorBoundary(interfaceId(), "IsSelfSigned", [&] {
        requireOut(pbIsSelfSigned);
        *pbIsSelfSigned = isSelfSigned(certificate()) ? 1 : 0;
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
        const std::string der = derOf(certificate());
        putBytes(pvarData, bBase64 != 0 ? toBase64(der) : der);
    });
}

STDMETHODIMP CvelCertificate::get_KeyLength(LONG* pVal) {
    return errorBoundary(interfaceId(), "KeyLength", [&] {
        requireOut(pVal);
        *pVal = static_cast<LONG>(
            CertGetPublicKeyLength(kEncoding, &certificate()->pCertInfo->SubjectPublicKeyInfo));
    });
}

STDMETHODIMP CvelCertificate::get_KeyType(KeyType* pVal) {
    return errorBoundary(interfaceId(), "KeyType", [&] {
        requireOut(pVal);
        if (std::string_view(certificate()->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId) !=
            szOID_RSA_RSA)
            failWith(E_NOTIMPL, "the key type has no name in KeyType");
        *pVal = SMRSAKey;
    });
}

STDMETHODIMP CvelCertificate::get_CommonName(BSTR* pVal) {
    return errorBoundary(interfaceId(), "CommonName", [&] {
        requireOut(pVal);
        *pVal = newText(subjectAttribute(certificate(), szOID_COMMON_NAME));
    });
}
