// OpenSSL's objects held by unique_ptr with their own free functions, so that every path frees
// them; and the step that turns an OpenSSL result into a failure with its reason.
#pragma once

#include <memory>
#include <string>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include "OpenSslFailure.h"

template <class Object, void (*Free)(Object*)>
struct OpenSslDeleter {
    void operator()(Object* object) const { Free(object); }
};

template <class Object, void (*Free)(Object*)>
using OpenSslOwner = std::unique_ptr<Object, OpenSslDeleter<Object, Free>>;

inline void freeBio(BIO* bio) { BIO_free_all(bio); }
inline void freeStack(STACK_OF(X509) * stack) { sk_X509_pop_free(stack, X509_free); }

using BioOwner = OpenSslOwner<BIO, freeBio>;
using KeyOwner = OpenSslOwner<EVP_PKEY, EVP_PKEY_free>;
using X509Owner = OpenSslOwner<X509, X509_free>;
using CrlOwner = OpenSslOwner<X509_CRL, X509_CRL_free>;
using SpkiOwner = OpenSslOwner<NETSCAPE_SPKI, NETSCAPE_SPKI_free>;
using Pkcs7Owner = OpenSslOwner<PKCS7, PKCS7_free>;
using Pkcs8Owner = OpenSslOwner<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>;
using SigOwner = OpenSslOwner<X509_SIG, X509_SIG_free>;
using Pkcs12Owner = OpenSslOwner<PKCS12, PKCS12_free>;
using X509StackOwner = OpenSslOwner<STACK_OF(X509), freeStack>;
using StoreOwner = OpenSslOwner<X509_STORE, X509_STORE_free>;
using StoreContextOwner = OpenSslOwner<X509_STORE_CTX, X509_STORE_CTX_free>;

// The object, or a failure naming what could not be made with OpenSSL's reason.
template <class Owner>
Owner owned(typename Owner::pointer object, const char* what) {
    if (object == nullptr) failOpenSsl(what);
    return Owner(object);
}

// An OpenSSL call's result of 1 for success (or > 0), else a failure naming what failed.
inline void checkSsl(int result, const char* what) {
    if (result <= 0) failOpenSsl(what);
}
