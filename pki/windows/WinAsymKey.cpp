#include "WinAsymKey.h"

#include "KeyContainer.h"
#include "PkiRegistry.h"

CvelAsymKey::CvelAsymKey(std::string container, std::shared_ptr<PasswordCheck> passwords, bool open)
    : m_container(std::move(container)), m_passwords(std::move(passwords)), m_open(open) {}

const std::string& CvelAsymKey::openContainer() const {
    requireOpen(m_open);
    return m_container;
}

void CvelAsymKey::unlock(const std::string& password) {
    const std::optional<PasswordDigest> digest = pkiRegistry::keyPassword(m_container);
    if (!digest && m_open) return;
    if (!digest) failWith(E_INVALIDARG, "the key " + m_container + " is no longer kept");
    if (!m_passwords->matches(*digest, password))
        failWith(E_ACCESSDENIED, "the password does not open the key");
    m_open = true;
}

void CvelAsymKey::reseal(const std::string& password) {
    const PasswordDigest digest = digestOfNewPassword(password);
    pkiRegistry::keepKeyPassword(openContainer(), digest);
    m_passwords->remember(digest, password);
}

DWORD CvelAsymKey::bits() const { return KeyContainer::open(openContainer()).bits(); }

bool CvelAsymKey::rsaKey() const {
    openContainer();
    return true;
}
