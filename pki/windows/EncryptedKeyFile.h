// A private key in the file form OpenSSL reads with a password: PEM "ENCRYPTED PRIVATE KEY".
#pragma once

#include <filesystem>
#include <string_view>

#include "CryptOwners.h"

// Writes the exportable RSA key encrypted with the password (see encryptedPrivateKeyInfo), at
// once, in place of any file of that path. E_INVALIDARG for an empty password.
void writeEncryptedKey(const std::filesystem::path& path, HCRYPTKEY key, std::string_view password);
