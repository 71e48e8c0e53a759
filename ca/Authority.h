// The authority's keys and certificates in its directory: the CA key and self-signed
// certificate, and the TLS server key and certificate the CA signed for the loopback address.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ca/OpenSslHandles.h"
#include "ca/Store.h"

namespace ca {

inline constexpr const char* kCaCertificateFile = "ca.pem";
inline constexpr const char* kCaKeyFile = "ca-key.pem";
inline constexpr const char* kTlsCertificateFile = "tls.pem";
inline constexpr const char* kTlsKeyFile = "tls-key.pem";
// Where the server publishes the CA certificate (DER) and the current revocation list to anyone;
// issued certificates name both under the server's HTTP address.
inline constexpr const char* kCaDerAddress = "/ca.crt";
inline constexpr const char* kCrlAddress = "/crl";

// The names the TLS certificate holds unless the operator names others.
inline const std::vector<std::string> kDefaultHosts{"localhost", "127.0.0.1"};

class Authority {
public:
    // Makes the keys and certificates in `directory` (created when missing); refuses to replace
    // an authority that is already there. The TLS certificate names `hosts`, the first as its
    // common name; one that is an IP address is named as one.
    static void create(const std::filesystem::path& directory, std::time_t now,
                       const std::vector<std::string>& hosts = kDefaultHosts);
    explicit Authority(const std::filesystem::path& directory);

    // `httpBase` ("http://127.0.0.1:8480") is where the certificate points for the revocation list
    // and the CA certificate.
    CertificatePtr issue(const Applicant& applicant, EVP_PKEY* publicKey, const std::string& serial,
                         std::time_t notBefore, std::time_t notAfter,
                         const std::string& httpBase) const;
    // The DER of the revocation list `number` naming `revoked`, valid from `now`.
    std::string revocationList(const std::vector<Revocation>& revoked, std::int64_t number,
                               std::time_t now) const;
    // Whether this authority signed `certificate`.
    bool signedThis(X509* certificate) const;
    // The DER of a PKCS#7 SignedData without signers that carries `issued` and then the CA
    // certificate, so that the holder gets the chain in one answer.
    std::string chainOf(X509* issued) const;

    X509* certificate() const { return m_certificate.get(); }
    X509* tlsCertificate() const { return m_tlsCertificate.get(); }
    EVP_PKEY* tlsKey() const { return m_tlsKey.get(); }

private:
    CertificatePtr m_certificate;
    KeyPtr m_key;
    CertificatePtr m_tlsCertificate;
    KeyPtr m_tlsKey;
};

// The CA certificate alone, for the commands that need nothing else of the authority.
CertificatePtr caCertificateIn(const std::filesystem::path& directory);

std::string derOf(X509* certificate);
std::string pemOf(X509* certificate);
// "SHA256:" and the lower-case hexadecimal SHA-256 of the certificate's DER, the form an operator
// compares with what a client shows.
std::string fingerprintOf(X509* certificate);
// None when `der` is not a certificate.
CertificatePtr certificateFromDer(std::string_view der);
// A fresh random serial number in the form normalSerial gives.
std::string newSerial();
// The certificate's serial number in the form normalSerial gives.
std::string serialOf(X509* certificate);
// Upper-case hexadecimal without leading zeros; none when `text` is not a hexadecimal number.
std::optional<std::string> normalSerial(std::string_view text);

}  // namespace ca
