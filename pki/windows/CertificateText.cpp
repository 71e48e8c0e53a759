#include "CertificateText.h"

#include <cstdio>
#include <utility>

#include "CryptText.h"
#include "SerialText.h"

namespace {

// The short names RFC 2253 and OpenSSL give the usual attributes; others show their OID.
const char* shortName(const char* oid) {
    static constexpr std::pair<const char*, const char*> kNames[] = {
        {szOID_COMMON_NAME, "CN"},
        {szOID_ORGANIZATION_NAME, "O"},
        {szOID_ORGANIZATIONAL_UNIT_NAME, "OU"},
        {szOID_COUNTRY_NAME, "C"},
        {szOID_LOCALITY_NAME, "L"},
        {szOID_STATE_OR_PROVINCE_NAME, "ST"},
        {szOID_STREET_ADDRESS, "street"},
        {szOID_RSA_emailAddr, "emailAddress"},
        {szOID_DOMAIN_COMPONENT, "DC"},
        {szOID_SUR_NAME, "SN"},
        {szOID_GIVEN_NAME, "GN"},
        {szOID_TITLE, "title"}};
    for (const auto& [known, name] : kNames)
        if (std::string_view(known) == oid) return name;
    return oid;
}

std::string escaped(const std::string& value) {
    std::string text;
    for (std::size_t index = 0; index < value.size(); ++index) {
        const char c = value[index];
        const bool edge =
            (index == 0 && (c == ' ' || c == '#')) || (index + 1 == value.size() && c == ' ');
        if (edge || std::string_view(",+\"\\<>;").find(c) != std::string_view::npos) text += '\\';
        text += c;
    }
    return text;
}

std::string valueText(const CERT_RDN_ATTR& attribute) {
    const DWORD size = CertRDNValueToStrA(
        attribute.dwValueType, const_cast<CERT_RDN_VALUE_BLOB*>(&attribute.Value), nullptr, 0);
    std::string text(size, '\0');
    CertRDNValueToStrA(attribute.dwValueType, const_cast<CERT_RDN_VALUE_BLOB*>(&attribute.Value),
                       text.data(), size);
    return text.c_str();
}

LocalMemory decodedName(const CERT_NAME_BLOB& name) {
    void* decoded = nullptr;
    DWORD size = 0;
    checkSystem(CryptDecodeObjectEx(X509_ASN_ENCODING, X509_NAME, name.pbData, name.cbData,
                                    CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &size),
                "reading a name");
    return LocalMemory(decoded);
}

}  // namespace

std::string serialText(PCCERT_CONTEXT certificate) {
    return serialText(certificate->pCertInfo->SerialNumber);
}

std::string serialText(const CRYPT_INTEGER_BLOB& serial) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    // Little-endian: the most significant byte comes last.
    for (DWORD index = serial.cbData; index-- > 0;)
        text += {kDigits[serial.pbData[index] >> 4], kDigits[serial.pbData[index] & 0x0F]};
    return normalSerial(text);
}

std::string nameText(const CERT_NAME_BLOB& name) {
    const LocalMemory decoded = decodedName(name);
    const auto* info = static_cast<const CERT_NAME_INFO*>(decoded.get());
    std::string text;
    for (DWORD rdn = info->cRDN; rdn-- > 0;) {
        if (!text.empty()) text += ',';
        const CERT_RDN& relative = info->rgRDN[rdn];
        for (DWORD index = 0; index < relative.cRDNAttr; ++index) {
            if (index > 0) text += '+';
            const CERT_RDN_ATTR& attribute = relative.rgRDNAttr[index];
            text +=
                std::string(shortName(attribute.pszObjId)) + "=" + escaped(valueText(attribute));
        }
    }
    return text;
}

std::string subjectAttribute(PCCERT_CONTEXT certificate, const char* oid) {
    const LocalMemory decoded = decodedName(certificate->pCertInfo->Subject);
    const auto* info = static_cast<const CERT_NAME_INFO*>(decoded.get());
    const CERT_RDN_ATTR* attribute = CertFindRDNAttr(oid, const_cast<CERT_NAME_INFO*>(info));
    return attribute == nullptr ? std::string() : valueText(*attribute);
}

std::string timeText(const FILETIME& time) {
    SYSTEMTIME parts{};
    checkSystem(FileTimeToSystemTime(&time, &parts), "reading a time");
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

bool isAuthority(PCCERT_CONTEXT certificate) {
    const CERT_INFO* info = certificate->pCertInfo;
    const CERT_EXTENSION* extension =
        CertFindExtension(szOID_BASIC_CONSTRAINTS2, info->cExtension, info->rgExtension);
    if (extension == nullptr) return false;
    CERT_BASIC_CONSTRAINTS2_INFO constraints{};
    DWORD size = sizeof constraints;
    return CryptDecodeObjectEx(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, extension->Value.pbData,
                               extension->Value.cbData, 0, nullptr, &constraints, &size) &&
           constraints.fCA;
}

bool isSelfSigned(PCCERT_CONTEXT certificate) {
    return CertCompareCertificateName(X509_ASN_ENCODING, &certificate->pCertInfo->Subject,
                                      &certificate->pCertInfo->Issuer) &&
           CryptVerifyCertificateSignatureEx(
               0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
               const_cast<CERT_CONTEXT*>(certificate), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
               const_cast<CERT_CONTEXT*>(certificate), 0, nullptr);
}
