// Files in and out: PEM certificates and revocation lists, a key written under its password,
// and PKCS#12 bundles of a certificate with its key.
#include <openssl/pem.h>

#include "DerText.h"
#include "ForeignDer.h"
#include "Keys.h"
#include "ListItems.h"
#include "PemFiles.h"
#include "PkiFailure.h"
#include "velAsymKey.h"
#include "velPKI.h"
#include "velRevocationList.h"

namespace {

std::string revocationListDerOf(ISMRevocationList* list) {
    if (const auto own = CvelRevocationList::own(list)) return revocationListDer(own->list());
    return foreignDer(list);
}

}  // namespace

void CvelPKI::importAll(ISMCertificateList* pCertList, ISMCRLList* pCRLList) {
    const std::vector<X509Owner> certificates =
        itemsOf<ISMCertificate>(pCertList, "the certificate list does not give its items",
                                [&](ISMCertificate* item) { return certificateOf(item); });
    const std::vector<CrlOwner> lists = itemsOf<ISMRevocationList>(
        pCRLList, "the revocation list list does not give its items",
        [](ISMRevocationList* item) { return revocationListFromDer(revocationListDerOf(item)); });
    requireChained(certificates);
    for (const CrlOwner& list : lists) requireFromAnchor(list.get());
    storeWithRevocations(certificates, lists);
}

void CvelPKI::writePkcs12(const std::string& file, const std::string& password,
                          ISMCertificate* pCertificate, ISMAsymKey* pKey, bool withChain) {
    const X509Owner certificate = certificateOf(pCertificate);
    const auto key = CvelAsymKey::given(pKey);
    const X509StackOwner chain =
        withChain ? issuerChain(certificate.get()) : X509StackOwner(sk_X509_new_null());
    std::string name = commonNameOf(X509_get_subject_name(certificate.get()));
    // Key and certificates under AES-256 with PBKDF2-HMAC-SHA256, which current OpenSSL reads
    // without its legacy provider; the MAC is added on its own to choose SHA-256.
    const Pkcs12Owner bundle = owned<Pkcs12Owner>(
        PKCS12_create(password.c_str(), name.data(), key->openKey(), certificate.get(), chain.get(),
                      NID_aes_256_cbc, NID_aes_256_cbc, kKeyDerivationIterations, -1, 0),
        "making the PKCS#12 bundle");
    checkSsl(PKCS12_set_mac(bundle.get(), password.c_str(), -1, nullptr, 0,
                            kKeyDerivationIterations, EVP_sha256()),
             "sealing the PKCS#12 bundle");
    const BioOwner bio = owned<BioOwner>(BIO_new(BIO_s_mem()), "allocating a buffer");
    checkSsl(i2d_PKCS12_bio(bio.get(), bundle.get()), "encoding the PKCS#12 bundle");
    writeKeyMaterialFile(file, bioText(bio.get()));
}

void CvelPKI::loadFile(const std::string& file, CvelCertificateList& certificates,
                       CvelCRLList& lists) {
    PemContents contents = readPemFile(file);
    for (X509Owner& certificate : contents.certificates)
        certificates.append(CvelCertificate::make(std::move(certificate), 0));
    for (CrlOwner& list : contents.revocationLists)
        lists.append(CvelRevocationList::make(std::move(list)));
}

void CvelPKI::loadPkcs12(const std::string& file, const std::string& password,
                         CvelCertificateList& certificates, CvelKeyList& keys) {
    const BioOwner input =
        owned<BioOwner>(BIO_new_file(file.c_str(), "rb"), "opening the PKCS#12 file");
    const Pkcs12Owner bundle =
        owned<Pkcs12Owner>(d2i_PKCS12_bio(input.get(), nullptr), "reading the PKCS#12 file");
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* authorities = nullptr;
    const int parsed =
        PKCS12_parse(bundle.get(), password.c_str(), &key, &certificate, &authorities);
    KeyOwner keyOwner(key);
    X509Owner certificateOwner(certificate);
    const X509StackOwner authoritiesOwner(authorities);
    if (parsed != 1)
        failWith(E_ACCESSDENIED,
                 "the password does not open the PKCS#12 file (" + takeOpenSslReasons() + ")");
    if (certificateOwner)
        certificates.append(CvelCertificate::make(std::move(certificateOwner), 0));
    while (authorities != nullptr && sk_X509_num(authorities) > 0)
        certificates.append(CvelCertificate::make(X509Owner(sk_X509_shift(authorities)), 0));
    if (keyOwner) keys.append(CvelAsymKey::make(std::move(keyOwner)));
}

std::string CvelPKI::certificateFileText(std::int64_t id, bool pem) {
    const auto stored = storedCertificate(id);
    X509* certificate = stored->certificate();
    return pem ? certificatePem(certificate) : certificateDer(certificate);
}

void CvelPKI::writeCertificateFile(const std::string& file, const std::string& bytes) {
    writeKeyMaterialFile(file, bytes);
}

void CvelPKI::writeKeyFile(const std::string& file, ISMAsymKey* key, const std::string& password) {
    EVP_PKEY* opened = CvelAsymKey::given(key)->openKey();
    writeKeyMaterialFile(file, password.empty() ? plainKey(opened) : encryptKey(opened, password));
}
