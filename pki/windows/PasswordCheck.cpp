#include "PasswordCheck.h"

#include <algorithm>
#include <memory>

#include "CryptOwners.h"
#include "SystemFailure.h"

namespace {

constexpr ULONG kSaltBytes = 16;
constexpr ULONG kDigestBytes = 32;

std::string derived(const std::string& password, const std::string& salt) {
    BCRYPT_ALG_HANDLE opened = nullptr;
    checkStatus(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr,
                                            BCRYPT_ALG_HANDLE_HMAC_FLAG),
                "opening HMAC-SHA256");
    const BCryptAlgorithm algorithm(opened);
    std::string digest(kDigestBytes, '\0');
    checkStatus(
        BCryptDeriveKeyPBKDF2(opened, reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
                              static_cast<ULONG>(password.size()),
                              reinterpret_cast<PUCHAR>(const_cast<char*>(salt.data())),
                              static_cast<ULONG>(salt.size()), kPasswordIterations,
                              reinterpret_cast<PUCHAR>(digest.data()), kDigestBytes, 0),
        "deriving the password's digest");
    return digest;
}

std::string randomBytes(ULONG count) {
    std::string bytes(count, '\0');
    checkStatus(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()), count,
                                BCRYPT_USE_SYSTEM_PREFERRED_RNG),
                "drawing random bytes");
    return bytes;
}

std::string keyedDigest(const std::string& secret, const std::string& data) {
    BCRYPT_ALG_HANDLE opened = nullptr;
    checkStatus(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr,
                                            BCRYPT_ALG_HANDLE_HMAC_FLAG),
                "opening HMAC-SHA256");
    const BCryptAlgorithm algorithm(opened);
    BCRYPT_HASH_HANDLE hash = nullptr;
    checkStatus(BCryptCreateHash(opened, &hash, nullptr, 0,
                                 reinterpret_cast<PUCHAR>(const_cast<char*>(secret.data())),
                                 static_cast<ULONG>(secret.size()), 0),
                "starting HMAC-SHA256");
    const std::unique_ptr<void, decltype(&BCryptDestroyHash)> owned(hash, &BCryptDestroyHash);
    std::string digest(kDigestBytes, '\0');
    checkStatus(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                               static_cast<ULONG>(data.size()), 0),
                "hashing");
    checkStatus(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), kDigestBytes, 0),
                "finishing HMAC-SHA256");
    return digest;
}

}  // namespace

PasswordDigest digestOfNewPassword(const std::string& password) {
    std::string salt = randomBytes(kSaltBytes);
    std::string digest = derived(password, salt);
    return {std::move(salt), std::move(digest)};
}

std::string PasswordCheck::memoryOf(const PasswordDigest& digest, const std::string& password) {
    if (m_secret.empty()) m_secret = randomBytes(kDigestBytes);
    return keyedDigest(m_secret, digest.salt + digest.digest + password);
}

bool PasswordCheck::matches(const PasswordDigest& digest, const std::string& password) {
    const std::string memory = memoryOf(digest, password);
    if (std::find(m_checked.begin(), m_checked.end(), memory) != m_checked.end()) return true;
    if (derived(password, digest.salt) != digest.digest) return false;
    m_checked.push_back(memory);
    return true;
}

void PasswordCheck::remember(const PasswordDigest& digest, const std::string& password) {
    m_checked.push_back(memoryOf(digest, password));
}
