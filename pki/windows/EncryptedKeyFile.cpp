#include "EncryptedKeyFile.h"

#include "PemBundle.h"
#include "PrivateKeyInfo.h"

void writeEncryptedKey(const std::filesystem::path& path, HCRYPTKEY key,
                       std::string_view password) {
    const SecretBytes plain = privateKeyInfo(key);
    writeTextFile(
        path, pemBlock("ENCRYPTED PRIVATE KEY", encryptedPrivateKeyInfo(plain.bytes, password)));
}
