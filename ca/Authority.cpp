#include "ca/Authority.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <openssl/pem.h>
#include <openssl/rand.h>

namespace ca {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kDay = 24 * 60 * 60;
constexpr std::time_t kAuthorityLifetime = 10 * 365 * kDay;
constexpr std::time_t kCrlLifetime = 7 * kDay;
// 127 random bits: well over the 64 that make a serial unpredictable, and at 16 octets well
// under the 20 a serial may have.
constexpr std::size_t kSerialBytes = 16;

KeyPtr newKey() {
    return KeyPtr(checked(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), "key"));
}

std::string memoryText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

// A closed descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Removes the unfinished file and names the failure.
[[noreturn]] void failWriting(const fs::path& temporary) {
    const std::string reason = std::strerror(errno);
    ::unlink(temporary.c_str());
    throw std::runtime_error("cannot write " + temporary.string() + ": " + reason);
}

// A key is owner-only from its first byte: the file is made with that mode, under a temporary
// name that no one else may have put there first, and takes its name once complete.
void writeFile(const fs::path& path, const std::string& content, bool secret) {
    const fs::path temporary = path.string() + ".new";
    const Descriptor file(::open(temporary.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                 secret ? 0600 : 0644));
    if (file.get() < 0)
        throw std::runtime_error("cannot write " + temporary.string() + ": " +
                                 std::strerror(errno));
    for (std::size_t written = 0; written < content.size();) {
        const ssize_t count =
            ::write(file.get(), content.data() + written, content.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) failWriting(temporary);
        written += static_cast<std::size_t>(count);
    }
    if (::fsync(file.get()) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0)
        failWriting(temporary);
}

void writeCertificate(const fs::path& path, X509* certificate) {
    writeFile(path, pemOf(certificate), false);
}

void writeKey(const fs::path& path, EVP_PKEY* key) {
    BioPtr bio(checked(BIO_new(BIO_s_mem()), "memory"));
    checked(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr), "key");
    writeFile(path, memoryText(bio.get()), true);
}

BioPtr openFile(const fs::path& path) {
    BioPtr bio(BIO_new_file(path.c_str(), "r"));
    if (!bio) throw std::runtime_error("cannot read " + path.string() + " (run init first)");
    return bio;
}

CertificatePtr readCertificate(const fs::path& path) {
    return CertificatePtr(
        checked(PEM_read_bio_X509(openFile(path).get(), nullptr, nullptr, nullptr), "certificate"));
}

KeyPtr readKey(const fs::path& path) {
    return KeyPtr(
        checked(PEM_read_bio_PrivateKey(openFile(path).get(), nullptr, nullptr, nullptr), "key"));
}

void addName(X509_NAME* name, const char* field, const std::string& value) {
    checked(X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(value.c_str()), -1,
                                       -1, 0),
            field);
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    ExtensionPtr extension(
        checked(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()), "extension"));
    checked(X509_add_ext(certificate, extension.get(), -1), "extension");
}

void addKeyIdentifier(X509* certificate) {
    addExtension(certificate, certificate, NID_subject_key_identifier, "hash");
}

// What the holder's key is good for: RSA encrypts the content keys of S/MIME mail, EC agrees on
// them.
const char* keyUsageFor(EVP_PKEY* publicKey) {
    switch (EVP_PKEY_get_base_id(publicKey)) {
        case EVP_PKEY_RSA:
            return "critical,digitalSignature,keyEncipherment";
        case EVP_PKEY_EC:
            return "critical,digitalSignature,keyAgreement";
        default:
            return "critical,digitalSignature";
    }
}

std::string serialText(const BIGNUM* number) {
    char* hex = checked(BN_bn2hex(number), "serial");
    const std::string text = normalSerial(hex).value_or("");
    OPENSSL_free(hex);
    return text;
}

