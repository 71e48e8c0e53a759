#include "PemBundle.h"

#include "SystemFailure.h"
#include "SystemFiles.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEnd = "-----END ";
constexpr std::string_view kDashes = "-----";

[[noreturn]] void failInvalid(const std::string& text) { throw PkiFailure(E_INVALIDARG, text); }

std::string base64Decoded(std::string_view text, const std::string& where) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                              nullptr, &size, nullptr, nullptr))
        failInvalid("broken Base64 in " + where);
    std::string bytes(size, '\0');
    if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                              reinterpret_cast<BYTE*>(bytes.data()), &size, nullptr, nullptr))
        failInvalid("broken Base64 in " + where);
    bytes.resize(size);
    return bytes;
}

CertContext certificateOf(std::string_view der) {
    return CertContext(CertCreateCertificateContext(
        kEncoding, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
}

CrlContext listOf(std::string_view der) {
    return CrlContext(CertCreateCRLContext(kEncoding, reinterpret_cast<const BYTE*>(der.data()),
                                           static_cast<DWORD>(der.size())));
}

// Whatever the label says: a certificate, a revocation list, or a PKCS#7 bundle of either, as
// the Linux component reads them.
bool addDer(CertificatesAndLists& found, std::string_view der) {
    if (CertContext certificate = certificateOf(der)) {
        found.certificates.push_back(std::move(certificate));
        return true;
    }
    if (CrlContext list = listOf(der)) {
        found.lists.push_back(std::move(list));
        return true;
    }
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(der.size()),
                         reinterpret_cast<BYTE*>(const_cast<char*>(der.data()))};
    const CertStore bundle(CertOpenStore(CERT_STORE_PROV_PKCS7, kEncoding, 0, 0, &blob));
    if (!bundle) return false;
    for (PCCERT_CONTEXT certificate = nullptr;
         (certificate = CertEnumCertificatesInStore(bundle.get(), certificate)) != nullptr;)
        found.certificates.emplace_back(CertDuplicateCertificateContext(certificate));
    for (PCCRL_CONTEXT list = nullptr; (list = CertEnumCRLsInStore(bundle.get(), list)) != nullptr;)
        found.lists.emplace_back(CertDuplicateCRLContext(list));
    return true;
}

}  // namespace

CertificatesAndLists certificatesAndListsOf(std::string_view bytes, const std::string& source) {
    CertificatesAndLists found;
    size_t position = bytes.find(kBegin);
    if (position == std::string_view::npos) {
        if (!addDer(found, bytes))
            failInvalid(source + " holds neither PEM nor a certificate, revocation list or " +
                        "PKCS#7 bundle in DER");
        return found;
    }
    for (int block = 1; position != std::string_view::npos; ++block) {
        const size_t labelStart = position + kBegin.size();
        const size_t labelEnd = bytes.find(kDashes, labelStart);
        if (labelEnd == std::string_view::npos) failInvalid(source + " has a broken PEM header");
        const std::string_view label = bytes.substr(labelStart, labelEnd - labelStart);
        const std::string end = std::string(kEnd) + std::string(label) + std::string(kDashes);
        const size_t bodyStart = labelEnd + kDashes.size();
        const size_t bodyEnd = bytes.find(end, bodyStart);
        const std::string where = "PEM block " + std::to_string(block) + " of " + source;
        if (bodyEnd == std::string_view::npos) failInvalid(where + " has no end line");
        if (!addDer(found, base64Decoded(bytes.substr(bodyStart, bodyEnd - bodyStart), where)))
            failInvalid(where + " (" + std::string(label) +
                        ") holds no certificate, revocation list or PKCS#7 bundle");
        position = bytes.find(kBegin, bodyEnd + end.size());
    }
    if (found.certificates.empty() && found.lists.empty())
        failInvalid(source + " holds no certificate and no revocation list");
    return found;
}

CertificatesAndLists readCertificatesAndLists(const std::filesystem::path& path) {
    return certificatesAndListsOf(readFileBytes(path), path.string());
}

std::string pemBlock(std::string_view label, std::string_view der) {
    constexpr DWORD kFlags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD size = 0;
    const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
    checkSystem(CryptBinaryToStringA(bytes, static_cast<DWORD>(der.size()), kFlags, nullptr, &size),
                "encoding Base64");
    std::string base64(size, '\0');
    checkSystem(
        CryptBinaryToStringA(bytes, static_cast<DWORD>(der.size()), kFlags, base64.data(), &size),
        "encoding Base64");
    base64.resize(base64.find_last_not_of(std::string_view("\r\n\0", 3)) + 1);
    std::string text = std::string(kBegin) + std::string(label) + std::string(kDashes) + "\n";
    for (size_t line = 0; line < base64.size(); line += 64) text += base64.substr(line, 64) + "\n";
    return text + std::string(kEnd) + std::string(label) + std::string(kDashes) + "\n";
}

std::string certificatePem(PCCERT_CONTEXT certificate) {
    return pemBlock("CERTIFICATE",
                    std::string_view(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                                     certificate->cbCertEncoded));
}

void writeTextFile(const std::filesystem::path& path, std::string_view text) {
    writeFileAtomically(path, text);
}
