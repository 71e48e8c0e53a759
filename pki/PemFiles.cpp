#include "PemFiles.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <velcom/Files.h>

#include "DerText.h"

namespace {

using PemBytes = std::unique_ptr<unsigned char, OpenSslDeleter<unsigned char, freeOpenSslBytes>>;
using PemText = std::unique_ptr<char, OpenSslDeleter<char, freeOpenSslText>>;

void readPkcs7(const unsigned char* data, long length, PemContents& contents) {
    const unsigned char* cursor = data;
    const Pkcs7Owner bundle(d2i_PKCS7(nullptr, &cursor, length));
    if (!bundle || !PKCS7_type_is_signed(bundle.get())) failOpenSsl("reading a PKCS#7 block");
    const PKCS7_SIGNED* signedData = bundle->d.sign;
    for (int i = 0; signedData->cert != nullptr && i < sk_X509_num(signedData->cert); ++i) {
        X509* certificate = sk_X509_value(signedData->cert, i);
        checkSsl(X509_up_ref(certificate), "keeping a certificate");
        contents.certificates.emplace_back(certificate);
    }
    for (int i = 0; signedData->crl != nullptr && i < sk_X509_CRL_num(signedData->crl); ++i) {
        X509_CRL* list = sk_X509_CRL_value(signedData->crl, i);
        checkSsl(X509_CRL_up_ref(list), "keeping a revocation list");
        contents.revocationLists.emplace_back(list);
    }
}

void readBlock(const std::string& label, const unsigned char* data, long length,
               PemContents& contents) {
    const unsigned char* cursor = data;
    if (X509* certificate = d2i_X509(nullptr, &cursor, length)) {
        contents.certificates.emplace_back(certificate);
        return;
    }
    cursor = data;
    if (X509_CRL* list = d2i_X509_CRL(nullptr, &cursor, length)) {
        contents.revocationLists.emplace_back(list);
        return;
    }
    ERR_clear_error();
    if (label != "PKCS7" && label != "PKCS #7 SIGNED DATA")
        failWith(E_INVALIDARG, "the PEM block " + label +
                                   " holds no certificate, revocation list or PKCS#7 bundle");
    readPkcs7(data, length, contents);
}

}  // namespace

PemContents readPemFile(const std::string& path) {
    const BioOwner bio = owned<BioOwner>(BIO_new_file(path.c_str(), "rb"), "opening the file");
    PemContents contents;
    std::size_t blocks = 0;
    for (;;) {
        char* name = nullptr;
        char* header = nullptr;
        unsigned char* data = nullptr;
        long length = 0;
        const int read = PEM_read_bio(bio.get(), &name, &header, &data, &length);
        const PemText nameOwner(name), headerOwner(header);
        const PemBytes dataOwner(data);
        if (read <= 0) {
            if (ERR_GET_REASON(ERR_peek_last_error()) != PEM_R_NO_START_LINE || blocks == 0)
                failOpenSsl("reading the PEM file " + path);
            ERR_clear_error();
            return contents;
        }
        ++blocks;
        readBlock(name, data, length, contents);
    }
}

X509Owner readOneCertificate(const std::string& path) {
    const BioOwner bio = owned<BioOwner>(BIO_new_file(path.c_str(), "rb"), "opening the file");
    X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
    if (certificate == nullptr) {
        ERR_clear_error();
        checkSsl(BIO_reset(bio.get()) == 0, "reading the file again");
        certificate = d2i_X509_bio(bio.get(), nullptr);
    }
    if (certificate == nullptr)
        failWith(E_INVALIDARG,
                 "the file " + path + " holds no certificate (" + takeOpenSslReasons() + ")");
    return X509Owner(certificate);
}

void writeKeyMaterialFile(const std::string& path, const std::string& bytes) {
    if (!velcom::writeOwnerOnlyFile(path, {bytes}))
        failWith(E_FAIL, "the file " + path + " cannot be written");
}
