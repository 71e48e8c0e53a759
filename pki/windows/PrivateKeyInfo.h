// A CryptoAPI key as PKCS#8, the form other systems read private keys in, plain or encrypted with
// a password.
#pragma once

#include <string>
#include <string_view>

#include "CryptOwners.h"

// Key material, overwritten when it goes out of scope whichever way.
struct SecretBytes {
    std::string bytes;
    ~SecretBytes() { SecureZeroMemory(bytes.data(), bytes.size()); }
};

// The PrivateKeyInfo DER of an exportable RSA key pair (rsaenh holds no other kind);
// E_INVALIDARG for another kind, the system's failure when the key will not be exported.
SecretBytes privateKeyInfo(HCRYPTKEY key);
// EncryptedPrivateKeyInfo DER: PBES2 with PBKDF2-HMAC-SHA-256 over a random 16-byte salt and
// kPasswordIterations, and AES-256-CBC with a random IV. The password is taken as its bytes
// (UTF-8), as OpenSSL takes it. E_INVALIDARG for an empty password.
std::string encryptedPrivateKeyInfo(std::string_view privateKeyInfoDer, std::string_view password);

inline constexpr unsigned long kPasswordIterations = 100000;
