// The primitives of password-based encryption from CNG: random bytes, SHA-256 and its HMAC,
// PBKDF2 and AES-256-CBC. Byte strings travel as std::string; a failure carries CNG's status.
#pragma once

#include <string>
#include <string_view>

std::string randomBytes(size_t count);
std::string sha256(std::string_view data);
std::string hmacSha256(std::string_view key, std::string_view data);
// PBKDF2 with HMAC-SHA-256.
std::string pbkdf2Sha256(std::string_view password, std::string_view salt, unsigned long iterations,
                         size_t length);
// With PKCS#7 padding, as PBES2 and OpenSSL's default use it.
std::string aes256CbcEncrypt(std::string_view key, std::string_view iv, std::string_view plain);
