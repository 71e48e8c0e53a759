// What CreateRequest is asked for: the key's algorithm and the challenge of the request, the same
// words on every system.
#pragma once

#include <optional>
#include <string>

#include <velcom/com.h>

enum class KeyAlgorithm { Rsa2048, Rsa3072, Rsa4096, EcP256, EcP384 };

// "rsa2048", "rsa3072", "rsa4096", "ec-p256" or "ec-p384" in any case; none for another text.
std::optional<KeyAlgorithm> keyAlgorithmNamed(const std::string& name);

struct RequestAttributes {
    std::string challenge;
    std::optional<KeyAlgorithm> algorithm;
};

// "challenge=<text>" and "keytype=" a name of keyAlgorithmNamed, or "RSA" (2048 bits) or "EC"
// (P-256), each "name=value"; E_INVALIDARG for any other.
RequestAttributes attributesOf(const VARIANT& value);
