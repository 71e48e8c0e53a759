#include "CertificateInfo.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>

#include "CommandFailure.h"

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* object) const { Free(object); }
};
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Memory = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Number = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

void freeText(char* text) { OPENSSL_free(text); }
using Text = std::unique_ptr<char, Deleter<char, freeText>>;

Memory memoryOf(const std::string& bytes) {
    Memory memory(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    if (!memory) throw CommandFailure(ExitCode::Failed, "out of memory reading a certificate");
    return memory;
}

std::string contentOf(BIO& memory) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(&memory, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

Certificate parse(const std::string& bytes) {
    const unsigned char* der = reinterpret_cast<const unsigned char*>(bytes.data());
    Certificate certificate(d2i_X509(nullptr, &der, static_cast<long>(bytes.size())));
    if (!certificate) {
        const Memory memory = memoryOf(bytes);
        certificate.reset(PEM_read_bio_X509(memory.get(), nullptr, nullptr, nullptr));
    }
    if (!certificate) throw CommandFailure(ExitCode::Failed, "the data hold no certificate");
    return certificate;
}

std::string nameOf(const X509_NAME* name) {
    const Memory memory(BIO_new(BIO_s_mem()));
    if (!memory || X509_NAME_print_ex(memory.get(), name, 0, XN_FLAG_RFC2253) < 0) return "?";
    return contentOf(*memory);
}

std::string timeOf(const ASN1_TIME* time) {
    std::tm parts{};
    if (ASN1_TIME_to_tm(time, &parts) != 1) return "?";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

std::string serialOf(const X509& certificate) {
    const Number number(ASN1_INTEGER_to_BN(X509_get0_serialNumber(&certificate), nullptr));
    const Text hex(number ? BN_bn2hex(number.get()) : nullptr);
    return hex ? std::string(hex.get()) : std::string("?");
}

std::string keyTypeOf(const X509& certificate) {
    const EVP_PKEY* key = X509_get0_pubkey(&certificate);
    if (key == nullptr) return "?";
    const int bits = EVP_PKEY_get_bits(key);
    switch (EVP_PKEY_get_base_id(key)) {
        case EVP_PKEY_RSA:
            return "RSA " + std::to_string(bits);
        case EVP_PKEY_EC: {
            char group[64] = {};
            if (EVP_PKEY_get_group_name(key, group, sizeof group, nullptr) != 1) break;
            const char* nist = EC_curve_nid2nist(OBJ_txt2nid(group));
            return std::string("EC ") + (nist != nullptr ? nist : group);
        }
        default:
            break;
    }
    const char* name = OBJ_nid2sn(EVP_PKEY_get_base_id(key));
    return std::string(name != nullptr ? name : "?") + " " + std::to_string(bits);
}

std::string fingerprintOf(const X509& certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(&certificate, EVP_sha256(), digest, &size) != 1) return "?";
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "SHA256:";
    for (unsigned int index = 0; index < size; ++index) {
        text += kDigits[digest[index] >> 4];
        text += kDigits[digest[index] & 0xF];
    }
    return text;
}

}  // namespace

CertificateInfo inspectCertificate(const std::string& bytes) {
    const Certificate certificate = parse(bytes);
    CertificateInfo info;
    info.subject = nameOf(X509_get_subject_name(certificate.get()));
    info.issuer = nameOf(X509_get_issuer_name(certificate.get()));
    info.serial = serialOf(*certificate);
    info.notBefore = timeOf(X509_get0_notBefore(certificate.get()));
    info.notAfter = timeOf(X509_get0_notAfter(certificate.get()));
    info.keyType = keyTypeOf(*certificate);
    info.fingerprint = fingerprintOf(*certificate);
    int days = 0, seconds = 0;
    if (ASN1_TIME_diff(&days, &seconds, nullptr, X509_get0_notAfter(certificate.get())) == 1)
        info.daysLeft = days - (seconds < 0 ? 1 : 0);
    info.notYetValid = X509_cmp_current_time(X509_get0_notBefore(certificate.get())) > 0;
    return info;
}

std::string derOf(ISMCertificate& certificate) {
    velcom::Variant data;
    if (FAILED(certificate.AsBinaryString(0, data.put())) || data.type() != (VT_ARRAY | VT_UI1) ||
        data.get()->parray == nullptr)
        throw CommandFailure(ExitCode::Failed, "the store cannot give a certificate's bytes");
    SAFEARRAY* array = data.get()->parray;
    const velcom::SafeArrayData<char> bytes(array);
    if (bytes.data() == nullptr)
        throw CommandFailure(ExitCode::Failed, "the store cannot give a certificate's bytes");
    return std::string(bytes.data(), array->rgsabound[0].cElements);
}

std::string pemOf(const std::string& der) {
    const Certificate certificate = parse(der);
    const Memory memory(BIO_new(BIO_s_mem()));
    if (!memory || PEM_write_bio_X509(memory.get(), certificate.get()) != 1)
        throw CommandFailure(ExitCode::Failed, "cannot write a certificate as PEM");
    return contentOf(*memory);
}