IntegerPtr serialNumber(const std::string& serial) {
    BIGNUM* number = nullptr;
    checked(BN_hex2bn(&number, serial.c_str()), "serial");
    BignumPtr owned(number);
    return IntegerPtr(checked(BN_to_ASN1_INTEGER(owned.get(), nullptr), "serial"));
}

// A certificate with everything but its extensions and signature; a self-signed one gets its
// issuer once its subject is known.
CertificatePtr newCertificate(X509_NAME* issuer, EVP_PKEY* publicKey, const std::string& serial,
                              std::time_t notBefore, std::time_t notAfter) {
    CertificatePtr certificate(checked(X509_new(), "certificate"));
    checked(X509_set_version(certificate.get(), 2), "version");
    checked(X509_set_serialNumber(certificate.get(), serialNumber(serial).get()), "serial");
    if (issuer) checked(X509_set_issuer_name(certificate.get(), issuer), "issuer");
    checked(X509_set_pubkey(certificate.get(), publicKey), "public key");
    checked(ASN1_TIME_set(X509_getm_notBefore(certificate.get()), notBefore) != nullptr,
            "validity");
    checked(ASN1_TIME_set(X509_getm_notAfter(certificate.get()), notAfter) != nullptr, "validity");
    return certificate;
}

// The subjectAltName of `hosts`. A name is letters, digits, "-" and ".", so that it cannot add
// entries of its own to the extension's text.
std::string alternativeNames(const std::vector<std::string>& hosts) {
    if (hosts.empty()) throw std::runtime_error("the TLS certificate needs a host name");
    std::string names;
    for (const std::string& host : hosts) {
        unsigned char address[16];
        const bool ip = inet_pton(AF_INET, host.c_str(), address) == 1 ||
                        inet_pton(AF_INET6, host.c_str(), address) == 1;
        const bool dns = !host.empty() && host.size() <= 253 && host.front() != '-' &&
                         host.front() != '.' &&
                         host.find_first_not_of(
                             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                             "-.") == std::string::npos;
        if (!ip && !dns) throw std::runtime_error("--host " + host + " is no host name");
        names += (names.empty() ? "" : ",") + std::string(ip ? "IP:" : "DNS:") + host;
    }
    return names;
}

}  // namespace

