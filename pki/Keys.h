// Key pairs, the SPKAC requests signed with them, and their private halves as encrypted PKCS#8.
#pragma once

#include <optional>
#include <string>

#include "OpenSslOwners.h"
#include "RequestAttributes.h"
KeyOwner generateKey(KeyAlgorithm algorithm);
// The Base64 text of a Netscape SPKAC over the key's public half and the challenge, signed with
// the key (SHA-256).
std::string signedSpkac(EVP_PKEY* key, const std::string& challenge);
// The DER of the key's public half, by which a certificate is matched to its request.
std::string publicKeyDer(EVP_PKEY* key);
// The iterations of PBKDF2-HMAC-SHA256 for a key's password, in the store and in exported files.
inline constexpr int kKeyDerivationIterations = 600000;
// PEM "ENCRYPTED PRIVATE KEY": PKCS#8 under AES-256-CBC, its key derived from password with
// PBKDF2-HMAC-SHA256 over kKeyDerivationIterations.
std::string encryptKey(EVP_PKEY* key, const std::string& password);
// PEM "PRIVATE KEY": PKCS#8 in the clear.
std::string plainKey(EVP_PKEY* key);
// The key inside an encrypted PEM text, by the derivation and cipher the text names, so that
// keys written with fewer iterations still open; E_ACCESSDENIED when password does not open it.
KeyOwner decryptKey(const std::string& pem, const std::string& password);
