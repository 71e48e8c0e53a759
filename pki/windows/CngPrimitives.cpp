#include "CngPrimitives.h"

#include "CryptOwners.h"
#include "SystemFailure.h"

namespace {

PUCHAR bytesOf(std::string_view data) {
    return reinterpret_cast<PUCHAR>(const_cast<char*>(data.data()));
}

BCryptAlgorithm openAlgorithm(LPCWSTR name, ULONG flags) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    checkStatus(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, flags),
                "opening a CNG algorithm");
    return BCryptAlgorithm(algorithm);
}

std::string digest(LPCWSTR name, ULONG flags, std::string_view key, std::string_view data) {
    const BCryptAlgorithm algorithm = openAlgorithm(name, flags);
    BCRYPT_HASH_HANDLE hash = nullptr;
    checkStatus(BCryptCreateHash(algorithm.get(), &hash, nullptr, 0, bytesOf(key),
                                 static_cast<ULONG>(key.size()), 0),
                "starting a hash");
    const BCryptHashObject owner(hash);
    checkStatus(BCryptHashData(hash, bytesOf(data), static_cast<ULONG>(data.size()), 0), "hashing");
    std::string result(32, '\0');
    checkStatus(BCryptFinishHash(hash, bytesOf(result), 32, 0), "finishing a hash");
    return result;
}

}  // namespace

std::string randomBytes(size_t count) {
    std::string bytes(count, '\0');
    checkStatus(BCryptGenRandom(nullptr, bytesOf(bytes), static_cast<ULONG>(count),
                                BCRYPT_USE_SYSTEM_PREFERRED_RNG),
                "drawing random bytes");
    return bytes;
}

std::string sha256(std::string_view data) { return digest(BCRYPT_SHA256_ALGORITHM, 0, {}, data); }

std::string hmacSha256(std::string_view key, std::string_view data) {
    return digest(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG, key, data);
}

std::string pbkdf2Sha256(std::string_view password, std::string_view salt, unsigned long iterations,
                         size_t length) {
    const BCryptAlgorithm algorithm =
        openAlgorithm(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
    std::string key(length, '\0');
    checkStatus(BCryptDeriveKeyPBKDF2(algorithm.get(), bytesOf(password),
                                      static_cast<ULONG>(password.size()), bytesOf(salt),
                                      static_cast<ULONG>(salt.size()), iterations, bytesOf(key),
                                      static_cast<ULONG>(length), 0),
                "deriving a key from the password");
    return key;
}

std::string aes256CbcEncrypt(std::string_view key, std::string_view iv, std::string_view plain) {
    const BCryptAlgorithm algorithm = openAlgorithm(BCRYPT_AES_ALGORITHM, 0);
    checkStatus(
        BCryptSetProperty(algorithm.get(), BCRYPT_CHAINING_MODE,
                          reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                          sizeof BCRYPT_CHAIN_MODE_CBC, 0),
        "choosing CBC");
    BCRYPT_KEY_HANDLE handle = nullptr;
    checkStatus(BCryptGenerateSymmetricKey(algorithm.get(), &handle, nullptr, 0, bytesOf(key),
                                           static_cast<ULONG>(key.size()), 0),
                "making the AES key");
    const BCryptKey aesKey(handle);
    // CNG moves the IV along as it encrypts: a copy of its own.
    std::string chaining(iv);
    std::string cipher(plain.size() + 16, '\0');
    ULONG written = 0;
    checkStatus(
        BCryptEncrypt(aesKey.get(), bytesOf(plain), static_cast<ULONG>(plain.size()), nullptr,
                      bytesOf(chaining), static_cast<ULONG>(chaining.size()), bytesOf(cipher),
                      static_cast<ULONG>(cipher.size()), &written, BCRYPT_BLOCK_PADDING),
        "encrypting");
    cipher.resize(written);
    return cipher;
}
