// A real key request made with the system's CryptoAPI, as a Windows PKI component makes one: a new
// RSA key and its signed public key and challenge (SPKAC), and the certificate issued for that key
// found again in a PEM file. Failures throw std::runtime_error naming the step.
#pragma once

#include <string>

struct SignedKeyRequest {
    std::string spkacBase64;
    // The DER SubjectPublicKeyInfo of the new key.
    std::string publicKey;
};

SignedKeyRequest makeSignedKeyRequest(const std::string& challenge);

// The serial number (hexadecimal, upper case, no leading zeros) of the certificate in pemText
// whose key is publicKey; empty when none is.
std::string serialOfCertificateFor(const std::string& pemText, const std::string& publicKey);