void Authority::create(const fs::path& directory, std::time_t now,
                       const std::vector<std::string>& hosts) {
    const std::string hostNames = alternativeNames(hosts);
    fs::create_directories(directory);
    if (fs::exists(directory / kCaKeyFile))
        throw std::runtime_error("an authority already exists in " + directory.string());
    // The directory holds the keys and the applicants' data: no one else may list or reach it.
    fs::permissions(directory, fs::perms::owner_all);

    KeyPtr key = newKey();
    CertificatePtr root =
        newCertificate(nullptr, key.get(), newSerial(), now, now + kAuthorityLifetime);
    X509_NAME* name = X509_get_subject_name(root.get());
    addName(name, "O", "Tessera");
    addName(name, "CN", "Tessera reference CA");
    checked(X509_set_issuer_name(root.get(), name), "issuer");
    addExtension(root.get(), root.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
    addExtension(root.get(), root.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    addKeyIdentifier(root.get());
    checked(X509_sign(root.get(), key.get(), EVP_sha256()), "signature");

    KeyPtr tlsKey = newKey();
    CertificatePtr tls =
        newCertificate(name, tlsKey.get(), newSerial(), now, now + kAuthorityLifetime);
    addName(X509_get_subject_name(tls.get()), "CN", hosts.front());
    addExtension(tls.get(), root.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(tls.get(), root.get(), NID_ext_key_usage, "serverAuth");
    addExtension(tls.get(), root.get(), NID_subject_alt_name, hostNames);
    addKeyIdentifier(tls.get());
    addExtension(tls.get(), root.get(), NID_authority_key_identifier, "keyid");
    checked(X509_sign(tls.get(), key.get(), EVP_sha256()), "signature");

    writeKey(directory / kCaKeyFile, key.get());
    writeCertificate(directory / kCaCertificateFile, root.get());
    writeKey(directory / kTlsKeyFile, tlsKey.get());
    writeCertificate(directory / kTlsCertificateFile, tls.get());
}

Authority::Authority(const fs::path& directory)
    : m_certificate(readCertificate(directory / kCaCertificateFile)),
      m_key(readKey(directory / kCaKeyFile)),
      m_tlsCertificate(readCertificate(directory / kTlsCertificateFile)),
      m_tlsKey(readKey(directory / kTlsKeyFile)) {}

CertificatePtr Authority::issue(const Applicant& applicant, EVP_PKEY* publicKey,
                                const std::string& serial, std::time_t notBefore,
                                std::time_t notAfter, const std::string& httpBase) const {
    X509* root = m_certificate.get();
    CertificatePtr certificate =
        newCertificate(X509_get_subject_name(root), publicKey, serial, notBefore, notAfter);
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    addName(subject, "C", applicant.country);
    addName(subject, "O", applicant.org);
    addName(subject, "CN", applicant.first + " " + applicant.last);
    addName(subject, "emailAddress", applicant.email);
    addExtension(certificate.get(), root, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate.get(), root, NID_key_usage, keyUsageFor(publicKey));
    addExtension(certificate.get(), root, NID_ext_key_usage, "clientAuth,emailProtection");
    addExtension(certificate.get(), root, NID_subject_alt_name, "email:" + applicant.email);
    addKeyIdentifier(certificate.get());
    addExtension(certificate.get(), root, NID_authority_key_identifier, "keyid");
    addExtension(certificate.get(), root, NID_crl_distribution_points,
                 "URI:" + httpBase + kCrlAddress);
    addExtension(certificate.get(), root, NID_info_access,
                 "caIssuers;URI:" + httpBase + kCaDerAddress);
    checked(X509_sign(certificate.get(), m_key.get(), EVP_sha256()), "signature");
    return certificate;
}

std::string Authority::revocationList(const std::vector<Revocation>& revoked, std::int64_t number,
                                      std::time_t now) const {
    CrlPtr crl(checked(X509_CRL_new(), "revocation list"));
    checked(X509_CRL_set_version(crl.get(), 1), "version");
    checked(X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(m_certificate.get())),
            "issuer");
    TimePtr thisUpdate(checked(ASN1_TIME_set(nullptr, now), "time"));
    TimePtr nextUpdate(checked(ASN1_TIME_set(nullptr, now + kCrlLifetime), "time"));
    checked(X509_CRL_set1_lastUpdate(crl.get(), thisUpdate.get()), "time");
    checked(X509_CRL_set1_nextUpdate(crl.get(), nextUpdate.get()), "time");
    for (const Revocation& revocation : revoked) {
        RevokedPtr entry(checked(X509_REVOKED_new(), "entry"));
        checked(X509_REVOKED_set_serialNumber(entry.get(), serialNumber(revocation.serial).get()),
                "serial");
        TimePtr date(checked(ASN1_TIME_set(nullptr, revocation.revokedAt), "time"));
        checked(X509_REVOKED_set_revocationDate(entry.get(), date.get()), "time");
        // An unspecified reason goes without the extension, as RFC 5280 (5.3.1) prefers.
        if (revocation.reason != CRL_REASON_UNSPECIFIED) {
            const EnumeratedPtr reason(checked(ASN1_ENUMERATED_new(), "reason"));
            checked(ASN1_ENUMERATED_set(reason.get(), revocation.reason), "reason");
            checked(X509_REVOKED_add1_ext_i2d(entry.get(), NID_crl_reason, reason.get(), 0, 0),
                    "reason");
        }
        checked(X509_CRL_add0_revoked(crl.get(), entry.get()), "entry");
        entry.release();
    }
    checked(X509_CRL_sort(crl.get()), "sort");
    const IntegerPtr crlNumber(checked(ASN1_INTEGER_new(), "CRL number"));
    checked(ASN1_INTEGER_set_int64(crlNumber.get(), number), "CRL number");
    checked(X509_CRL_add1_ext_i2d(crl.get(), NID_crl_number, crlNumber.get(), 0, 0), "CRL number");
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, m_certificate.get(), nullptr, nullptr, crl.get(), 0);
    const ExtensionPtr keyIdentifier(checked(
        X509V3_EXT_conf_nid(nullptr, &context, NID_authority_key_identifier, "keyid:always"),
        "extension"));
    checked(X509_CRL_add_ext(crl.get(), keyIdentifier.get(), -1), "extension");
    checked(X509_CRL_sign(crl.get(), m_key.get(), EVP_sha256()), "signature");
    unsigned char* der = nullptr;
    const int length = i2d_X509_CRL(crl.get(), &der);
    checked(length, "revocation list");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

std::string Authority::chainOf(X509* issued) const {
    Pkcs7Ptr bundle(checked(PKCS7_new(), "PKCS#7"));
    checked(PKCS7_set_type(bundle.get(), NID_pkcs7_signed), "PKCS#7");
    checked(PKCS7_content_new(bundle.get(), NID_pkcs7_data), "PKCS#7");
    // Detached: the SignedData carries certificates only, no content and no signer.
    checked(static_cast<int>(PKCS7_set_detached(bundle.get(), 1)), "PKCS#7");
    checked(PKCS7_add_certificate(bundle.get(), issued), "PKCS#7");
    checked(PKCS7_add_certificate(bundle.get(), m_certificate.get()), "PKCS#7");
    unsigned char* der = nullptr;
    const int length = i2d_PKCS7(bundle.get(), &der);
    checked(length, "PKCS#7");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

bool Authority::signedThis(X509* certificate) const {
    return X509_NAME_cmp(X509_get_issuer_name(certificate),
                         X509_get_subject_name(m_certificate.get())) == 0 &&
           X509_verify(certificate, X509_get0_pubkey(m_certificate.get())) == 1;
}

CertificatePtr caCertificateIn(const fs::path& directory) {
    return readCertificate(directory / kCaCertificateFile);
}

std::string derOf(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    checked(length, "certificate");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

std::string pemOf(X509* certificate) {
    BioPtr bio(checked(BIO_new(BIO_s_mem()), "memory"));
    checked(PEM_write_bio_X509(bio.get(), certificate), "certificate");
    return memoryText(bio.get());
}

std::string fingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    checked(X509_digest(certificate, EVP_sha256(), digest, &length), "fingerprint");
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "SHA256:";
    for (unsigned int index = 0; index < length; ++index) {
        text += kDigits[digest[index] >> 4];
        text += kDigits[digest[index] & 0x0F];
    }
    return text;
}

CertificatePtr certificateFromDer(std::string_view der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    return CertificatePtr(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
}

std::string newSerial() {
    unsigned char bytes[kSerialBytes];
    // Positive and not zero, and long enough that a guess at another applicant's serial is
    // hopeless.
    do {
        checked(RAND_bytes(bytes, sizeof bytes), "random");
        bytes[0] &= 0x7F;
    } while (std::all_of(std::begin(bytes), std::end(bytes),
                         [](unsigned char byte) { return byte == 0; }));
    const BignumPtr number(checked(BN_bin2bn(bytes, sizeof bytes, nullptr), "serial"));
    return serialText(number.get());
}

std::string serialOf(X509* certificate) {
    const BignumPtr number(
        checked(ASN1_INTEGER_to_BN(X509_get0_serialNumber(certificate), nullptr), "serial"));
    return serialText(number.get());
}

std::optional<std::string> normalSerial(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::string serial;
    for (const char character : text) {
        if (!std::isxdigit(static_cast<unsigned char>(character))) return std::nullopt;
        if (serial.empty() && character == '0') continue;
        serial += static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    }
    return serial.empty() ? std::string("0") : serial;
}

}  // namespace ca
