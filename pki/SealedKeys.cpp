#include "SealedKeys.h"

#include <algorithm>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "PkiFailure.h"

namespace {

constexpr std::size_t kRemembered = 16;

}  // namespace

SealedKeys::~SealedKeys() { OPENSSL_cleanse(m_secret.data(), m_secret.size()); }

std::string SealedKeys::digestOf(const std::string& encryptedKey,
                                 const std::string& password) const {
    // The key's text is a PEM block, which holds no NUL: the separator keeps the pairs apart.
    std::string message = encryptedKey + '\0' + password;
    unsigned char digest[EVP_MAX_MD_SIZE];
    std::size_t length = 0;
    const bool made =
        EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, m_secret.data(), m_secret.size(),
                  reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest,
                  sizeof digest, &length) != nullptr;
    OPENSSL_cleanse(message.data(), message.size());
    if (!made) failWith(E_FAIL, "cannot compute the key digest");
    return std::string(reinterpret_cast<const char*>(digest), length);
}

void SealedKeys::remember(const std::string& encryptedKey, const std::string& password) {
    if (!m_hasSecret && RAND_bytes(m_secret.data(), static_cast<int>(m_secret.size())) != 1)
        failWith(E_FAIL, "no random bytes for the key digests");
    m_hasSecret = true;
    if (m_digests.size() == kRemembered) m_digests.pop_front();
    m_digests.push_back(digestOf(encryptedKey, password));
}

bool SealedKeys::sealedUnder(const std::string& encryptedKey, const std::string& password) const {
    return m_hasSecret && std::find(m_digests.begin(), m_digests.end(),
                                    digestOf(encryptedKey, password)) != m_digests.end();
}
