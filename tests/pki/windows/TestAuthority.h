// A certificate authority made inside the test with CryptoAPI: its own key container and
// self-signed certificate, issuing certificates for the public key of an SPKAC.
#pragma once

#include <string>

#include "CryptOwners.h"

class TestAuthority {
public:
    // A new authority named "CN=<name>".
    explicit TestAuthority(const std::string& name);
    ~TestAuthority();
    TestAuthority(const TestAuthority&) = delete;
    TestAuthority& operator=(const TestAuthority&) = delete;

    PCCERT_CONTEXT certificate() const { return m_certificate.get(); }
    // A certificate for the key of the SPKAC's Base64 text, with that serial (hexadecimal,
    // most significant byte first); throws when the SPKAC is not signed by its own key with
    // SHA-256.
    CertContext issue(const std::string& spkacBase64, const std::string& commonName,
                      const std::string& serial) const;

    // A revocation list naming the serial, current for a day, as a PEM file of that name in the
    // temporary folder, whose path it returns.
    std::string revocationListFile(const std::string& name, const std::string& serial) const;

private:
    std::string m_container;
    CryptProvider m_provider;
    CertContext m_certificate;
};

// The certificate as a PEM file of that name in the temporary folder, whose path it returns.
std::string writePemFile(const std::string& name, PCCERT_CONTEXT certificate);
