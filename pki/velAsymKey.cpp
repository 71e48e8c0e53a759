#include "velAsymKey.h"

#include "Keys.h"

CvelAsymKey::CvelAsymKey(std::string privateKey, Reencrypted reencrypted)
    : m_strPrivateKey(std::move(privateKey)), m_reencrypted(std::move(reencrypted)) {}

CvelAsymKey::CvelAsymKey(KeyOwner key) : m_key(std::move(key)) {}

EVP_PKEY* CvelAsymKey::openKey() const {
    requireOpen(static_cast<bool>(m_key));
    return m_key.get();
}

void CvelAsymKey::unlock(const std::string& password) {
    if (m_strPrivateKey.empty()) return;
    m_key = decryptKey(m_strPrivateKey, password);
}

void CvelAsymKey::reseal(const std::string& password) {
    std::string encrypted = encryptKey(openKey(), password);
    if (m_reencrypted) m_reencrypted(encrypted);
    m_strPrivateKey = std::move(encrypted);
}

int CvelAsymKey::bits() const { return EVP_PKEY_get_bits(openKey()); }

bool CvelAsymKey::rsaKey() const { return EVP_PKEY_get_base_id(openKey()) == EVP_PKEY_RSA; }
