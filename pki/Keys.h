// Key pairs, the SPKAC requests signed with them, and their private halves as encrypted PKCS#8.
#pragma once

#include <string>

#include "OpenSslOwners.h"

enum class KeyAlgorithm { Rsa2048, EcP256 };

KeyOwner generateKey(KeyAlgorithm algorithm);
// The Base64 text of a Netscape SPKAC over the key's public half and the challenge, signed with
// the key (SHA-256).
std::string signedSpkac(EVP_PKEY* key, const std::string& challenge);
// The DER of the key's public half, by which a certificate is matched to its request.
std::string publicKeyDer(EVP_PKEY* key);
// PEM "ENCRYPTED PRIVATE KEY": PKCS#8 under AES-256-CBC, its key derived from password (PBKDF2).
std::string encryptKey(EVP_PKEY* key, const std::string& password);
// The key inside such a PEM text; E_ACCESSDENIED when password does not open it.
KeyOwner decryptKey(const std::string& pem, const std::string& password);
