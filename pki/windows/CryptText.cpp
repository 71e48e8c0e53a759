#include "CryptText.h"

#include "Base64.h"

std::string encoded(LPCSTR type, const void* structure) {
    return written("encoding a structure", [&](BYTE* out, DWORD* size) {
        return CryptEncodeObjectEx(X509_ASN_ENCODING, type, structure, 0, nullptr, out, size);
    });
}

CRYPT_DER_BLOB blobOf(const std::string& bytes) {
    return {static_cast<DWORD>(bytes.size()),
            reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}

std::string bytesOf(const CRYPT_DATA_BLOB& blob) {
    return std::string(reinterpret_cast<const char*>(blob.pbData), blob.cbData);
}

CertContext certificateFromDer(const std::string& der) {
    CertContext certificate(CertCreateCertificateContext(
        kEncoding, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
    if (!certificate) failWith(E_INVALIDARG, "the bytes are not a certificate");
    return certificate;
}

std::string derOf(PCCERT_CONTEXT certificate) {
    return std::string(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                       certificate->cbCertEncoded);
}

std::string publicKeyInfoOf(PCCERT_CONTEXT certificate) {
    return encoded(X509_PUBLIC_KEY_INFO, &certificate->pCertInfo->SubjectPublicKeyInfo);
}

std::string sha1Of(PCCERT_CONTEXT certificate) {
    return written("reading the certificate's hash", [&](BYTE* out, DWORD* size) {
        return CertGetCertificateContextProperty(certificate, CERT_HASH_PROP_ID, out, size);
    });
}

std::string toBase64(const std::string& bytes) {
    if (bytes.empty()) return {};
    // The size asked for counts the closing zero, the size written does not.
    return written("writing Base64", [&](BYTE* out, DWORD* size) {
        return CryptBinaryToStringA(
            reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
            CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, reinterpret_cast<char*>(out), size);
    });
}

std::string fromBase64(std::string_view text) {
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return {};
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                              nullptr, &size, nullptr, nullptr))
        failWith(E_INVALIDARG, "the text is not Base64");
    std::string bytes(size, '\0');
    if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                              reinterpret_cast<BYTE*>(bytes.data()), &size, nullptr, nullptr))
        failWith(E_INVALIDARG, "the text is not Base64");
    bytes.resize(size);
    return bytes;
}
