// A certificate as the user reads it, taken from its bytes with OpenSSL: the store's interface
// gives neither the issuer's text nor the key's curve nor the days left.
#pragma once

#include <string>

#include <velTesseraComm/velTesseraComm.h>

struct CertificateInfo {
    std::string subject, issuer, serial, notBefore, notAfter;
    std::string keyType;      // "RSA 3072", "EC P-256"
    std::string fingerprint;  // "SHA256:" and 64 lowercase hexadecimal digits
    long daysLeft = 0;        // whole days until notAfter; negative once it has passed
    bool notYetValid = false;
};

// The certificate of DER or PEM bytes; raises CommandFailure when they hold none.
CertificateInfo inspectCertificate(const std::string& bytes);
// The DER of a certificate of the store.
std::string derOf(ISMCertificate& certificate);
// The PEM text of a DER certificate.
std::string pemOf(const std::string& der);
