// DER encoding and decoding through CryptoAPI, and Base64.
#pragma once

#include <string>

#include "CryptOwners.h"
#include "SystemFailure.h"

inline constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// What a CryptoAPI function writes into a buffer it is first asked the size of.
template <class Call>
std::string written(const std::string& what, Call call) {
    DWORD size = 0;
    checkSystem(call(nullptr, &size), what);
    std::string bytes(size, '\0');
    checkSystem(call(reinterpret_cast<BYTE*>(bytes.data()), &size), what);
    bytes.resize(size);
    return bytes;
}

// The DER of a structure of the given type (X509_PUBLIC_KEY_INFO, X509_CERT …).
std::string encoded(LPCSTR type, const void* structure);
CRYPT_DER_BLOB blobOf(const std::string& bytes);
std::string bytesOf(const CRYPT_DATA_BLOB& blob);

// A certificate from its DER; E_INVALIDARG when it is not one.
CertContext certificateFromDer(const std::string& der);
std::string derOf(PCCERT_CONTEXT certificate);
// The DER SubjectPublicKeyInfo of the certificate, by which it is matched to its request.
std::string publicKeyInfoOf(PCCERT_CONTEXT certificate);
// The SHA-1 hash by which the user's store knows the certificate.
std::string sha1Of(PCCERT_CONTEXT certificate);
