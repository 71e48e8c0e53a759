#include "ClientCertificate.h"

#include <ncrypt.h>

#include "PemCertificates.h"
#include "TransportFailure.h"

namespace {

[[noreturn]] void refuse(const std::string& why, const std::string& host, INTERNET_PORT port) {
    throw serverFailure(ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED,
                        "cannot use the client certificate for", host, port, why);
}

// A key linked to the certificate that the system can sign with, asked without any dialogue.
bool hasUsableKey(PCCERT_CONTEXT certificate) {
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key = 0;
    DWORD keyKind = 0;
    BOOL mustFree = FALSE;
    if (!CryptAcquireCertificatePrivateKey(certificate, CRYPT_ACQUIRE_SILENT_FLAG, nullptr, &key,
                                           &keyKind, &mustFree))
        return false;
    if (mustFree) {
        if (keyKind == CERT_NCRYPT_KEY_SPEC)
            NCryptFreeObject(key);
        else
            CryptReleaseContext(key, 0);
    }
    return true;
}

}  // namespace

CertContext storedClientCertificate(const std::string& certificateFile, const std::string& host,
                                    INTERNET_PORT port) {
    const std::vector<std::string> certificates = readPemCertificates(certificateFile);
    if (certificates.empty()) refuse(certificateFile + " holds no PEM certificate", host, port);
    const std::string& der = certificates.front();
    BYTE hash[20];
    DWORD hashSize = sizeof hash;
    if (!CryptHashCertificate(0, CALG_SHA1, 0, reinterpret_cast<const BYTE*>(der.data()),
                              static_cast<DWORD>(der.size()), hash, &hashSize))
        refuse("the certificate of " + certificateFile + " cannot be hashed", host, port);
    const CertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                        CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG,
                                        L"My"));
    if (!store) refuse("the user's certificate store cannot be opened", host, port);
    CRYPT_HASH_BLOB blob{hashSize, hash};
    CertContext stored(CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0,
                                                  CERT_FIND_SHA1_HASH, &blob, nullptr));
    if (!stored)
        refuse("the certificate of " + certificateFile + " is not in the user's store", host, port);
    if (!hasUsableKey(stored.get()))
        refuse("the user's store has no usable key for the certificate of " + certificateFile, host,
               port);
    return stored;
}
