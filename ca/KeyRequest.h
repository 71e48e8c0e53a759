// The key requests applicants submit: Base64 SPKAC texts (signed public key and challenge).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ca/OpenSslHandles.h"

namespace ca {

struct KeyRequest {
    KeyPtr publicKey;
    std::string challenge;
    // Why the key policy refuses the request; none when it does not.
    std::optional<std::string> refusal;
};

// None unless `base64` is an SPKAC whose signature its own public key verifies.
std::optional<KeyRequest> readKeyRequest(std::string_view base64);

// The public key as DER (SubjectPublicKeyInfo), the form the state keeps.
std::string publicKeyDer(EVP_PKEY* key);
KeyPtr publicKeyFromDer(std::string_view der);

}  // namespace ca
