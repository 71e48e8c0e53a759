#include "DerText.h"

#include <cctype>
#include <ctime>
#include <vector>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include "SerialText.h"

namespace {

template <class Object>
std::string derOf(Object* object, int (*encode)(const Object*, unsigned char**), const char* what) {
    unsigned char* der = nullptr;
    const int length = encode(object, &der);
    if (length <= 0) failOpenSsl(what);
    const std::unique_ptr<unsigned char, OpenSslDeleter<unsigned char, freeOpenSslBytes>> owner(
        der);
    return std::string(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
}

const unsigned char* bytesOf(const std::string& der) {
    return reinterpret_cast<const unsigned char*>(der.data());
}

}  // namespace

std::string bioText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string certificateDer(X509* certificate) {
    return derOf<X509>(certificate, i2d_X509, "encoding the certificate");
}

std::string revocationListDer(X509_CRL* list) {
    return derOf<X509_CRL>(list, i2d_X509_CRL, "encoding the revocation list");
}

X509Owner certificateFromDer(const std::string& der) {
    const unsigned char* cursor = bytesOf(der);
    return owned<X509Owner>(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())),
                            "reading the certificate");
}

CrlOwner revocationListFromDer(const std::string& der) {
    const unsigned char* cursor = bytesOf(der);
    return owned<CrlOwner>(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der.size())),
                           "reading the revocation list");
}

std::string toBase64(const std::string& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                       bytesOf(bytes), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string fromBase64(std::string_view text) {
    std::string compact;
    for (const char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) compact += c;
    if (compact.size() % 4 != 0) failWith(E_INVALIDARG, "the text is not Base64");
    std::string bytes(compact.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       bytesOf(compact), static_cast<int>(compact.size()));
    if (length < 0) failWith(E_INVALIDARG, "the text is not Base64");
    // EVP_DecodeBlock counts the padding as bytes.
    std::size_t padding = 0;
    for (auto it = compact.rbegin(); it != compact.rend() && *it == '=' && padding < 2; ++it)
        ++padding;
    bytes.resize(static_cast<std::size_t>(length) - padding);
    return bytes;
}

std::string certificatePem(X509* certificate) {
    const BioOwner bio = owned<BioOwner>(BIO_new(BIO_s_mem()), "allocating a buffer");
    checkSsl(PEM_write_bio_X509(bio.get(), certificate), "writing the certificate");
    return bioText(bio.get());
}

std::string serialText(const ASN1_INTEGER* serial) {
    const OpenSslOwner<BIGNUM, BN_free> number = owned<OpenSslOwner<BIGNUM, BN_free>>(
        ASN1_INTEGER_to_BN(serial, nullptr), "reading a serial");
    char* hex = BN_bn2hex(number.get());
    if (hex == nullptr) failOpenSsl("writing a serial");
    const std::unique_ptr<char, OpenSslDeleter<char, freeOpenSslText>> owner(hex);
    return normalSerial(hex);
}

std::string serialText(X509* certificate) {
    return serialText(X509_get0_serialNumber(certificate));
}

std::string nameText(const X509_NAME* name) {
    const BioOwner bio = owned<BioOwner>(BIO_new(BIO_s_mem()), "allocating a buffer");
    if (X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
        failOpenSsl("writing a name");
    return bioText(bio.get());
}

std::string commonNameOf(const X509_NAME* name) {
    const int index = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (index < 0) return std::string();
    const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, value);
    if (length < 0) failOpenSsl("reading the common name");
    const std::unique_ptr<unsigned char, OpenSslDeleter<unsigned char, freeOpenSslBytes>> owner(
        utf8);
    return std::string(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(length));
}

std::string emailOf(X509* certificate) {
    const OpenSslOwner<STACK_OF(OPENSSL_STRING), X509_email_free> emails(
        X509_get1_email(certificate));
    if (!emails || sk_OPENSSL_STRING_num(emails.get()) == 0) return std::string();
    return sk_OPENSSL_STRING_value(emails.get(), 0);
}

std::string timeText(const ASN1_TIME* time) {
    std::tm parts{};
    checkSsl(ASN1_TIME_to_tm(time, &parts), "reading a time");
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}
