#include "WinAsymKey.h"

#include "ErrorBoundary.h"
#include "KeyContainer.h"
#include "PkiRegistry.h"
#include "text/AnsiText.h"

CvelAsymKey::CvelAsymKey(std::string container, std::shared_ptr<PasswordCheck> passwords, bool open)
    : PkiObject(kISMAsymKeyMembers),
      m_container(std::move(container)),
      m_passwords(std::move(passwords)),
      m_open(open) {}

const std::string& CvelAsymKey::openContainer() const {
    if (!m_open) failWith(E_ACCESSDENIED, "the key is locked: Decrypt it with its password first");
    return m_container;
}

STDMETHODIMP CvelAsymKey::Decrypt(BSTR strPass) {
    return errorBoundary(interfaceId(), "Decrypt", [&] {
        const std::optional<PasswordDigest> digest = pkiRegistry::keyPassword(m_container);
        if (!digest && m_open) return;
        if (!digest) failWith(E_INVALIDARG, "the key " + m_container + " is no longer kept");
        if (!m_passwords->matches(*digest, toAnsi(strPass)))
            failWith(E_ACCESSDENIED, "the password does not open the key");
        m_open = true;
    });
}

STDMETHODIMP CvelAsymKey::Encrypt(BSTR strPass) {
    return errorBoundary(interfaceId(), "Encrypt", [&] {
        const std::string password = toAnsi(strPass);
        const PasswordDigest digest = digestOfNewPassword(password);
        pkiRegistry::keepKeyPassword(openContainer(), digest);
        m_passwords->remember(digest, password);
    });
}

STDMETHODIMP CvelAsymKey::get_Length(LONG* pVal) {
    return errorBoundary(interfaceId(), "Length", [&] {
        requireOut(pVal);
        *pVal = static_cast<LONG>(KeyContainer::open(openContainer()).bits());
    });
}

STDMETHODIMP CvelAsymKey::get_Type(KeyType* pVal) {
    return errorBoundary(interfaceId(), "Type", [&] {
        requireOut(pVal);
        openContainer();
        *pVal = SMRSAKey;
    });
}
