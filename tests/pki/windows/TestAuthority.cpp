#include "TestAuthority.h"

#include <stdexcept>

#include "Base64.h"
#include "CryptText.h"
#include "PemBundle.h"

namespace {

std::string encodedName(const std::string& name) {
    return written("encoding a name", [&](BYTE* out, DWORD* size) {
        return CertStrToNameA(X509_ASN_ENCODING, name.c_str(), CERT_X500_NAME_STR, nullptr, out,
                              size, nullptr);
    });
}

LocalMemory decoded(LPCSTR type, const CRYPT_DER_BLOB& blob) {
    void* result = nullptr;
    DWORD size = 0;
    checkSystem(CryptDecodeObjectEx(X509_ASN_ENCODING, type, blob.pbData, blob.cbData,
                                    CRYPT_DECODE_ALLOC_FLAG, nullptr, &result, &size),
                "decoding");
    return LocalMemory(result);
}

// Little-endian, as CryptoAPI keeps serials.
std::string serialBytesOf(const std::string& serial) {
    std::string bytes;
    for (std::size_t index = serial.size(); index >= 2; index -= 2)
        bytes += static_cast<char>(std::stoi(serial.substr(index - 2, 2), nullptr, 16));
    return bytes;
}

std::string writtenFile(const std::string& name, const std::string& text) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + name;
    writeTextFile(path, text);
    return path;
}

}  // namespace

TestAuthority::TestAuthority(const std::string& name) : m_container("velPKI-test-" + name) {
    HCRYPTPROV none = 0;
    CryptAcquireContextA(&none, m_container.c_str(), MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                         CRYPT_DELETEKEYSET);
    checkSystem(CryptAcquireContextA(m_provider.put(), m_container.c_str(), MS_ENH_RSA_AES_PROV_A,
                                     PROV_RSA_AES, CRYPT_NEWKEYSET),
                "making the authority's container");
    CryptKey key;
    checkSystem(CryptGenKey(m_provider.get(), AT_SIGNATURE, 2048 << 16, key.put()),
                "making the authority's key");
    std::string subject = encodedName("CN=" + name);
    CERT_NAME_BLOB subjectBlob = blobOf(subject);
    CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<char*>(szOID_RSA_SHA256RSA), {}};
    std::wstring container(m_container.begin(), m_container.end());
    CRYPT_KEY_PROV_INFO keyInfo{
        container.data(), const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W), PROV_RSA_AES, 0, 0, nullptr,
        AT_SIGNATURE};
    // An authority: the basic constraints say so.
    CERT_BASIC_CONSTRAINTS2_INFO constraints{TRUE, FALSE, 0};
    std::string constraintsDer = encoded(X509_BASIC_CONSTRAINTS2, &constraints);
    CERT_EXTENSION extension{const_cast<char*>(szOID_BASIC_CONSTRAINTS2), TRUE,
                             blobOf(constraintsDer)};
    CERT_EXTENSIONS extensions{1, &extension};
    m_certificate.reset(CertCreateSelfSignCertificate(m_provider.get(), &subjectBlob, 0, &keyInfo,
                                                      &algorithm, nullptr, nullptr, &extensions));
    if (!m_certificate) failSystem("making the authority's certificate");
}

TestAuthority::~TestAuthority() {
    m_provider.reset();
    HCRYPTPROV none = 0;
    CryptAcquireContextA(&none, m_container.c_str(), MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                         CRYPT_DELETEKEYSET);
}

std::string TestAuthority::revocationListFile(const std::string& name,
                                              const std::string& serial) const {
    std::string serialBytes = serialBytesOf(serial);
    CRL_ENTRY entry{};
    entry.SerialNumber = blobOf(serialBytes);
    GetSystemTimeAsFileTime(&entry.RevocationDate);
    CRL_INFO info{};
    info.dwVersion = CRL_V2;
    info.SignatureAlgorithm.pszObjId = const_cast<char*>(szOID_RSA_SHA256RSA);
    info.Issuer = m_certificate->pCertInfo->Subject;
    info.ThisUpdate = entry.RevocationDate;
    ULARGE_INTEGER next{};
    next.LowPart = info.ThisUpdate.dwLowDateTime;
    next.HighPart = info.ThisUpdate.dwHighDateTime;
    next.QuadPart += 24ULL * 3600 * 10000000;
    info.NextUpdate = {next.LowPart, next.HighPart};
    info.cCRLEntry = 1;
    info.rgCRLEntry = &entry;
    const std::string der = written("signing a revocation list", [&](BYTE* out, DWORD* size) {
        return CryptSignAndEncodeCertificate(m_provider.get(), AT_SIGNATURE, X509_ASN_ENCODING,
                                             X509_CERT_CRL_TO_BE_SIGNED, &info,
                                             &info.SignatureAlgorithm, nullptr, out, size);
    });
    return writtenFile(name, pemBlock("X509 CRL", der));
}

CertContext TestAuthority::issue(const std::string& spkacBase64, const std::string& commonName,
                                 const std::string& serial) const {
    const std::string spkac = fromBase64(spkacBase64);
    const LocalMemory signedContent = decoded(X509_CERT, blobOf(spkac));
    const auto* content = static_cast<const CERT_SIGNED_CONTENT_INFO*>(signedContent.get());
    if (std::string_view(content->SignatureAlgorithm.pszObjId) != szOID_RSA_SHA256RSA)
        throw std::runtime_error("the SPKAC is not signed with SHA-256");
    const LocalMemory sequence = decoded(X509_SEQUENCE_OF_ANY, content->ToBeSigned);
    const auto* parts = static_cast<const CRYPT_SEQUENCE_OF_ANY*>(sequence.get());
    const LocalMemory publicKey = decoded(X509_PUBLIC_KEY_INFO, parts->rgValue[0]);
    auto* keyInfo = static_cast<CERT_PUBLIC_KEY_INFO*>(publicKey.get());
    CRYPT_DER_BLOB spkacBlob = blobOf(spkac);
    checkSystem(CryptVerifyCertificateSignatureEx(
                    0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_BLOB, &spkacBlob,
                    CRYPT_VERIFY_CERT_SIGN_ISSUER_PUBKEY, keyInfo, 0, nullptr),
                "verifying the SPKAC's signature");
    std::string subject = encodedName("CN=" + commonName);
    std::string serialBytes = serialBytesOf(serial);
    CERT_INFO info{};
    info.dwVersion = CERT_V3;
    info.SerialNumber = blobOf(serialBytes);
    info.SignatureAlgorithm.pszObjId = const_cast<char*>(szOID_RSA_SHA256RSA);
    info.Issuer = m_certificate->pCertInfo->Subject;
    info.Subject = blobOf(subject);
    SYSTEMTIME now{};
    GetSystemTime(&now);
    --now.wYear;
    SystemTimeToFileTime(&now, &info.NotBefore);
    now.wYear += 2;
    SystemTimeToFileTime(&now, &info.NotAfter);
    info.SubjectPublicKeyInfo = *keyInfo;
    const std::string der = written("issuing a certificate", [&](BYTE* out, DWORD* size) {
        return CryptSignAndEncodeCertificate(m_provider.get(), AT_SIGNATURE, X509_ASN_ENCODING,
                                             X509_CERT_TO_BE_SIGNED, &info,
                                             &info.SignatureAlgorithm, nullptr, out, size);
    });
    return certificateFromDer(der);
}

std::string writePemFile(const std::string& name, PCCERT_CONTEXT certificate) {
    return writtenFile(name, certificatePem(certificate));
}
