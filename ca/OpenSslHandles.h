// Owners of the OpenSSL objects the authority works with, and the one way it turns a failed
// OpenSSL call into an exception that carries the library's own reason.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace ca {

template <class T, void (*Free)(T*)>
struct OpenSslDeleter {
    void operator()(T* object) const { Free(object); }
};
template <class T, void (*Free)(T*)>
using OpenSslPtr = std::unique_ptr<T, OpenSslDeleter<T, Free>>;

using BioPtr = OpenSslPtr<BIO, BIO_free_all>;
using BignumPtr = OpenSslPtr<BIGNUM, BN_free>;
using KeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using KeyContextPtr = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using CertificatePtr = OpenSslPtr<X509, X509_free>;
using CrlPtr = OpenSslPtr<X509_CRL, X509_CRL_free>;
using RevokedPtr = OpenSslPtr<X509_REVOKED, X509_REVOKED_free>;
using ExtensionPtr = OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free>;
using IntegerPtr = OpenSslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
using EnumeratedPtr = OpenSslPtr<ASN1_ENUMERATED, ASN1_ENUMERATED_free>;
using TimePtr = OpenSslPtr<ASN1_TIME, ASN1_TIME_free>;
using SpkiPtr = OpenSslPtr<NETSCAPE_SPKI, NETSCAPE_SPKI_free>;
using Pkcs7Ptr = OpenSslPtr<PKCS7, PKCS7_free>;

// Throws std::runtime_error with `what` and the reason of the library's latest error.
[[noreturn]] void throwOpenSslError(const std::string& what);

// The pointer when it is set; otherwise the library's error as an exception.
template <class Pointer>
Pointer checked(Pointer pointer, const char* what) {
    if (!pointer) throwOpenSslError(what);
    return pointer;
}
inline void checked(int result, const char* what) {
    if (result <= 0) throwOpenSslError(what);
}

}  // namespace ca
