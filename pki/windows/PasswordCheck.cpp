#include "PasswordCheck.h"

#include <algorithm>

#include "CngPrimitives.h"
#include "PrivateKeyInfo.h"

namespace {

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kDigestBytes = 32;
constexpr std::size_t kRemembered = 16;

std::string derived(const std::string& password, const std::string& salt) {
    return pbkdf2Sha256(password, salt, kPasswordIterations, kDigestBytes);
}

}  // namespace

PasswordDigest digestOfNewPassword(const std::string& password) {
    std::string salt = randomBytes(kSaltBytes);
    std::string digest = derived(password, salt);
    return {std::move(salt), std::move(digest)};
}

std::string PasswordCheck::memoryOf(const PasswordDigest& digest, const std::string& password) {
    if (m_secret.empty()) m_secret = randomBytes(kDigestBytes);
    return hmacSha256(m_secret, digest.salt + digest.digest + password);
}

bool PasswordCheck::matches(const PasswordDigest& digest, const std::string& password) {
    const std::string memory = memoryOf(digest, password);
    if (std::find(m_checked.begin(), m_checked.end(), memory) != m_checked.end()) return true;
    if (derived(password, digest.salt) != digest.digest) return false;
    keep(memory);
    return true;
}

void PasswordCheck::remember(const PasswordDigest& digest, const std::string& password) {
    keep(memoryOf(digest, password));
}

void PasswordCheck::keep(std::string memory) {
    // The latest few: an application checks one key, a host that keeps the object a few.
    if (m_checked.size() == kRemembered) m_checked.erase(m_checked.begin());
    m_checked.push_back(std::move(memory));
}
