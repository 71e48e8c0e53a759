// The least a program needs to apply for a certificate from tessera-ca without the component:
// libcurl for the pages and the forms, OpenSSL for the key and its SPKAC, and the markup read
// with plain string searches. It asks for the same pages and posts the same fields, in the same
// order, as the proxy does, and keeps the key (PKCS#8, AES-256-CBC under PBKDF2-HMAC-SHA256 with
// 600,000 iterations, as the PKI component keeps it) and the certificates (a PKCS#7 answer's
// chain too) in files, flushed to disk before it goes on when asked to (the PKI component's store
// commits so).
#pragma once

#include <string>
#include <vector>

enum class KeyKind { Rsa2048, EcP256 };

class HandWrittenClient {
public:
    HandWrittenClient(std::string startAddress, std::string password, std::string directory,
                      bool flush);

    // One application from the start page to the certificate; raises std::runtime_error when a
    // step fails. The pages the authority answered with, in order.
    std::vector<std::string> apply(KeyKind kind);

private:
    std::string m_start, m_password, m_directory;
    bool m_flush;
};
