// Which keys the authority certifies, and with which signatures it takes a key request.
#pragma once

#include <optional>
#include <string>

#include "ca/OpenSslHandles.h"

namespace ca {

// Why the SPKAC's key or signature falls short, in words for the refusal; none when it does not.
// RSA keys of 2048 to 8192 bits and EC keys on the named curves P-256, P-384 and P-521 pass, in
// an SPKAC signed with SHA-256 or a stronger digest.
std::optional<std::string> policyRefusal(NETSCAPE_SPKI& spki, EVP_PKEY* key);

}  // namespace ca
