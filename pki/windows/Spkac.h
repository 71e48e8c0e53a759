// SignedPublicKeyAndChallenge (SPKAC): a key's public half and an IA5String challenge, signed
// with the key and SHA-256 like a certificate.
#pragma once

#include <string>

#include <windows.h>

#include <wincrypt.h>

// The DER of the SPKAC over publicKeyInfo (DER SubjectPublicKeyInfo), signed by the provider's
// key of keySpec.
std::string signedSpkac(HCRYPTPROV provider, DWORD keySpec, const std::string& publicKeyInfo,
                        const std::string& challenge);
